// The main window on the offscreen platform, over the simulated machine, with the
// modal boxes and file dialogs answered by hooks, and Auto's waits recorded.
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device/IspDeviceConnection.h"
#include "device/UsbBusScan.h"
#include "device/sim/SimMachine.h"
#include "support/HexRecords.h"
#include "support/RecordingWindow.h"
#include "support/TestMachine.h"
#include "ui/CIspWriterApp.h"
#include "ui/CIspWriterDlg.h"

using namespace zelv4;
using Request = CIspWriterDlg::MessageRequest;
using Kind = CIspWriterDlg::FileDialogKind;

namespace {

struct TemplateControl {
    int id;
    const char* className;
    const char* text;
    QRect dlu;
    bool visible;
    bool enabled;
};

// Template 102 in template order (unnamed statics are checked separately).
const std::vector<TemplateControl>& TemplateControls()
{
    static const std::vector<TemplateControl> controls = {
        {IDC_OPEN_FILE, "QPushButton", "Open File", {16, 61, 50, 14}, true, true},
        {IDC_AUTO, "QPushButton", "Auto", {72, 61, 50, 14}, true, true},
        {IDC_RECONNECT, "QPushButton", "Re-connect", {128, 61, 50, 14}, true, true},
        {IDC_MASS_ERASE, "QPushButton", "Mass Erase", {184, 61, 50, 14}, true, true},
        {IDC_WRITE, "QPushButton", "Write", {16, 81, 50, 14}, true, true},
        {IDC_VERIFY, "QPushButton", "Verify", {72, 81, 50, 14}, true, true},
        {IDC_READ, "QPushButton", "Read", {128, 81, 50, 14}, true, true},
        {IDC_READ_PROTECT, "QPushButton", "Read Protect", {184, 81, 50, 14}, false, false},
        {IDC_EXIT_ISP, "QPushButton", "Exit ISP", {15, 101, 50, 14}, true, true},
        {IDC_FILE, "QPlainTextEdit", "", {25, 17, 219, 28}, true, true},
        {IDC_PROGRESS, "QProgressBar", nullptr, {73, 102, 162, 13}, false, false},
    };
    return controls;
}

constexpr int GATED[] = {IDC_RECONNECT, IDC_AUTO, IDC_OPEN_FILE,    IDC_MASS_ERASE, IDC_WRITE,
                         IDC_VERIFY,    IDC_READ, IDC_READ_PROTECT, IDC_EXIT_ISP};

QRect Pixels(const CIspWriterDlg& dlg, const QRect& dlu)
{
    return dlg.Units().ToPixels(dlu.x(), dlu.y(), dlu.width(), dlu.height());
}

// Intel HEX of `data` at address 0, one record per 16 bytes.
void WriteHex(const QString& path, const std::vector<std::uint8_t>& data)
{
    std::string text;
    for (std::size_t offset = 0; offset < data.size(); offset += 16) {
        const auto end = data.begin() + static_cast<std::ptrdiff_t>(std::min(offset + 16, data.size()));
        text += test::HexData(static_cast<std::uint16_t>(offset),
                              {data.begin() + static_cast<std::ptrdiff_t>(offset), end}) +
                "\r\n";
    }
    text += test::HEX_END + "\r\n";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.data(), static_cast<qint64>(text.size()));
}

// Ten 0xFF and one 0xC6: the image sums to 0x0ABC.
std::vector<std::uint8_t> ChecksumAbcData()
{
    std::vector<std::uint8_t> data(10, 0xFF);
    data.push_back(0xC6);
    return data;
}

}  // namespace

class CIspWriterDlgTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowMatchesTemplate();
    void controlsMatchTemplate();
    void staticTextsMatchTemplate();
    void firstShowHasEmptyPathAndBlankChecksum();
    void openFileShowsChecksum();
    void cancelledOpenFileEmptiesFieldsAndSaysSo();
    void buttonsAreGatedTogether();
    void enterAndEscapeEndDialog_data();
    void enterAndEscapeEndDialog();
    void pathEditTakesNoTabStopAndShowsNoScrollBar();
    void writeProgramsSimulatedChip();
    void readDumpsFlashToChosenFile();
    void autoWithEmptyPathTouchesNothing();
    void autoTimeOutUsesWindowBoxAndSleeps();
    void preparsedDataFailureShowsPlainBox();
    void fileDialogsAreConfiguredFromOptions();
    void messageBoxesCarryIconAndCaption();
    void applicationRunsWindowModallyAndReturnsFalse();

private:
    void Make(std::unique_ptr<test::TestMachine> machine);
    QPushButton* Button(int id) { return qobject_cast<QPushButton*>(m_dlg->Control(id)); }
    QString ChecksumText() { return qobject_cast<QLabel*>(m_dlg->Control(IDC_CHECKSUM))->text(); }
    QString PathText() { return qobject_cast<QPlainTextEdit*>(m_dlg->Control(IDC_FILE))->toPlainText(); }
    QString WriteAbcHex();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::TestMachine> m_machine;
    std::unique_ptr<IspDeviceConnection> m_device;
    std::unique_ptr<test::RecordingDevice> m_waits;
    std::unique_ptr<UsbBusScan> m_bus;
    std::unique_ptr<CIspWriterDlg> m_dlg;
    std::vector<Request> m_messages;
    std::vector<std::pair<Kind, FileDialogOptions>> m_fileDialogs;
    std::optional<std::string> m_fileAnswer;
};

void CIspWriterDlgTest::Make(std::unique_ptr<test::TestMachine> machine)
{
    m_dlg.reset();
    m_waits.reset();
    m_device.reset();
    m_bus.reset();
    m_machine = std::move(machine);
    m_device = std::make_unique<IspDeviceConnection>(m_machine->Hid());
    m_bus = std::make_unique<UsbBusScan>(m_machine->UsbBus());
    m_waits = std::make_unique<test::RecordingDevice>(*m_device);
    m_dlg = std::make_unique<CIspWriterDlg>(*m_waits, *m_bus);
    m_dlg->SetMessageBoxHook([this](const Request& request) { m_messages.push_back(request); });
    m_dlg->SetFileDialogHook([this](Kind kind, const FileDialogOptions& options) {
        m_fileDialogs.emplace_back(kind, options);
        return m_fileAnswer;
    });
}

void CIspWriterDlgTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_messages.clear();
    m_fileDialogs.clear();
    m_fileAnswer.reset();
    Make(test::TestMachine::CreateDefault());
}

void CIspWriterDlgTest::cleanup()
{
    m_dlg.reset();
    m_waits.reset();
    m_device.reset();
    m_machine.reset();
    m_dir.reset();
}

QString CIspWriterDlgTest::WriteAbcHex()
{
    const QString path = m_dir->filePath(QStringLiteral("abc.hex"));
    WriteHex(path, ChecksumAbcData());
    return path;
}

void CIspWriterDlgTest::windowMatchesTemplate()
{
    QCOMPARE(m_dlg->windowTitle(), QStringLiteral("ZEL-V4 HID Writer Ver 0.03b"));
    QCOMPARE(m_dlg->size(), Pixels(*m_dlg, QRect(0, 0, 250, 152)).size());
    QCOMPARE(m_dlg->minimumSize(), m_dlg->maximumSize());  // modal frame: not resizable
    QCOMPARE(m_dlg->parentWidget(), nullptr);
    QVERIFY(!m_dlg->windowIcon().isNull());
    QVERIFY(!m_dlg->windowIcon().pixmap(32, 32).isNull());
    QVERIFY(!m_dlg->windowIcon().pixmap(16, 16).isNull());
    QCOMPARE(m_dlg->font().family(), QString::fromUtf8("\u65B0\u7D30\u660E\u9AD4"));
    QCOMPARE(m_dlg->font().pointSize(), 9);
    QVERIFY(QFont::substitutes(m_dlg->font().family()).contains(QStringLiteral("AR PL UMing TW"), Qt::CaseInsensitive));
    // Dialog units come from the dialog font, so a unit is never zero pixels.
    QVERIFY(m_dlg->Units().AverageCharWidth() >= 4);
    QVERIFY(m_dlg->Units().CharHeight() >= 8);
}

