#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cli/run/ChipHooks.h"
#include "core/SerialField.h"
#include "core/UtcTime.h"
#include "record/RecordStore.h"

namespace zelv4 {

// Where each chip's number comes from and where it goes.
struct SerialPlan {
    std::string counter;
    std::size_t address = 0;
    SerialFormat format;
};

struct ChipRecorderSettings {
    std::string station;
    std::string operation;  // as the record names it: "write", "auto", ...
    std::optional<std::string> firmwarePath;
    std::optional<std::uint16_t> fileChecksum;
    std::optional<SerialPlan> serial;
};

// Keeps the production record of a run's chips: before each chip, makes sure the
// record answers and takes the chip's serial number, patched into a copy of the
// image; after it, writes the chip's row, which settles the number (used when the
// chip passed, spoiled otherwise). One recorder serves every worker of a run: a
// chip's two calls come from its own thread, which is how they are paired.
class ChipRecorder : public ChipHooks {
public:
    ChipRecorder(std::shared_ptr<RecordStore> store, ChipRecorderSettings settings)
        : m_store(std::move(store)), m_settings(std::move(settings))
    {}

    Expected<std::shared_ptr<const LoadedImageFile>> BeforeChip(const std::string& path, const std::string& port,
                                                                std::shared_ptr<const LoadedImageFile> image) override;
    Expected<void> AfterChip(ChipRun& run) override;

private:
    // What BeforeChip gave the chip on its thread, until its AfterChip.
    struct Pending {
        UtcTime started;
        std::optional<std::uint64_t> serial;
        std::optional<std::uint16_t> chipChecksum;
    };

    std::shared_ptr<RecordStore> m_store;
    ChipRecorderSettings m_settings;
    std::mutex m_mutex;
    std::map<std::thread::id, Pending> m_pending;
};

}  // namespace zelv4
