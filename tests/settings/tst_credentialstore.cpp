// SPDX-License-Identifier: Apache-2.0
#include "settings/credentialstore.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <zlib.h>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <sys/stat.h>
#endif
#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

// QSaveFile writes into an unnamed file and gives it its name with linkat() once all is written.
// This definition comes before the C library's for the whole process and keeps the mode each file
// had when it got its name: the moment a file with the password becomes reachable by name.
namespace {
QList<mode_t> &linkedModes()
{
    static QList<mode_t> modes;
    return modes;
}
} // namespace

extern "C" int linkat(int fromFolder, const char *from, int toFolder, const char *to, int flags) noexcept
{
    const int result = int(::syscall(SYS_linkat, fromFolder, from, toFolder, to, flags));
    struct stat status = {};
    if (result == 0 && ::fstatat(toFolder, to, &status, AT_SYMLINK_NOFOLLOW) == 0)
        linkedModes().append(status.st_mode & 0777);
    return result;
}
#endif

namespace {

const QString Mac = QStringLiteral("00:1A:2B:3C:4D:5E");

const QString Organization = QStringLiteral("Orvane");
const QString Application = QStringLiteral("Veltra Device Finder");

QString settingsFileName()
{
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application).fileName();
}

// Writes a raw value into the group, the way another version or a damaged file might hold it.
void storeRaw(const QString &key, const QString &value)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    settings.setValue(QStringLiteral("LoginData/") + key, value);
}

QByteArray readFile(const QString &fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// qCompress output with its length field replaced.
QByteArray withClaimedLength(const QByteArray &record, quint32 claimedLength)
{
    QByteArray compressed = qCompress(record, -1);
    qToBigEndian(claimedLength, compressed.data());
    return compressed;
}

QString base64(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toBase64());
}

// A valid record "MAC|user|" followed by `padding` times "x", built in small pieces so that the
// test itself never holds the expanded text.
QByteArray bomb(qint64 padding, quint32 claimedLength)
{
    QByteArray out(4, '\0');
    qToBigEndian(claimedLength, out.data());
    z_stream stream{};
    deflateInit(&stream, Z_BEST_COMPRESSION);
    QByteArray buffer(1 << 16, Qt::Uninitialized);
    const auto feed = [&](const QByteArray &data, int flush) {
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
        stream.avail_in = uInt(data.size());
        do {
            stream.next_out = reinterpret_cast<Bytef *>(buffer.data());
            stream.avail_out = uInt(buffer.size());
            deflate(&stream, flush);
            out.append(buffer.constData(), buffer.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    };
    feed((Mac + QStringLiteral("|user|")).toLatin1(), Z_NO_FLUSH);
    const QByteArray xs(1 << 20, 'x');
    for (qint64 left = padding; left > 0; left -= xs.size())
        feed(xs.left(qMin<qint64>(left, xs.size())), left <= xs.size() ? Z_FINISH : Z_NO_FLUSH);
    deflateEnd(&stream);
    return out;
}

QStringList messages;

void captureMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    messages.append(message);
}

} // namespace

class TestCredentialStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void roundTrip_data();
    void roundTrip();
    void keysMatchExactly();
    void laterSaveReplacesEntry();
    void unusableEntriesAreNotStored_data();
    void unusableEntriesAreNotStored();

    void encodeIsCompressedLatin1InBase64_data();
    void encodeIsCompressedLatin1InBase64();
    void decode_data();
    void decode();
    void decompressionBombStaysSmall_data();
    void decompressionBombStaysSmall();
    void loadingLeavesEntriesUntouched();
    void damagedSettingsFile_data();
    void damagedSettingsFile();

    void settingsFileIsPrivate();
    void newFilesArePrivate_data();
    void newFilesArePrivate();
    void debugOutputHoldsNoSecret();
    void failedSaveIsNotReportedAsStored();

private:
    QTemporaryDir configDir;
#ifdef Q_OS_UNIX
    mode_t savedUmask = 0;
