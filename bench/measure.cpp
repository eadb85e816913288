// SPDX-License-Identifier: Apache-2.0
// Runs a command and reports its wall time and peak resident memory on standard error, as
// "MEASURE wall_ms=... peak_kib=... status=...". Standard output is the command's.
//
// Usage: veltra-bench-measure COMMAND [ARGS...]

#include <chrono>
#include <cstdio>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: veltra-bench-measure COMMAND [ARGS...]\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
        std::fprintf(stderr, "veltra-bench-measure: cannot start %s\n", argv[1]);
        return 2;
    }
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid)
        return 2;
    const auto wall = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::fprintf(stderr, "MEASURE wall_ms=%lld peak_kib=%ld status=%d\n", static_cast<long long>(wall.count()),
                 usage.ru_maxrss, exitStatus);
    return exitStatus;
}
