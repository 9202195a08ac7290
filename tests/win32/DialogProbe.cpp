// zelv4-dialog-probe: looks at zelv4-writer's window from another program, for the
// checks under Wine (scripts/wine-checks). It waits for the window, then
//   layout [FACE]  checks the client area against the template's 250 x 152 dialog
//            units at the dialog font, measured here on its own, that the font
//            measures as FACE (a replacement), and the controls' first state;
//            prints the Auto button's centre in screen pixels
//   message  waits for a message box with the given caption, prints its text and
//            whether the window owns it, and answers it with OK
//   boxes    waits for the window's boxes (a file box), moves them below the window
//            so that its buttons stay in reach, and prints each one's owner and
//            whether the window takes input
//   choose PATH  waits for a file box, types PATH as its file name and presses OK
//   cancel   waits for a box and presses its Cancel
//   fields   prints the window's path field and checksum
// Exit code 0 when every check holds, 1 otherwise, 2 when the window never came.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr const char* DIALOG_CAPTION = "ZEL-V4 HID Writer Ver 0.03b";
constexpr const wchar_t* DIALOG_FONT = L"\u65B0\u7D30\u660E\u9AD4";  // "新細明體"
constexpr int DIALOG_FONT_POINTS = 9;
constexpr int TEMPLATE_WIDTH = 250;
constexpr int TEMPLATE_HEIGHT = 152;
constexpr int WAIT_STEPS = 200;  // of 100 ms
// A message box's text control.
constexpr int MESSAGE_TEXT_ID = 0xFFFF;

int g_failures = 0;

void Check(bool ok, const std::string& what)
{
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what.c_str());
    if (!ok)
        ++g_failures;
}

std::string Utf8(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(std::strlen(utf8.c_str()));
    return utf8;
}

std::wstring Text(HWND window)
{
    wchar_t text[512] = {};
    ::SendMessageW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return text;
}

HWND WaitForDialog()
{
    for (int step = 0; step < WAIT_STEPS; ++step) {
        if (HWND dialog = ::FindWindowA("#32770", DIALOG_CAPTION); dialog != nullptr && ::IsWindowVisible(dialog))
            return dialog;
        ::Sleep(100);
    }
    return nullptr;
}

// The dialog units of the template's font, measured the way the dialog manager
// does: an eighth of the character height, a quarter of the average width of the
// 52 Latin letters.
void BaseUnits(const std::wstring& fontName, int& baseX, int& baseY)
{
    HDC screen = ::GetDC(nullptr);
    const int height = -::MulDiv(DIALOG_FONT_POINTS, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
    HFONT font = ::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, fontName.c_str());
    HGDIOBJ old = ::SelectObject(screen, font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(screen, &metrics);
    const wchar_t* letters = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent{};
    ::GetTextExtentPoint32W(screen, letters, 52, &extent);
    ::SelectObject(screen, old);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, screen);
    baseX = (extent.cx / 26 + 1) / 2;
    baseY = metrics.tmHeight;
}

