// SPDX-License-Identifier: Apache-2.0
#include "model/connectionexport.h"

#include "model/outputfile.h"

#include <QBuffer>
#include <QXmlStreamWriter>

QString ConnectionExport::uniqueName(const QString &baseName, const QStringList &taken)
{
    QString name = baseName;
    for (int k = 2; taken.contains(name, Qt::CaseSensitive) && k < 1000; ++k)
        name = baseName + QString::number(k);
    return name;
}

QByteArray ConnectionExport::document(const QList<Entry> &entries, QStringList *names)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly); // line ends are the file's business
    QXmlStreamWriter writer(&buffer);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeStartElement(QStringLiteral("export"));
    QStringList written;
    for (const Entry &entry : entries) {
        writer.writeStartElement(QStringLiteral("connection"));
        writer.writeAttribute(QStringLiteral("Host"), entry.host);
        writer.writeAttribute(QStringLiteral("ProductType"), QString::number(entry.productType));
        writer.writeAttribute(QStringLiteral("ServerType"), QStringLiteral("1"));
        writer.writeAttribute(QStringLiteral("Port"), QString());
        writer.writeAttribute(QStringLiteral("UploadSubfolder"), QString());
        writer.writeAttribute(QStringLiteral("User"), QString());
        writer.writeAttribute(QStringLiteral("Password"), QString());
        const QString name = uniqueName(entry.baseName, written);
        writer.writeCharacters(name);
        writer.writeEndElement();
        written.append(name);
    }
    writer.writeEndElement();
    writer.writeEndDocument();
    if (names)
        *names = written;
    return bytes;
}

int ConnectionExport::writeFile(const QString &fileName, const QList<Entry> &entries, QString *error)
{
    QStringList names;
    const QByteArray bytes = document(entries, &names);
    // In text mode, as the export has always been written: the system's line ends.
    if (!OutputFile::write(fileName, bytes, error, QIODevice::Text))
        return -1;
    return int(names.size());
}