void CIspWriterDlgTest::controlsMatchTemplate()
{
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
    for (const TemplateControl& expected : TemplateControls()) {
        QWidget* control = m_dlg->Control(expected.id);
        QVERIFY2(control, qPrintable(QString::number(expected.id)));
        QVERIFY(control->inherits(expected.className));
        QCOMPARE(control->objectName().left(4), QStringLiteral("IDC_"));
        QCOMPARE(m_dlg->findChild<QWidget*>(control->objectName()), control);
        QCOMPARE(control->geometry(), Pixels(*m_dlg, expected.dlu));
        QCOMPARE(control->isVisible(), expected.visible);
        QCOMPARE(control->isEnabled(), expected.enabled);
        if (auto* button = qobject_cast<QPushButton*>(control))
            QCOMPARE(button->text(), QString::fromLatin1(expected.text));
    }
    QCOMPARE(m_dlg->findChild<QWidget*>("IDC_WRITE"), m_dlg->Control(IDC_WRITE));

    auto* file = qobject_cast<QPlainTextEdit*>(m_dlg->Control(IDC_FILE));
    QVERIFY(file->isReadOnly());

    // The chip combo box: position and width from the template, its one item.
    auto* chip = qobject_cast<QComboBox*>(m_dlg->Control(IDC_CHIP));
    QVERIFY(chip);
    QCOMPARE(chip->objectName(), QStringLiteral("IDC_CHIP"));
    const QRect chipRect = Pixels(*m_dlg, QRect(51, 0, 128, 72));
    QCOMPARE(chip->pos(), chipRect.topLeft());
    QCOMPARE(chip->width(), chipRect.width());
    QVERIFY(!chip->isVisible());
    QVERIFY(!chip->isEnabled());
    QCOMPARE(chip->count(), 1);
    QCOMPARE(chip->itemText(0), QStringLiteral("ZEL-V4"));
    QCOMPARE(chip->currentText(), QStringLiteral("ZEL-V4"));

    auto* checksum = qobject_cast<QLabel*>(m_dlg->Control(IDC_CHECKSUM));
    QVERIFY(checksum);
    QCOMPARE(checksum->geometry(), Pixels(*m_dlg, QRect(51, 46, 37, 8)));
    QVERIFY(checksum->isVisible());

    // Tab order follows the template: Open File first, then the buttons in order.
    QCOMPARE(m_dlg->Control(IDC_OPEN_FILE)->nextInFocusChain(), m_dlg->Control(IDC_AUTO));
}

void CIspWriterDlgTest::staticTextsMatchTemplate()
{
    m_dlg->show();
    struct Static {
        const char* name;
        const char* text;
        QRect dlu;
        bool visible;
    };
    const Static statics[] = {
        {"staticCheckSum", "CheckSum :", {7, 46, 39, 8}, true},
        {"staticSelectIc", "Select IC: ", {7, 0, 33, 8}, false},
        {"staticFile", "File:", {7, 16, 14, 8}, true},
        {"staticVersion", nullptr, {101, 122, 98, 19}, true},
    };
    for (const Static& expected : statics) {
        auto* label = m_dlg->findChild<QLabel*>(expected.name);
        QVERIFY2(label, expected.name);
        if (expected.text)
            QCOMPARE(label->text(), QString::fromLatin1(expected.text));
        else
            QVERIFY(!label->text().isEmpty());
        QCOMPARE(label->geometry(), Pixels(*m_dlg, expected.dlu));
        QCOMPARE(label->isVisible(), expected.visible);
        QCOMPARE(label->isEnabled(), expected.visible);
        // A one-line text is never cut off by its box, whatever the substitute font.
        if (expected.visible && expected.dlu.height() < 16)
            QVERIFY2(QFontMetrics(label->font()).horizontalAdvance(label->text()) <= label->width(), expected.name);
    }
}

