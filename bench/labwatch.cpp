// SPDX-License-Identifier: Apache-2.0
// Runs a command in the network lab's host namespace and reports what it sent to the devices and
// what the kernel dropped of their replies, without touching the program.
//
// Requests: a packet socket opened in the lab's lan namespace (tests/lab/netlab exports its
// namespace file and interface name) sees every IPv4 datagram that arrives there over the lab's
// link from the host namespace, which is where the program runs; those for the device port that
// carry the identification key and a request's message code are counted, broadcast to every
// device or addressed to one. The link's own counters would not do: they also count the IPv6
// neighbour and router traffic of the host namespace, a few datagrams every few seconds.
//
// Drops: the kernel's count of datagrams dropped for want of room in the receive buffers of the
// sockets on the device port of this namespace (/proc/net/udp), sampled every 10 ms while the
// command runs, since a socket's count goes with the socket. The replies stop long before a
// program closes its socket, so the last sample holds them all.
//
// Usage: veltra-bench-watch COMMAND [ARGS...]
//
// Prints on standard error, once the command has ended:
//   "WATCH requests=N broadcasts=N addressed=N kernel_drops=N capture_drops=N exit=S"
// where broadcasts and addressed split the requests, and capture_drops counts datagrams the
// packet socket itself lost (0, or the request counts are too low). Exits with the command's
// status.

#include "protocol/messageheader.h"

#include <QByteArray>
#include <QString>

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/ip.h>
#include <netinet/udp.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

extern char **environ;

