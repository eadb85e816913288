// SPDX-License-Identifier: Apache-2.0
// The credential decoder: any stored value gives three strings or none, allocates a bounded amount
// whatever the value claims, and reads every value as the stored format is read (qUncompress of
// the Base64 text, split at the first two "|", the rest the password).
//
// The first byte chooses how the rest becomes a stored value: taken as Latin-1 or UTF-8 text, as
// the bytes behind the Base64 (reaching the length field and the zlib stream at once), or as a
// record that is compressed here under a length field of the input's choice.

#include "fuzzsupport.h"

#include "settings/credentialstore.h"

#include <QStringList>

#include <zlib.h>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::quietMessages();
    return 0;
}

namespace {

constexpr int ComparedLength = 2048;

// A compressed record with its length field set to `claimed`.
QByteArray compressed(const QByteArray &record, quint32 claimed, int level)
{
    uLongf length = compressBound(uLong(record.size()));
    QByteArray out(4 + qsizetype(length), Qt::Uninitialized);
    qToBigEndian(claimed, out.data());
    if (compress2(reinterpret_cast<Bytef *>(out.data() + 4), &length,
                  reinterpret_cast<const Bytef *>(record.constData()), uLong(record.size()), level) != Z_OK)
        return QByteArray();
    out.truncate(4 + qsizetype(length));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray rest = Fuzz::bytes(data + 1, size - 1);
    QString value;
    switch (data[0] % 4) {
    case 0:
        value = QString::fromLatin1(rest);
        break;
    case 1:
        value = QString::fromUtf8(rest);
        break;
    case 2:
        value = QString::fromLatin1(rest.toBase64());
        break;
    default: {
        if (rest.size() < 5)
            return 0;
        const quint32 claimed = qFromBigEndian<quint32>(rest.constData());
        const int level = rest.at(4) % 10;
        value = QString::fromLatin1(compressed(rest.mid(5), claimed, level).toBase64());
        break;
    }
    }

    const QStringList login = CredentialStore::decode(value);
    FUZZ_CHECK(login.isEmpty() || login.size() == 3);

    // As the value is read: lenient Base64, qUncompress, Latin-1, split at the first two "|".
    // Only where qUncompress itself stays small: it believes the length field and allocates what it
    // claims, and it inflates a short stream to a thousand times its size. A record of three short
    // texts never comes near this size.
    const QByteArray stored = QByteArray::fromBase64(value.toLatin1());
    const quint32 claimed = stored.size() >= 4 ? qFromBigEndian<quint32>(stored.constData()) : 0;
    if (claimed > quint32(CredentialStore::MaxRecordLength)) {
        FUZZ_CHECK(login.isEmpty());
    } else if (stored.size() <= ComparedLength) {
        const QByteArray record = qUncompress(stored);
        const QString text = QString::fromLatin1(record);
        const qsizetype first = text.indexOf(QLatin1Char('|'));
        const qsizetype second = first < 0 ? -1 : text.indexOf(QLatin1Char('|'), first + 1);
        if (record.size() <= CredentialStore::MaxRecordLength && second >= 0)
            FUZZ_CHECK(login ==
                       QStringList({text.left(first), text.mid(first + 1, second - first - 1), text.mid(second + 1)}));
        else
            FUZZ_CHECK(login.isEmpty());
    }

    // What was decoded is stored again and decodes the same.
    if (!login.isEmpty())
        FUZZ_CHECK(CredentialStore::decode(CredentialStore::encode(login)) == login);
    return 0;
}
