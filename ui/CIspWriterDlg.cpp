#include "ui/CIspWriterDlg.h"

#include <algorithm>

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "res/Version.h"
#include "ui/FileDialogFilter.h"
#include "ui/NativeCaption.h"

// Resources of a static library are only linked in when referenced.
static void InitWriterResources()
{
    Q_INIT_RESOURCE(zelv4_writer);
}

namespace zelv4 {

namespace {

constexpr int TEMPLATE_WIDTH = 250;
constexpr int TEMPLATE_HEIGHT = 152;
constexpr int DIALOG_FONT_POINTS = 9;
constexpr int STATIC_LINE_HEIGHT = 8;   // dialog units of one text line
constexpr int MIN_STATIC_STRETCH = 60;  // percent
constexpr const char* DIALOG_CAPTION = "ZEL-V4 HID Writer Ver 0.03b";
constexpr const char* CHIP_NAME = "ZEL-V4";
constexpr const char* ICON_RESOURCE = ":/zelv4-writer.png";  // icon group 128 (IDI_APP)

// The template's font and the one installed font that has its glyphs.
const QString& DialogFontFamily()
{
    static const QString family = QString::fromUtf8("\u65B0\u7D30\u660E\u9AD4");  // "新細明體"
    return family;
}
constexpr const char* DIALOG_FONT_SUBSTITUTE = "AR PL UMing TW";

// The operation buttons in the order they are gated.
constexpr int GATED_BUTTONS[] = {IDC_RECONNECT, IDC_AUTO, IDC_OPEN_FILE,    IDC_MASS_ERASE, IDC_WRITE,
                                 IDC_VERIFY,    IDC_READ, IDC_READ_PROTECT, IDC_EXIT_ISP};

QString ControlName(int id)
{
    switch (id) {
    case IDC_MASS_ERASE:
        return QStringLiteral("IDC_MASS_ERASE");
    case IDC_WRITE:
        return QStringLiteral("IDC_WRITE");
    case IDC_READ:
        return QStringLiteral("IDC_READ");
    case IDC_VERIFY:
        return QStringLiteral("IDC_VERIFY");
    case IDC_RECONNECT:
        return QStringLiteral("IDC_RECONNECT");
    case IDC_CHECKSUM:
        return QStringLiteral("IDC_CHECKSUM");
    case IDC_CHIP:
        return QStringLiteral("IDC_CHIP");
    case IDC_FILE:
        return QStringLiteral("IDC_FILE");
    case IDC_OPEN_FILE:
        return QStringLiteral("IDC_OPEN_FILE");
    case IDC_AUTO:
        return QStringLiteral("IDC_AUTO");
    case IDC_READ_PROTECT:
        return QStringLiteral("IDC_READ_PROTECT");
    case IDC_EXIT_ISP:
        return QStringLiteral("IDC_EXIT_ISP");
    case IDC_PROGRESS:
        return QStringLiteral("IDC_PROGRESS");
    default:
        return QString();
    }
}

QMessageBox::Icon ToQtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// Paths are bytes in the locale's encoding; the controls hold text.
QString PathToText(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string TextToPath(const QString& text)
{
    return QFile::encodeName(text).toStdString();
}

}  // namespace

CIspWriterDlg::CIspWriterDlg(IspDevicePort& device, UsbBusPort& bus, QWidget* parent)
    : QDialog(parent), m_units(DialogFont()), m_operations(*this, *this, m_reports, device, bus, m_files)
{
    InitWriterResources();
    m_hIcon.addFile(QString::fromLatin1(ICON_RESOURCE), QSize(32, 32));
    m_hIcon.addPixmap(
        QPixmap(QString::fromLatin1(ICON_RESOURCE)).scaled(16, 16, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));

    // Popup with caption, system menu and modal frame: fixed size, no minimise or
    // maximise box, so the window is never iconic and needs no painting of its own.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    setWindowTitle(QString::fromLatin1(DIALOG_CAPTION));
    setFixedSize(m_units.ToPixelsX(TEMPLATE_WIDTH), m_units.ToPixelsY(TEMPLATE_HEIGHT));

    CreateControls();
    OnInitDialog();
}

CIspWriterDlg::~CIspWriterDlg() = default;

QString CIspWriterDlg::ApplicationName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QFont CIspWriterDlg::DialogFont()
{
    QFont::insertSubstitution(DialogFontFamily(), QString::fromLatin1(DIALOG_FONT_SUBSTITUTE));
    QFont font(DialogFontFamily());
    font.setPointSize(DIALOG_FONT_POINTS);
    return font;
}

QWidget* CIspWriterDlg::Control(int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CIspWriterDlg::Register(int id, QWidget* control)
{
    control->setObjectName(ControlName(id));
    m_controls[id] = control;
}

QPushButton* CIspWriterDlg::AddButton(int id, const char* text, int x, int y, int width, int height,
                                      void (CIspWriterDlg::*handler)())
{
    auto* button = new QPushButton(QString::fromLatin1(text), this);
    // None of them is the default button, not even while it has the focus: Enter
    // is the template's OK (see keyPressEvent).
    button->setAutoDefault(false);
    button->setGeometry(m_units.ToPixels(x, y, width, height));
    Register(id, button);
    connect(button, &QPushButton::clicked, this, handler);
    return button;
}

QLabel* CIspWriterDlg::AddStatic(int id, const QString& text, int x, int y, int width, int height)
{
    auto* label = new QLabel(text, this);
    // A left-aligned static: text from the top-left corner. Only a box with room
    // for two lines wraps; a one-line label that the font makes too narrow clips its
    // last characters instead of losing whole words to an invisible second line.
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(height >= 2 * STATIC_LINE_HEIGHT);
    const QRect box = m_units.ToPixels(x, y, width, height);
    label->setGeometry(box);
    // The template font has proportional Latin letters; the substitute's are all
    // half-width, so "File:" is wider than its box. Narrow such a one-line text
    // until it fits, down to a readable limit.
    const int textWidth = QFontMetrics(label->font()).horizontalAdvance(text);
    if (!label->wordWrap() && textWidth > box.width()) {
        // Glyph advances round to pixels, so step down from the estimate until it fits.
        QFont narrow = label->font();
        for (int stretch = std::min(99, box.width() * 100 / textWidth); stretch >= MIN_STATIC_STRETCH; --stretch) {
            narrow.setStretch(stretch);
            if (QFontMetrics(narrow).horizontalAdvance(text) <= box.width())
                break;
        }
        label->setFont(narrow);
    }
    if (id > 0)
        Register(id, label);
    return label;
}

// The controls of template 102, in template (and tab) order.
void CIspWriterDlg::CreateControls()
{
    // Drop-down, sorted; the 72 units are the height with the list dropped, so the
    // closed box keeps the style's own height.
    m_chip = new QComboBox(this);
    m_chip->setEditable(true);
    m_chip->setInsertPolicy(QComboBox::InsertAlphabetically);
    m_chip->addItem(QString::fromLatin1(CHIP_NAME));
    m_chip->model()->sort(0);
    const QRect chip = m_units.ToPixels(51, 0, 128, 72);
    m_chip->setGeometry(chip.x(), chip.y(), chip.width(), m_chip->sizeHint().height());
    Register(IDC_CHIP, m_chip);
    m_chip->setEnabled(false);
    m_chip->hide();

    AddButton(IDC_OPEN_FILE, "Open File", 16, 61, 50, 14, &CIspWriterDlg::OnOpenFile);
    AddButton(IDC_AUTO, "Auto", 72, 61, 50, 14, &CIspWriterDlg::OnAuto);
    AddButton(IDC_RECONNECT, "Re-connect", 128, 61, 50, 14, &CIspWriterDlg::OnReconnect);
    AddButton(IDC_MASS_ERASE, "Mass Erase", 184, 61, 50, 14, &CIspWriterDlg::OnMassErase);
    AddButton(IDC_WRITE, "Write", 16, 81, 50, 14, &CIspWriterDlg::OnWrite);
    AddButton(IDC_VERIFY, "Verify", 72, 81, 50, 14, &CIspWriterDlg::OnVerify);
    AddButton(IDC_READ, "Read", 128, 81, 50, 14, &CIspWriterDlg::OnRead);
    QPushButton* readProtect =
        AddButton(IDC_READ_PROTECT, "Read Protect", 184, 81, 50, 14, &CIspWriterDlg::OnReadProtect);
    readProtect->setEnabled(false);
    readProtect->hide();
    AddButton(IDC_EXIT_ISP, "Exit ISP", 15, 101, 50, 14, &CIspWriterDlg::OnExitIsp);

    QLabel* version =
        AddStatic(0, QStringLiteral("ZEL-V4 HID Writer\nVersion " ZELV4_VERSION_STRING), 101, 122, 98, 19);
    version->setObjectName(QStringLiteral("staticVersion"));
    AddStatic(0, QStringLiteral("CheckSum :"), 7, 46, 39, 8)->setObjectName(QStringLiteral("staticCheckSum"));
    m_checksum = AddStatic(IDC_CHECKSUM, QStringLiteral("0000H"), 51, 46, 37, 8);
    QLabel* selectIc = AddStatic(0, QStringLiteral("Select IC: "), 7, 0, 33, 8);
    selectIc->setObjectName(QStringLiteral("staticSelectIc"));
    selectIc->setEnabled(false);
    selectIc->hide();
    AddStatic(0, QStringLiteral("File:"), 7, 16, 14, 8)->setObjectName(QStringLiteral("staticFile"));

    // Multi-line, read-only, no tab stop; long paths wrap and scroll vertically
    // without a scroll bar.
    m_file = new QPlainTextEdit(this);
    m_file->setReadOnly(true);
    m_file->setFocusPolicy(Qt::ClickFocus);
    m_file->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_file->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_file->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_file->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_file->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    m_file->setGeometry(m_units.ToPixels(25, 17, 219, 28));
    Register(IDC_FILE, m_file);

    // Kept from the template; never shown, as no operation reports progress.
    m_progress = new QProgressBar(this);
    m_progress->setTextVisible(false);
    m_progress->setGeometry(m_units.ToPixels(73, 102, 162, 13));
    Register(IDC_PROGRESS, m_progress);
    m_progress->setEnabled(false);
    m_progress->hide();
}

void CIspWriterDlg::OnInitDialog()
{
    setWindowIcon(m_hIcon);
    m_chip->setEditText(QString::fromLatin1(CHIP_NAME));

    // The label's template text "0000H" is read in and replaced: the window starts
    // with a blank checksum.
    CollectFields();
    m_strChecksum.clear();
    ShowFields();
}

// The template has no OK button, yet Enter still means OK: the fields are
// collected and the dialog ends, as Escape ends it with Cancel.
void CIspWriterDlg::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (enter && modifiers == Qt::NoModifier) {
        CollectFields();
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Field exchange, in the order path, chip, checksum.
void CIspWriterDlg::ShowFields()
{
    m_file->setPlainText(PathToText(m_strFile));

    // Selects the first item that starts with the text; a text no item starts
    // with goes into the edit part.
    const QString chip = QString::fromStdString(m_strChip);
    const int index = m_chip->findText(chip, Qt::MatchStartsWith);
    if (index >= 0)
        m_chip->setCurrentIndex(index);
    else
        m_chip->setEditText(chip);

    m_checksum->setText(QString::fromStdString(m_strChecksum));
}

void CIspWriterDlg::CollectFields()
{
    m_strFile = TextToPath(m_file->toPlainText());
    m_strChip = m_chip->currentText().toStdString();
    m_strChecksum = m_checksum->text().toStdString();
}

void CIspWriterDlg::SetButtonsEnabled(bool enabled)
{
    for (int id : GATED_BUTTONS)
        Control(id)->setEnabled(enabled);
}

void CIspWriterDlg::DisableButtons()
{
    SetButtonsEnabled(false);
}

void CIspWriterDlg::EnableButtons()
{
    SetButtonsEnabled(true);
}

void CIspWriterDlg::MessageBox(const std::string& text, MessageIcon icon)
{
    ShowMessage({text, ApplicationName().toStdString(), icon, false});
}

void CIspWriterDlg::WindowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon)
{
    ShowMessage({text, caption, icon, true});
}

std::unique_ptr<QMessageBox> CIspWriterDlg::CreateMessageBox(const MessageRequest& request)
{
    auto box = std::make_unique<QMessageBox>(ToQtIcon(request.icon), QString::fromStdString(request.caption),
                                             QString::fromStdString(request.text), QMessageBox::Ok, this);
    // Auto's time-out box has an empty caption, which Qt alone would not show.
    if (request.caption.empty())
        NativeCaption::MakeEmpty(*box);
    return box;
}

void CIspWriterDlg::ShowMessage(const MessageRequest& request)
{
    if (m_messageBoxHook) {
        m_messageBoxHook(request);
        return;
    }
    CreateMessageBox(request)->exec();
}

std::unique_ptr<QFileDialog> CIspWriterDlg::CreateFileDialog(FileDialogKind kind, const FileDialogOptions& options)
{
    auto dialog = std::make_unique<QFileDialog>(options.ownedByWindow ? this : nullptr);
    const bool open = kind == FileDialogKind::Open;
    dialog->setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    // Like the Windows dialogs: a typed name need not exist yet; loading it then fails.
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(FileDialogFilter::ToNameFilters(options.filter));
    // A name typed without an extension gets the default one (".dmp" for a dump),
    // rather than being written under a name the filter then hides.
    dialog->setDefaultSuffix(QString::fromStdString(options.DefaultExtension()));
    dialog->setOption(QFileDialog::DontConfirmOverwrite, !options.overwritePrompt);
    return dialog;
}

std::optional<std::string> CIspWriterDlg::RunFileDialog(FileDialogKind kind, const FileDialogOptions& options)
{
    if (m_fileDialogHook)
        return m_fileDialogHook(kind, options);

    const std::unique_ptr<QFileDialog> dialog = CreateFileDialog(kind, options);
    if (dialog->exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    std::string path = TextToPath(files.first());
    // The caller's name buffer cannot take a longer path: the Windows dialog refuses it.
    if (options.maxPathLength != 0 && path.size() > options.maxPathLength)
        return std::nullopt;
    return path;
}

std::optional<std::string> CIspWriterDlg::RunOpenFileDialog(const FileDialogOptions& options)
{
    return RunFileDialog(FileDialogKind::Open, options);
}

std::optional<std::string> CIspWriterDlg::RunSaveFileDialog(const FileDialogOptions& options)
{
    return RunFileDialog(FileDialogKind::Save, options);
}

// Click handlers. The window shows no progress and has no use for the results.
void CIspWriterDlg::OnOpenFile()
{
    m_operations.OnOpenFile();
}
void CIspWriterDlg::OnAuto()
{
    m_operations.OnAuto();
}
void CIspWriterDlg::OnReconnect()
{
    m_operations.OnReconnect();
}
void CIspWriterDlg::OnMassErase()
{
    m_operations.OnMassErase();
}
void CIspWriterDlg::OnWrite()
{
    m_operations.OnWrite();
}
void CIspWriterDlg::OnVerify()
{
    m_operations.OnVerify();
}
void CIspWriterDlg::OnRead()
{
    m_operations.OnRead();
}
void CIspWriterDlg::OnReadProtect()
{
    m_operations.OnReadProtect();
}
void CIspWriterDlg::OnExitIsp()
{
    m_operations.OnExitIsp();
}

}  // namespace zelv4