#endif
};

void TestCredentialStore::initTestCase()
{
    QVERIFY(configDir.isValid());
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configDir.path());
    // Never touch the user's real settings: stop here unless they live in the temporary folder.
    QVERIFY2(settingsFileName().startsWith(configDir.path() + QLatin1Char('/')), qPrintable(settingsFileName()));
#ifdef Q_OS_UNIX
    // A permissive umask, as many desktops have, so that only the store can make the file private.
    savedUmask = ::umask(022);
#endif
}

void TestCredentialStore::init()
{
    const QString fileName = settingsFileName();
    QDir(fileName).removeRecursively();
    QFile::remove(fileName);
    QVERIFY(!QFileInfo::exists(fileName));
}

void TestCredentialStore::cleanupTestCase()
{
#ifdef Q_OS_UNIX
    ::umask(savedUmask);
#endif
}

void TestCredentialStore::roundTrip_data()
{
    QTest::addColumn<QStringList>("credentials"); // user name, password
    QTest::addColumn<QStringList>("loaded");

    QTest::newRow("plain") << QStringList{"admin", "s3cret"} << QStringList{"admin", "s3cret"};
    QTest::newRow("empty user and password") << QStringList{"", ""} << QStringList{"", ""};
    QTest::newRow("empty password") << QStringList{"admin", ""} << QStringList{"admin", ""};
    QTest::newRow("Latin-1 kept") << QStringList{QStringLiteral("J\u00fcrgen"), QStringLiteral("\u00e9t\u00e9\u00ff")}
                                  << QStringList{QStringLiteral("J\u00fcrgen"), QStringLiteral("\u00e9t\u00e9\u00ff")};
    QTest::newRow("beyond Latin-1 becomes ?")
        << QStringList{QStringLiteral("\u0141ukasz"), QStringLiteral("\u20ac5")} << QStringList{"?ukasz", "?5"};
    // Each UTF-16 unit is one character to the conversion, as in every earlier version.
    QTest::newRow("outside the BMP becomes ??")
        << QStringList{"admin", QStringLiteral("a\U0001F600b")} << QStringList{"admin", "a??b"};
    QTest::newRow("| in password") << QStringList{"admin", "s3|cret"} << QStringList{"admin", "s3|cret"};
    QTest::newRow("password of | only") << QStringList{"admin", "||"} << QStringList{"admin", "||"};
}

void TestCredentialStore::roundTrip()
{
    QFETCH(QStringList, credentials);
    QFETCH(QStringList, loaded);

    CredentialStore::saveLoginData(QStringList{Mac} + credentials);
    QCOMPARE(CredentialStore::storedKeys(), QStringList{Mac});
    QVERIFY(CredentialStore::contains(Mac));
    QCOMPARE(CredentialStore::loadLoginData(Mac), QStringList{Mac} + loaded);
}

void TestCredentialStore::keysMatchExactly()
{
    const QString lower = Mac.toLower();
    CredentialStore::saveLoginData({Mac, QStringLiteral("upper"), QStringLiteral("pw1")});

    QVERIFY(CredentialStore::loadLoginData(lower).isEmpty());
    QVERIFY(!CredentialStore::contains(lower));
    QVERIFY(!CredentialStore::remove(lower));
    QVERIFY(!CredentialStore::remove(QString()));
    QCOMPARE(CredentialStore::storedKeys(), QStringList{Mac});

    // Keys differing only in case are separate entries, each found by its own text.
    CredentialStore::saveLoginData({lower, QStringLiteral("lower"), QStringLiteral("pw2")});
    QCOMPARE(CredentialStore::loadLoginData(Mac).value(1), QStringLiteral("upper"));
    QCOMPARE(CredentialStore::loadLoginData(lower).value(1), QStringLiteral("lower"));

    QVERIFY(CredentialStore::remove(Mac));
    QVERIFY(!CredentialStore::remove(Mac));
    QCOMPARE(CredentialStore::storedKeys(), QStringList{lower});
}

