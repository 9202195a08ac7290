// emulated-machine: runs a command on an emulated Linux machine with ZEL-V4 ISP
// loaders on chosen USB ports (one on 1-1 by default) and a ZEL-V4 behind an
// external USB hub, then reports what each loader received. A developer tool; the
// machine (tests/emulation) is independent of the project's own code.
//
//   emulated-machine [options] -- build/default/cli/zelv4-isp list
//   emulated-machine --loader 1-1 --loader 1-2.1,fail-at=100 --loader 1-2.2 -- ...
//   emulated-machine --loader 1-1,unplug-at=642:remove --arrive 1-2.1,at=search:1 -- ...
#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "emulation/EmulatedCommand.h"
#include "emulation/EmulatedMachine.h"

namespace {

using zelv4::EmulatedCommand;
using zelv4::EmulatedLoader;
using zelv4::EmulatedMachine;
using zelv4::EventTrigger;
using zelv4::LoaderOptions;
using zelv4::MachineEvent;

constexpr int EXIT_TOOL_FAILED = EmulatedCommand::EXIT_TOOL_FAILED;
constexpr const char* PRELOAD_LIBRARY = "libumockdev-preload.so.0";
constexpr const char* REEXEC_VARIABLE = "ZELV4_EMULATED_MACHINE_UNDER_PRELOAD";
constexpr const char* DEFAULT_LOADER_PORT = "1-1";
constexpr const char* DEFAULT_HUB_PORT = "1-2";
constexpr const char* DEFAULT_SIGNATURE_PORT = "1-2.3";
constexpr const char* OTHER_HIDRAW_PORT = "1-2.1";
constexpr unsigned OTHER_HIDRAW_NUMBER = 1;

const char* const SPEC_HELP = R"(
A loader SPEC is PORT[,KEY=VALUE...], PORT the USB port path as the kernel names the
device (1-1: root hub port 1; 1-2.3: port 3 of the hub on root hub port 2; hubs on
the way are added with 4 ports). Keys:
  feature-length=N  feature report length with its report ID byte (default 41)
  flash-in=FILE     initial flash, 20480 bytes (default: erased)
  flash-out=FILE    the flash when COMMAND has ended
  corrupt=ADDR      a cell that keeps bit 0 flipped from what is programmed
  fail-at=N         transfer N (from 1, sets and gets alike) fails with EIO; repeatable
  unplug-at=N       unplugged at transfer N: it and every later ioctl fail with ENODEV
  unplug-at=N:remove  ... and its nodes leave /dev and sysfs, with "remove" uevents
  short-by=N        every feature transfer reports N bytes fewer than it moved
  bad-descriptor    reading the report descriptor fails with EIO
  hidraw=N          its node is /dev/hidrawN (default: the lowest free number)
  log=FILE          its own transfer log (default: --log)
  at=WHEN           (--arrive only) when it arrives
WHEN is Nms (after COMMAND started), search:N (after COMMAND's Nth listing of
/sys/class/hidraw, i.e. its Nth search), or transfer:PORT:N (once the loader on PORT
has had N transfers; the machine looks every few ms, so this is "soon after"). Arrivals
and removals come with uevents, as the kernel sends them.)";

struct LoaderSpec {
    LoaderOptions options;
    std::string flashOut;
    std::optional<EventTrigger> at;
};

void PrintPrefixed(const std::string& text)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        std::fprintf(stderr, "emulated-machine: %s\n", line.c_str());
}

bool Number(const std::string& text, unsigned long& value)
{
    std::size_t used = 0;
    try {
        value = std::stoul(text, &used, 0);
    } catch (const std::exception&) {
        return false;
    }
    return used == text.size() && !text.empty() && text[0] != '-';
}

bool ReadFlash(const std::string& path, std::vector<std::uint8_t>& flash, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    flash.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (flash.size() != EmulatedLoader::FLASH_SIZE) {
        error = path + " holds " + std::to_string(flash.size()) + " bytes, not " +
                std::to_string(EmulatedLoader::FLASH_SIZE);
        return false;
    }
    return true;
}

