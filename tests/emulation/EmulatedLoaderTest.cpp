// The emulated loader is the witness of the emulated checks: it must refuse what the
// real loader would not take, or those checks could pass on a wrong host.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "emulation/EmulatedLoader.h"

namespace zelv4 {
namespace {

using Report = std::vector<std::uint8_t>;

Report Request(std::uint8_t command, unsigned address = 0, std::size_t length = 41)
{
    Report report(length, 0);
    report[1] = command;
    report[2] = static_cast<std::uint8_t>(address >> 8);
    report[3] = static_cast<std::uint8_t>(address & 0xFF);
    return report;
}

Report WriteRequest(unsigned address, std::uint8_t fill)
{
    Report report = Request(EmulatedLoader::CMD_WRITE, address);
    for (std::size_t i = 9; i < 41; ++i)
        report[i] = static_cast<std::uint8_t>(fill + i);
    return report;
}

std::string Line(const std::string& summary, const std::string& key)
{
    const auto at = summary.find(key + ": ");
    if (at == std::string::npos)
        return "(missing)";
    const auto start = at + key.size() + 2;
    return summary.substr(start, summary.find('\n', start) - start);
}

class EmulatedLoaderTest : public ::testing::Test {
protected:
    long Set(Report report) { return loader.SetFeature(report.data(), report.size()); }
    long Get(Report& report) { return loader.GetFeature(report.data(), report.size()); }

