// emulated-machine: runs a command on an emulated Linux machine with a ZEL-V4 ISP
// loader at /dev/hidraw0 and a ZEL-V4 behind an external USB hub, then reports what
// the loader received. A developer tool; the machine is independent of the tests.
//
//   emulated-machine [options] -- build/default/cli/zelv4-isp list
#include <CLI/CLI.hpp>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "EmulatedLoader.h"
#include "EmulatedMachine.h"

extern char** environ;

namespace {

using zelv4::EmulatedLoader;
using zelv4::EmulatedMachine;

constexpr int EXIT_TOOL_FAILED = 125;
constexpr int EXIT_NOT_STARTED = 127;
constexpr int EXIT_SIGNAL_BASE = 128;

constexpr const char* PRELOAD_LIBRARY = "libumockdev-preload.so.0";
// ASan wants its runtime first in the library list; the preload library comes first.
constexpr const char* ASAN_LINK_ORDER = "verify_asan_link_order=0";

void PrintPrefixed(const std::string& text)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        std::fprintf(stderr, "emulated-machine: %s\n", line.c_str());
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

// The child's environment: this one, with the preload library and the testbed.
std::vector<std::string> ChildEnvironment(const std::string& rootDir)
{
    std::string preload = PRELOAD_LIBRARY;
    std::string asan = ASAN_LINK_ORDER;
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.starts_with("LD_PRELOAD=")) {
            if (text.size() > 11)
                preload += ":" + text.substr(11);
        } else if (text.starts_with("ASAN_OPTIONS=")) {
            if (text.find("verify_asan_link_order") != std::string::npos)
                asan = text.substr(13);
            else if (text.size() > 13)
                asan = text.substr(13) + ":" + asan;
        } else if (!text.starts_with("UMOCKDEV_DIR=")) {
            env.push_back(text);
        }
    }
    env.push_back("LD_PRELOAD=" + preload);
    env.push_back("ASAN_OPTIONS=" + asan);
    env.push_back("UMOCKDEV_DIR=" + rootDir);
    return env;
}

// Starts the command and waits for it. umockdev's worker thread answers the child's
// ioctls meanwhile, so this thread only has to wait.
int RunChild(const std::vector<std::string>& command, const std::string& rootDir)
{
    std::vector<std::string> env = ChildEnvironment(rootDir);
    std::vector<char*> argv;
    for (const std::string& arg : command)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data());
    if (spawned != 0) {
        std::fprintf(stderr, "emulated-machine: cannot start %s: %s\n", argv[0], std::strerror(spawned));
        return EXIT_NOT_STARTED;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "emulated-machine: waitpid: %s\n", std::strerror(errno));
            return EXIT_TOOL_FAILED;
        }
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return EXIT_SIGNAL_BASE + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
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
    CLI::App app{"Runs COMMAND on an emulated Linux machine: a ZEL-V4 ISP loader at /dev/hidraw0 and a ZEL-V4 "
                 "that answers the signature request behind an external USB hub. Exits with COMMAND's code."};
    std::size_t featureLength = EmulatedLoader::DEFAULT_FEATURE_LENGTH;
    std::string corrupt;
    std::string flashIn;
    std::string flashOut;
    std::string logPath;
    std::string other = "none";
    std::string signature = "ZEL-V4";
    bool noSignature = false;
    bool quiet = false;
    std::vector<std::string> command;

    app.add_option("--feature-length", featureLength,
                   "Feature report length with its report ID byte; the descriptor declares one byte less")
        ->check(CLI::Range(std::size_t{2}, EmulatedLoader::MAX_FEATURE_LENGTH))
        ->capture_default_str();
    app.add_option("--corrupt", corrupt,
                   "Flash address (decimal or 0x hex) whose cell keeps bit 0 flipped from what is programmed");
    app.add_option("--flash-in", flashIn, "Initial flash content: a 20480-byte file (default: all 0xFF)");
    app.add_option("--flash-out", flashOut, "Write the final flash to this file when COMMAND has ended");
    app.add_option("--log", logPath, "Log every transfer, and the summary, to this file");
    app.add_option("--other-hidraw", other, "A keyboard at /dev/hidraw1, added before or after hidraw0")
        ->check(CLI::IsMember({"none", "before", "after"}))
        ->capture_default_str();
    app.add_option("--signature", signature, "What the device behind the hub answers (ASCII)")->capture_default_str();
    app.add_flag("--no-signature", noSignature, "The device behind the hub stalls the signature request");
    app.add_flag("-q,--quiet", quiet, "Print neither the machine nor the summary on stderr");
    app.add_option("command", command, "The command to run, after --")->required();
    CLI11_PARSE(app, argc, argv);

    std::unique_ptr<std::FILE, FileCloser> log;
    if (!logPath.empty()) {
        log.reset(std::fopen(logPath.c_str(), "w"));
        if (!log) {
            std::fprintf(stderr, "emulated-machine: cannot create %s: %s\n", logPath.c_str(), std::strerror(errno));
            return EXIT_TOOL_FAILED;
        }
    }

    EmulatedLoader loader(featureLength, log.get());
    if (!flashIn.empty()) {
        std::vector<std::uint8_t> flash;
        std::string error;
        if (!ReadFlash(flashIn, flash, error)) {
            std::fprintf(stderr, "emulated-machine: %s\n", error.c_str());
            return EXIT_TOOL_FAILED;
        }
        loader.LoadFlash(flash);
    }
    if (!corrupt.empty()) {
        std::size_t used = 0;
        unsigned long address = 0;
        try {
            address = std::stoul(corrupt, &used, 0);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used != corrupt.size() || used == 0 || address >= EmulatedLoader::FLASH_SIZE) {
            std::fprintf(stderr, "emulated-machine: --corrupt %s is not a flash address\n", corrupt.c_str());
            return EXIT_TOOL_FAILED;
        }
        loader.SetCorruptAddress(address);
    }

    zelv4::MachineOptions options;
    options.otherHidraw = other == "before"  ? zelv4::OtherHidraw::Before
                          : other == "after" ? zelv4::OtherHidraw::After
                                             : zelv4::OtherHidraw::None;
    if (noSignature)
        options.signature.reset();
    else
        options.signature = std::u16string(signature.begin(), signature.end());

    EmulatedMachine machine(loader, featureLength, options, log.get());
    if (!machine.Error().empty()) {
        PrintPrefixed(machine.Error());
        return EXIT_TOOL_FAILED;
    }
    if (!quiet)
        PrintPrefixed(machine.Describe());
    if (log)
        std::fprintf(log.get(), "machine: %s\n", machine.RootDir().c_str());

    const int code = RunChild(command, machine.RootDir());

    const std::string summary = loader.Summary() + "foreign-transfers: " + std::to_string(machine.ForeignTransfers()) +
                                "\n" + "exit-code: " + std::to_string(code) + "\n";
    if (log) {
        std::fprintf(log.get(), "summary:\n%s", summary.c_str());
        std::fflush(log.get());
    }
    if (!quiet)
        PrintPrefixed(summary);
    if (!flashOut.empty() && !WriteFlash(flashOut, loader.Flash())) {
        std::fprintf(stderr, "emulated-machine: cannot write %s\n", flashOut.c_str());
        return EXIT_TOOL_FAILED;
    }
    return code;
}
