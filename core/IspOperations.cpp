#include "core/IspOperations.h"

#include <chrono>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "core/FirmwareImage.h"
#include "core/ImageFile.h"
#include "core/IspConstants.h"
#include "core/IspRequests.h"
#include "core/OperationMessages.h"

namespace zelv4 {

namespace {

constexpr const char* ISP_IMAGE_FILTER = "Hex Files (*.hex)|*.hex|Binary Files (*.bin)|*.bin|All Files (*.*)|*.*";
constexpr const char* ISP_DUMP_FILTER = "Dump Files (*.dmp)|*.dmp|All Files (*.*)|*.*||";
constexpr const char* ISP_DUMP_DEFAULT_EXTENSION = "*.dmp";
// The save dialog's name buffer holds 2562 bytes, terminator included.
constexpr std::size_t ISP_DUMP_PATH_MAX = 2561;

// Auto waits for the ISP device after a signature device was seen on the bus.
constexpr unsigned ISP_WAIT_ATTEMPTS = 31;
constexpr unsigned ISP_WAIT_MILLISECONDS = 1000;

std::span<const std::uint8_t> ImageBlock(const FirmwareImage& image, std::size_t block)
{
    return std::span<const std::uint8_t>(image).subspan(block * ISP_BLOCK_SIZE, ISP_BLOCK_SIZE);
}

}  // namespace

// The state of one operation while it runs: the result it builds and the window,
// device and progress calls it makes on the way.
class IspOperations::Run {
public:
    Run(IspOperations& owner, OperationKind kind) : m_ops(owner) { result.kind = kind; }

    OperationResult result;
    // What the last search of this operation had to say.
    IspSearchNotes notes;

    void Message(const std::string& text, MessageIcon icon)
    {
        m_ops.m_window.MessageBox(text, icon);
        result.messages.push_back({text, icon, MessageCaption::Application});
    }

    void WindowMessage(const std::string& text, MessageIcon icon)
    {
        m_ops.m_window.WindowMessageBox(text, "", icon);
        result.messages.push_back({text, icon, MessageCaption::WindowEmpty});
    }

    void Progress(OperationPhase phase, std::size_t done, std::size_t total)
    {
        if (m_ops.m_progress != nullptr)
            m_ops.m_progress->OnProgress({phase, done, total});
    }

    void PhaseEnd(OperationPhase phase, bool succeeded)
    {
        if (m_ops.m_progress != nullptr)
            m_ops.m_progress->OnPhaseEnd(phase, succeeded);
    }

    // One search, and the plain box it may want shown as it ends.
    void Search()
    {
        notes = m_ops.m_device.FindIspDevice();
        const std::string& plain = notes.plainMessage;
        if (!plain.empty()) {
            m_ops.m_window.MessageBox(plain, MessageIcon::None);
            result.messages.push_back({plain, MessageIcon::None, MessageCaption::Plain});
        }
    }

    void Find()
    {
        Progress(OperationPhase::FindDevice, 0, 1);
        Search();
        const bool found = m_ops.m_device.IsOpen();
        if (found)
            Progress(OperationPhase::FindDevice, 1, 1);
        PhaseEnd(OperationPhase::FindDevice, found);
    }

    // Opens the device when none is open. Callers go on without one: their first
    // request then fails.
    void EnsureDevice()
    {
        if (!m_ops.m_device.IsOpen())
            Find();
        result.deviceFound = m_ops.m_device.IsOpen();
        if (!result.deviceFound)
            NoteMissingDevice();
    }

    // Why the search came back empty-handed, for front ends to say.
    void NoteMissingDevice()
    {
        result.deniedPaths = notes.deniedPaths;
        result.busyPaths = notes.busyPaths;
    }

    OperationOutcome MissingDeviceOutcome() const
    {
        return result.busyPaths.empty() ? OperationOutcome::NoDevice : OperationOutcome::DeviceBusy;
    }

    // A device whose feature report cannot carry a block request gets none: a chip
    // erased and then never written would be the result. Sets the outcome.
    bool CanCarryBlocks()
    {
        if (!result.deviceFound || m_ops.m_device.FeatureReportLength() >= ISP_BLOCK_REPORT_MIN)
            return true;
        result.reportLength = m_ops.m_device.FeatureReportLength();
        result.outcome = OperationOutcome::ReportTooShort;
        return false;
    }

