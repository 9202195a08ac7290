#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/CommandLine.h"
#include "device/sim/SimMachine.h"
#include "support/TestMachine.h"

namespace zelv4::test {

struct CliOutput {
    int code = -1;
    std::string out;
    std::string err;

    // The one JSON object stdout must hold; a test failure (and null) otherwise.
    nlohmann::json Json() const
    {
        const auto newline = out.find('\n');
        if (out.empty() || newline != out.size() - 1) {
            ADD_FAILURE() << "stdout is not one line: " << out;
            return nullptr;
        }
        nlohmann::json parsed = nlohmann::json::parse(out, nullptr, false);
        if (!parsed.is_object())
            ADD_FAILURE() << "stdout is not a JSON object: " << out;
        return parsed;
    }
};

// zelv4-isp run in-process. Auto's waits on the given machine are recorded instead
// of spent, and stderr is a terminal only when the test says so.
struct CliRunner {
    std::shared_ptr<test::TestMachine> machine;  // null: what the options choose
    bool terminal = false;
    bool stdoutClosed = false;  // as the process would have been started
    std::vector<unsigned> sleeps;
    std::mutex sleepsMutex;
    // watch stops once this says so (as after one Ctrl-C); null: never.
    std::function<bool()> stopRequested;
    // As main() passes it when an argument cannot be read exactly.
    std::string argumentError;
    // How many Ctrl-C the run has had, when a test says more than stopRequested;
    // the process's own signals are never taken.
    std::function<unsigned()> stopSignals;

    CliOutput Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "zelv4-isp");
        std::vector<const char*> argv;
        for (const auto& arg : args)
            argv.push_back(arg.c_str());
        CliEnvironment environment;
        if (machine)
            machine->HidInterfaces().RecordWaits(&sleeps, &sleepsMutex);
        environment.machine = machine;
        environment.errIsTerminal = [this] { return terminal; };
        environment.stdoutClosed = stdoutClosed;
        environment.stopSignals = [this] {
            return stopSignals ? stopSignals() : stopRequested && stopRequested() ? 1u : 0u;
        };
        environment.argumentError = argumentError;
        std::ostringstream out, err;
        CliOutput run;
        run.code = RunCli(static_cast<int>(argv.size()), argv.data(), out, err, environment);
        run.out = out.str();
        run.err = err.str();
        return run;
    }
};

}  // namespace zelv4::test
