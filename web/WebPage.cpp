#include "web/WebPage.h"

#include <cstdio>
#include <emscripten.h>
#include <utility>

#include "core/FirmwareImage.h"
#include "core/HexText.h"

EM_JS(void, zelv4_finished, (const char* control, int succeeded, const char* detail),
      { Module.page.finished(UTF8ToString(control), succeeded != 0, UTF8ToString(detail)); });

namespace zelv4 {

namespace {

using Handler = OperationResult (IspOperations::*)();

struct Button {
    const char* control;
    Handler handler;
};

// Open File runs from the file input (OpenFile), Re-connect not at all: a page
// cannot scan the USB bus.
constexpr Button BUTTONS[] = {
    {"IDC_AUTO", &IspOperations::OnAuto},
    {"IDC_MASS_ERASE", &IspOperations::OnMassErase},
    {"IDC_WRITE", &IspOperations::OnWrite},
    {"IDC_VERIFY", &IspOperations::OnVerify},
    {"IDC_READ", &IspOperations::OnRead},
    {"IDC_EXIT_ISP", &IspOperations::OnExitIsp},
    {"IDC_READ_PROTECT", &IspOperations::OnReadProtect},
};

// What the page's status line adds to the message box: the why and where that
// the box's fixed text leaves out.
std::string Detail(const OperationResult& result)
{
    switch (result.outcome) {
    case OperationOutcome::Succeeded:
        if (result.kind == OperationKind::Read)
            return "The flash was offered as the download " + result.dumpPath + ".";
        if (result.checksum && result.kind != OperationKind::OpenFile)
            return "Image checksum " + ChecksumText(*result.checksum) + ".";
        return "";
    case OperationOutcome::ImageOpenFailed:
        return result.image && !result.image->reason.empty() ? "The file was refused: " + result.image->reason + "."
                                                             : "No firmware file is open.";
    case OperationOutcome::VerifyMismatch:
        return "First difference at " + AddressText(result.difference->address) + ": the chip holds " +
               ByteText(result.difference->chipByte) + ", the file " + ByteText(result.difference->fileByte) + ".";
    case OperationOutcome::TransferFailed:
        if (result.failingBlock)
            return "The loader failed the transfer of block " + std::to_string(*result.failingBlock) + " (address " +
                   AddressText(*result.failingBlock * ISP_BLOCK_SIZE) + "). Was it unplugged?";
        return "The loader failed the transfer. Was it unplugged?";
    case OperationOutcome::NoDevice:
    case OperationOutcome::DeviceBusy:
        return "No ZEL-V4 ISP loader is connected: plug it in, then press Connect to let this page use it.";
    case OperationOutcome::TimedOut:
        return "No ZEL-V4 ISP loader appeared. If the browser forgot it when the chip was replugged, press Connect.";
    case OperationOutcome::ReportTooShort:
        return "The loader's feature report (" + std::to_string(result.reportLength) +
               " bytes) is too short for a block; nothing was sent.";
    case OperationOutcome::DumpOpenFailed:
    case OperationOutcome::DumpWriteFailed:
        return "The dump could not be saved: " + result.fileError + ".";
    case OperationOutcome::Cancelled:
    case OperationOutcome::Interrupted:  // the page never asks an operation to stop
        break;
    }
    return "";
}

}  // namespace

WebPage::WebPage() : m_window(m_fields), m_operations(m_window, m_fields, m_reports, m_device, m_device, m_files)
{
    // The combo box's one item, as the window starts with it.
    m_fields.m_strChip = "ZEL-V4";
    m_operations.SetProgressSink(&m_window);
    // A firmware update page must not program a file that only seems right: read
    // as the command line reads, refusing what the window would let through.
    m_operations.SetImageLoadOptions(ImageLoadOptions{.strict = true});
}

bool WebPage::Click(const std::string& control)
{
    for (const Button& button : BUTTONS) {
        if (control == button.control) {
            Finished(button.control, (m_operations.*button.handler)());
            return true;
        }
    }
    return false;
}

void WebPage::OpenFile(std::optional<std::string> name)
{
    m_window.SetOpenFileChoice(std::move(name));
    Finished("IDC_OPEN_FILE", m_operations.OnOpenFile());
}

void WebPage::Finished(const char* control, const OperationResult& result)
{
    zelv4_finished(control, result.Succeeded() ? 1 : 0, Detail(result).c_str());
}

}  // namespace zelv4
