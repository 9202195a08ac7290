#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "cli/CommandLine.h"
#include "core/IspConstants.h"
#include "device/sim/SimMachine.h"

namespace zelv4 {
namespace {

using Clock = std::chrono::steady_clock;

// A full-speed USB frame per transfer, as on a real bus.
constexpr std::chrono::microseconds FRAME{1000};

class ImageFile {
public:
    ImageFile()
        : m_path(std::filesystem::temp_directory_path() / ("zelv4-line-bench-" + std::to_string(::getpid()) + ".bin"))
    {
        std::ofstream file(m_path, std::ios::binary);
        for (std::size_t i = 0; i < ISP_IMAGE_SIZE; ++i)
            file.put(static_cast<char>((i * 7 + 3) & 0xFF));
    }
    ~ImageFile() { std::filesystem::remove(m_path); }
    std::string Path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

int Run(const std::shared_ptr<SimMachine>& machine, std::vector<std::string> args,
        std::function<bool()> stopRequested = {})
{
    args.insert(args.begin(), "zelv4-isp");
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    CliEnvironment environment;
    environment.machine = machine;
    // The bench's own stop; the process's signals are never taken.
    environment.stopSignals = [stop = std::move(stopRequested)] { return stop && stop() ? 1u : 0u; };
    std::ostringstream out, err;
    return RunCli(static_cast<int>(argv.size()), argv.data(), out, err, environment);
}

// `auto --all` with `options` on state.range(0) chips at once, each transfer a frame long.
void AutoAllChips(benchmark::State& state, const std::vector<std::string>& options)
{
    const ImageFile image;
    auto machine = std::shared_ptr<SimMachine>(SimMachine::CreateDefault());
    for (int chip = 1; chip < state.range(0); ++chip)
        machine->AddChip();
    machine->SetTransferDelay(FRAME);
    std::vector<std::string> args = {"auto", "--all"};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back(image.Path());
    for (auto _ : state) {
        if (Run(machine, args) != 0) {
            state.SkipWithError("auto --all failed on the simulated line");
            break;
        }
        state.PauseTiming();
        for (const auto& chip : machine->Chips())
            chip->Reenter();
        state.ResumeTiming();
    }
    state.counters["chips"] = static_cast<double>(state.range(0));
}

// The wall time should stay that of one chip (1922 transfers) however many chips
// there are.
void BM_AutoAllChips(benchmark::State& state)
{
    AutoAllChips(state, {});
}
BENCHMARK(BM_AutoAllChips)->Arg(1)->Arg(2)->Arg(4)->Arg(8)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

#if ZELV4_RECORD
// The same with the production record on: each chip takes a serial number from an
// SQLite record's counter (a transaction that waits for the disk) and leaves its row.
// The record should cost the line nothing it would notice: 8 chips within 1.15 times
// one chip's time, as without it.
void BM_AutoAllChipsRecorded(benchmark::State& state)
{
    const std::filesystem::path record =
        std::filesystem::temp_directory_path() / ("zelv4-line-bench-" + std::to_string(::getpid()) + ".db");
    AutoAllChips(state, {"--record", record.string(), "--serial", "0x4FF0:le4", "--serial-overwrite"});
    std::filesystem::remove(record);
}
BENCHMARK(BM_AutoAllChipsRecorded)->Arg(1)->Arg(8)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);
#endif

// Waits until `loader` has made its first transfer and returns when it began; none
// when the station has ended or nothing came within 10 s.
std::optional<Clock::time_point> FirstTransfer(const SimIspLoader& loader, const std::atomic<bool>& stationEnded)
{
    const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(10);
    while (!stationEnded && Clock::now() < giveUp) {
        if (const auto first = loader.FirstTransferTime())
            return *first;
        std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
    return std::nullopt;
}

// Under watch: from a chip's arrival to its first transfer.
void BM_WatchArrivalToFirstTransfer(benchmark::State& state)
{
    const ImageFile image;
    auto machine = std::make_shared<SimMachine>();
    machine->UsbTree().AddDefaultBus();
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    std::thread station([&] {
        Run(machine, {"watch", image.Path()}, [&stop] { return stop.load(); });
        ended = true;
    });
    for (auto _ : state) {
        const Clock::time_point plugged = Clock::now();
        const std::shared_ptr<SimIspLoader> chip = machine->AddChip();
        const std::optional<Clock::time_point> first = FirstTransfer(*chip, ended);
        if (!first) {
            state.SkipWithError("watch did not program the chip that arrived");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(*first - plugged).count());
        // One chip at a time: the next arrives once this one has left ISP mode.
        while (chip->InIsp() && !ended)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    stop = true;
    station.join();
}
BENCHMARK(BM_WatchArrivalToFirstTransfer)->Iterations(50)->UseManualTime()->Unit(benchmark::kMillisecond);

// Auto on the command line, the chip attached but entering ISP mode 300 ms later:
// from the ISP device's appearance to the first transfer.
void BM_AutoWaitArrivalToFirstTransfer(benchmark::State& state)
{
    const ImageFile image;
    for (auto _ : state) {
        // Before the machine, whose clock the arrival counts from: never early.
        const Clock::time_point made = Clock::now();
        auto machine = std::make_shared<SimMachine>();
        machine->UsbTree().AddDefaultBus();
        const std::shared_ptr<SimIspLoader> chip = machine->AddChip(std::chrono::milliseconds(300));
        if (Run(machine, {"auto", image.Path()}) != 0) {
            state.SkipWithError("auto failed");
            break;
        }
        const auto first = chip->FirstTransferTime();
        state.SetIterationTime(std::chrono::duration<double>(*first - (made + std::chrono::milliseconds(300))).count());
    }
}
BENCHMARK(BM_AutoWaitArrivalToFirstTransfer)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelv4
