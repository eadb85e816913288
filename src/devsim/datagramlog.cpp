// SPDX-License-Identifier: Apache-2.0
#include "devsim/datagramlog.h"

#include "protocol/messageheader.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

bool DatagramLog::open(const QString &path, QString *error)
{
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        *error = QStringLiteral("cannot write the log file %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

void DatagramLog::write(const Entry &entry)
{
    if (!file.isOpen())
        return;
    const QByteArray text = line(entry) + '\n';
    if (file.write(text) != text.size() && !failed) {
        failed = true;
        std::fprintf(stderr, "veltra-devsim: writing the log file %s failed: %s\n", qPrintable(file.fileName()),
                     qPrintable(file.errorString()));
    }
    file.flush();
}

QByteArray DatagramLog::line(const Entry &entry)
{
    const MessageHeader header = MessageHeader::fromDatagram(entry.datagram);
    QJsonObject object;
    object.insert(QLatin1String("time"),
                  QDateTime::fromMSecsSinceEpoch(entry.msecsSinceEpoch, Qt::UTC).toString(Qt::ISODateWithMs));
    object.insert(QLatin1String("msecsSinceEpoch"), double(entry.msecsSinceEpoch));
    object.insert(QLatin1String("sender"), entry.sender.toString());
    object.insert(QLatin1String("senderPort"), entry.senderPort);
    object.insert(QLatin1String("own"), entry.own);
    object.insert(QLatin1String("length"), int(entry.datagram.size()));
    object.insert(QLatin1String("validKey"), header.hasValidKey());
    object.insert(QLatin1String("messageId"), double(header.messageId));
    object.insert(QLatin1String("resultCode"), double(header.resultCode));
    object.insert(QLatin1String("payloadLength"), double(header.payloadLength));
    object.insert(QLatin1String("protocolVersion"), header.protocolVersion);
    object.insert(QLatin1String("destMacAddr"), header.destMacAddr);
    object.insert(QLatin1String("srcMacAddr"), header.srcMacAddr);
    object.insert(QLatin1String("srcIpAddr"), header.srcIpAddr);
    object.insert(QLatin1String("sequenceNumber"), header.sequenceNumber);
    object.insert(QLatin1String("hex"), QString::fromLatin1(entry.datagram.toHex()));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