void TestCredentialStore::laterSaveReplacesEntry()
{
    CredentialStore::saveLoginData({Mac, QStringLiteral("first"), QStringLiteral("one")});
    CredentialStore::saveLoginData({Mac, QStringLiteral("second"), QStringLiteral("two")});
    QCOMPARE(CredentialStore::storedKeys(), QStringList{Mac});
    QCOMPARE(CredentialStore::loadLoginData(Mac), (QStringList{Mac, QStringLiteral("second"), QStringLiteral("two")}));
}

void TestCredentialStore::unusableEntriesAreNotStored_data()
{
    QTest::addColumn<QStringList>("login");

    QTest::newRow("empty list") << QStringList();
    QTest::newRow("empty key") << QStringList{QString(), QStringLiteral("u"), QStringLiteral("p")};
    QTest::newRow("slash in key") << QStringList{QStringLiteral("00:1A/2B"), QStringLiteral("u"), QStringLiteral("p")};
    QTest::newRow("backslash in key") << QStringList{QStringLiteral("00\\1A"), QStringLiteral("u"),
                                                     QStringLiteral("p")};
    // The record is read back split at its first two "|".
    QTest::newRow("| in key") << QStringList{QStringLiteral("00:1A|2B"), QStringLiteral("u"), QStringLiteral("p")};
    QTest::newRow("| in user name") << QStringList{Mac, QStringLiteral("ad|min"), QStringLiteral("p")};
}

void TestCredentialStore::unusableEntriesAreNotStored()
{
    QFETCH(QStringList, login);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Not storing credentials")));
    CredentialStore::saveLoginData(login);
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, Organization, Application);
    QCOMPARE(settings.allKeys(), QStringList());
}

void TestCredentialStore::encodeIsCompressedLatin1InBase64_data()
{
    QTest::addColumn<QStringList>("login");
    QTest::addColumn<QByteArray>("record");

    QTest::newRow("plain") << QStringList{Mac, QStringLiteral("admin"), QStringLiteral("s3cret")}
                           << QByteArray("00:1A:2B:3C:4D:5E|admin|s3cret");
    QTest::newRow("empty parts") << QStringList{Mac, QString(), QString()} << QByteArray("00:1A:2B:3C:4D:5E||");
    QTest::newRow("Latin-1 and beyond") << QStringList{Mac, QStringLiteral("\u00e9"), QStringLiteral("\u20ac")}
                                        << QByteArray("00:1A:2B:3C:4D:5E|\xe9|?");
}

void TestCredentialStore::encodeIsCompressedLatin1InBase64()
{
    QFETCH(QStringList, login);
    QFETCH(QByteArray, record);

    const QString value = CredentialStore::encode(login);
    QCOMPARE(value, base64(qCompress(record, -1)));
}

