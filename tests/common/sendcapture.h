// SPDX-License-Identifier: Apache-2.0
#pragma once

// The datagrams the program hands to the system for the device port are kept here and never
// sent: including this header defines sendmsg() in the test executable, ahead of the C library's
// for the whole process (the executable must export it: ENABLE_EXPORTS), so the requests' bytes
// can be checked without a network. Everything else goes on to the real call. Include it in one
// source file of an executable only.

#include "protocol/messageheader.h"

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

inline QList<QByteArray> &captured()
{
    static QList<QByteArray> list;
    return list;
}

namespace SendCapture {

// The port of an IPv4 or IPv6 destination (an unbound Qt socket sends IPv4 as mapped IPv6), or 0.
inline quint16 destinationPort(const struct msghdr *message)
{
    if (!message || !message->msg_name)
        return 0;
    const auto *address = static_cast<const sockaddr *>(message->msg_name);
    if (address->sa_family == AF_INET && message->msg_namelen >= socklen_t(sizeof(sockaddr_in)))
        return ntohs(static_cast<const sockaddr_in *>(message->msg_name)->sin_port);
    if (address->sa_family == AF_INET6 && message->msg_namelen >= socklen_t(sizeof(sockaddr_in6)))
        return ntohs(static_cast<const sockaddr_in6 *>(message->msg_name)->sin6_port);
    return 0;
}

} // namespace SendCapture

extern "C" ssize_t sendmsg(int fd, const struct msghdr *message, int flags)
{
    if (SendCapture::destinationPort(message) == Protocol::DevicePort) {
        QByteArray datagram;
        for (size_t i = 0; i < message->msg_iovlen; ++i)
            datagram.append(static_cast<const char *>(message->msg_iov[i].iov_base),
                            qsizetype(message->msg_iov[i].iov_len));
        captured().append(datagram);
        return ssize_t(datagram.size());
    }
    using SendMsg = ssize_t (*)(int, const struct msghdr *, int);
    static const auto real = reinterpret_cast<SendMsg>(dlsym(RTLD_NEXT, "sendmsg"));
    return real(fd, message, flags);
}