    int CountBus()
    {
        Progress(OperationPhase::BusScan, 0, 1);
        const int count = m_ops.m_bus.CountBusDevices();
        Progress(OperationPhase::BusScan, 1, 1);
        PhaseEnd(OperationPhase::BusScan, count > 0);
        result.busDeviceCount = count;
        return count;
    }

    bool LoadImage(FirmwareImage& image)
    {
        Progress(OperationPhase::LoadImage, 0, 1);
        result.imagePath = m_ops.m_fields.m_strFile;
        if (m_ops.m_loaded) {
            image = m_ops.m_loaded->image;
            result.image = m_ops.m_loaded->load;
        } else {
            result.image = LoadImageFile(result.imagePath, image, m_ops.m_imageOptions);
        }
        const bool ok = result.image->ok;
        if (ok) {
            result.checksum = ImageChecksum(image);
            Progress(OperationPhase::LoadImage, 1, 1);
        }
        PhaseEnd(OperationPhase::LoadImage, ok);
        return ok;
    }

    bool Stopped() const { return m_ops.m_stop && m_ops.m_stop(); }

    // The device for the next request; none once a stop was asked for, so that the
    // request fails as on a closed device and the operation ends there.
    HidTransport* Device() const { return Stopped() ? nullptr : m_ops.m_device.Device(); }

    // A request failed: with no device open that is the missing device, not the chip.
    void TransferFailed()
    {
        if (Stopped())
            result.outcome = OperationOutcome::Interrupted;
        else
            result.outcome = result.deviceFound ? OperationOutcome::TransferFailed : MissingDeviceOutcome();
    }

    bool SingleRequest(OperationPhase phase, bool (*request)(HidTransport*, std::uint16_t, IspReportBuffers&))
    {
        Progress(phase, 0, 1);
        const bool ok = request(Device(), m_ops.m_device.FeatureReportLength(), m_ops.m_reports);
        if (ok)
            Progress(phase, 1, 1);
        PhaseEnd(phase, ok);
        return ok;
    }

    bool WriteBlocks(const FirmwareImage& image, bool withLength)
    {
        result.blocksDone = 0;
        Progress(OperationPhase::Write, 0, ISP_BLOCK_COUNT);
        for (std::size_t block = 0; block < ISP_BLOCK_COUNT; ++block) {
            if (!IspWriteBlock(Device(), m_ops.m_device.FeatureReportLength(), m_ops.m_reports, block,
                               ImageBlock(image, block), withLength)) {
                result.failingBlock = block;
                PhaseEnd(OperationPhase::Write, false);
                return false;
            }
            result.blocksDone = block + 1;
            Progress(OperationPhase::Write, block + 1, ISP_BLOCK_COUNT);
        }
        PhaseEnd(OperationPhase::Write, true);
        return true;
    }

    // Stops at the first failed exchange or the first differing byte; no block after
    // it is read. Sets the outcome on failure.
    bool VerifyBlocks(const FirmwareImage& image)
    {
        result.blocksDone = 0;
        Progress(OperationPhase::Verify, 0, ISP_BLOCK_COUNT);
        std::uint8_t chip[ISP_BLOCK_SIZE];
        for (std::size_t block = 0; block < ISP_BLOCK_COUNT; ++block) {
            if (!IspReadBlock(Device(), m_ops.m_device.FeatureReportLength(), m_ops.m_reports, block, chip)) {
                result.failingBlock = block;
                TransferFailed();
                PhaseEnd(OperationPhase::Verify, false);
                return false;
            }
            const auto expected = ImageBlock(image, block);
            for (std::size_t i = 0; i < ISP_BLOCK_SIZE; ++i) {
                if (chip[i] != expected[i]) {
                    result.failingBlock = block;
                    result.difference = VerifyDifference{block * ISP_BLOCK_SIZE + i, chip[i], expected[i]};
                    result.outcome = OperationOutcome::VerifyMismatch;
                    PhaseEnd(OperationPhase::Verify, false);
                    return false;
                }
            }
            result.blocksDone = block + 1;
            Progress(OperationPhase::Verify, block + 1, ISP_BLOCK_COUNT);
        }
        PhaseEnd(OperationPhase::Verify, true);
        return true;
    }

