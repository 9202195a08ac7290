#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/ExitCodes.h"
#include "cli/run/ChipHooks.h"
#include "cli/run/ChipRun.h"
#include "device/sim/SimMachine.h"
#include "support/OpsHarness.h"
#include "support/TestMachine.h"

namespace zelv4 {
namespace {

// Scripted hooks: an image of its own for each chip, a refusal, or a failure after.
struct ScriptedHooks : ChipHooks {
    std::shared_ptr<const LoadedImageFile> image;
    std::optional<Error> refusal;
    std::optional<Error> failure;
    std::vector<std::string> ended;  // each chip's outcome, as the hook after it saw it

    Expected<std::shared_ptr<const LoadedImageFile>> BeforeChip(const std::string&, const std::string&,
                                                                std::shared_ptr<const LoadedImageFile>) override
    {
        if (refusal)
            return Unexpected(*refusal);
        return image;
    }
    Expected<void> AfterChip(ChipRun& run) override
    {
        ended.push_back(run.outcome);
        if (failure)
            return Unexpected(*failure);
        return {};
    }
};

// The hooks decide what a chip gets, may leave it untouched, and may fail it after
// a good run (its record could not be kept).
TEST(ChipHooks, GiveTheChipItsImageRefuseItOrFailItAfter)
{
    const auto machine = test::TestMachine::CreateDefault();
    ScriptedHooks hooks;
    const auto loaded = [](const FirmwareImage& image) {
        auto file = std::make_shared<LoadedImageFile>();
        file->image = image;
        file->load.ok = true;
        return file;
    };
    hooks.image = loaded(test::PatternImage());
    OperationRequest write;
    write.operation = &IspOperations::OnWrite;
    write.imagePath = "fw.bin";
    write.image = loaded(FirmwareImage{});
    ChipRunSettings settings;
    settings.hooks = &hooks;
    const auto run = [&] { return RunOnChip(*machine, write, SimMachine::DEFAULT_ISP_PATH, "1-1", settings); };

    ChipRun chip = run();
    EXPECT_EQ(chip.exitCode, EXIT_OK) << chip.err;
    EXPECT_EQ(machine->Loader().Flash(), test::PatternImage()) << "the chip did not get the hook's image";

    hooks.refusal = Error(ErrorCode::Unavailable, "the record cannot be reached");
    machine->Loader().ClearTransfers();
    chip = run();
    EXPECT_EQ(chip.exitCode, EXIT_NO_DEVICE);
    EXPECT_EQ(chip.message, "the record cannot be reached");
    EXPECT_TRUE(machine->Loader().Transfers().empty()) << "a refused chip was sent requests";

    hooks.refusal.reset();
    hooks.failure = Error(ErrorCode::FileFailed, "cannot write the chip's row");
    chip = run();
    EXPECT_EQ(chip.exitCode, EXIT_FILE);
    EXPECT_EQ(chip.outcome, "file-error");
    EXPECT_EQ(chip.message, "cannot write the chip's row");
    EXPECT_EQ(hooks.ended, (std::vector<std::string>{"succeeded", "succeeded"}));
}

}  // namespace
}  // namespace zelv4
