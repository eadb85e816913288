// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QString>

// Message kind codes. A reply carries its request's code plus one.
enum MessageId : quint32 {
    RestartNetwork = 1,
    GetNetworkConfig = 7,
    NetworkConfigReply = 8,
    SetNetworkConfig = 9,
    SetNetworkConfigReply = 10,
    GetDeviceInfo = 11,
    DeviceInfoReply = 12,
    SetNetworkConfigAuth = 13,
    SetNetworkConfigAuthReply = 14,
};

namespace Protocol {

inline constexpr char PacketIdentificationKey[] = "5e7b9d21-4c8a-4f03-b6e2-91d0a7c3f458";
inline constexpr quint16 DevicePort = 28244; // requests go to it, replies arrive on it
inline constexpr quint16 SendPort = 28245;   // the host's sending socket under per-interface sending
inline constexpr quint8 RequestProtocolVersion = 4;
inline constexpr quint8 AuthProtocolVersion = 4; // devices from this version on demand credentials

inline constexpr quint32 ResultOk = 0;
inline constexpr quint32 AuthorizationFailed = 0x80000003u; // 2147483651

inline constexpr char BroadcastMac[] = "FF:FF:FF:FF:FF:FF";
inline constexpr char NoInterfaceMac[] = "EE:EE:EE:EE:EE:EE";
inline constexpr char NoInterfaceIp[] = "0.0.0.0";

inline constexpr int HeaderSize = 124;
inline constexpr int NetworkConfigBodySize = 205;
inline constexpr int AuthNetworkConfigBodySize = 315;
inline constexpr int NetworkConfigDatagramSize = HeaderSize + NetworkConfigBodySize;         // 329
inline constexpr int AuthNetworkConfigDatagramSize = HeaderSize + AuthNetworkConfigBodySize; // 439
inline constexpr int DeviceInfoMinimumSize = 149;
inline constexpr int MaxDevicesPerScan = 65536; // far above any real broadcast domain; bounds memory under a flood

} // namespace Protocol

// The 124-byte header that starts every datagram, request or reply.
struct MessageHeader
{
    enum Offset {
        KeyOffset = 0,
        MessageIdOffset = 40,
        ResultCodeOffset = 44,
        PayloadLengthOffset = 48,
        ProtocolVersionOffset = 52,
        DestMacOffset = 56,
        SrcMacOffset = 74,
        SrcIpOffset = 92,
        SequenceNumberOffset = 108,
    };
    enum Width { KeyWidth = 37, MacWidth = 18, IpWidth = 16 };

    QString packetIdentificationKey;
    quint32 messageId = 0;
    quint32 resultCode = 0;
    quint32 payloadLength = 0;
    quint8 protocolVersion = 0;
    QString destMacAddr;
    QString srcMacAddr;
    QString srcIpAddr;
    quint16 sequenceNumber = 0;

    // A request header: the key, protocol version 4 and result code 0 filled in.
    static MessageHeader request(quint32 messageId, const QString &destMacAddr, quint32 payloadLength,
                                 const QString &srcMacAddr, const QString &srcIpAddr, quint16 sequenceNumber);

    // Reads every header field; bytes missing from a short datagram read as zero.
    static MessageHeader fromDatagram(const QByteArray &datagram);

    // The 124 header bytes; texts longer than their field are cut.
    QByteArray toByteArray() const;

    bool hasValidKey() const;

    // Six pairs of hexadecimal digits joined by ":", in either letter case: what a device's
    // srcMacAddr must hold for its reply to name a device at all.
    static bool isMacAddressText(const QString &text);
    static bool isMacAddressText(QByteArrayView text);

    // Single fields, for code that needs only one of them per datagram.
    static QString keyOf(const QByteArray &datagram);
    static QString destMacOf(const QByteArray &datagram);
    static QString srcMacOf(const QByteArray &datagram);
    // The same three as the datagram's bytes (Latin-1), without a copy: for the receive filter.
    static QByteArrayView keyBytesOf(const QByteArray &datagram);
    static QByteArrayView destMacBytesOf(const QByteArray &datagram);
    static QByteArrayView srcMacBytesOf(const QByteArray &datagram);
    static quint32 messageIdOf(const QByteArray &datagram);
    static quint32 resultCodeOf(const QByteArray &datagram);
    static quint8 protocolVersionOf(const QByteArray &datagram);
};