void CIspWriterDlgTest::firstShowHasEmptyPathAndBlankChecksum()
{
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dlg.get()));
    QCOMPARE(PathText(), QString());
    // The template's "0000H" is replaced before the window is first shown.
    QCOMPARE(ChecksumText(), QString());
    QCOMPARE(m_dlg->m_strChecksum, std::string());
    QCOMPARE(m_dlg->m_strFile, std::string());
    QCOMPARE(m_dlg->m_strChip, std::string("ZEL-V4"));
    QVERIFY(m_messages.empty());
}

void CIspWriterDlgTest::openFileShowsChecksum()
{
    m_dlg->show();
    const QString path = WriteAbcHex();
    m_fileAnswer = path.toStdString();
    QTest::mouseClick(Button(IDC_OPEN_FILE), Qt::LeftButton);

    QCOMPARE(ChecksumText(), QStringLiteral(" ABCh"));
    QCOMPARE(PathText(), path);
    QCOMPARE(m_dlg->m_strFile, path.toStdString());
    QVERIFY(m_messages.empty());
    QCOMPARE(m_fileDialogs.size(), std::size_t{1});
    QCOMPARE(m_fileDialogs[0].first, Kind::Open);
    QCOMPARE(m_fileDialogs[0].second.filter,
             std::string("Hex Files (*.hex)|*.hex|Binary Files (*.bin)|*.bin|All Files (*.*)|*.*"));
    QVERIFY(!m_fileDialogs[0].second.ownedByWindow);
    // Open File does not touch the device.
    QCOMPARE(m_machine->Loader().Transfers().size(), std::size_t{0});
    QCOMPARE(m_machine->HidInterfaces().Searches(), 0u);
    for (int id : GATED)
        QVERIFY(m_dlg->Control(id)->isEnabled() == (id != IDC_READ_PROTECT));
}

void CIspWriterDlgTest::cancelledOpenFileEmptiesFieldsAndSaysSo()
{
    m_dlg->show();
    m_fileAnswer = WriteAbcHex().toStdString();
    QTest::mouseClick(Button(IDC_OPEN_FILE), Qt::LeftButton);
    QCOMPARE(ChecksumText(), QStringLiteral(" ABCh"));

    m_fileAnswer.reset();
    QTest::mouseClick(Button(IDC_OPEN_FILE), Qt::LeftButton);
    QCOMPARE(PathText(), QString());
    QCOMPARE(ChecksumText(), QString());
    QCOMPARE(m_messages.size(), std::size_t{1});
    QCOMPARE(m_messages[0].text, std::string("Open file error !!"));
    QCOMPARE(m_messages[0].icon, MessageIcon::Error);
    QCOMPARE(m_messages[0].caption, CIspWriterDlg::ApplicationName().toStdString());
    QCOMPARE(m_messages[0].caption, std::string("zelv4_ui_dialog_tests"));
    QVERIFY(!m_messages[0].windowBox);

    // A following Write has no file either.
    QTest::mouseClick(Button(IDC_WRITE), Qt::LeftButton);
    QCOMPARE(m_messages.size(), std::size_t{2});
    QCOMPARE(m_messages[1].text, std::string("Open file error !!"));
    QCOMPARE(m_machine->Loader().Transfers().size(), std::size_t{0});
}

void CIspWriterDlgTest::buttonsAreGatedTogether()
{
    m_dlg->show();
    m_dlg->DisableButtons();
    for (int id : GATED)
        QVERIFY2(!m_dlg->Control(id)->isEnabled(), qPrintable(QString::number(id)));
    // Nothing else is gated.
    QVERIFY(m_dlg->Control(IDC_FILE)->isEnabled());
    QVERIFY(m_dlg->findChild<QLabel*>("staticFile")->isEnabled());

    m_dlg->EnableButtons();
    for (int id : GATED)
        QVERIFY2(m_dlg->Control(id)->isEnabled(), qPrintable(QString::number(id)));
    // Read Protect is enabled with the others but stays hidden.
    QVERIFY(!m_dlg->Control(IDC_READ_PROTECT)->isVisible());
    QVERIFY(!m_dlg->Control(IDC_CHIP)->isEnabled());
    QVERIFY(!m_dlg->Control(IDC_PROGRESS)->isEnabled());

    // A disabled button does not run its operation.
    m_dlg->DisableButtons();
    QTest::mouseClick(Button(IDC_OPEN_FILE), Qt::LeftButton);
    QVERIFY(m_fileDialogs.empty());
}

