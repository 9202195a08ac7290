#include "ui/win32/CIspWriterDlg.h"

#include <commdlg.h>

#include <vector>

#include "sys/win32/WideText.h"
#include "ui/win32/DialogInitData.h"
#include "ui/win32/FileDialogFilter.h"
#include "ui/win32/resource.h"

namespace zelv4 {

namespace {

constexpr const char* CHIP_NAME = "ZEL-V4";
// The open dialog's name buffer, as the common dialog's default.
constexpr std::size_t OPEN_PATH_BUFFER = MAX_PATH;

// The operation buttons in the order they are gated.
constexpr int GATED_BUTTONS[] = {IDC_RECONNECT, IDC_AUTO, IDC_OPEN_FILE,    IDC_MASS_ERASE, IDC_WRITE,
                                 IDC_VERIFY,    IDC_READ, IDC_READ_PROTECT, IDC_EXIT_ISP};

// The window's text is the program's UTF-8; the controls hold UTF-16, so that a
// path reaches them, and comes back, exactly.
std::wstring Wide(const std::string& text)
{
    return Utf8ToWide(text).value_or(std::wstring());
}

UINT IconStyle(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return MB_ICONINFORMATION;
    case MessageIcon::Error:
        return MB_ICONERROR;
    case MessageIcon::None:
        break;
    }
    return 0;
}

}  // namespace

CIspWriterDlg::CIspWriterDlg(IspDevicePort& device, UsbBusPort& bus)
    : m_hIcon(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP))),
      m_operations(*this, *this, m_reports, device, bus, m_files)
{}

std::string CIspWriterDlg::ApplicationName()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::string();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    std::string name = WideToUtf8Shown(std::wstring_view(path.data(), path.size()));
    const auto slash = name.find_last_of("\\/");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0)
        name.erase(dot);
    return name;
}

INT_PTR CIspWriterDlg::DoModal(HWND parent)
{
    // A Unicode window, so that its edit control holds any path.
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_WRITER_DIALOG), parent, &DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CIspWriterDlg::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CIspWriterDlg*>(lParam);
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        dialog->m_hWnd = hWnd;
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<CIspWriterDlg*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    if (dialog == nullptr)
        return FALSE;
    const INT_PTR handled = dialog->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY)
        dialog->m_hWnd = nullptr;
    return handled;
}

INT_PTR CIspWriterDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        // One of the messages a dialog procedure answers directly.
        return reinterpret_cast<INT_PTR>(m_hIcon);
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            OnCommand(LOWORD(wParam));
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

BOOL CIspWriterDlg::OnInitDialog()
{
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    ExecuteDialogInit();
    ::SetDlgItemTextA(m_hWnd, IDC_CHIP, CHIP_NAME);

    // The label's template text "0000H" is read in and replaced: the window starts
    // with a blank checksum.
    CollectFields();
    m_strChecksum.clear();
    ShowFields();
    return TRUE;
}

// The template's initial control data, sent as the messages it lists.
void CIspWriterDlg::ExecuteDialogInit()
{
    const HMODULE module = ::GetModuleHandleA(nullptr);
    const HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(IDD_WRITER_DIALOG), MAKEINTRESOURCEA(RT_DLGINIT_TYPE));
    const HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
    const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (data == nullptr)
        return;
    const auto bytes = std::span(static_cast<const std::uint8_t*>(data), ::SizeofResource(module, found));
    const auto entries = DialogInitData::Parse(bytes);
    if (!entries)
        return;
    for (const DialogInitData::Entry& entry : *entries) {
        UINT message = 0;
        if (entry.message == DialogInitData::ADD_STRING_COMBO_BOX)
            message = CB_ADDSTRING;
        else if (entry.message == DialogInitData::ADD_STRING_LIST_BOX)
            message = LB_ADDSTRING;
        else
            continue;
        ::SendDlgItemMessageA(m_hWnd, entry.controlId, message, 0, reinterpret_cast<LPARAM>(entry.text.c_str()));
    }
}

// Minimised, the window draws its icon centred in the client area.
bool CIspWriterDlg::OnPaint()
{
    if (!::IsIconic(m_hWnd))
        return false;
    PAINTSTRUCT paint;
    const HDC dc = ::BeginPaint(m_hWnd, &paint);
    ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
    return true;
}

