#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/DialogFields.h"
#include "core/IspConstants.h"
#include "core/IspOperations.h"
#include "core/IspReportBuffers.h"
#include "device/IspDeviceConnection.h"
#include "device/UsbBusScan.h"
#include "device/sim/SimMachine.h"
#include "sys/ReplacingFile.h"

namespace zelv4 {
namespace {

// A window that shows nothing and does not wait: only the operation's own work and
// the simulated loader are measured.
class SilentWindow : public WindowServices {
public:
    void ShowFields() override {}
    void CollectFields() override {}
    void DisableButtons() override {}
    void EnableButtons() override {}
    void MessageBox(const std::string&, MessageIcon) override {}
    void WindowMessageBox(const std::string&, const std::string&, MessageIcon) override {}
    std::optional<std::string> RunOpenFileDialog(const FileDialogOptions&) override { return std::nullopt; }
    std::optional<std::string> RunSaveFileDialog(const FileDialogOptions&) override { return std::nullopt; }
};

// Erase, 640 writes, 640 read pairs and the leave-ISP request.
constexpr double AUTO_TRANSFERS = 1 + ISP_BLOCK_COUNT + 2 * ISP_BLOCK_COUNT + 1;

void BM_AutoRun(benchmark::State& state)
{
    const std::filesystem::path imagePath =
        std::filesystem::temp_directory_path() / ("zelv4-bench-" + std::to_string(std::rand()) + ".bin");
    {
        std::ofstream file(imagePath, std::ios::binary);
        for (std::size_t i = 0; i < ISP_IMAGE_SIZE; ++i)
            file.put(static_cast<char>((i * 7 + 3) & 0xFF));
    }

    auto machine = SimMachine::CreateDefault();
    IspDeviceConnection device(machine->Hid());
    UsbBusScan bus(machine->UsbBus());
    SilentWindow window;
    DialogFields fields;
    fields.m_strFile = imagePath.string();
    IspReportBuffers reports;
    SystemOutputFiles files;
    IspOperations operations(window, fields, reports, device, bus, files);

    for (auto _ : state) {
        const OperationResult result = operations.OnAuto();
        if (!result.Succeeded()) {
            state.SkipWithError("Auto failed on the simulated loader");
            break;
        }
        state.PauseTiming();
        // The chip left ISP mode; put it back.
        machine->Loader().Reenter();
        state.ResumeTiming();
    }
    // Inverted rate: seconds of host time per HID transfer.
    state.counters["per_transfer"] =
        benchmark::Counter(AUTO_TRANSFERS, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    std::filesystem::remove(imagePath);
}
BENCHMARK(BM_AutoRun)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelv4