int Layout(const std::wstring& expectedFace)
{
    HWND dialog = WaitForDialog();
    if (dialog == nullptr) {
        std::printf("FAIL no window \"%s\"\n", DIALOG_CAPTION);
        return 2;
    }
    ::Sleep(300);  // let it finish its first painting

    int baseX = 0;
    int baseY = 0;
    BaseUnits(DIALOG_FONT, baseX, baseY);
    RECT client{};
    ::GetClientRect(dialog, &client);
    const int width = ::MulDiv(TEMPLATE_WIDTH, baseX, 4);
    const int height = ::MulDiv(TEMPLATE_HEIGHT, baseY, 8);
    std::printf("font %s, %d points: base units %d x %d\n", Utf8(DIALOG_FONT).c_str(), DIALOG_FONT_POINTS, baseX,
                baseY);
    Check(client.right == width && client.bottom == height,
          "client area " + std::to_string(client.right) + " x " + std::to_string(client.bottom) +
              " pixels; 250 x 152 dialog units make " + std::to_string(width) + " x " + std::to_string(height));

    // The window's font handle is its own program's, and a replaced face answers to
    // the name it was asked by: the font behind the name shows in its measures.
    if (!expectedFace.empty()) {
        int faceX = 0;
        int faceY = 0;
        BaseUnits(expectedFace, faceX, faceY);
        Check(faceX == baseX && faceY == baseY, "the template's font measures as " + Utf8(expectedFace) + " (" +
                                                    std::to_string(faceX) + " x " + std::to_string(faceY) + ")");
    }

    struct Control {
        int id;
        bool visible;
        bool enabled;
    };
    const Control controls[] = {{1009, false, false}, {1011, true, true}, {1012, true, true}, {1005, true, true},
                                {1000, true, true},   {1001, true, true}, {1003, true, true}, {1002, true, true},
                                {1014, false, false}, {1015, true, true}, {1008, true, true}, {1010, true, true},
                                {1017, false, false}};
    for (const Control& control : controls) {
        HWND item = ::GetDlgItem(dialog, control.id);
        const bool visible = item != nullptr && (::GetWindowLongW(item, GWL_STYLE) & WS_VISIBLE) != 0;
        const bool enabled = item != nullptr && ::IsWindowEnabled(item) != FALSE;
        Check(item != nullptr && visible == control.visible && enabled == control.enabled,
              "control " + std::to_string(control.id) + (visible ? " visible" : " hidden") +
                  (enabled ? " enabled" : " disabled"));
    }
    HWND chip = ::GetDlgItem(dialog, 1009);
    Check(::SendMessageW(chip, CB_GETCOUNT, 0, 0) == 1 && Text(chip) == L"ZEL-V4",
          "chip combo box holds one item and shows \"" + Utf8(Text(chip)) + "\"");
    Check(Text(::GetDlgItem(dialog, 1008)).empty(), "checksum label blank at start");
    Check(Text(::GetDlgItem(dialog, 1010)).empty(), "path field empty at start");

    RECT window{};
    ::GetWindowRect(dialog, &window);
    std::printf("window %ld,%ld %ld x %ld\n", window.left, window.top, window.right - window.left,
                window.bottom - window.top);
    // Where clicks on Auto, Open File and Read land, in screen pixels.
    for (const auto& [name, id] : {std::pair{"auto", 1012}, std::pair{"open", 1011}, std::pair{"read", 1002}}) {
        RECT button{};
        ::GetWindowRect(::GetDlgItem(dialog, id), &button);
        std::printf("%s-button %ld %ld\n", name, (button.left + button.right) / 2, (button.top + button.bottom) / 2);
    }
    return g_failures == 0 ? 0 : 1;
}

