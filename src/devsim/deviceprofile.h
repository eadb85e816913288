// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "protocol/networkconfigbody.h"

#include <QString>

// Which requests a device answers; the others it ignores as if it had not heard them.
enum class AnswerScope {
    All,
    InfoOnly,   // GetDeviceInfo only
    ConfigOnly, // GetNetworkConfig, SetNetworkConfig, SetNetworkConfigAuth and RestartNetwork
    ReadOnly,   // GetDeviceInfo and GetNetworkConfig: found by a scan, deaf to changes and restarts
};

// Everything that makes up one simulated device before it receives anything: what it reports,
// how it is configured, and how it misbehaves.
struct DeviceProfile
{
    QString mac; // the MAC text exactly as the device sends it
    QString deviceName = QStringLiteral("VeltraNET 200");
    QString firmware = QStringLiteral("1.0.0");
    QString productType = QStringLiteral("12"); // decimal digits as the device sends them
    NetworkConfigBody config = defaultConfig();
    quint8 protocolVersion = 4;
    QString user = QStringLiteral("admin");
    QString password = QStringLiteral("admin");

    // Faults.
    bool silent = false;
    AnswerScope answers = AnswerScope::All;
    quint32 resultCode = 0; // non-zero: every answer carries it and nothing is accepted
    int delayMs = 0;
    int jitterMs = 5; // every reply waits a further random 0..jitterMs milliseconds
    int restartTimeMs = 2000;
    bool lowercaseMac = false;
    int dropPercent = 0; // share of the replies that are lost on the way, 0 to 100

    static constexpr int MaxDropPercent = 100;

    // The MAC text that goes into the device's datagrams.
    QString sentMac() const { return lowercaseMac ? mac.toLower() : mac; }
    bool needsCredentials() const { return protocolVersion >= 4; }

    static NetworkConfigBody defaultConfig();
};

// Text checks shared by the device list reader and the option parser.
namespace DeviceText {

// Six two-digit hexadecimal groups joined by colons, either case.
bool isMac(const QString &text);
// Dotted decimal, four numbers 0..255.
bool isIpv4(const QString &text);
bool isLatin1(const QString &text);

// A value for a message, cut after MaxQuotedLength characters with "...", so that a huge value
// does not fill the screen; quoted() puts it in double quotes.
inline constexpr int MaxQuotedLength = 40;
QString shortened(const QString &text);
QString quoted(const QString &text);

// MAC text <-> 48-bit number; the text is upper-case.
quint64 macToNumber(const QString &mac);
QString macFromNumber(quint64 value);
quint32 ipv4ToNumber(const QString &ip);
QString ipv4FromNumber(quint32 value);

} // namespace DeviceText
