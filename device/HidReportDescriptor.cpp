#include "device/HidReportDescriptor.h"

#include <algorithm>
#include <array>
#include <vector>

namespace zelv4 {

namespace {

enum ItemType : std::uint8_t { MAIN = 0, GLOBAL = 1, LOCAL = 2, RESERVED = 3 };

// Main item tags.
constexpr std::uint8_t TAG_INPUT = 0x8;
constexpr std::uint8_t TAG_OUTPUT = 0x9;
constexpr std::uint8_t TAG_COLLECTION = 0xA;
constexpr std::uint8_t TAG_FEATURE = 0xB;
constexpr std::uint8_t TAG_END_COLLECTION = 0xC;
// Global item tags.
constexpr std::uint8_t TAG_USAGE_PAGE = 0x0;
constexpr std::uint8_t TAG_REPORT_SIZE = 0x7;
constexpr std::uint8_t TAG_REPORT_ID = 0x8;
constexpr std::uint8_t TAG_REPORT_COUNT = 0x9;
constexpr std::uint8_t TAG_PUSH = 0xA;
constexpr std::uint8_t TAG_POP = 0xB;
// Local item tags.
constexpr std::uint8_t TAG_USAGE = 0x0;

constexpr std::uint8_t LONG_ITEM_PREFIX = 0xFE;
constexpr std::uint32_t MAIN_FLAG_CONSTANT = 0x01;
constexpr std::uint32_t MAIN_FLAG_VARIABLE = 0x02;
constexpr std::uint32_t COLLECTION_APPLICATION = 0x01;
constexpr std::size_t REPORT_IDS = 256;

enum ReportKind { KIND_INPUT, KIND_OUTPUT, KIND_FEATURE, KIND_COUNT };

struct GlobalState {
    std::uint16_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint8_t reportId = 0;
};

struct Counts {
    std::uint32_t buttons = 0;
    std::uint32_t values = 0;
};

std::uint16_t Clamp16(std::uint32_t value)
{
    return static_cast<std::uint16_t>(value > 0xFFFF ? 0xFFFF : value);
}

}  // namespace

std::optional<HidCaps> ParseHidReportDescriptor(std::span<const std::uint8_t> descriptor)
{
    if (descriptor.empty() || descriptor.size() > HID_DESCRIPTOR_MAX_BYTES)
        return std::nullopt;

    GlobalState global;
    std::vector<GlobalState> stack;
    // Bits per report ID and kind; ID 0 stands for "no report IDs".
    std::vector<std::array<std::uint32_t, KIND_COUNT>> bits(REPORT_IDS, {0, 0, 0});
    std::array<bool, KIND_COUNT> seen{false, false, false};
    std::array<Counts, KIND_COUNT> counts{};
    bool usesReportIds = false;
    bool dataBeforeReportId = false;
    // The local usage pending for the next main item. A plain flag and value rather than
    // std::optional: GCC's -O2 flow analysis misreports the optional as uninitialised.
    bool haveUsage = false;
    std::uint32_t usage = 0;
    unsigned depth = 0;
    std::uint32_t collections = 0;
    bool haveTopUsage = false;
    HidCaps caps;

    std::size_t at = 0;
    while (at < descriptor.size()) {
        const std::uint8_t prefix = descriptor[at++];
        if (prefix == LONG_ITEM_PREFIX) {
            // bDataSize, bLongItemTag, data: no long item tags are defined; skip it.
            if (descriptor.size() - at < 2)
                return std::nullopt;
            const std::size_t size = descriptor[at];
            at += 2;
            if (descriptor.size() - at < size)
                return std::nullopt;
            at += size;
            continue;
        }
        const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        const auto type = static_cast<ItemType>((prefix >> 2) & 3);
        const std::uint8_t tag = prefix >> 4;
        if (descriptor.size() - at < size)
            return std::nullopt;
        std::uint32_t data = 0;
        for (std::size_t i = 0; i < size; ++i)
            data |= std::uint32_t{descriptor[at + i]} << (8 * i);
        at += size;

        switch (type) {
        case MAIN:
            switch (tag) {
            case TAG_INPUT:
            case TAG_OUTPUT:
            case TAG_FEATURE: {
                const ReportKind kind =
                    tag == TAG_INPUT ? KIND_INPUT : (tag == TAG_OUTPUT ? KIND_OUTPUT : KIND_FEATURE);
                if (!usesReportIds)
                    dataBeforeReportId = true;
                const std::uint64_t fieldBits = std::uint64_t{global.reportSize} * global.reportCount;
                std::uint32_t& total = bits[global.reportId][kind];
                if (total + fieldBits > HID_DESCRIPTOR_MAX_REPORT_BITS)
                    return std::nullopt;
                total += static_cast<std::uint32_t>(fieldBits);
                seen[kind] = true;
                if (!(data & MAIN_FLAG_CONSTANT) && fieldBits > 0) {
                    const bool variable = (data & MAIN_FLAG_VARIABLE) != 0;
                    if (!variable || global.reportSize == 1)
                        ++counts[kind].buttons;
                    else
                        ++counts[kind].values;
                }
                break;
            }
            case TAG_COLLECTION:
                if (depth == HID_DESCRIPTOR_MAX_COLLECTION_DEPTH)
                    return std::nullopt;
                if (depth == 0 && !haveTopUsage && (data & 0xFF) == COLLECTION_APPLICATION) {
                    const std::uint32_t full = haveUsage ? usage : 0;
                    caps.Usage = static_cast<std::uint16_t>(full & 0xFFFF);
                    caps.UsagePage = full > 0xFFFF ? static_cast<std::uint16_t>(full >> 16) : global.usagePage;
                    haveTopUsage = true;
                }
                ++depth;
                ++collections;
                break;
            case TAG_END_COLLECTION:
                if (depth == 0)
                    return std::nullopt;
                --depth;
                break;
            default:
                return std::nullopt;
            }
            haveUsage = false;  // local items last until the next main item
            break;
        case GLOBAL:
            switch (tag) {
            case TAG_USAGE_PAGE:
                global.usagePage = static_cast<std::uint16_t>(data);
                break;
            case TAG_REPORT_SIZE:
                if (data > HID_DESCRIPTOR_MAX_REPORT_SIZE)
                    return std::nullopt;
                global.reportSize = data;
                break;
            case TAG_REPORT_ID:
                if (data == 0 || data >= REPORT_IDS || dataBeforeReportId)
                    return std::nullopt;
                global.reportId = static_cast<std::uint8_t>(data);
                usesReportIds = true;
                break;
            case TAG_REPORT_COUNT:
                if (data > HID_DESCRIPTOR_MAX_REPORT_COUNT)
                    return std::nullopt;
                global.reportCount = data;
                break;
            case TAG_PUSH:
                if (stack.size() == HID_DESCRIPTOR_MAX_PUSH_DEPTH)
                    return std::nullopt;
                stack.push_back(global);
                break;
            case TAG_POP:
                if (stack.empty())
                    return std::nullopt;
                global = stack.back();
                stack.pop_back();
                break;
            default:
                break;  // logical and physical ranges, units: no bearing on lengths
            }
            break;
        case LOCAL:
            if (tag == TAG_USAGE && !haveUsage) {
                // A 4-byte usage carries its own page in the high half.
                usage = size == 4 ? data : (std::uint32_t{global.usagePage} << 16) | (data & 0xFFFF);
                haveUsage = true;
            }
            break;
        case RESERVED:
            return std::nullopt;
        }
    }
    if (depth != 0 || collections == 0)
        return std::nullopt;

    std::array<std::uint32_t, KIND_COUNT> longest{0, 0, 0};
    for (const auto& perId : bits)
        for (int kind = 0; kind < KIND_COUNT; ++kind)
            longest[kind] = std::max(longest[kind], perId[kind]);
    const auto length = [&](ReportKind kind) -> std::uint16_t {
        if (!seen[kind])
            return 0;
        return static_cast<std::uint16_t>((longest[kind] + 7) / 8 + 1);
    };
    caps.InputReportByteLength = length(KIND_INPUT);
    caps.OutputReportByteLength = length(KIND_OUTPUT);
    caps.FeatureReportByteLength = length(KIND_FEATURE);
    caps.NumberLinkCollectionNodes = Clamp16(collections);
    caps.NumberInputButtonCaps = Clamp16(counts[KIND_INPUT].buttons);
    caps.NumberInputValueCaps = Clamp16(counts[KIND_INPUT].values);
    caps.NumberOutputButtonCaps = Clamp16(counts[KIND_OUTPUT].buttons);
    caps.NumberOutputValueCaps = Clamp16(counts[KIND_OUTPUT].values);
    caps.NumberFeatureButtonCaps = Clamp16(counts[KIND_FEATURE].buttons);
    caps.NumberFeatureValueCaps = Clamp16(counts[KIND_FEATURE].values);
    return caps;
}

}  // namespace zelv4
