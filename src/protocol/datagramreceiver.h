// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The receiving socket on the device port, read on a thread of its own. The kernel's receive
// buffer holds a few hundred replies on most hosts; a burst of replies from thousands of devices
// outlasts that while the GUI thread lays out or paints the table. The thread keeps the buffer
// drained into a queue in memory, which the GUI thread takes from in arrival order.
class DatagramReceiver
{
public:
    struct Datagram
    {
        QByteArray data;
        bool readError = false;
        // The index of the interface it arrived on, 0 where the system does not tell.
        int interfaceIndex = 0;
    };

    // What the queue holds at most (bytes, with an allowance for each datagram's bookkeeping).
    // Beyond it the thread stops reading and the kernel's buffer takes what comes, dropping what
    // does not fit: a flood costs memory only up to here.
    static constexpr qint64 DefaultHeldLimit = 32 * 1024 * 1024;
    static constexpr qint64 HeldOverhead = 128;

    DatagramReceiver() = default;
    ~DatagramReceiver();
    DatagramReceiver(const DatagramReceiver &) = delete;
    DatagramReceiver &operator=(const DatagramReceiver &) = delete;

    // Binds a UDP socket to `port` on every IPv4 address, shared with other programs that share
    // it, asks for a receive buffer of `bufferSize` bytes and starts reading. False, with the
    // reason in `error`, when the port cannot be had.
    bool open(quint16 port, int bufferSize, QString *error);
    bool isOpen() const { return descriptor >= 0; }
    // Stops the thread at once and closes the socket; what the queue held is dropped.
    void close();
    // A UDP socket bound to `port` on every IPv4 address as open() binds it: shared with every
    // other socket that shares the port. Its descriptor, or -1 with the reason in `error`.
    static int bindShared(quint16 port, QString *error);
    int socketDescriptor() const { return descriptor; }
    // Readable while the queue holds datagrams, for the taker's event loop to watch.
    int readyDescriptor() const { return readyPipe[0]; }

    // Moves up to `max` datagrams, oldest first, to the end of `into`.
    void take(qsizetype max, std::deque<Datagram> *into);
    // Keeps the ready descriptor readable although the queue may be empty: the taker has
    // datagrams of its own left to handle.
    void keepReady();
    bool hasWaiting() const;
    qsizetype waiting() const;
    // Datagrams the kernel dropped on this socket since it was opened, for want of room in its
    // buffer above all; 0 where the system does not tell.
    quint64 kernelDrops() const;

    void setHeldLimit(qint64 bytes) { heldLimit = bytes; }

private:
    void run();
    // Waits until the queue has room or the thread is to stop; false when it is to stop.
    bool waitForRoom();
    // Reads what waits in the socket; false when nothing was there.
    bool readBatch();
    void append(qint64 bytes);
    void signalReady();
    quint64 dropCounter() const;

    int descriptor = -1;
    int wakePipe[2] = {-1, -1};  // a byte written to it ends the thread's wait on the socket
    int readyPipe[2] = {-1, -1}; // holds a byte while the queue holds datagrams
    quint64 dropsAtOpen = 0;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<qint64> heldLimit{DefaultHeldLimit};

    // The reading thread's own: how often the queue was full since it last said so.
    QElapsedTimer sinceFullTold;
    int fullTimes = 0;
    quint64 droppedWhileFull = 0;

    // The reading thread's: where recvmmsg writes, and what it read on its way to the queue.
    std::unique_ptr<char[]> buffers;
    std::vector<Datagram> batch;

    mutable std::mutex mutex;
    std::condition_variable roomFreed;
    std::deque<Datagram> queue;
    qint64 heldBytes = 0;
    bool ready = false; // readyPipe holds its byte
};