bool WriteFlash(const std::string& path, const std::vector<std::uint8_t>& flash)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(flash.data()), static_cast<std::streamsize>(flash.size()));
    file.close();
    return static_cast<bool>(file);
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream stream(text);
    while (std::getline(stream, part, separator))
        parts.push_back(part);
    return parts;
}

bool ParseWhen(const std::string& text, EventTrigger& when)
{
    unsigned long count = 0;
    const std::vector<std::string> parts = Split(text, ':');
    if (parts.size() == 1 && text.ends_with("ms") && Number(text.substr(0, text.size() - 2), count)) {
        when.kind = EventTrigger::Kind::Time;
    } else if (parts.size() == 2 && parts[0] == "search" && Number(parts[1], count) && count > 0) {
        when.kind = EventTrigger::Kind::Search;
    } else if (parts.size() == 3 && parts[0] == "transfer" && Number(parts[2], count) && count > 0) {
        when.kind = EventTrigger::Kind::Transfer;
        when.port = parts[1];
    } else {
        return false;
    }
    when.count = static_cast<unsigned>(count);
    return true;
}

// Applies one KEY=VALUE of a loader SPEC.
bool ApplyKey(const std::string& key, const std::string& value, bool arrival, LoaderSpec& spec, std::string& error)
{
    LoaderOptions& options = spec.options;
    unsigned long number = 0;
    if (key == "feature-length" && Number(value, number) && number >= 2 && number <= EmulatedLoader::MAX_FEATURE_LENGTH)
        options.featureLength = number;
    else if (key == "flash-in" && !value.empty())
        return ReadFlash(value, options.flash, error);
    else if (key == "flash-out" && !value.empty())
        spec.flashOut = value;
    else if (key == "corrupt" && Number(value, number) && number < EmulatedLoader::FLASH_SIZE)
        options.corruptAddress = number;
    else if (key == "fail-at" && Number(value, number) && number > 0)
        options.failAt.insert(static_cast<unsigned>(number));
    else if (key == "unplug-at" && Number(value.substr(0, value.find(':')), number) && number > 0 &&
             (value.find(':') == std::string::npos || value.substr(value.find(':')) == ":remove")) {
        options.unplugAt = static_cast<unsigned>(number);
        options.removeAtUnplug = value.find(':') != std::string::npos;
    } else if (key == "short-by" && Number(value, number) && number < options.featureLength)
        options.shortBy = static_cast<unsigned>(number);
    else if (key == "bad-descriptor" && value.empty())
        options.descriptorFails = true;
    else if (key == "hidraw" && Number(value, number) && number < 1000)
        options.hidraw = static_cast<unsigned>(number);
    else if (key == "log" && !value.empty())
        options.logPath = value;
    else if (key == "at" && arrival && ParseWhen(value, spec.at.emplace()))
        return true;
    else {
        error = "'" + key + (value.empty() ? "" : "=" + value) + "' is not a loader key with a valid value";
        return false;
    }
    return true;
}

bool ParseLoader(const std::string& text, bool arrival, LoaderSpec& spec, std::string& error)
{
    const std::vector<std::string> parts = Split(text, ',');
    if (parts.empty() || parts[0].empty() || parts[0].find('=') != std::string::npos) {
        error = "a loader starts with its port, e.g. 1-2.1";
        return false;
    }
    spec.options.port = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::size_t equals = parts[i].find('=');
        const std::string key = parts[i].substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : parts[i].substr(equals + 1);
        if (!ApplyKey(key, value, arrival, spec, error)) {
            error = "--" + std::string(arrival ? "arrive " : "loader ") + text + ": " + error;
            return false;
        }
    }
    if (arrival && !spec.at) {
        error = "--arrive " + text + ": at=WHEN is missing";
        return false;
    }
    return true;
}

bool UnderPreload()
{
    const char* preload = std::getenv("LD_PRELOAD");
    return preload != nullptr && std::strstr(preload, "libumockdev-preload") != nullptr;
}

