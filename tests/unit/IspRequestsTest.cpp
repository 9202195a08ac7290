#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <vector>

#include "core/HidTransport.h"
#include "core/IspConstants.h"
#include "core/IspRequests.h"
#include "device/sim/SimIspLoader.h"
#include "support/TestMachine.h"

namespace zelv4 {
namespace {

std::array<std::uint8_t, ISP_BLOCK_SIZE> Pattern(std::uint8_t first)
{
    std::array<std::uint8_t, ISP_BLOCK_SIZE> data{};
    std::iota(data.begin(), data.end(), first);
    return data;
}

class IspRequestsTest : public ::testing::Test {
protected:
    const test::SimTransfer& Last() const { return loader.Transfers().back(); }

    test::TestIspLoader loader;
    IspReportBuffers reports;
    const std::uint16_t length = ISP_REPORT_SIZE;
};

TEST(BlockAddress, HighAndLowBytesOfThirtyTwoTimesK)
{
    EXPECT_EQ(BlockAddressHigh(0), 0x00);
    EXPECT_EQ(BlockAddressLow(0), 0x00);
    EXPECT_EQ(BlockAddressHigh(8), 0x01);
    EXPECT_EQ(BlockAddressLow(8), 0x00);
    EXPECT_EQ(BlockAddressHigh(639), 0x4F);
    EXPECT_EQ(BlockAddressLow(639), 0xE0);
    EXPECT_EQ(BlockAddressLow(5), 0xA0);
}

TEST_F(IspRequestsTest, WriteBlockLayoutAndAddressing)
{
    const auto data = Pattern(0x40);
    for (std::size_t block : {0u, 8u, 639u}) {
        ASSERT_TRUE(IspWriteBlock(&loader, length, reports, block, data, true));
        const test::SimTransfer& sent = Last();
        ASSERT_EQ(sent.length, ISP_REPORT_SIZE);
        EXPECT_EQ(sent.bytes[0], 0x00);
        EXPECT_EQ(sent.bytes[1], ISP_CMD_WRITE_BLOCK);
        EXPECT_EQ(sent.bytes[2], BlockAddressHigh(block));
        EXPECT_EQ(sent.bytes[3], BlockAddressLow(block));
        EXPECT_EQ(sent.bytes[4], 0x20);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), sent.bytes.begin() + 9));
        EXPECT_TRUE(std::equal(data.begin(), data.end(), loader.Flash().begin() + block * 32));
    }
    EXPECT_EQ(loader.Transfers()[0].bytes[2], 0x00);
    EXPECT_EQ(loader.Transfers()[1].bytes[2], 0x01);
    EXPECT_EQ(loader.Transfers()[2].bytes[3], 0xE0);
}

TEST_F(IspRequestsTest, StaleBytesSurviveIntoLaterRequests)
{
    const auto data = Pattern(0x80);
    ASSERT_TRUE(IspWriteBlock(&loader, length, reports, 17, data, true));
    ASSERT_TRUE(IspMassErase(&loader, length, reports));
    const test::SimTransfer& erase = Last();
    EXPECT_EQ(erase.bytes[1], ISP_CMD_MASS_ERASE);
    EXPECT_EQ(erase.bytes[2], BlockAddressHigh(17));
    EXPECT_EQ(erase.bytes[3], BlockAddressLow(17));
    EXPECT_EQ(erase.bytes[4], 0x20);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), erase.bytes.begin() + 9));

    // A write without the length byte leaves byte 4 as the earlier Write set it...
    ASSERT_TRUE(IspWriteBlock(&loader, length, reports, 1, Pattern(0), false));
    EXPECT_EQ(Last().bytes[4], 0x20);
    // ...and a fresh buffer carries whatever it started with there.
    IspReportBuffers fresh;
    fresh.Request()[4] = 0x5C;
    ASSERT_TRUE(IspWriteBlock(&loader, length, fresh, 1, Pattern(0), false));
    EXPECT_EQ(Last().bytes[4], 0x5C);

    ASSERT_TRUE(IspExitIsp(&loader, length, reports));
    EXPECT_EQ(Last().bytes[1], ISP_CMD_EXIT_ISP);
    EXPECT_EQ(Last().bytes[3], BlockAddressLow(1));
    EXPECT_FALSE(loader.InIsp());
}

TEST_F(IspRequestsTest, ReadBlockReturnsFlashAndPresetsTheReply)
{
    for (std::size_t i = 0; i < ISP_IMAGE_SIZE; ++i)
        loader.Flash()[i] = static_cast<std::uint8_t>(i * 13);
    std::array<std::uint8_t, ISP_BLOCK_SIZE> out{};
    ASSERT_TRUE(IspReadBlock(&loader, length, reports, 639, out));
    EXPECT_TRUE(std::equal(out.begin(), out.end(), loader.Flash().begin() + 639 * 32));
    ASSERT_EQ(loader.Transfers().size(), 2u);
    const test::SimTransfer& request = loader.Transfers()[0];
    EXPECT_EQ(request.kind, test::SimTransfer::Kind::Set);
    EXPECT_EQ(request.bytes[1], ISP_CMD_READ_BLOCK);
    EXPECT_EQ(request.bytes[2], 0x4F);
    EXPECT_EQ(request.bytes[3], 0xE0);
    EXPECT_EQ(loader.Transfers()[1].kind, test::SimTransfer::Kind::Get);
    EXPECT_EQ(loader.Transfers()[1].length, ISP_REPORT_SIZE);
}