    EmulatedLoader loader{LoaderOptions{}, nullptr};
};

TEST_F(EmulatedLoaderTest, WriteThenReadReturnsTheBlockInBytes9To40)
{
    ASSERT_EQ(Set(WriteRequest(0x0120, 0x30)), 41);
    ASSERT_EQ(Set(Request(EmulatedLoader::CMD_READ, 0x0120)), 41);
    Report reply = Request(EmulatedLoader::CMD_READ, 0x0120);
    ASSERT_EQ(Get(reply), 41);
    const Report written = WriteRequest(0x0120, 0x30);
    EXPECT_EQ(Report(reply.begin() + 9, reply.end()), Report(written.begin() + 9, written.end()));
    EXPECT_EQ(loader.Flash()[0x0120], 0x30 + 9);
    EXPECT_EQ(loader.Flash()[0x011F], 0xFF);

    ASSERT_EQ(Set(Request(EmulatedLoader::CMD_ERASE)), 41);
    EXPECT_EQ(loader.Flash(), std::vector<std::uint8_t>(EmulatedLoader::FLASH_SIZE, 0xFF));
    EXPECT_EQ(loader.Violations(), 0u);
}

TEST_F(EmulatedLoaderTest, TransfersOfAnotherLengthOrReportIdAreRefused)
{
    EXPECT_EQ(Set(Request(EmulatedLoader::CMD_ERASE, 0, 40)), -EPIPE);
    EXPECT_EQ(Set(Request(EmulatedLoader::CMD_ERASE, 0, 64)), -EPIPE);
    Report otherId = WriteRequest(0, 0);
    otherId[0] = 0x01;
    EXPECT_EQ(Set(otherId), -EPIPE);
    EXPECT_EQ(loader.Flash()[9], 0xFF) << "a refused write must not reach the flash";
    EXPECT_EQ(Set(WriteRequest(0x0010, 0)), -EPIPE) << "not the start of a block";
    EXPECT_EQ(Set(WriteRequest(0x5000, 0)), -EPIPE) << "beyond the flash";
    EXPECT_EQ(Set(Request(0x55)), -EPIPE);
    EXPECT_EQ(loader.Violations(), 6u);
    EXPECT_EQ(Line(loader.Summary(), "rejected"), "6");
    EXPECT_EQ(Line(loader.Summary(), "write"), "0");
}

TEST_F(EmulatedLoaderTest, ReplyWithoutReadRequestAndTransfersAfterLeavingAreRefused)
{
    Report reply(41, 0);
    EXPECT_EQ(Get(reply), -EPIPE);
    ASSERT_EQ(Set(Request(EmulatedLoader::CMD_READ, 0)), 41);
    EXPECT_EQ(Get(reply), 41);
    EXPECT_EQ(Get(reply), -EPIPE) << "one reply per request";
    ASSERT_EQ(Set(Request(EmulatedLoader::CMD_LEAVE)), 41);
    EXPECT_EQ(Set(Request(EmulatedLoader::CMD_ERASE)), -EPIPE);
    EXPECT_EQ(loader.Violations(), 3u);
    EXPECT_EQ(Line(loader.Summary(), "leave-isp"), "1");
}

TEST_F(EmulatedLoaderTest, SummaryReportsTheFirstBlockOutOfOrder)
{
    ASSERT_EQ(Set(WriteRequest(0x0000, 0)), 41);
    ASSERT_EQ(Set(WriteRequest(0x0020, 0)), 41);
    EXPECT_EQ(Line(loader.Summary(), "write-order"), "ascending 0-1");
    ASSERT_EQ(Set(WriteRequest(0x0060, 0)), 41);
    ASSERT_EQ(Set(WriteRequest(0x0040, 0)), 41);
    EXPECT_EQ(Line(loader.Summary(), "write-order"), "OUT OF ORDER: block 3 at transfer #3, expected block 2");
    EXPECT_EQ(Line(loader.Summary(), "read-order"), "none");
}

TEST_F(EmulatedLoaderTest, CorruptCellKeepsOneBitFlippedThroughLoadAndWrite)
{
    loader.SetCorruptAddress(0x0021);
    EXPECT_EQ(loader.Flash()[0x0021], 0xFE);
    ASSERT_EQ(Set(WriteRequest(0x0020, 0x40)), 41);
    EXPECT_EQ(loader.Flash()[0x0021], (0x40 + 10) ^ 0x01);
    EXPECT_EQ(loader.Flash()[0x0020], 0x40 + 9);
    loader.LoadFlash(std::vector<std::uint8_t>(EmulatedLoader::FLASH_SIZE, 0x00));
    EXPECT_EQ(loader.Flash()[0x0021], 0x01);
    EXPECT_EQ(Line(loader.Summary(), "flash-checksum"), "0001");
}

TEST(EmulatedLoaderFaultTest, ScriptedFailureIsNotCarriedOutAndAnUnplugLasts)
{
    LoaderOptions options;
    options.failAt = {2};
    options.unplugAt = 4;
    EmulatedLoader faulty(options, nullptr);
    Report erase = Request(EmulatedLoader::CMD_ERASE);
    Report write = WriteRequest(0x0040, 0x10);
    Report reply(41, 0);
    EXPECT_EQ(faulty.SetFeature(erase.data(), erase.size()), 41);
    EXPECT_EQ(faulty.SetFeature(write.data(), write.size()), -EIO);
    EXPECT_EQ(faulty.Flash()[0x0040 + 0], 0xFF) << "the failed write must not reach the flash";
    EXPECT_EQ(faulty.SetFeature(write.data(), write.size()), 41);
    EXPECT_EQ(faulty.SetFeature(erase.data(), erase.size()), -ENODEV);
    EXPECT_TRUE(faulty.Unplugged());
    EXPECT_EQ(faulty.GetFeature(reply.data(), reply.size()), -ENODEV);
    EXPECT_EQ(faulty.Flash()[0x0040], 0x10 + 9) << "the unplugged erase must not reach the flash";
    const std::string summary = faulty.Summary();
    EXPECT_EQ(Line(summary, "transfers"), "4");
    EXPECT_EQ(Line(summary, "failed"), "1");
    EXPECT_EQ(Line(summary, "after-unplug"), "1");
    EXPECT_EQ(faulty.SetReports().size(), 2u) << "what reached the device";
}

TEST(EmulatedLoaderDescriptorTest, FeatureReportHoldsOneByteLessThanTheLength)
{
    // Report Count item right before the feature usage and Feature item.
    const auto small = EmulatedLoader::ReportDescriptor(41);
    const Report smallTail(small.end() - 7, small.end());
    EXPECT_EQ(smallTail, (Report{0x95, 40, 0x09, 0x04, 0xB1, 0x02, 0xC0}));
    const auto large = EmulatedLoader::ReportDescriptor(1025);
    const Report largeTail(large.end() - 8, large.end());
    EXPECT_EQ(largeTail, (Report{0x96, 0x00, 0x04, 0x09, 0x04, 0xB1, 0x02, 0xC0}));
}

}  // namespace
}  // namespace zelv4