void CIspWriterDlgTest::enterAndEscapeEndDialog_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("result");
    QTest::newRow("Return") << int(Qt::Key_Return) << int(QDialog::Accepted);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(QDialog::Accepted);
    QTest::newRow("Escape") << int(Qt::Key_Escape) << int(QDialog::Rejected);
}

// Enter is the template's default OK and Escape its Cancel, whichever button has
// the focus; Space clicks the focused button.
void CIspWriterDlgTest::enterAndEscapeEndDialog()
{
    QFETCH(int, key);
    QFETCH(int, result);
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowActive(m_dlg.get()));
    QCOMPARE(QApplication::focusWidget(), m_dlg->Control(IDC_OPEN_FILE));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(m_fileDialogs.size(), std::size_t{1});
    QCOMPARE(m_messages.size(), std::size_t{1});  // cancelled: "Open file error !!"
    QVERIFY(m_dlg->isVisible());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                    key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    QVERIFY(!m_dlg->isVisible());
    QCOMPARE(m_dlg->result(), result);
    QCOMPARE(m_fileDialogs.size(), std::size_t{1});
    QCOMPARE(m_messages.size(), std::size_t{1});
}

void CIspWriterDlgTest::pathEditTakesNoTabStopAndShowsNoScrollBar()
{
    m_dlg->show();
    QVERIFY(QTest::qWaitForWindowActive(m_dlg.get()));
    // Tab from the last button wraps to the first, past the path edit.
    m_dlg->Control(IDC_EXIT_ISP)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), m_dlg->Control(IDC_OPEN_FILE));

    // A path longer than the box scrolls without a scroll bar.
    m_fileAnswer = m_dir->filePath(QString(300, QLatin1Char('x'))).toStdString();
    QTest::mouseClick(Button(IDC_OPEN_FILE), Qt::LeftButton);
    QCOMPARE(PathText().toStdString(), *m_fileAnswer);
    auto* file = qobject_cast<QPlainTextEdit*>(m_dlg->Control(IDC_FILE));
    QApplication::processEvents();
    QVERIFY(file->verticalScrollBar()->maximum() > 0);
    QVERIFY(!file->verticalScrollBar()->isVisible());
    QVERIFY(!file->horizontalScrollBar()->isVisible());
}

void CIspWriterDlgTest::writeProgramsSimulatedChip()
{
    m_dlg->show();
    m_fileAnswer = WriteAbcHex().toStdString();
    QTest::mouseClick(Button(IDC_OPEN_FILE), Qt::LeftButton);
    QVERIFY(m_messages.empty());

    QTest::mouseClick(Button(IDC_WRITE), Qt::LeftButton);
    QCOMPARE(m_messages.size(), std::size_t{1});
    QCOMPARE(m_messages[0].text, std::string("Write Command Succeeded !"));
    QCOMPARE(m_messages[0].icon, MessageIcon::Information);
    QCOMPARE(m_messages[0].caption, CIspWriterDlg::ApplicationName().toStdString());

    // The simulated flash started erased; all 640 blocks went out, the zero tail too.
    const FirmwareImage& flash = m_machine->Loader().Flash();
    const std::vector<std::uint8_t> data = ChecksumAbcData();
    QVERIFY(std::equal(data.begin(), data.end(), flash.begin()));
    QVERIFY(std::all_of(flash.begin() + data.size(), flash.end(), [](std::uint8_t b) { return b == 0; }));
    QCOMPARE(m_machine->Loader().SetCount(), ISP_BLOCK_COUNT);
    // The operation ends with the device closed and the buttons enabled again.
    QVERIFY(!m_device->IsOpen());
    for (int id : GATED)
        QVERIFY(m_dlg->Control(id)->isEnabled());
    QCOMPARE(ChecksumText(), QStringLiteral(" ABCh"));

    QTest::mouseClick(Button(IDC_VERIFY), Qt::LeftButton);
    QCOMPARE(m_messages.size(), std::size_t{2});
    QCOMPARE(m_messages[1].text, std::string("Verify Succeeded !"));
    QCOMPARE(m_messages[1].icon, MessageIcon::Information);
}