    // The frame of an operation on the device: show fields, disable the buttons,
    // ensure the device, run the body, then close the device, collect fields and
    // enable the buttons whatever the body's outcome.
    template <typename Body>
    void OnDevice(Body&& body)
    {
        m_ops.m_window.ShowFields();
        m_ops.m_window.DisableButtons();
        EnsureDevice();
        body();
        m_ops.m_device.CloseIspDevice();
        m_ops.m_window.CollectFields();
        m_ops.m_window.EnableButtons();
    }

    // Write and Verify: the image is loaded first; a file that cannot be loaded says
    // "Open file error !!" and returns before anything is shown or disabled.
    template <typename Body>
    void OnDeviceWithImage(Body&& body)
    {
        FirmwareImage image{};
        if (!LoadImage(image)) {
            Message(ISP_MSG_OPEN_FILE_ERROR, MessageIcon::Error);
            result.outcome = OperationOutcome::ImageOpenFailed;
            return;
        }
        OnDevice([&] { body(image); });
    }

private:
    IspOperations& m_ops;
};

IspOperations::IspOperations(WindowServices& window, DialogFields& fields, IspReportBuffers& reports,
                             IspDevicePort& device, UsbBusPort& bus, OutputFileSystem& files)
    : m_window(window), m_fields(fields), m_reports(reports), m_device(device), m_bus(bus), m_files(files)
{}

void IspOperations::SetProgressSink(ProgressSink* sink)
{
    m_progress = sink;
}

OperationResult IspOperations::OnOpenFile()
{
    Run run(*this, OperationKind::OpenFile);
    FileDialogOptions options;
    options.filter = ISP_IMAGE_FILTER;
    options.overwritePrompt = true;
    options.ownedByWindow = false;
    const std::optional<std::string> chosen = m_window.RunOpenFileDialog(options);

    m_window.CollectFields();
    // A cancelled dialog empties the path, so the load below fails and says so.
    m_fields.m_strFile = chosen.value_or(std::string());
    m_fields.m_strChecksum = "";
    m_window.ShowFields();

    FirmwareImage image{};
    if (!run.LoadImage(image)) {
        run.Message(ISP_MSG_OPEN_FILE_ERROR, MessageIcon::Error);
        run.result.outcome = OperationOutcome::ImageOpenFailed;
        return run.result;
    }
    m_fields.m_strChecksum = ChecksumText(*run.result.checksum);
    m_window.ShowFields();
    return run.result;
}

OperationResult IspOperations::OnMassErase()
{
    Run run(*this, OperationKind::MassErase);
    run.OnDevice([&] {
        if (run.SingleRequest(OperationPhase::Erase, IspMassErase)) {
            run.Message(ISP_MSG_MASS_ERASE_OK, MessageIcon::Information);
        } else {
            run.TransferFailed();
            run.Message(ISP_MSG_MASS_ERASE_FAIL, MessageIcon::Error);
        }
    });
    return run.result;
}

OperationResult IspOperations::OnWrite()
{
    Run run(*this, OperationKind::Write);
    run.OnDeviceWithImage([&](const FirmwareImage& image) {
        if (!run.CanCarryBlocks()) {
            run.Message(ISP_MSG_WRITE_FAIL, MessageIcon::Error);
        } else if (run.WriteBlocks(image, true)) {
            run.Message(ISP_MSG_WRITE_OK, MessageIcon::Information);
        } else {
            run.TransferFailed();
            run.Message(ISP_MSG_WRITE_FAIL, MessageIcon::Error);
        }
    });
    return run.result;
}

OperationResult IspOperations::OnVerify()
{
    Run run(*this, OperationKind::Verify);
    run.OnDeviceWithImage([&](const FirmwareImage& image) {
        // A failed read and a differing byte show the same text; the result tells them apart.
        if (run.CanCarryBlocks() && run.VerifyBlocks(image))
            run.Message(ISP_MSG_VERIFY_OK, MessageIcon::Information);
        else
            run.Message(ISP_MSG_VERIFY_FAIL, MessageIcon::Error);
    });
    return run.result;
}

OperationResult IspOperations::OnRead()
{
    Run run(*this, OperationKind::Read);
    m_window.DisableButtons();
    m_window.CollectFields();

    FileDialogOptions options;
    options.defaultExtension = ISP_DUMP_DEFAULT_EXTENSION;
    options.filter = ISP_DUMP_FILTER;
    options.overwritePrompt = true;
    options.ownedByWindow = true;
    options.maxPathLength = ISP_DUMP_PATH_MAX;
    const std::optional<std::string> chosen = m_window.RunSaveFileDialog(options);

    std::unique_ptr<OutputFile> dump;
    if (!chosen) {
        run.result.outcome = OperationOutcome::Cancelled;
    } else {
        run.result.dumpPath = *chosen;
        // Created before the device is sought, so that a file that cannot be
        // written is known before the chip is read. The chosen file itself is only
        // replaced once the whole flash is in: a failed Read leaves it as it was.
        Expected<std::unique_ptr<OutputFile>> created = m_files.Create(*chosen);
        if (created) {
            dump = std::move(*created);
        } else {
            run.result.fileError = created.error().message;
            run.result.outcome = OperationOutcome::DumpOpenFailed;
            run.Message(ISP_MSG_OPEN_FILE_ERROR, MessageIcon::Error);
        }
    }

    if (dump) {
        run.EnsureDevice();
        bool ok = run.CanCarryBlocks();
        if (ok)
            run.Progress(OperationPhase::Read, 0, ISP_BLOCK_COUNT);
        std::uint8_t block[ISP_BLOCK_SIZE];
        for (std::size_t k = 0; ok && k < ISP_BLOCK_COUNT; ++k) {
            if (!IspReadBlock(run.Device(), m_device.FeatureReportLength(), m_reports, k, block)) {
                run.result.failingBlock = k;
                run.TransferFailed();
                ok = false;
                break;
            }
            if (const Expected<void> written = dump->Write(block); !written) {
                run.result.failingBlock = k;
                run.result.outcome = OperationOutcome::DumpWriteFailed;
                run.result.fileError = written.error().message;
                ok = false;
                break;
            }
            run.result.blocksDone = k + 1;
            run.Progress(OperationPhase::Read, k + 1, ISP_BLOCK_COUNT);
        }
        if (ok) {
            if (const Expected<void> committed = dump->Commit(); !committed) {
                run.result.outcome = OperationOutcome::DumpWriteFailed;
                run.result.fileError = committed.error().message;
                ok = false;
            }
        }
        run.PhaseEnd(OperationPhase::Read, ok);
        if (ok)
            run.Message(ISP_MSG_READ_OK, MessageIcon::Information);
        else
            run.Message(ISP_MSG_READ_FAIL, MessageIcon::Error);
    }

    m_device.CloseIspDevice();
    dump.reset();
    m_window.EnableButtons();
    return run.result;
}

OperationResult IspOperations::OnExitIsp()
{
    Run run(*this, OperationKind::ExitIsp);
    if (!m_device.IsOpen())
        run.Find();
    run.result.deviceFound = m_device.IsOpen();
    if (!run.result.deviceFound) {
        // Reported before anything is disabled.
        run.NoteMissingDevice();
        run.result.outcome = run.MissingDeviceOutcome();
        run.Message(ISP_MSG_EXIT_ISP_FAIL, MessageIcon::Error);
    } else {
        m_window.DisableButtons();
        if (run.SingleRequest(OperationPhase::ExitIsp, IspExitIsp)) {
            run.Message(ISP_MSG_EXIT_ISP_OK, MessageIcon::Information);
        } else {
            run.TransferFailed();
            run.Message(ISP_MSG_EXIT_ISP_FAIL, MessageIcon::Error);
        }
    }

    m_device.CloseIspDevice();
    m_window.EnableButtons();
    return run.result;
}

OperationResult IspOperations::OnReadProtect()
{
    return Run(*this, OperationKind::ReadProtect).result;
}

OperationResult IspOperations::OnAuto()
{
    Run run(*this, OperationKind::Auto);
    m_window.CollectFields();
    if (m_fields.m_strFile.empty()) {
        run.result.outcome = OperationOutcome::ImageOpenFailed;
        run.Message(ISP_MSG_OPEN_FILE_ERROR, MessageIcon::Error);
        return run.result;
    }
    m_window.ShowFields();
    m_window.DisableButtons();

    // Each step either succeeds and falls through to the next, or sets the outcome,
    // shows its message and skips to the common end.
    [&] {
        if (!m_device.IsOpen())
            run.Find();
        if (!m_device.IsOpen()) {
            run.NoteMissingDevice();
            // The ISP device is there but another program is programming it:
            // waiting for it to appear makes no sense.
            if (!run.result.busyPaths.empty()) {
                run.result.outcome = OperationOutcome::DeviceBusy;
                run.Message(ISP_MSG_DEVICE_NOT_FOUND, MessageIcon::Error);
                return;
            }
            // The chip may be attached but not yet in ISP mode: wait for the ISP
            // device only when something on the bus answers the signature.
            if (run.CountBus() == 0) {
                run.result.outcome = OperationOutcome::NoDevice;
                run.Message(ISP_MSG_DEVICE_NOT_FOUND, MessageIcon::Error);
                return;
            }
            run.Progress(OperationPhase::WaitForDevice, 0, ISP_WAIT_ATTEMPTS);
            bool busy = false;
            for (unsigned attempt = 0; attempt < ISP_WAIT_ATTEMPTS && !m_device.IsOpen() && !busy && !run.Stopped();
                 ++attempt) {
                m_device.WaitForIspDevice(std::chrono::milliseconds(ISP_WAIT_MILLISECONDS), m_stop);
                run.Search();
                busy = !run.notes.busyPaths.empty();
                run.result.waitAttempts = attempt + 1;
                run.Progress(OperationPhase::WaitForDevice, attempt + 1, ISP_WAIT_ATTEMPTS);
            }
            run.PhaseEnd(OperationPhase::WaitForDevice, m_device.IsOpen());
            if (!m_device.IsOpen()) {
                run.NoteMissingDevice();
                if (run.Stopped()) {
                    run.result.outcome = OperationOutcome::Interrupted;
                    return;
                }
                if (busy) {
                    run.result.outcome = OperationOutcome::DeviceBusy;
                    run.Message(ISP_MSG_DEVICE_NOT_FOUND, MessageIcon::Error);
                    return;
                }
                run.result.outcome = OperationOutcome::TimedOut;
                run.WindowMessage(ISP_MSG_TIME_OUT, MessageIcon::Error);
                return;
            }
        }
        run.result.deviceFound = true;

        FirmwareImage image{};
        if (!run.LoadImage(image)) {
            run.result.outcome = OperationOutcome::ImageOpenFailed;
            run.Message(ISP_MSG_OPEN_FILE_ERROR, MessageIcon::Error);
            return;
        }
        // Checked before the erase: erasing a chip that then cannot be written
        // would leave it blank.
        if (!run.CanCarryBlocks()) {
            run.Message(ISP_MSG_WRITE_FAIL, MessageIcon::Error);
            return;
        }
        if (!run.SingleRequest(OperationPhase::Erase, IspMassErase)) {
            run.TransferFailed();
            run.Message(ISP_MSG_MASS_ERASE_FAIL, MessageIcon::Error);
            return;
        }
        // Byte 4 is left as an earlier Write left it (0 before any Write).
        if (!run.WriteBlocks(image, false)) {
            run.TransferFailed();
            run.Message(ISP_MSG_WRITE_FAIL, MessageIcon::Error);
            return;
        }
        if (!run.VerifyBlocks(image)) {
            run.Message(ISP_MSG_VERIFY_FAIL, MessageIcon::Error);
            return;
        }
        run.Message(ISP_MSG_AUTO_OK, MessageIcon::Information);
        // The run counts as done even if the chip then fails to leave ISP mode; a
        // stop asked for just before that request is no failure of the chip.
        if (!run.SingleRequest(OperationPhase::ExitIsp, IspExitIsp)) {
            if (run.Stopped()) {
                run.result.outcome = OperationOutcome::Interrupted;
            } else {
                run.result.resetFailed = true;
                run.Message(ISP_MSG_RESET_FAIL, MessageIcon::Error);
            }
        }
    }();

    m_device.CloseIspDevice();
    m_window.CollectFields();
    m_window.EnableButtons();
    return run.result;
}

OperationResult IspOperations::OnReconnect()
{
    Run run(*this, OperationKind::Reconnect);
    // The search's outcome does not change the message; only the bus count does.
    if (!m_device.IsOpen())
        run.Find();
    run.result.deviceFound = m_device.IsOpen();
    if (run.CountBus() > 0) {
        run.Message(ISP_MSG_DEVICE_FOUND, MessageIcon::Information);
    } else {
        run.result.deniedPaths = run.notes.deniedPaths;
        run.result.outcome = OperationOutcome::NoDevice;
        run.Message(ISP_MSG_DEVICE_NOT_FOUND, MessageIcon::Error);
    }
    m_device.CloseIspDevice();
    return run.result;
}

}  // namespace zelv4
