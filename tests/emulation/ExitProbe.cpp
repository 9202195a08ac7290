// Preloaded into a command that runs in an emulated machine. When one of its
// processes exits normally, this appends a line to $ZELV4_EXIT_REPORT with the
// emulated hidraw nodes the process still has open, so that a test can tell a
// program that closed its device from one that left that to exit(). Only libc
// here: it is loaded into programs built with and without the sanitizers.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

__attribute__((destructor)) void ReportOpenNodes()
{
    const char* report = std::getenv("ZELV4_EXIT_REPORT");
    const char* root = std::getenv("UMOCKDEV_DIR");
    if (report == nullptr || root == nullptr)
        return;
    char prefix[PATH_MAX];
    std::snprintf(prefix, sizeof prefix, "%s/dev/hidraw", root);
    char nodes[2048] = "";
    unsigned count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir)) {
            char link[PATH_MAX];
            char target[PATH_MAX];
            if (std::snprintf(link, sizeof link, "/proc/self/fd/%s", entry->d_name) >= static_cast<int>(sizeof link))
                continue;
            const ssize_t length = readlink(link, target, sizeof target - 1);
            if (length <= 0)
                continue;
            target[length] = '\0';
            if (std::strncmp(target, prefix, std::strlen(prefix)) != 0)
                continue;
            ++count;
            const std::size_t used = std::strlen(nodes);
            if (std::snprintf(nodes + used, sizeof nodes - used, " fd %s: %s", entry->d_name, target) < 0)
                nodes[used] = '\0';
        }
        closedir(dir);
    }
    const int fd = open(report, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    char line[sizeof nodes + 64];
    const int length = std::snprintf(line, sizeof line, "pid=%d open=%u%s\n", static_cast<int>(getpid()), count, nodes);
    if (length > 0 && write(fd, line, static_cast<std::size_t>(length)) < 0) {
        // Nothing left to tell it to.
    }
    close(fd);
}

}  // namespace
