// SPDX-License-Identifier: Apache-2.0
#include "protocol/datagramreceiver.h"

#include <QtDebug>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#if defined(Q_OS_LINUX)
#include <linux/sock_diag.h>
#endif

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// Datagrams taken from the kernel in one call.
constexpr int BatchSize = 128;
// The queue signals the taker once it holds this many datagrams, or when the socket runs dry.
constexpr size_t ReadySize = 512;
// Larger than any UDP datagram.
constexpr int MaxDatagramSize = 65536;
// Room for the control message that names the interface a datagram arrived on.
#if defined(IP_PKTINFO)
constexpr size_t ControlSize = CMSG_SPACE(sizeof(in_pktinfo));
#else
constexpr size_t ControlSize = CMSG_SPACE(sizeof(int));
#endif
// After a read error the thread waits this long (milliseconds) before it reads again: an error
// that stays must not turn into a busy loop or a stream of notices.
constexpr int ErrorBackOff = 10;

bool makePipe(int (&ends)[2])
{
    if (::pipe(ends) != 0)
        return false;
    for (const int end : ends) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, O_NONBLOCK);
    }
    return true;
}

void closePipe(int (&ends)[2])
{
    for (int &end : ends) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

// The arrival interface's index from a received message's control data, 0 when it is not there.
int arrivalIndex(const msghdr &message)
{
#if defined(IP_PKTINFO)
    for (const cmsghdr *control = CMSG_FIRSTHDR(&message); control;
         control = CMSG_NXTHDR(const_cast<msghdr *>(&message), const_cast<cmsghdr *>(control))) {
        if (control->cmsg_level == IPPROTO_IP && control->cmsg_type == IP_PKTINFO) {
            in_pktinfo info{};
            std::memcpy(&info, CMSG_DATA(control), sizeof info);
            return info.ipi_ifindex;
        }
    }
#else
    Q_UNUSED(message);
#endif
    return 0;
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

DatagramReceiver::~DatagramReceiver()
{
    close();
}

int DatagramReceiver::bindShared(quint16 port, QString *error)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = systemError("socket");
        return -1;
    }
    // Other programs that share the port (another tool of this kind, a second instance started
    // for the command line) get the broadcasts as well.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        *error = systemError("bind");
        ::close(fd);
        return -1;
    }
    return fd;
}

bool DatagramReceiver::open(quint16 port, int bufferSize, QString *error)
{
    if (isOpen())
        return true;
    const int fd = bindShared(port, error);
    if (fd < 0)
        return false;
    // The kernel may grant less (net.core.rmem_max); the thread and the queue make up for it.
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
#if defined(IP_PKTINFO)
    // Each datagram names the interface it came in on: a host scanning on several interfaces
    // tells by it which of them a device answered on.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
#endif

    if (!makePipe(wakePipe) || !makePipe(readyPipe)) {
        *error = systemError("pipe");
        closePipe(wakePipe);
        ::close(fd);
        return false;
    }
    descriptor = fd;
    dropsAtOpen = dropCounter();
    stopping = false;
    heldBytes = 0;
    ready = false;
    thread = std::thread(&DatagramReceiver::run, this);
    return true;
}

void DatagramReceiver::close()
{
    if (!isOpen())
        return;
    stopping = true;
    const char wake = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &wake, 1);
    {
        const std::lock_guard<std::mutex> lock(mutex);
        roomFreed.notify_all();
    }
    if (thread.joinable())
        thread.join();
    ::close(descriptor);
    closePipe(wakePipe);
    closePipe(readyPipe);
    descriptor = -1;
    const std::lock_guard<std::mutex> lock(mutex);
    queue.clear();
    heldBytes = 0;
    ready = false;
}

void DatagramReceiver::take(qsizetype max, std::deque<Datagram> *into)
{
    const std::lock_guard<std::mutex> lock(mutex);
    const bool wasFull = heldBytes >= heldLimit;
    for (qsizetype i = 0; i < max && !queue.empty(); ++i) {
        heldBytes -= queue.front().data.size() + HeldOverhead;
        into->push_back(std::move(queue.front()));
        queue.pop_front();
    }
    if (queue.empty() && ready) {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(readyPipe[0], &byte, 1);
        ready = false;
    }
    if (wasFull && heldBytes < heldLimit)
        roomFreed.notify_all();
}

void DatagramReceiver::keepReady()
{
    const std::lock_guard<std::mutex> lock(mutex);
    signalReady();
}

void DatagramReceiver::signalReady()
{
    if (ready || readyPipe[1] < 0)
        return;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(readyPipe[1], &byte, 1);
    ready = true;
}

bool DatagramReceiver::hasWaiting() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return !queue.empty();
}

qsizetype DatagramReceiver::waiting() const
{
    const std::lock_guard<std::mutex> lock(mutex);
    return qsizetype(queue.size());
}

quint64 DatagramReceiver::kernelDrops() const
{
    if (!isOpen())
        return 0;
    const quint64 now = dropCounter();
    return now >= dropsAtOpen ? now - dropsAtOpen : 0;
}

