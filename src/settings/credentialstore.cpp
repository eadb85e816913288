// SPDX-License-Identifier: Apache-2.0
#include "settings/credentialstore.h"

#include "settings/settingsplace.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSettings>
#include <QtEndian>

#include <optional>
#include <zlib.h>

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
#include <sys/stat.h>
#endif

namespace {

using SettingsPlace::Application;
using SettingsPlace::Organization;
const QString Group = QStringLiteral("LoginData");
const QLatin1Char Separator('|');

// qCompress's layout: the uncompressed length as 4 big-endian bytes, then a zlib stream.
constexpr int LengthFieldSize = 4;
// Deflate grows incompressible data by a few bytes per block only, so a longer input cannot
// hold a record within the limit.
constexpr int MaxCompressedLength = 2 * CredentialStore::MaxRecordLength + 1024;

constexpr QFile::Permissions OwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser;

// Reads what qCompress wrote, as qUncompress would, but never produces (or allocates for) more
// than MaxRecordLength bytes, whatever length the header claims or the stream expands to.
std::optional<QByteArray> uncompressRecord(const QByteArray &data)
{
    if (data.size() <= LengthFieldSize || data.size() > MaxCompressedLength)
        return std::nullopt;
    // The claimed length is only a size hint to qUncompress: a record whose stream yields a
    // different length still reads, as it did there. A claim beyond the limit is malformed.
    const quint32 claimedLength = qFromBigEndian<quint32>(data.constData());
    if (claimedLength > quint32(CredentialStore::MaxRecordLength))
        return std::nullopt;

    // One byte of room beyond the limit tells a record at the limit from one over it.
    QByteArray record(CredentialStore::MaxRecordLength + 1, Qt::Uninitialized);
    z_stream stream{};
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData() + LengthFieldSize));
    stream.avail_in = uInt(data.size() - LengthFieldSize);
    stream.next_out = reinterpret_cast<Bytef *>(record.data());
    stream.avail_out = uInt(record.size());
    if (inflateInit(&stream) != Z_OK)
        return std::nullopt;
    // Z_STREAM_END only for a complete stream with a matching checksum; a full output buffer,
    // a truncated or corrupt stream all end up here as something else.
    const int result = inflate(&stream, Z_FINISH);
    const uLong produced = stream.total_out;
    inflateEnd(&stream);
    if (result != Z_STREAM_END || produced > uLong(CredentialStore::MaxRecordLength))
        return std::nullopt;
    record.truncate(qsizetype(produced));
    return record;
}

// A key with a slash or backslash would be written as a subgroup (or, when empty, onto the group
// itself) and could then never be found, loaded or removed as a key of the group. One with a "|"
// would end early in the record, which is read back split at its first two "|".
bool isPlainKey(const QString &key)
{
    return !key.isEmpty() && !key.contains(QLatin1Char('/')) && !key.contains(QLatin1Char('\\')) &&
           !key.contains(Separator);
}

#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
// While it lives, whatever the process creates is for its owner only: the settings folder, the
// lock file, the new settings file and its temporary copy that QSettings makes as it writes (also
// at the end of a dangling link) are private from their first moment, not made so afterwards.
// The creation mask belongs to the whole process, so other threads' new files are private too
// meanwhile; the mutex keeps two stores from restoring each other's mask.
class PrivateCreation
{
public:
    PrivateCreation() = default;
    ~PrivateCreation() { ::umask(previous); }
    Q_DISABLE_COPY_MOVE(PrivateCreation)

private:
    static QMutex &mutex()
    {
        static QMutex instance;
        return instance;
    }

    const QMutexLocker<QMutex> locker{&mutex()};
    const mode_t previous = ::umask(S_IRWXG | S_IRWXO);
};

// QSettings keeps the mode of an existing file: one left readable by an earlier version is made
// private before new credentials go into it.
void makeExistingPrivate(const QString &fileName)
{
    if (QFileInfo(fileName).isFile())
        QFile::setPermissions(fileName, OwnerOnly);
}
#endif

// Writes the settings out and leaves the file readable and writable by its owner only: the
// values are reversible, so the file is as sensitive as the passwords it holds. Returns false
// when the settings could not be written.
bool commitPrivately(QSettings &settings)
{
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        qWarning() << "Could not write the settings file" << settings.fileName();
        return false;
    }
#if defined(Q_OS_UNIX)
    const QString fileName = settings.fileName();
    if (QFileInfo(fileName).isFile() && !QFile::setPermissions(fileName, OwnerOnly))
        qWarning() << "Could not make the settings file private:" << fileName;
#endif
    return true;
}

} // namespace

QStringList CredentialStore::loadLoginData(const QString &macAddress)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    settings.beginGroup(Group);
    const QStringList keys = settings.childKeys();
    for (const QString &key : keys) {
        if (key == macAddress)
            return decode(settings.value(key).toString());
    }
    return {};
}

void CredentialStore::saveLoginData(const QStringList &login)
{
    if (login.isEmpty() || !isPlainKey(login.first())) {
        qWarning() << "Not storing credentials under an unusable device key"
                   << (login.isEmpty() ? QString() : login.first());
        return;
    }
    const QString &macAddress = login.first();
    // The user name ends at the record's second "|": one holding a "|" would come back as other
    // credentials, which the device would refuse.
    if (login.value(1).contains(Separator)) {
        qWarning() << "Not storing credentials whose user name holds a \"|\" for device" << macAddress;
        return;
    }
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // Outlives the settings object, whose destructor may write as well.
    const PrivateCreation privateCreation;
#endif
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    makeExistingPrivate(settings.fileName());
#endif
    settings.setValue(Group + QLatin1Char('/') + macAddress, encode(login));
    // The value is never logged: Base64 of compressed text gives the password back to anyone.
    if (commitPrivately(settings))
        qDebug() << "Stored credentials for device" << macAddress;
    else
        qWarning() << "Could not store credentials for device" << macAddress;
}

bool CredentialStore::contains(const QString &macAddress)
{
    return storedKeys().contains(macAddress, Qt::CaseSensitive);
}

bool CredentialStore::remove(const QString &macAddress)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    const PrivateCreation privateCreation;
#endif
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    settings.beginGroup(Group);
    // Checking first keeps the comparison exact where the native store ignores case, and keeps
    // an empty text from meaning "the whole group" to QSettings::remove.
    if (!settings.childKeys().contains(macAddress, Qt::CaseSensitive))
        return false;
    settings.remove(macAddress);
    settings.endGroup();
    return commitPrivately(settings);
}

QStringList CredentialStore::storedKeys()
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    settings.beginGroup(Group);
    return settings.childKeys();
}

QString CredentialStore::encode(const QStringList &login)
{
    // toLatin1 turns every UTF-16 unit above U+00FF into "?", as the stored format requires.
    const QByteArray record = login.join(Separator).toLatin1();
    return QString::fromLatin1(qCompress(record, -1).toBase64());
}

QStringList CredentialStore::decode(const QString &value)
{
    // Lenient Base64 (characters outside the alphabet are skipped), as entries were always read.
    const std::optional<QByteArray> record = uncompressRecord(QByteArray::fromBase64(value.toLatin1()));
    if (!record)
        return {};
    // MAC text and user name end at the first two "|"; the password is the rest, "|" included.
    const QStringList parts = QString::fromLatin1(*record).split(Separator, Qt::KeepEmptyParts, Qt::CaseSensitive);
    if (parts.size() < 3)
        return {};
    return {parts.at(0), parts.at(1), parts.mid(2).join(Separator)};
}
