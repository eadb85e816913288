// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The connection file that Quillo imports: one <connection> element per device.
class ConnectionExport
{
public:
    struct Entry
    {
        QString host; // host name for DHCP devices, IP address otherwise
        int productType = 0;
        QString baseName; // the host name; duplicates get a number appended
    };

    // `baseName`, or with 2, 3, ... appended while that name is taken; the search ends at 999.
    static QString uniqueName(const QString &baseName, const QStringList &taken);

    // The whole document.
    static QByteArray document(const QList<Entry> &entries, QStringList *names = nullptr);

    // Replaces `fileName` with the document only once all of it is written; an existing file is
    // left as it was when anything fails. A device is written in place. Symbolic links are followed
    // only while they belong to the user or to root; such a link of anyone else, a pipe or a socket
    // is refused, without waiting for anything. Returns the number of connections written, or -1
    // with the reason in `error`.
    static int writeFile(const QString &fileName, const QList<Entry> &entries, QString *error);
};