quint64 DatagramReceiver::dropCounter() const
{
#if defined(Q_OS_LINUX) && defined(SO_MEMINFO)
    std::array<quint32, SK_MEMINFO_VARS> info{};
    socklen_t length = sizeof info;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_MEMINFO, info.data(), &length) == 0 &&
        length >= (SK_MEMINFO_DROPS + 1) * sizeof(quint32))
        return info[SK_MEMINFO_DROPS];
#endif
    return 0;
}

void DatagramReceiver::run()
{
    pollfd fds[2] = {{descriptor, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
    while (!stopping) {
        if (!waitForRoom())
            return;
        if (readBatch())
            continue;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (!queue.empty())
                signalReady();
        }
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            std::this_thread::sleep_for(std::chrono::milliseconds(ErrorBackOff));
    }
}

bool DatagramReceiver::waitForRoom()
{
    std::unique_lock<std::mutex> lock(mutex);
    if (heldBytes < heldLimit)
        return !stopping;
    const quint64 dropsBefore = kernelDrops();
    signalReady(); // the taker must come, or the wait never ends
    roomFreed.wait(lock, [this] { return stopping || heldBytes < heldLimit; });
    lock.unlock();
    if (stopping)
        return false;
    // Told at most once a second, with what the kernel dropped meanwhile: under a flood the
    // queue is full again and again.
    ++fullTimes;
    droppedWhileFull += kernelDrops() - dropsBefore;
    if (!sinceFullTold.isValid() || sinceFullTold.hasExpired(1000)) {
        qDebug() << "DatagramReceiver: the held datagrams reached" << heldLimit.load() << "bytes" << fullTimes
                 << "times; meanwhile the kernel dropped" << droppedWhileFull << "datagrams";
        sinceFullTold.start();
        fullTimes = 0;
        droppedWhileFull = 0;
    }
    return true;
}

bool DatagramReceiver::readBatch()
{
    // One buffer for the whole batch, reused: each datagram is copied out at its own size. Left
    // uninitialised, it takes memory only where datagrams have been written: the small replies
    // of devices touch a page of each slot.
    if (!buffers)
        buffers.reset(new char[size_t(BatchSize) * MaxDatagramSize]);
    std::array<iovec, BatchSize> vectors{};
    std::array<mmsghdr, BatchSize> headers{};
    alignas(cmsghdr) std::array<char, BatchSize * ControlSize> controls{};
    for (int i = 0; i < BatchSize; ++i) {
        vectors[size_t(i)] = {buffers.get() + size_t(i) * MaxDatagramSize, MaxDatagramSize};
        headers[size_t(i)].msg_hdr.msg_iov = &vectors[size_t(i)];
        headers[size_t(i)].msg_hdr.msg_iovlen = 1;
        headers[size_t(i)].msg_hdr.msg_control = controls.data() + size_t(i) * ControlSize;
        headers[size_t(i)].msg_hdr.msg_controllen = ControlSize;
    }

    batch.clear();
    qint64 bytes = 0;
#if defined(Q_OS_LINUX)
    const int count = ::recvmmsg(descriptor, headers.data(), BatchSize, MSG_DONTWAIT, nullptr);
    for (int i = 0; i < count; ++i) {
        const auto size = int(headers[size_t(i)].msg_len);
        batch.push_back({QByteArray(buffers.get() + size_t(i) * MaxDatagramSize, size), false,
                         arrivalIndex(headers[size_t(i)].msg_hdr)});
        bytes += size + HeldOverhead;
    }
#else
    int count = 0;
    while (count < BatchSize) {
        headers[0].msg_hdr.msg_controllen = ControlSize;
        const ssize_t size = ::recvmsg(descriptor, &headers[0].msg_hdr, MSG_DONTWAIT);
        if (size < 0)
            break;
        batch.push_back({QByteArray(buffers.get(), int(size)), false, arrivalIndex(headers[0].msg_hdr)});
        bytes += size + HeldOverhead;
        ++count;
    }
    if (count == 0)
        count = -1;
#endif
    if (count < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
            return false;
        const Datagram failed{QByteArray(), true};
        batch.push_back(failed);
        append(HeldOverhead);
        std::this_thread::sleep_for(std::chrono::milliseconds(ErrorBackOff));
        return false;
    }
    if (count == 0)
        return false;
    append(bytes);
    return true;
}

void DatagramReceiver::append(qint64 bytes)
{
    const std::lock_guard<std::mutex> lock(mutex);
    for (Datagram &datagram : batch)
        queue.push_back(std::move(datagram));
    heldBytes += bytes;
    // While more keeps coming, the taker is woken for a good number of datagrams at a time rather
    // than for each batch: every wake-up costs both threads a switch. The rest is signalled once
    // the socket runs dry.
    if (queue.size() >= ReadySize || heldBytes >= heldLimit)
        signalReady();
}
