// SPDX-License-Identifier: Apache-2.0
// Loaded with LD_PRELOAD into a program by bench/run-bench.sh: has its sockets meet the receive
// buffer limit of a host whose net.core.rmem_max is VELTRA_BENCH_RMEM_MAX bytes. The network lab
// cannot change the host's limit (its namespaces inherit it), so benchmarks 2 and 4 measure the
// common default of 212,992 bytes this way, with the programs unchanged.
//
// Every setsockopt(SOL_SOCKET, SO_RCVBUF, value) that asks for more than the limit asks for the
// limit instead, exactly as the kernel cuts it (value read as unsigned, so a negative one is cut
// too); the kernel then doubles what it grants, as for any request. SO_RCVBUFFORCE, which passes
// the limit for a privileged process only, fails with EPERM as it does for the user of a desktop
// program: the lab runs as root, the people who scan with the programs do not. Without the
// variable (or with one that is not a number of bytes) every call goes through unchanged.

#include <dlfcn.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

using SetSockOpt = int (*)(int, int, int, const void *, socklen_t);

SetSockOpt nextSetSockOpt()
{
    static const auto next = reinterpret_cast<SetSockOpt>(::dlsym(RTLD_NEXT, "setsockopt"));
    return next;
}

// The limit in bytes, or 0 for none.
unsigned int receiveBufferLimit()
{
    static const unsigned int limit = [] {
        const char *text = std::getenv("VELTRA_BENCH_RMEM_MAX");
        if (!text || !*text)
            return 0U;
        char *end = nullptr;
        errno = 0;
        const unsigned long value = std::strtoul(text, &end, 10);
        if (errno != 0 || *end != '\0' || value > INT_MAX)
            return 0U;
        return static_cast<unsigned int>(value);
    }();
    return limit;
}

} // namespace

extern "C" int setsockopt(int fd, int level, int name, const void *value, socklen_t length)
{
    const SetSockOpt next = nextSetSockOpt();
    if (!next) {
        errno = ENOSYS;
        return -1;
    }
    const unsigned int limit = receiveBufferLimit();
    if (level == SOL_SOCKET && name == SO_RCVBUFFORCE && limit > 0) {
        errno = EPERM;
        return -1;
    }
    if (level == SOL_SOCKET && name == SO_RCVBUF && limit > 0 && value && length >= sizeof(int)) {
        int requested = 0;
        std::memcpy(&requested, value, sizeof requested);
        if (static_cast<unsigned int>(requested) > limit) {
            const int granted = static_cast<int>(limit);
            return next(fd, level, name, &granted, sizeof granted);
        }
    }
    return next(fd, level, name, value, length);
}
