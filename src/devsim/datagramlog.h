// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QFile>
#include <QHostAddress>
#include <QString>

// Writes one JSON line per received datagram, flushed at once, so that a test can follow the
// program's requests byte for byte while the simulator runs.
class DatagramLog
{
public:
    // One received datagram as the log shows it.
    struct Entry
    {
        QByteArray datagram;
        qint64 msecsSinceEpoch = 0;
        QHostAddress sender;
        quint16 senderPort = 0;
        bool own = false; // one of the simulator's own replies, come back as a broadcast
    };

    bool open(const QString &path, QString *error);
    bool isOpen() const { return file.isOpen(); }
    // Writes the entry's line; a failing write is reported once on stderr, not repeated.
    void write(const Entry &entry);

    // The line without its line feed. Header fields are read as the header defines them, also
    // from datagrams that are too short or carry a foreign key (missing bytes read as zero).
    static QByteArray line(const Entry &entry);

private:
    QFile file;
    bool failed = false;
};
