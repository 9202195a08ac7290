#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "core/IspConstants.h"
#include "device/sim/SimIspLoader.h"
#include "support/TestMachine.h"

namespace zelv4 {
namespace {

std::vector<std::uint8_t> Request(std::uint8_t command, std::size_t address = 0, std::uint8_t fill = 0,
                                  std::size_t length = ISP_REPORT_SIZE)
{
    std::vector<std::uint8_t> report(length, 0);
    report[ISP_OFFSET_COMMAND] = command;
    report[ISP_OFFSET_ADDRESS_HIGH] = static_cast<std::uint8_t>(address >> 8);
    report[ISP_OFFSET_ADDRESS_LOW] = static_cast<std::uint8_t>(address & 0xFF);
    for (std::size_t i = ISP_OFFSET_DATA; i < std::min(length, ISP_OFFSET_DATA + ISP_BLOCK_SIZE); ++i)
        report[i] = fill;
    return report;
}

bool Send(test::TestIspLoader& loader, const std::vector<std::uint8_t>& report)
{
    return loader.SetFeature(report.data(), report.size());
}

TEST(SimIspLoader, StartsErasedAndProgramsLikeNorFlash)
{
    test::TestIspLoader loader;
    for (std::uint8_t b : loader.Flash())
        ASSERT_EQ(b, 0xFF);
    ASSERT_TRUE(Send(loader, Request(ISP_CMD_WRITE_BLOCK, 0x100, 0xF0)));
    ASSERT_TRUE(Send(loader, Request(ISP_CMD_WRITE_BLOCK, 0x100, 0x3C)));
    EXPECT_EQ(loader.Flash()[0x100], 0x30) << "bits only go from 1 to 0";
    EXPECT_EQ(loader.Flash()[0x11F], 0x30);
    EXPECT_EQ(loader.Flash()[0x120], 0xFF);
    ASSERT_TRUE(Send(loader, Request(ISP_CMD_MASS_ERASE)));
    EXPECT_EQ(loader.Flash()[0x100], 0xFF);
}

TEST(SimIspLoader, ReadSelectsTheBlockForTheNextGet)
{
    test::TestIspLoader loader;
    loader.Flash()[0x4FE0] = 0x12;
    loader.Flash()[0x4FFF] = 0x34;
    std::vector<std::uint8_t> reply(ISP_REPORT_SIZE, 0);
    EXPECT_FALSE(loader.GetFeature(reply.data(), reply.size())) << "no read request yet";

    ASSERT_TRUE(Send(loader, Request(ISP_CMD_READ_BLOCK, 0x4FE0)));
    ASSERT_TRUE(loader.GetFeature(reply.data(), reply.size()));
    EXPECT_EQ(reply[ISP_OFFSET_DATA], 0x12);
    EXPECT_EQ(reply[ISP_OFFSET_DATA + 31], 0x34);
    EXPECT_FALSE(loader.GetFeature(reply.data(), reply.size())) << "one get per read request";
}

TEST(SimIspLoader, RefusesMalformedRequests)
{
    test::TestIspLoader loader;
    EXPECT_FALSE(Send(loader, Request(ISP_CMD_WRITE_BLOCK, 0x0010)));  // unaligned
    EXPECT_FALSE(Send(loader, Request(ISP_CMD_WRITE_BLOCK, 0x5000)));  // past the flash
    EXPECT_FALSE(Send(loader, Request(ISP_CMD_READ_BLOCK, 0xFFE0)));
    EXPECT_FALSE(Send(loader, Request(0x42)));
    EXPECT_FALSE(Send(loader, Request(ISP_CMD_MASS_ERASE, 0, 0, 40)));  // wrong length
    auto withId = Request(ISP_CMD_MASS_ERASE);
    withId[0] = 1;
    EXPECT_FALSE(Send(loader, withId));
    for (std::uint8_t b : loader.Flash())
        ASSERT_EQ(b, 0xFF);
}

TEST(SimIspLoader, LeavingIspEndsTheConversation)
{
    test::TestIspLoader loader;
    ASSERT_TRUE(Send(loader, Request(ISP_CMD_EXIT_ISP)));
    EXPECT_FALSE(loader.InIsp());
    EXPECT_FALSE(Send(loader, Request(ISP_CMD_MASS_ERASE)));
    loader.Reenter();
    EXPECT_TRUE(Send(loader, Request(ISP_CMD_MASS_ERASE)));
}

TEST(SimIspLoader, RecordsEveryTransferAndInjectsFaults)
{
    test::TestIspLoader loader(64);
    loader.FailSetAt(2);
    EXPECT_TRUE(Send(loader, Request(ISP_CMD_MASS_ERASE, 0, 0, 64)));
    EXPECT_FALSE(Send(loader, Request(ISP_CMD_MASS_ERASE, 0, 0, 64)));
    EXPECT_TRUE(Send(loader, Request(ISP_CMD_READ_BLOCK, 0x20, 0xAB, 64)));
    loader.FailGetAt(1);
    std::vector<std::uint8_t> reply(64, 0);
    EXPECT_FALSE(loader.GetFeature(reply.data(), reply.size()));

    const auto& transfers = loader.Transfers();
    ASSERT_EQ(transfers.size(), 4u);
    EXPECT_TRUE(transfers[0].ok);
    EXPECT_FALSE(transfers[1].ok);
    EXPECT_EQ(transfers[2].bytes, Request(ISP_CMD_READ_BLOCK, 0x20, 0xAB, 64));
    EXPECT_EQ(transfers[3].kind, test::SimTransfer::Kind::Get);
    EXPECT_FALSE(transfers[3].ok);
    for (const auto& transfer : transfers)
        EXPECT_EQ(transfer.length, 64u);
    EXPECT_EQ(loader.SetCount(), 3u);
    EXPECT_EQ(loader.GetCount(), 1u);
}

}  // namespace
}  // namespace zelv4