TEST_F(IspRequestsTest, FailedReadRequestMakesNoGetFeature)
{
    std::array<std::uint8_t, ISP_BLOCK_SIZE> out{};
    out.fill(0x99);
    loader.FailSetAt(1);
    EXPECT_FALSE(IspReadBlock(&loader, length, reports, 3, out));
    EXPECT_EQ(loader.GetCount(), 0u);
    EXPECT_EQ(out[0], 0x99) << "nothing copied on failure";

    loader.FailGetAt(1);
    EXPECT_FALSE(IspReadBlock(&loader, length, reports, 3, out));
    EXPECT_EQ(loader.GetCount(), 1u);
    EXPECT_EQ(out[0], 0x99);
}

TEST_F(IspRequestsTest, NullDeviceFailsEveryRequest)
{
    std::array<std::uint8_t, ISP_BLOCK_SIZE> out{};
    const auto data = Pattern(1);
    EXPECT_FALSE(IspMassErase(nullptr, length, reports));
    EXPECT_FALSE(IspWriteBlock(nullptr, length, reports, 0, data, true));
    EXPECT_FALSE(IspReadBlock(nullptr, length, reports, 0, out));
    EXPECT_FALSE(IspExitIsp(nullptr, length, reports));
}

TEST_F(IspRequestsTest, LongFeatureReportGrowsBuffersAndIsPassedExactly)
{
    constexpr std::uint16_t longLength = 65;
    test::TestIspLoader longLoader(longLength);
    reports.Request()[5] = 0x7E;
    const auto data = Pattern(0x20);
    ASSERT_TRUE(IspWriteBlock(&longLoader, longLength, reports, 2, data, true));
    EXPECT_EQ(longLoader.Transfers()[0].bytes[5], 0x7E) << "stale bytes survive the growth";
    EXPECT_GE(reports.Size(), longLength);
    EXPECT_EQ(reports.ReplyBytes().size(), reports.RequestBytes().size());
    std::array<std::uint8_t, ISP_BLOCK_SIZE> out{};
    ASSERT_TRUE(IspReadBlock(&longLoader, longLength, reports, 2, out));
    EXPECT_EQ(out, data);
    ASSERT_TRUE(IspMassErase(&longLoader, longLength, reports));
    ASSERT_TRUE(IspExitIsp(&longLoader, longLength, reports));
    for (const test::SimTransfer& transfer : longLoader.Transfers())
        EXPECT_EQ(transfer.length, longLength);
    EXPECT_EQ(longLoader.Transfers()[0].bytes.size(), longLength);

    // The first request a fresh buffer makes at that length grows it before sending.
    IspReportBuffers fresh;
    test::TestIspLoader other(longLength);
    ASSERT_TRUE(IspReadBlock(&other, longLength, fresh, 0, out));
    EXPECT_EQ(fresh.Size(), longLength);
}

// Accepts any length and answers a get with `length` bytes of 0x5A, as a device
// with a short feature report would: nothing past `length` is touched.
class AnyLengthTransport : public HidTransport {
public:
    bool SetFeature(const std::uint8_t*, std::size_t length) override
    {
        lengths.push_back(length);
        return true;
    }
    bool GetFeature(std::uint8_t* report, std::size_t length) override
    {
        lengths.push_back(length);
        std::fill(report + 1, report + length, std::uint8_t{0x5A});
        return true;
    }
    std::vector<std::size_t> lengths;
};

TEST_F(IspRequestsTest, LengthTooShortForTheLayoutFailsWithoutAHidCall)
{
    // A block read whose reply cannot reach bytes 9 to 40 would hand back, for the
    // bytes the device did not fill, what an earlier read left there (here 0x11).
    for (std::size_t i = 0; i < ISP_BLOCK_SIZE; ++i)
        loader.Flash()[i] = 0x11;
    std::array<std::uint8_t, ISP_BLOCK_SIZE> out{};
    ASSERT_TRUE(IspReadBlock(&loader, length, reports, 0, out));

    AnyLengthTransport shortDevice;
    out.fill(0);
    EXPECT_FALSE(IspReadBlock(&shortDevice, 33, reports, 0, out));
    EXPECT_EQ(out[0], 0x00) << "nothing copied";
    EXPECT_FALSE(IspWriteBlock(&shortDevice, 40, reports, 0, Pattern(1), true));
    EXPECT_FALSE(IspMassErase(&shortDevice, 1, reports));
    EXPECT_FALSE(IspExitIsp(&shortDevice, 0, reports));
    EXPECT_TRUE(shortDevice.lengths.empty());

    // Erase and leave-ISP only need the report ID and the command byte.
    EXPECT_TRUE(IspMassErase(&shortDevice, 2, reports));
    EXPECT_TRUE(IspExitIsp(&shortDevice, 2, reports));
    EXPECT_EQ(shortDevice.lengths, (std::vector<std::size_t>{2, 2}));
}

TEST_F(IspRequestsTest, ShortLengthIsPassedAsIs)
{
    // The loader refuses it; what matters is that the device's length goes out unchanged.
    EXPECT_FALSE(IspMassErase(&loader, 8, reports));
    EXPECT_EQ(Last().length, 8u);
    EXPECT_EQ(reports.Size(), ISP_REPORT_SIZE);
}

}  // namespace
}  // namespace zelv4
