#include "connectionexport.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
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

namespace {

// Writes all of `bytes` unbuffered, going on after a short write: a write that then fails carries
// the system's reason (a full disk, a file size limit), which a failed flush does not always do.
bool writeAll(QFileDevice &file, const QByteArray &bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

int ConnectionExport::writeFile(const QString &fileName, const QList<Entry> &entries, QString *error)
{
    QStringList names;
    const QByteArray bytes = document(entries, &names);
    constexpr QIODevice::OpenMode Mode = QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered;

    // A device or another special file cannot be replaced by renaming a new file onto it (that
    // would put a plain file in its place): it is written in place.
    const QFileInfo target(fileName);
    if (target.exists() && !target.isFile() && !target.isDir()) {
        QFile file(fileName);
        if (!file.open(Mode) || !writeAll(file, bytes)) {
            *error = file.errorString();
            return -1;
        }
        return int(names.size());
    }

    // Unbuffered, every write failure is seen here: QSaveFile::commit() does not notice a failed
    // flush of its own buffer and would rename a cut file onto the old one.
    QSaveFile file(fileName);
    if (!file.open(Mode)) {
        *error = file.errorString();
        return -1;
    }
    if (!writeAll(file, bytes)) {
        *error = file.errorString();
        file.cancelWriting();
        return -1;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return -1;
    }
    return int(names.size());
}