void CIspWriterDlgTest::readDumpsFlashToChosenFile()
{
    m_dlg->show();
    for (std::size_t i = 0; i < ISP_IMAGE_SIZE; ++i)
        m_machine->Loader().Flash()[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const QString dump = m_dir->filePath(QStringLiteral("flash.dmp"));
    m_fileAnswer = dump.toStdString();
    QTest::mouseClick(Button(IDC_READ), Qt::LeftButton);

    QCOMPARE(m_fileDialogs.size(), std::size_t{1});
    QCOMPARE(m_fileDialogs[0].first, Kind::Save);
    QVERIFY(m_fileDialogs[0].second.ownedByWindow);
    QCOMPARE(m_messages.size(), std::size_t{1});
    QCOMPARE(m_messages[0].text, std::string("Read Succeeded !"));
    QFile file(dump);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), qsizetype(ISP_IMAGE_SIZE));
    const FirmwareImage& flash = m_machine->Loader().Flash();
    QVERIFY(std::equal(flash.begin(), flash.end(), reinterpret_cast<const std::uint8_t*>(bytes.constData())));
}

void CIspWriterDlgTest::autoWithEmptyPathTouchesNothing()
{
    m_dlg->show();
    QTest::mouseClick(Button(IDC_AUTO), Qt::LeftButton);
    QCOMPARE(m_messages.size(), std::size_t{1});
    QCOMPARE(m_messages[0].text, std::string("Open file error !!"));
    QCOMPARE(m_messages[0].icon, MessageIcon::Error);
    QCOMPARE(m_machine->HidInterfaces().Searches(), 0u);
    QVERIFY(m_waits->waits.empty());
}

void CIspWriterDlgTest::autoTimeOutUsesWindowBoxAndSleeps()
{
    // A ZEL-V4 on the bus that never shows up as the ISP device.
    auto machine = std::make_unique<test::TestMachine>();
    machine->UsbTree().AddDefaultBus();
    Make(std::move(machine));
    m_dlg->show();
    m_fileAnswer = WriteAbcHex().toStdString();
    QTest::mouseClick(Button(IDC_OPEN_FILE), Qt::LeftButton);

    QTest::mouseClick(Button(IDC_AUTO), Qt::LeftButton);
    QCOMPARE(m_waits->waits, std::vector<unsigned>(31, 1000));
    QCOMPARE(m_messages.size(), std::size_t{1});
    QCOMPARE(m_messages[0].text, std::string("Time Out !! Please check device and try again."));
    QCOMPARE(m_messages[0].caption, std::string());
    QCOMPARE(m_messages[0].icon, MessageIcon::Error);
    QVERIFY(m_messages[0].windowBox);
    for (int id : GATED)
        QVERIFY(m_dlg->Control(id)->isEnabled());
}

void CIspWriterDlgTest::preparsedDataFailureShowsPlainBox()
{
    auto machine = std::make_unique<test::TestMachine>();
    SimHidInterface isp = SimHidInterface::IspLoader(SimMachine::DEFAULT_ISP_PATH, machine->LoaderPtr());
    machine->HidInterfaces().Faults(isp.path).preparsedFails = true;
    machine->HidInterfaces().Add(isp);
    Make(std::move(machine));
    m_dlg->show();

    QTest::mouseClick(Button(IDC_MASS_ERASE), Qt::LeftButton);
    QCOMPARE(m_messages.size(), std::size_t{2});
    QCOMPARE(m_messages[0].text, std::string("Get HID PREPARED DATA fail! \n"));
    QCOMPARE(m_messages[0].icon, MessageIcon::None);
    QCOMPARE(m_messages[0].caption, CIspWriterDlg::ApplicationName().toStdString());
    // No length was ever read by this window's connection, so the erase request fails.
    QCOMPARE(m_messages[1].text, std::string("MassErase Function Fail !!!"));
    QCOMPARE(m_messages[1].icon, MessageIcon::Error);
}