struct BoxSearch {
    HWND dialog;
    std::wstring caption;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<BoxSearch*>(parameter);
    wchar_t className[32] = {};
    ::GetClassNameW(window, className, 32);
    if (window != search->dialog && std::wstring(className) == L"#32770" && ::IsWindowVisible(window) &&
        Text(window) == search->caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

int Message(const std::wstring& caption)
{
    HWND dialog = WaitForDialog();
    if (dialog == nullptr) {
        std::printf("FAIL no window \"%s\"\n", DIALOG_CAPTION);
        return 2;
    }
    BoxSearch search{dialog, caption, nullptr};
    for (int step = 0; step < WAIT_STEPS && search.found == nullptr; ++step) {
        ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found == nullptr)
            ::Sleep(100);
    }
    if (search.found == nullptr) {
        std::printf("FAIL no message box with caption \"%s\"\n", Utf8(caption).c_str());
        return 2;
    }
    HWND box = search.found;
    std::printf("caption \"%s\"\n", Utf8(Text(box)).c_str());
    std::printf("text \"%s\"\n", Utf8(Text(::GetDlgItem(box, MESSAGE_TEXT_ID))).c_str());
    std::printf("owner is the window: %s\n", ::GetWindow(box, GW_OWNER) == dialog ? "yes" : "no");
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

// Every visible dialog box but the window, whatever its caption (a file box
// without an owner is a top-level window too).
BOOL CALLBACK CollectBoxes(HWND window, LPARAM parameter)
{
    auto* found = reinterpret_cast<std::pair<HWND, std::vector<HWND>>*>(parameter);
    wchar_t className[32] = {};
    ::GetClassNameW(window, className, 32);
    if (window != found->first && std::wstring(className) == L"#32770" && ::IsWindowVisible(window))
        found->second.push_back(window);
    return TRUE;
}

std::vector<HWND> WaitForBoxes(HWND dialog)
{
    std::pair<HWND, std::vector<HWND>> found{dialog, {}};
    for (int step = 0; step < WAIT_STEPS && found.second.empty(); ++step) {
        ::EnumWindows(CollectBoxes, reinterpret_cast<LPARAM>(&found));
        if (found.second.empty())
            ::Sleep(100);
    }
    return found.second;
}

// The file name field of a file box: a combo box (cmb13) in newer dialogs, an edit
// control (edt1) in older ones.
HWND FileNameField(HWND box)
{
    for (const int id : {0x47C, 0x480}) {
        if (HWND field = ::GetDlgItem(box, id))
            return field;
    }
    return nullptr;
}

int Boxes(HWND dialog)
{
    std::vector<HWND> boxes = WaitForBoxes(dialog);
    ::Sleep(500);  // a second box, if any, comes now
    boxes = WaitForBoxes(dialog);
    RECT window{};
    ::GetWindowRect(dialog, &window);
    for (HWND box : boxes) {
        ::SetWindowPos(box, nullptr, 0, window.bottom + 4, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        std::printf("box \"%s\"%s owned by the window: %s\n", Utf8(Text(box)).c_str(),
                    FileNameField(box) != nullptr ? " (a file box)" : "",
                    ::GetWindow(box, GW_OWNER) == dialog ? "yes" : "no");
    }
    std::printf("boxes %zu\n", boxes.size());
    std::printf("window takes input: %s\n", ::IsWindowEnabled(dialog) ? "yes" : "no");
    return boxes.empty() ? 1 : 0;
}

int Choose(HWND dialog, const std::wstring& path)
{
    for (HWND box : WaitForBoxes(dialog)) {
        if (HWND field = FileNameField(box)) {
            ::SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            std::printf("chose \"%s\"\n", Utf8(path).c_str());
            return 0;
        }
    }
    std::printf("FAIL no file box\n");
    return 1;
}

int Cancel(HWND dialog)
{
    const std::vector<HWND> boxes = WaitForBoxes(dialog);
    for (HWND box : boxes)
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return boxes.empty() ? 1 : 0;
}

int Fields(HWND dialog)
{
    ::Sleep(300);  // the operation shows the fields as it ends
    std::printf("path \"%s\"\n", Utf8(Text(::GetDlgItem(dialog, 1010))).c_str());
    std::printf("checksum \"%s\"\n", Utf8(Text(::GetDlgItem(dialog, 1008))).c_str());
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"layout")
        return Layout(argc > 2 ? argv[2] : L"");
    if (mode == L"message")
        return Message(argc > 2 ? argv[2] : L"");
    HWND dialog = WaitForDialog();
    if (dialog == nullptr) {
        std::printf("FAIL no window \"%s\"\n", DIALOG_CAPTION);
        return 2;
    }
    if (mode == L"boxes")
        return Boxes(dialog);
    if (mode == L"choose" && argc > 2)
        return Choose(dialog, argv[2]);
    if (mode == L"cancel")
        return Cancel(dialog);
    if (mode == L"fields")
        return Fields(dialog);
    std::printf("usage: zelv4-dialog-probe layout [FACE] | message CAPTION | boxes | choose PATH | cancel | fields\n");
    return 2;
}
