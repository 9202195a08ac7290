#include "device/SysfsValues.h"

#include <algorithm>
#include <charconv>

namespace zelv4 {

namespace {

constexpr std::string_view HIDRAW_PREFIX = "hidraw";

std::string_view WithoutNewline(std::string_view text)
{
    if (!text.empty() && text.back() == '\n')
        text.remove_suffix(1);
    return text;
}

// The whole of `text` as a number in `base`, with 1 to `maxDigits` digits.
std::optional<unsigned long long> WholeNumber(std::string_view text, int base, std::size_t maxDigits)
{
    if (text.empty() || text.size() > maxDigits)
        return std::nullopt;
    unsigned long long value = 0;
    const char* end = text.data() + text.size();
    const auto [next, ec] = std::from_chars(text.data(), end, value, base);
    if (ec != std::errc{} || next != end)
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<unsigned> HidrawNodeNumber(std::string_view name)
{
    if (!name.starts_with(HIDRAW_PREFIX))
        return std::nullopt;
    const auto number = WholeNumber(name.substr(HIDRAW_PREFIX.size()), 10, HIDRAW_NUMBER_MAX_DIGITS);
    return number ? std::optional<unsigned>(static_cast<unsigned>(*number)) : std::nullopt;
}

std::optional<HidIds> ParseHidId(std::string_view value)
{
    value = WithoutNewline(value);
    const auto first = value.find(':');
    const auto second = first == std::string_view::npos ? first : value.find(':', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    const auto bus = WholeNumber(value.substr(0, first), 16, HID_ID_FIELD_MAX_DIGITS);
    const auto vendor = WholeNumber(value.substr(first + 1, second - first - 1), 16, HID_ID_FIELD_MAX_DIGITS);
    const auto product = WholeNumber(value.substr(second + 1), 16, HID_ID_FIELD_MAX_DIGITS);
    if (!bus || !vendor || !product || *vendor > 0xFFFF || *product > 0xFFFF)
        return std::nullopt;
    return HidIds{static_cast<std::uint16_t>(*vendor), static_cast<std::uint16_t>(*product)};
}

std::optional<unsigned> ParseSysfsHex(std::string_view text, std::size_t maxDigits)
{
    const auto value = WholeNumber(WithoutNewline(text), 16, std::min<std::size_t>(maxDigits, 8));
    return value ? std::optional<unsigned>(static_cast<unsigned>(*value)) : std::nullopt;
}

std::optional<unsigned> ParseSysfsDecimal(std::string_view text, unsigned max)
{
    const auto value = WholeNumber(WithoutNewline(text), 10, 10);
    if (!value || *value > max)
        return std::nullopt;
    return static_cast<unsigned>(*value);
}

std::optional<std::vector<unsigned>> ParseUsbDevpath(std::string_view devpath)
{
    std::vector<unsigned> ports;
    for (std::string_view rest = WithoutNewline(devpath);;) {
        const auto dot = rest.find('.');
        const auto port = ParseSysfsDecimal(rest.substr(0, dot), USB_PORT_NUMBER_MAX);
        if (!port || *port == 0 || ports.size() == USB_PORT_PATH_MAX_TIERS)
            return std::nullopt;
        ports.push_back(*port);
        if (dot == std::string_view::npos)
            return ports;
        rest.remove_prefix(dot + 1);
    }
}

std::optional<std::string> UsbPortPath(std::string_view busnum, std::string_view devpath)
{
    const auto bus = ParseSysfsDecimal(busnum, USB_BUS_NUMBER_MAX);
    const auto ports = ParseUsbDevpath(devpath);
    if (!bus || *bus == 0 || !ports)
        return std::nullopt;
    std::string path = std::to_string(*bus);
    for (std::size_t i = 0; i < ports->size(); ++i)
        path += (i == 0 ? '-' : '.') + std::to_string((*ports)[i]);
    return path;
}

}  // namespace zelv4
