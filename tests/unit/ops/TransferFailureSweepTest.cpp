#include <gtest/gtest.h>

#include <string>

#include "cli/ExitCodes.h"
#include "support/CliRunner.h"
#include "support/OpsHarness.h"
#include "support/ScratchDir.h"

namespace zelv4 {
namespace {

// Auto makes 1922 transfers: the erase, 640 writes, 640 read requests each with its
// reply, and the request to leave ISP mode. Failing each one in turn, every run must
// end with the message and exit code of the step that failed, the device closed.
TEST(TransferFailureSweep, EveryTransferOfAutoFailsCleanly)
{
    test::ScratchDir dir;
    const std::string image = dir.Write("fw.bin", test::ImageBytes(test::PatternImage()));
    constexpr std::size_t SETS = 1 + ISP_BLOCK_COUNT + ISP_BLOCK_COUNT + 1;
    constexpr std::size_t GETS = ISP_BLOCK_COUNT;
    std::size_t runs = 0;
    for (const bool get : {false, true}) {
        for (std::size_t n = 1; n <= (get ? GETS : SETS); ++n) {
            test::CliRunner cli;
            cli.machine = test::TestMachine::CreateDefault();
            if (get)
                cli.machine->Loader().FailGetAt(n);
            else
                cli.machine->Loader().FailSetAt(n);
            const test::CliOutput run = cli.Run({"auto", image});
            ++runs;

            std::string out, err;
            if (!get && n == 1)
                err = "MassErase Function Fail !!!\n";
            else if (!get && n <= 1 + ISP_BLOCK_COUNT)
                err = "Write Function Fail !!!\n";
            else if (get || n < SETS)
                err = "Verify Fail !!!\n";
            else
                out = "ButtonAuto Function OK !!!\n", err = "Reset Fail !!!\n";
            const bool ok = run.code == EXIT_TRANSFER_FAILED && run.out == out && run.err.rfind(err, 0) == 0 &&
                            cli.machine->HidInterfaces().LiveHandles() == 0;
            if (!ok) {
                ADD_FAILURE() << (get ? "get " : "set ") << n << ": exit " << run.code << "\n" << run.out << run.err;
                return;
            }
        }
    }
    EXPECT_EQ(runs, SETS + GETS);
    EXPECT_EQ(runs, 1922u);
}

}  // namespace
}  // namespace zelv4
