// zelv4-isp's short commands as whole processes, against objcopy converting the same
// HEX file: what a script pays per call. The runs alternate (zelv4-isp, objcopy,
// objcopy, zelv4-isp, ...) so that both see the same load on the machine; the
// counters are the medians and their ratio, which should stay at or below 1.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The process's wall time in seconds; negative when it could not be run or failed.
double RunProcess(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const Clock::time_point start = Clock::now();
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// Outputs go to a tmpfs when there is one: image replaces its output durably (the
// file and its folder are synced), which objcopy does not, and on a tmpfs that costs
// nothing. What is compared is the start and the conversion.
std::filesystem::path OutputDir()
{
    const std::filesystem::path shm = "/dev/shm";
    std::error_code error;
    const std::filesystem::path base = std::filesystem::is_directory(shm, error) && ::access(shm.c_str(), W_OK) == 0
                                           ? shm
                                           : std::filesystem::temp_directory_path();
    return base / ("zelv4-startup-bench-" + std::to_string(::getpid()));
}

// Arg 0: checksum FILE; arg 1: image FILE -o OUT.
void BM_StartupAgainstObjcopy(benchmark::State& state)
{
    const std::filesystem::path dir = OutputDir();
    std::filesystem::create_directories(dir);
    const std::string hex = ZELV4_SOURCE_DIR "/examples/demo.hex";
    // ZELV4_ISP in the environment measures another build of it, e.g. an older one.
    const char* chosen = std::getenv("ZELV4_ISP");
    const std::string isp = chosen != nullptr ? chosen : ZELV4_ISP;
    const std::vector<std::string> ours =
        state.range(0) == 0 ? std::vector<std::string>{isp, "checksum", hex}
                            : std::vector<std::string>{isp, "image", hex, "-o", (dir / "image.bin").string()};
    const std::vector<std::string> theirs{
        ZELV4_OBJCOPY, "-I", "ihex", "-O", "binary", hex, (dir / "objcopy.bin").string()};
    std::vector<double> oursTimes;
    std::vector<double> theirTimes;
    bool oursFirst = true;
    for (auto _ : state) {
        const double first = RunProcess(oursFirst ? ours : theirs);
        const double second = RunProcess(oursFirst ? theirs : ours);
        if (first < 0 || second < 0) {
            state.SkipWithError("a process could not be run or failed");
            break;
        }
        oursTimes.push_back(oursFirst ? first : second);
        theirTimes.push_back(oursFirst ? second : first);
        oursFirst = !oursFirst;
    }
    std::filesystem::remove_all(dir);
    const double ourMedian = Median(oursTimes);
    const double theirMedian = Median(theirTimes);
    state.counters["zelv4_ms"] = ourMedian * 1e3;
    state.counters["objcopy_ms"] = theirMedian * 1e3;
    state.counters["ratio"] = theirMedian > 0 ? ourMedian / theirMedian : 0;
    state.SetLabel(state.range(0) == 0 ? "checksum" : "image");
}
BENCHMARK(BM_StartupAgainstObjcopy)->Arg(0)->Arg(1)->Iterations(300)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