void TestCredentialStore::decode_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("expected");

    const QStringList none;
    const QByteArray record = "00:1A:2B:3C:4D:5E|admin|secret";
    const QStringList login{Mac, QStringLiteral("admin"), QStringLiteral("secret")};
    const QByteArray compressed = qCompress(record, -1);
    const int limit = CredentialStore::MaxRecordLength;
    const QByteArray atLimit = record + QByteArray(limit - record.size(), 'x');

    // Built without Qt (length field, then a zlib stream), as any installation reads and writes it.
    QTest::newRow("stored value") << "AAAAHnicMzCwMnS0MnKyMna2MnGxMnWtSUzJzcyrKU5NLkotAQB5qwlY" << login;
    QTest::newRow("characters outside Base64 skipped")
        << "AAAAHnicMzCwMnS0MnKyMna2Mn Gx\nMnWtSUzJzcyrKU5NLkotAQB5qwlY!" << login;
    QTest::newRow("understated length") << base64(withClaimedLength(record, 3)) << login;
    QTest::newRow("overstated length") << base64(withClaimedLength(record, 4096)) << login;
    QTest::newRow("record at limit") << base64(qCompress(atLimit, -1))
                                     << QStringList{Mac, QStringLiteral("admin"),
                                                    QString::fromLatin1(atLimit.mid(record.size() - 6))};

    QTest::newRow("empty") << "" << none;
    QTest::newRow("garbage") << "not a stored value" << none;
    QTest::newRow("only non-Base64 characters") << "!!!@@@###" << none;
    QTest::newRow("Base64 of plain text") << base64(record) << none;
    QTest::newRow("length field only") << base64(QByteArray(4, '\0')) << none;
    QTest::newRow("shorter than length field") << base64("\0\0\x1e") << none;
    QTest::newRow("truncated stream") << base64(compressed.left(compressed.size() - 6)) << none;
    QByteArray badChecksum = compressed;
    badChecksum[badChecksum.size() - 1] = char(badChecksum.back() ^ 0x55);
    QTest::newRow("checksum mismatch") << base64(badChecksum) << none;
    QTest::newRow("two parts") << base64(qCompress("00:1A:2B:3C:4D:5E|admin")) << none;
    QTest::newRow("| in password") << base64(qCompress("00:1A:2B:3C:4D:5E|admin|se|cret|"))
                                   << QStringList{Mac, QStringLiteral("admin"), QStringLiteral("se|cret|")};
    QTest::newRow("claims one byte over limit") << base64(withClaimedLength(record, quint32(limit) + 1)) << none;
    QTest::newRow("claims 4 GiB") << base64(withClaimedLength(record, 0xffffffffu)) << none;
    QTest::newRow("record one byte over limit") << base64(qCompress(atLimit + 'x', -1)) << none;
    QTest::newRow("over limit, understated length") << base64(withClaimedLength(atLimit + 'x', 30)) << none;
}

void TestCredentialStore::decode()
{
    QFETCH(QString, value);
    QFETCH(QStringList, expected);

    QCOMPARE(CredentialStore::decode(value), expected);
}

void TestCredentialStore::decompressionBombStaysSmall_data()
{
    QTest::addColumn<qint64>("padding");

    // Small enough a stream to be inflated, and one longer than any record's stream can be.
    QTest::newRow("96 MiB of text") << (qint64(96) << 20);
    QTest::newRow("512 MiB of text") << (qint64(512) << 20);
}

void TestCredentialStore::decompressionBombStaysSmall()
{
    QFETCH(qint64, padding);

    // A correct checksum and a modest claimed length: decoding it whole would give a valid
    // record, so only a bounded decoder returns nothing, and it must not grow while doing so.
    const QString value = base64(bomb(padding, 64));
#ifdef Q_OS_LINUX
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
#endif
    QVERIFY(CredentialStore::decode(value).isEmpty());
#ifdef Q_OS_LINUX
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    QCOMPARE_LT(after.ru_maxrss - before.ru_maxrss, 16 * 1024); // KiB
#endif
}

void TestCredentialStore::loadingLeavesEntriesUntouched()
{
    const QStringList keys{QStringLiteral("00:00:00:00:00:01"), QStringLiteral("00:00:00:00:00:02"),
                           QStringLiteral("00:00:00:00:00:03"), Mac};
    storeRaw(keys[0], QStringLiteral("garbage"));
    storeRaw(keys[1], base64(withClaimedLength("x|y|z", 0xffffffffu)));
    storeRaw(keys[2], CredentialStore::encode({keys[2], QStringLiteral("a|b"), QStringLiteral("c")}));
    CredentialStore::saveLoginData({Mac, QStringLiteral("admin"), QStringLiteral("s3cret")});
    const QByteArray fileBefore = readFile(settingsFileName());
    QVERIFY(!fileBefore.isEmpty());

    for (const QString &key : keys)
        CredentialStore::loadLoginData(key);
    QCOMPARE(CredentialStore::loadLoginData(Mac).size(), 3);

    QCOMPARE(readFile(settingsFileName()), fileBefore);
    QCOMPARE(CredentialStore::storedKeys(), keys);
}