namespace {

struct Counts
{
    long long broadcasts = 0;
    long long addressed = 0;
};

bool isRequest(quint32 messageId)
{
    switch (messageId) {
    case RestartNetwork:
    case GetNetworkConfig:
    case SetNetworkConfig:
    case GetDeviceInfo:
    case SetNetworkConfigAuth:
        return true;
    default:
        return false;
    }
}

// Counts one IPv4 packet as the packet socket hands it over (from the IP header on).
void count(const unsigned char *packet, size_t length, Counts *counts)
{
    if (length < sizeof(iphdr))
        return;
    iphdr ip{};
    std::memcpy(&ip, packet, sizeof ip);
    const size_t headerLength = size_t(ip.ihl) * 4;
    // Only whole datagrams: a fragment after the first has no UDP header.
    if (ip.version != 4 || ip.protocol != IPPROTO_UDP || (ntohs(ip.frag_off) & 0x1fff) != 0 ||
        length < headerLength + sizeof(udphdr))
        return;
    udphdr udp{};
    std::memcpy(&udp, packet + headerLength, sizeof udp);
    if (ntohs(udp.dest) != Protocol::DevicePort)
        return;
    const size_t offset = headerLength + sizeof(udphdr);
    const QByteArray datagram =
        QByteArray::fromRawData(reinterpret_cast<const char *>(packet + offset), qsizetype(length - offset));
    if (datagram.size() < Protocol::HeaderSize ||
        MessageHeader::keyOf(datagram) != QLatin1String(Protocol::PacketIdentificationKey) ||
        !isRequest(MessageHeader::messageIdOf(datagram)))
        return;
    if (MessageHeader::destMacOf(datagram).compare(QLatin1String(Protocol::BroadcastMac), Qt::CaseInsensitive) == 0)
        ++counts->broadcasts;
    else
        ++counts->addressed;
}

// A packet socket on the lan end of the lab's link, taking the IPv4 packets that arrive there.
// Bound to one protocol rather than to all, it sees no packets that lan itself sends.
int openCapture(const char *lanNamespace, const char *lanInterface)
{
    const int own = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    const int lan = ::open(lanNamespace, O_RDONLY | O_CLOEXEC);
    if (own < 0 || lan < 0 || ::setns(lan, CLONE_NEWNET) != 0) {
        std::perror("veltra-bench-watch: entering the lan namespace");
        return -1;
    }
    int fd = ::socket(AF_PACKET, SOCK_DGRAM | SOCK_CLOEXEC, htons(ETH_P_IP));
    const unsigned int index = fd >= 0 ? ::if_nametoindex(lanInterface) : 0;
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_IP);
    address.sll_ifindex = int(index);
    if (fd < 0 || index == 0 || ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        std::perror("veltra-bench-watch: packet socket");
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    } else {
        // Room for a few thousand addressed requests at once; beyond the limit where allowed.
        const int size = 8 * 1024 * 1024;
        if (::setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    if (::setns(own, CLONE_NEWNET) != 0) {
        std::perror("veltra-bench-watch: returning to the host namespace");
        std::exit(2);
    }
    ::close(own);
    ::close(lan);
    return fd;
}

// What the kernel has dropped so far for the sockets on the device port of this namespace.
long long portDrops()
{
    std::ifstream file("/proc/net/udp");
    std::string line;
    std::getline(file, line); // the column names
    char port[8];
    std::snprintf(port, sizeof port, ":%04X", unsigned(Protocol::DevicePort));
    long long drops = 0;
    while (std::getline(file, line)) {
        std::istringstream fields(line);
        std::string field;
        std::string local;
        std::string last;
        for (int i = 0; fields >> field; ++i) {
            if (i == 1)
                local = field;
            last = field;
        }
        if (local.size() > 5 && local.compare(local.size() - 5, 5, port) == 0)
            drops += std::atoll(last.c_str());
    }
    return drops;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: veltra-bench-watch COMMAND [ARGS...]\n");
        return 2;
    }
    const char *lanNamespace = std::getenv("NETLAB_LAN_NETNS");
    const char *lanInterface = std::getenv("NETLAB_LAN_IF");
    if (!lanNamespace || !lanInterface) {
        std::fprintf(stderr, "veltra-bench-watch: not in the network lab; run it through tests/lab/netlab\n");
        return 2;
    }
    // Before any thread exists: setns() moves only the calling thread.
    const int capture = openCapture(lanNamespace, lanInterface);
    if (capture < 0)
        return 2;

    Counts counts;
    // Reads what waits on the packet socket; false when nothing did.
    const auto readWaiting = [capture, &counts] {
        static unsigned char packet[65536];
        bool readAny = false;
        for (;;) {
            sockaddr_ll from{};
            socklen_t fromLength = sizeof from;
            const ssize_t length = ::recvfrom(capture, packet, sizeof packet, MSG_DONTWAIT,
                                              reinterpret_cast<sockaddr *>(&from), &fromLength);
            if (length < 0)
                return readAny;
            readAny = true;
            if (from.sll_pkttype != PACKET_OUTGOING)
                count(packet, size_t(length), &counts);
        }
    };
    std::atomic<bool> stopping{false};
    std::thread reader([&] {
        pollfd ready{capture, POLLIN, 0};
        while (!stopping.load()) {
            if (::poll(&ready, 1, 20) > 0)
                readWaiting();
        }
    });

    pid_t pid = 0;
    if (::posix_spawnp(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
        std::fprintf(stderr, "veltra-bench-watch: cannot start %s\n", argv[1]);
        stopping.store(true);
        reader.join();
        return 2;
    }
    long long drops = 0;
    int status = 0;
    for (;;) {
        drops = std::max(drops, portDrops());
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0) {
            std::perror("veltra-bench-watch: waitpid");
            status = 2 << 8;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // What is still on its way over the link.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stopping.store(true);
    reader.join();
    readWaiting();
    tpacket_stats stats{};
    socklen_t statsLength = sizeof stats;
    if (::getsockopt(capture, SOL_PACKET, PACKET_STATISTICS, &stats, &statsLength) != 0)
        stats.tp_drops = 0;
    ::close(capture);

    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::fprintf(
        stderr, "WATCH requests=%lld broadcasts=%lld addressed=%lld kernel_drops=%lld capture_drops=%u exit=%d\n",
        counts.broadcasts + counts.addressed, counts.broadcasts, counts.addressed, drops, stats.tp_drops, exitStatus);
    return exitStatus;
}