void CIspWriterDlgTest::fileDialogsAreConfiguredFromOptions()
{
    FileDialogOptions dump;
    dump.defaultExtension = "*.dmp";
    dump.filter = "Dump Files (*.dmp)|*.dmp|All Files (*.*)|*.*||";
    dump.overwritePrompt = true;
    dump.ownedByWindow = true;
    const auto save = m_dlg->CreateFileDialog(Kind::Save, dump);
    QCOMPARE(save->acceptMode(), QFileDialog::AcceptSave);
    // A name typed without an extension is saved as NAME.dmp.
    QCOMPARE(save->defaultSuffix(), QStringLiteral("dmp"));
    QCOMPARE(save->nameFilters(), (QStringList{"Dump Files (*.dmp)", "All Files (*)"}));
    QVERIFY(!save->testOption(QFileDialog::DontConfirmOverwrite));
    QCOMPARE(save->parentWidget(), m_dlg.get());

    FileDialogOptions image;
    image.filter = "Hex Files (*.hex)|*.hex|Binary Files (*.bin)|*.bin|All Files (*.*)|*.*";
    const auto open = m_dlg->CreateFileDialog(Kind::Open, image);
    QCOMPARE(open->acceptMode(), QFileDialog::AcceptOpen);
    QCOMPARE(open->defaultSuffix(), QString());
    QCOMPARE(open->nameFilters().size(), 3);
    QCOMPARE(open->parentWidget(), nullptr);
}

void CIspWriterDlgTest::messageBoxesCarryIconAndCaption()
{
    const auto error = m_dlg->CreateMessageBox({"Verify Fail !!!", "zelv4-writer", MessageIcon::Error, false});
    QCOMPARE(error->icon(), QMessageBox::Critical);
    QCOMPARE(error->windowTitle(), QStringLiteral("zelv4-writer"));
    QCOMPARE(error->text(), QStringLiteral("Verify Fail !!!"));
    QCOMPARE(error->standardButtons(), QMessageBox::Ok);

    const auto info = m_dlg->CreateMessageBox({"Read Succeeded !", "x", MessageIcon::Information, false});
    QCOMPARE(info->icon(), QMessageBox::Information);
    const auto plain = m_dlg->CreateMessageBox({"Get HID PREPARED DATA fail! \n", "x", MessageIcon::None, false});
    QCOMPARE(plain->icon(), QMessageBox::NoIcon);
    // Auto's time-out box: no caption, not even the application's name (the X11 test
    // reads what the server shows).
    const auto timeOut = m_dlg->CreateMessageBox({"Time Out !!", "", MessageIcon::Error, true});
    QVERIFY(timeOut->windowTitle().trimmed().isEmpty());
}

void CIspWriterDlgTest::applicationRunsWindowModallyAndReturnsFalse()
{
    m_dlg.reset();
    CIspWriterApp app(*m_device, *m_bus);
    QWidget* seen = nullptr;
    bool wasModal = false;
    QTimer::singleShot(0, [&] {
        seen = app.MainWindow();
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        wasModal = dialog && dialog == seen && !dialog->parentWidget();
        if (dialog)
            QTest::keyClick(dialog, Qt::Key_Escape);
    });
    QCOMPARE(app.InitInstance(), false);
    QVERIFY(seen);
    QVERIFY(wasModal);
    QCOMPARE(app.MainWindow(), nullptr);
}

QTEST_MAIN(CIspWriterDlgTest)
#include "CIspWriterDlgTest.moc"