void TestCredentialStore::damagedSettingsFile_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("garbage") << QStringLiteral("garbage");
    QTest::newRow("truncated entry") << QStringLiteral("truncated");
}

void TestCredentialStore::damagedSettingsFile()
{
    // The file as a crash, a full disk or another program may leave it: its damaged entry counts
    // as missing, whatever else is in the file stays usable, and reading it stays small.
    QFETCH(QString, damage);
    const QString fileName = settingsFileName();
    const QString other = QStringLiteral("00:00:00:00:00:01");
    const QStringList otherLogin{other, QStringLiteral("operator"), QStringLiteral("pw")};
    if (damage == QLatin1String("garbage")) {
        // Any bytes at all: NULs, line breaks, brackets, equals signs and overlong lines.
        QRandomGenerator random(7);
        QByteArray bytes(256 * 1024, Qt::Uninitialized);
        for (char &c : bytes)
            c = char(random.bounded(256));
        bytes.replace(1000, 11, "[LoginData]");
        bytes.insert(2000, Mac.toLatin1() + "=" + CredentialStore::encode({Mac, "u", "p"}).toLatin1().left(20));
        QVERIFY(QDir().mkpath(QFileInfo(fileName).path()));
        QFile file(fileName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    } else {
        // Cut in the middle of the last entry's value, as a write that never finished leaves it.
        CredentialStore::saveLoginData(otherLogin);
        CredentialStore::saveLoginData({Mac, QStringLiteral("admin"), QStringLiteral("s3cret")});
        const QByteArray whole = readFile(fileName);
        const qsizetype cut = whole.indexOf(CredentialStore::encode({Mac, "admin", "s3cret"}).toLatin1()) + 20;
        QVERIFY(cut > 20);
        QVERIFY(QFile::resize(fileName, cut));
    }
    const QByteArray before = readFile(fileName);

#ifdef Q_OS_LINUX
    rusage usageBefore{};
    getrusage(RUSAGE_SELF, &usageBefore);
#endif
    QCOMPARE(CredentialStore::loadLoginData(Mac), QStringList());
    CredentialStore::contains(Mac);
    CredentialStore::storedKeys();
    if (damage == QLatin1String("truncated")) {
        QVERIFY(CredentialStore::contains(Mac));
        QCOMPARE(CredentialStore::loadLoginData(other), otherLogin);
    }
#ifdef Q_OS_LINUX
    rusage usageAfter{};
    getrusage(RUSAGE_SELF, &usageAfter);
    QCOMPARE_LT(usageAfter.ru_maxrss - usageBefore.ru_maxrss, 16 * 1024); // KiB
#endif
    // Reading changed nothing.
    QCOMPARE(readFile(fileName), before);

    // New credentials replace the damaged entry, and the other device's stay.
    const QStringList login{Mac, QStringLiteral("admin"), QStringLiteral("new")};
    CredentialStore::saveLoginData(login);
    QCOMPARE(CredentialStore::loadLoginData(Mac), login);
    if (damage == QLatin1String("truncated"))
        QCOMPARE(CredentialStore::loadLoginData(other), otherLogin);
}

void TestCredentialStore::settingsFileIsPrivate()
{
#ifdef Q_OS_UNIX
    const QString fileName = settingsFileName();
    const auto mode = [&fileName] {
        struct stat info;
        if (::stat(QFile::encodeName(fileName).constData(), &info) != 0)
            return -1;
        return int(info.st_mode & 0777);
    };

    CredentialStore::saveLoginData({Mac, QStringLiteral("admin"), QStringLiteral("s3cret")});
    QCOMPARE(mode(), 0600);

    // A file left readable by an earlier version is made private by the next write.
    QVERIFY(::chmod(QFile::encodeName(fileName).constData(), 0644) == 0);
    CredentialStore::saveLoginData({QStringLiteral("00:00:00:00:00:01"), QStringLiteral("u"), QStringLiteral("p")});
    QCOMPARE(mode(), 0600);

    QVERIFY(::chmod(QFile::encodeName(fileName).constData(), 0644) == 0);
    QVERIFY(CredentialStore::remove(Mac));
    QCOMPARE(mode(), 0600);
#else
    QSKIP("the native store is no plain file here");
#endif
}

void TestCredentialStore::newFilesArePrivate_data()
{
    QTest::addColumn<bool>("danglingLink"); // the settings file is a link to a file yet to be made
    QTest::newRow("no settings folder yet") << false;
    QTest::newRow("settings file a dangling link") << true;
}

void TestCredentialStore::newFilesArePrivate()
{
#ifndef Q_OS_LINUX
    QSKIP("watches linkat()");
#else
    // Under the umask 022 of initTestCase, which leaves new files readable by everyone.
    QFETCH(bool, danglingLink);
    const QString fileName = settingsFileName();
    const QString folder = QFileInfo(fileName).path();
    QVERIFY(QDir(folder).removeRecursively());
    QString target = fileName;
    if (danglingLink) {
        target = configDir.filePath(QStringLiteral("elsewhere/settings.conf"));
        QVERIFY(QDir().mkpath(folder) && QDir().mkpath(QFileInfo(target).path()));
        QVERIFY(QFile::link(target, fileName));
    }
    const auto mode = [](const QString &path) {
        struct stat info = {};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 0777) : -1;
    };

    linkedModes().clear();
    CredentialStore::saveLoginData({Mac, QStringLiteral("admin"), QStringLiteral("s3cret")});
    QCOMPARE(CredentialStore::loadLoginData(Mac).size(), 3);
    QCOMPARE(mode(target), 0600);
    QVERIFY(QFileInfo(fileName).isSymLink() == danglingLink);
    if (!danglingLink)
        QCOMPARE(mode(folder), 0700);
    // Private already when it got its name, not only made so afterwards.
    QVERIFY2(!linkedModes().isEmpty(), "the settings were not linked into place: nothing was watched");
    for (const mode_t linked : std::as_const(linkedModes()))
        QCOMPARE(linked, mode_t(0600));
    // The process's own umask is back.
    QCOMPARE(::umask(022), mode_t(022));
#endif
}

