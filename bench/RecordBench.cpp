// What --record adds to each chip: taking a serial number and writing the chip's row,
// two committed transactions. SQLite on a file in the temp directory (a real disk, as
// a station's); PostgreSQL on the server in ZELV4_POSTGRES_URI, e.g. under
// scripts/with-postgres. threads:8 are the workers of one --all sharing one store; the
// time is then the wall time per chip of all of them together.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

#include "core/FirmwareImage.h"
#include "core/SerialField.h"
#include "record/RecordStore.h"

namespace zelv4 {
namespace {

const std::string COUNTER = "bench";

// The record every thread of a run shares, opened by the first.
std::unique_ptr<RecordStore> g_store;

void RecordChips(benchmark::State& state, const std::string& target)
{
    if (state.thread_index() == 0) {
        auto store = RecordStore::Open(target);
        if (store && (*store)->OpenCounter(COUNTER))
            g_store = std::move(*store);
        else
            state.SkipWithError(store ? "cannot create the counter" : store.error().message.c_str());
    }
    // Every thread sees the store (or its absence) after the setup above.
    for (auto _ : state) {
        if (!g_store) {
            state.SkipWithError("no record");
            break;
        }
        const auto serial = g_store->TakeSerial(COUNTER, SerialFieldMax({SerialEncoding::LittleEndian, 4}), "bench");
        if (!serial) {
            state.SkipWithError(serial.error().message.c_str());
            break;
        }
        ChipRecord chip;
        chip.startedAt = chip.endedAt = "2024-05-01T08:00:00.000Z";
        chip.station = "bench";
        chip.port = "1-1";
        chip.devicePath = "/dev/hidraw0";
        chip.operation = "auto";
        chip.firmwarePath = "/srv/firmware/demo.hex";
        chip.fileChecksum = 0xB000;
        chip.serialCounter = COUNTER;
        chip.serial = *serial;
        chip.chipChecksum = 0xB123;
        chip.outcome = "ok";
        chip.message = "ButtonAuto Function OK !!!";
        chip.seconds = 1.9;
        if (const auto id = g_store->AddChip(chip); !id) {
            state.SkipWithError(id.error().message.c_str());
            break;
        }
    }
}

void BM_RecordChipSqlite(benchmark::State& state)
{
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / ("zelv4-record-bench-" + std::to_string(::getpid()) + ".db");
    RecordChips(state, file.string());
    if (state.thread_index() == 0) {
        g_store.reset();
        for (const char* suffix : {"", "-wal", "-shm"})
            std::filesystem::remove(file.string() + suffix);
    }
}
BENCHMARK(BM_RecordChipSqlite)->Threads(1)->Threads(8)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_RecordChipPostgres(benchmark::State& state)
{
    const char* uri = std::getenv("ZELV4_POSTGRES_URI");
    if (uri == nullptr) {
        state.SkipWithError("no PostgreSQL server: set ZELV4_POSTGRES_URI, or run under scripts/with-postgres");
        return;
    }
    RecordChips(state, uri);
    if (state.thread_index() == 0)
        g_store.reset();
}
BENCHMARK(BM_RecordChipPostgres)->Threads(1)->Threads(8)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace zelv4