void CIspWriterDlg::OnCommand(int id)
{
    // The window has no use for the results: the operations showed them.
    switch (id) {
    case IDOK:
    case IDCANCEL:
        ::EndDialog(m_hWnd, id);
        break;
    case IDC_OPEN_FILE:
        m_operations.OnOpenFile();
        break;
    case IDC_AUTO:
        m_operations.OnAuto();
        break;
    case IDC_RECONNECT:
        m_operations.OnReconnect();
        break;
    case IDC_MASS_ERASE:
        m_operations.OnMassErase();
        break;
    case IDC_WRITE:
        m_operations.OnWrite();
        break;
    case IDC_VERIFY:
        m_operations.OnVerify();
        break;
    case IDC_READ:
        m_operations.OnRead();
        break;
    case IDC_READ_PROTECT:
        m_operations.OnReadProtect();
        break;
    case IDC_EXIT_ISP:
        m_operations.OnExitIsp();
        break;
    default:
        break;
    }
}

std::string CIspWriterDlg::ControlText(int id) const
{
    const HWND control = ::GetDlgItem(m_hWnd, id);
    const int length = ::GetWindowTextLengthW(control);
    if (length <= 0)
        return std::string();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    // A name that UTF-8 cannot carry names no file the operations can open.
    return WideToUtf8(text).value_or(std::string());
}

// Field exchange, in the order path, chip, checksum.
void CIspWriterDlg::ShowFields()
{
    ::SetDlgItemTextW(m_hWnd, IDC_FILE, Wide(m_strFile).c_str());
    // Selects the first item that starts with the text; a text no item starts
    // with goes into the edit part.
    const std::wstring chip = Wide(m_strChip);
    const LRESULT index = ::SendDlgItemMessageW(m_hWnd, IDC_CHIP, CB_SELECTSTRING, static_cast<WPARAM>(-1),
                                                reinterpret_cast<LPARAM>(chip.c_str()));
    if (index == CB_ERR)
        ::SetDlgItemTextW(m_hWnd, IDC_CHIP, chip.c_str());
    ::SetDlgItemTextW(m_hWnd, IDC_CHECKSUM, Wide(m_strChecksum).c_str());
}

void CIspWriterDlg::CollectFields()
{
    m_strFile = ControlText(IDC_FILE);
    m_strChip = ControlText(IDC_CHIP);
    m_strChecksum = ControlText(IDC_CHECKSUM);
}

void CIspWriterDlg::SetButtonsEnabled(bool enabled)
{
    for (const int id : GATED_BUTTONS)
        ::EnableWindow(::GetDlgItem(m_hWnd, id), enabled ? TRUE : FALSE);
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
    ::MessageBoxW(m_hWnd, Wide(text).c_str(), Wide(ApplicationName()).c_str(), MB_OK | IconStyle(icon));
}

void CIspWriterDlg::WindowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon)
{
    // An empty caption stays empty; only a null one would become "Error".
    ::MessageBoxW(m_hWnd, Wide(text).c_str(), Wide(caption).c_str(), MB_OK | IconStyle(icon));
}

std::optional<std::string> CIspWriterDlg::RunFileDialog(bool save, const FileDialogOptions& options)
{
    const std::wstring filter = Wide(FileDialogFilter::ToFilterList(options.filter));
    const std::wstring extension = Wide(options.DefaultExtension());
    // The name buffer holds the longest path the caller takes and its terminator.
    const std::size_t bufferSize = options.maxPathLength != 0 ? options.maxPathLength + 1 : OPEN_PATH_BUFFER;
    std::vector<wchar_t> name(bufferSize, L'\0');

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    // Always the window's, as the framework makes a box given no owner: an
    // ownerless box would leave the window working under it (a second Open box,
    // an Auto run), and its modal loop nested under the box's.
    dialog.hwndOwner = m_hWnd;
    dialog.lpstrFilter = filter.size() > 1 ? filter.c_str() : nullptr;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    // Neither dialog of the program offers to open read-only.
    dialog.Flags = OFN_HIDEREADONLY | (options.overwritePrompt ? OFN_OVERWRITEPROMPT : 0);

    // Cancelled, or a name the buffer cannot hold: no path either way.
    const BOOL chosen = save ? ::GetSaveFileNameW(&dialog) : ::GetOpenFileNameW(&dialog);
    if (!chosen)
        return std::nullopt;
    // A name that UTF-8 cannot carry is not passed on as some other name.
    return WideToUtf8(name.data());
}

std::optional<std::string> CIspWriterDlg::RunOpenFileDialog(const FileDialogOptions& options)
{
    return RunFileDialog(false, options);
}

std::optional<std::string> CIspWriterDlg::RunSaveFileDialog(const FileDialogOptions& options)
{
    return RunFileDialog(true, options);
}

}  // namespace zelv4
