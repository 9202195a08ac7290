#include "core/IspRequests.h"

#include <algorithm>

#include "core/HidTransport.h"
#include "core/IspConstants.h"

namespace zelv4 {

namespace {

// How much of a report each exchange needs the device's length to cover. A device
// with a shorter feature report would get a write without its data, or hand back
// a reply whose block bytes were never filled (stale bytes of an earlier read);
// such a request fails before any HID call instead of passing as a success.
constexpr std::size_t ISP_COMMAND_REPORT_MIN = ISP_OFFSET_COMMAND + 1;

bool Send(HidTransport* device, std::uint16_t length, IspReportBuffers& reports, std::size_t needed)
{
    if (device == nullptr || length < needed)
        return false;
    reports.EnsureLength(length);
    return device->SetFeature(reports.Request(), length);
}

void WriteHeader(std::uint8_t* report, std::uint8_t command)
{
    report[ISP_OFFSET_REPORT_ID] = ISP_REPORT_ID;
    report[ISP_OFFSET_COMMAND] = command;
}

void WriteAddressedHeader(std::uint8_t* report, std::uint8_t command, std::size_t block)
{
    WriteHeader(report, command);
    report[ISP_OFFSET_ADDRESS_HIGH] = BlockAddressHigh(block);
    report[ISP_OFFSET_ADDRESS_LOW] = BlockAddressLow(block);
}

}  // namespace

std::uint8_t BlockAddressHigh(std::size_t block)
{
    return static_cast<std::uint8_t>((block * ISP_BLOCK_SIZE) >> 8);
}

std::uint8_t BlockAddressLow(std::size_t block)
{
    return static_cast<std::uint8_t>((block * ISP_BLOCK_SIZE) & 0xFF);
}

bool IspMassErase(HidTransport* device, std::uint16_t length, IspReportBuffers& reports)
{
    WriteHeader(reports.Request(), ISP_CMD_MASS_ERASE);
    return Send(device, length, reports, ISP_COMMAND_REPORT_MIN);
}

bool IspWriteBlock(HidTransport* device, std::uint16_t length, IspReportBuffers& reports, std::size_t block,
                   std::span<const std::uint8_t> data, bool withLength)
{
    std::uint8_t* request = reports.Request();
    WriteAddressedHeader(request, ISP_CMD_WRITE_BLOCK, block);
    // Auto leaves byte 4 alone; the loader then sees whatever an earlier Write left.
    if (withLength)
        request[ISP_OFFSET_DATA_LENGTH] = static_cast<std::uint8_t>(ISP_BLOCK_SIZE);
    std::copy_n(data.begin(), std::min(data.size(), ISP_BLOCK_SIZE), request + ISP_OFFSET_DATA);
    return Send(device, length, reports, ISP_BLOCK_REPORT_MIN);
}

bool IspReadBlock(HidTransport* device, std::uint16_t length, IspReportBuffers& reports, std::size_t block,
                  std::span<std::uint8_t> out)
{
    WriteAddressedHeader(reports.Request(), ISP_CMD_READ_BLOCK, block);
    if (!Send(device, length, reports, ISP_BLOCK_REPORT_MIN))
        return false;
    // Byte 0 selects report ID 0; the device overwrites the other preset bytes.
    WriteAddressedHeader(reports.Reply(), ISP_CMD_READ_BLOCK, block);
    if (!device->GetFeature(reports.Reply(), length))
        return false;
    std::copy_n(reports.Reply() + ISP_OFFSET_DATA, std::min(out.size(), ISP_BLOCK_SIZE), out.begin());
    return true;
}

bool IspExitIsp(HidTransport* device, std::uint16_t length, IspReportBuffers& reports)
{
    WriteHeader(reports.Request(), ISP_CMD_EXIT_ISP);
    return Send(device, length, reports, ISP_COMMAND_REPORT_MIN);
}

}  // namespace zelv4