void TestCredentialStore::debugOutputHoldsNoSecret()
{
    const QStringList login{Mac, QStringLiteral("operator-Qx7"), QStringLiteral("Pa55-w0rd-Zk")};
    const QString value = CredentialStore::encode(login);

    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    CredentialStore::saveLoginData(login);
    const QStringList loaded = CredentialStore::loadLoginData(Mac);
    const bool removed = CredentialStore::remove(Mac);
    qInstallMessageHandler(previous);

    QCOMPARE(loaded, login);
    QVERIFY(removed);
    const QString all = messages.join(QLatin1Char('\n'));
    // One line tells that the device's credentials were stored; nothing else names it.
    QCOMPARE(messages.filter(Mac).size(), 1);
    QVERIFY(messages.filter(Mac).first().contains(QLatin1String("Stored credentials")));
    QVERIFY2(!all.contains(value.left(12)), qPrintable(all));
    QVERIFY2(!all.contains(login[1]) && !all.contains(login[2]), qPrintable(all));
}

void TestCredentialStore::failedSaveIsNotReportedAsStored()
{
    // A directory where the settings file belongs makes every write fail, even for root.
    QVERIFY(QDir().mkpath(settingsFileName()));

    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    CredentialStore::saveLoginData({Mac, QStringLiteral("admin"), QStringLiteral("s3cret")});
    qInstallMessageHandler(previous);

    QVERIFY(!CredentialStore::contains(Mac));
    QVERIFY2(messages.filter(QStringLiteral("Could not store credentials")).size() == 1,
             qPrintable(messages.join(QLatin1Char('\n'))));
    QVERIFY(messages.filter(QStringLiteral("Stored credentials")).isEmpty());
}

QTEST_GUILESS_MAIN(TestCredentialStore)

#include "tst_credentialstore.moc"