// The tool itself must run under umockdev's preload library: uevents are built
// from the emulated sysfs, which only a process under it sees.
int RunUnderPreload(char** argv)
{
    if (std::getenv(REEXEC_VARIABLE) != nullptr) {
        std::fprintf(stderr, "emulated-machine: %s did not load\n", PRELOAD_LIBRARY);
        return EXIT_TOOL_FAILED;
    }
    const char* preload = std::getenv("LD_PRELOAD");
    const char* asan = std::getenv("ASAN_OPTIONS");
    ::setenv("LD_PRELOAD", (std::string(PRELOAD_LIBRARY) + (preload ? std::string(":") + preload : "")).c_str(), 1);
    ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + (asan ? ":" : "") + "verify_asan_link_order=0").c_str(),
             1);
    ::setenv(REEXEC_VARIABLE, "1", 1);
    ::execv("/proc/self/exe", argv);
    std::fprintf(stderr, "emulated-machine: cannot restart under %s: %s\n", PRELOAD_LIBRARY, std::strerror(errno));
    return EXIT_TOOL_FAILED;
}

struct FileCloser {
    void operator()(std::FILE* file) const
    {
        if (file != nullptr)
            std::fclose(file);
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (!UnderPreload())
        return RunUnderPreload(argv);
    ::unsetenv(REEXEC_VARIABLE);

    CLI::App app{"Runs COMMAND on an emulated Linux machine: ZEL-V4 ISP loaders (one on USB port 1-1 unless "
                 "--loader says otherwise) and a ZEL-V4 that answers the signature request behind an external USB "
                 "hub (1-2.3). Exits with COMMAND's code."};
    app.footer(SPEC_HELP);
    std::vector<std::string> loaderTexts;
    std::vector<std::string> arrivalTexts;
    std::vector<std::string> removals;
    std::vector<std::string> hubs;
    std::vector<std::string> keyboards;
    std::vector<std::string> signatureDevices;
    std::size_t featureLength = EmulatedLoader::DEFAULT_FEATURE_LENGTH;
    std::string corrupt;
    std::string flashIn;
    std::string flashOut;
    std::string logPath;
    std::string other = "none";
    std::string signature = "ZEL-V4";
    bool noSignature = false;
    bool quiet = false;
    unsigned timeout = 0;
    std::vector<std::string> command;

    app.add_option("--loader", loaderTexts,
                   "A loader: SPEC (below), repeatable; 'none' for none until one arrives. Default: one on 1-1")
        ->allow_extra_args(false);
    app.add_option("--arrive", arrivalTexts, "A loader that arrives while COMMAND runs: SPEC with at=WHEN")
        ->allow_extra_args(false);
    app.add_option("--remove", removals, "PORT,at=WHEN: the device on PORT (and below) leaves while COMMAND runs")
        ->allow_extra_args(false);
    app.add_option("--hub", hubs, "PORT[,ports=N]: a hub with N ports (default 4)")->allow_extra_args(false);
    app.add_option("--keyboard", keyboards, "PORT: a keyboard, a hidraw node that is not the loader")
        ->allow_extra_args(false);
    app.add_option("--signature-device", signatureDevices,
                   "PORT[,answer=TEXT|stall]: a ZEL-V4 out of ISP mode (040b:6870), instead of the default one on "
                   "1-2.3; 'none' for no such device")
        ->allow_extra_args(false);
    app.add_option("--feature-length", featureLength, "The first loader's feature-length")
        ->check(CLI::Range(std::size_t{2}, EmulatedLoader::MAX_FEATURE_LENGTH))
        ->capture_default_str();
    app.add_option("--corrupt", corrupt, "The first loader's corrupt (decimal or 0x hex)");
    app.add_option("--flash-in", flashIn, "The first loader's flash-in");
    app.add_option("--flash-out", flashOut, "The first loader's flash-out");
    app.add_option("--log", logPath, "Log every transfer, what the machine does, and the summary to this file");
    app.add_option("--other-hidraw", other, "A keyboard on 1-2.1 at /dev/hidraw1, added before or after the loaders")
        ->check(CLI::IsMember({"none", "before", "after"}))
        ->capture_default_str();
    app.add_option("--signature", signature, "What the default device on 1-2.3 answers (ASCII)")->capture_default_str();
    app.add_flag("--no-signature", noSignature, "The default device on 1-2.3 stalls the signature request");
    app.add_option("--timeout", timeout, "Kill COMMAND after this many seconds (exit 124); 0: never");
    app.add_flag("-q,--quiet", quiet, "Print neither the machine nor the summary on stderr");
    app.add_option("command", command, "The command to run, after --")->required();
    CLI11_PARSE(app, argc, argv);

    std::string error;
    std::vector<LoaderSpec> loaders;
    // "--loader none": no loader until one arrives.
    const bool noLoader = loaderTexts == std::vector<std::string>{"none"};
    if (noLoader)
        loaderTexts.clear();
    for (const std::string& text :
         loaderTexts.empty() && !noLoader ? std::vector<std::string>{DEFAULT_LOADER_PORT} : loaderTexts) {
        if (!ParseLoader(text, false, loaders.emplace_back(), error)) {
            std::fprintf(stderr, "emulated-machine: %s\n", error.c_str());
            return EXIT_TOOL_FAILED;
        }
    }
    // The first loader's own options, kept from when there was only one.
    if (loaders.empty() && (featureLength != EmulatedLoader::DEFAULT_FEATURE_LENGTH || !flashIn.empty() ||
                            !corrupt.empty() || !flashOut.empty())) {
        std::fprintf(stderr, "emulated-machine: --feature-length, --flash-in, --corrupt and --flash-out apply to the "
                             "first loader; with --loader none, give them as keys of --arrive\n");
        return EXIT_TOOL_FAILED;
    }
    if (!loaders.empty()) {
        LoaderSpec& first = loaders.front();
        if (featureLength != EmulatedLoader::DEFAULT_FEATURE_LENGTH)
            first.options.featureLength = featureLength;
        if ((!flashIn.empty() && !ApplyKey("flash-in", flashIn, false, first, error)) ||
            (!corrupt.empty() && !ApplyKey("corrupt", corrupt, false, first, error))) {
            std::fprintf(stderr, "emulated-machine: %s\n", error.c_str());
            return EXIT_TOOL_FAILED;
        }
        if (!flashOut.empty())
            first.flashOut = flashOut;
    }
    std::vector<LoaderSpec> arrivals;
    for (const std::string& text : arrivalTexts) {
        if (!ParseLoader(text, true, arrivals.emplace_back(), error)) {
            std::fprintf(stderr, "emulated-machine: %s\n", error.c_str());
            return EXIT_TOOL_FAILED;
        }
    }

    std::unique_ptr<std::FILE, FileCloser> log;
    if (!logPath.empty()) {
        log.reset(std::fopen(logPath.c_str(), "w"));
        if (!log) {
            std::fprintf(stderr, "emulated-machine: cannot create %s: %s\n", logPath.c_str(), std::strerror(errno));
            return EXIT_TOOL_FAILED;
        }
    }

    EmulatedMachine machine(log.get());
    for (const std::string& text : hubs) {
        const std::vector<std::string> parts = Split(text, ',');
        unsigned long ports = 4;
        if (parts.empty() || parts.size() > 2 ||
            (parts.size() == 2 &&
             (!parts[1].starts_with("ports=") || !Number(parts[1].substr(6), ports) || ports == 0 || ports > 15))) {
            std::fprintf(stderr, "emulated-machine: --hub %s: expected PORT[,ports=N]\n", text.c_str());
            return EXIT_TOOL_FAILED;
        }
        machine.AddHub(parts[0], static_cast<unsigned>(ports));
    }
    if (other == "before")
        machine.AddKeyboard(OTHER_HIDRAW_PORT, OTHER_HIDRAW_NUMBER);
    for (const LoaderSpec& spec : loaders)
        machine.AddLoader(spec.options);
    if (other == "after")
        machine.AddKeyboard(OTHER_HIDRAW_PORT);
    for (const std::string& port : keyboards)
        machine.AddKeyboard(port);
    // The default ZEL-V4 behind the hub stays out of the way of devices put there.
    bool defaultPortsFree = true;
    for (const std::vector<LoaderSpec>* specs : {&loaders, &arrivals}) {
        for (const LoaderSpec& spec : *specs)
            defaultPortsFree &= spec.options.port != DEFAULT_HUB_PORT && spec.options.port != DEFAULT_SIGNATURE_PORT;
    }
    for (const std::string& port : keyboards)
        defaultPortsFree &= port != DEFAULT_HUB_PORT && port != DEFAULT_SIGNATURE_PORT;
    if (signatureDevices.empty()) {
        if (defaultPortsFree) {
            const std::u16string text(signature.begin(), signature.end());
            machine.AddSignatureDevice(DEFAULT_SIGNATURE_PORT,
                                       noSignature ? std::nullopt
                                                   : std::optional(EmulatedMachine::StringDescriptor(text)));
        }
    } else {
        for (const std::string& text : signatureDevices) {
            if (text == "none")
                continue;
            const std::vector<std::string> parts = Split(text, ',');
            std::optional<std::vector<std::uint8_t>> reply;
            if (parts.size() == 2 && parts[1].starts_with("answer=")) {
                const std::string answer = parts[1].substr(7);
                reply = EmulatedMachine::StringDescriptor(std::u16string(answer.begin(), answer.end()));
            } else if (parts.size() != 2 || parts[1] != "stall") {
                if (parts.size() != 1) {
                    std::fprintf(stderr, "emulated-machine: --signature-device %s: expected PORT[,answer=TEXT|stall]\n",
                                 text.c_str());
                    return EXIT_TOOL_FAILED;
                }
                reply = EmulatedMachine::StringDescriptor(u"ZEL-V4");
            }
            machine.AddSignatureDevice(parts[0], reply);
        }
    }
    for (const LoaderSpec& spec : arrivals)
        machine.Schedule({.action = MachineEvent::Action::Arrive, .loader = spec.options, .when = *spec.at});
    for (const std::string& text : removals) {
        const std::vector<std::string> parts = Split(text, ',');
        EventTrigger when;
        if (parts.size() != 2 || !parts[1].starts_with("at=") || !ParseWhen(parts[1].substr(3), when)) {
            std::fprintf(stderr, "emulated-machine: --remove %s: expected PORT,at=WHEN\n", text.c_str());
            return EXIT_TOOL_FAILED;
        }
        machine.Schedule({.action = MachineEvent::Action::Remove, .port = parts[0], .when = when});
    }
    if (!machine.Error().empty()) {
        PrintPrefixed(machine.Error());
        return EXIT_TOOL_FAILED;
    }
    if (!quiet)
        PrintPrefixed(machine.Describe());
    if (log)
        std::fprintf(log.get(), "machine: %s\n", machine.RootDir().c_str());

    EmulatedCommand run(machine);
    const int code = run.Run(command, std::chrono::seconds(timeout));

    std::string summary;
    for (const EmulatedLoader* loader : machine.Loaders())
        summary += loader->Summary();
    summary += machine.Summary() + run.Summary();
    if (log) {
        std::fprintf(log.get(), "summary:\n%s", summary.c_str());
        std::fflush(log.get());
    }
    if (!quiet)
        PrintPrefixed(summary);
    bool written = true;
    for (const std::vector<LoaderSpec>* specs : {&loaders, &arrivals}) {
        for (const LoaderSpec& spec : *specs) {
            const EmulatedLoader* loader = machine.Loader(spec.options.port);
            if (!spec.flashOut.empty() && loader != nullptr && !WriteFlash(spec.flashOut, loader->Flash())) {
                std::fprintf(stderr, "emulated-machine: cannot write %s\n", spec.flashOut.c_str());
                written = false;
            }
        }
    }
    if (!machine.Error().empty()) {
        PrintPrefixed(machine.Error());
        return EXIT_TOOL_FAILED;
    }
    return written ? code : EXIT_TOOL_FAILED;
}
