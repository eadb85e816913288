// SPDX-License-Identifier: Apache-2.0
#pragma once

// What the fuzz targets share: a check that aborts (so that libFuzzer records the input), quiet Qt
// messages, an application object for the targets that need one, and an independent reading of
// datagram fields to hold the product's readers against.

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QtEndian>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)

namespace Fuzz {

// The largest payload of a UDP datagram over IPv4.
inline constexpr int MaxDatagramSize = 65507;

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Drops Qt's debug, info and warning lines, which would only slow the run down; fatal messages
// (Q_ASSERT among them) still end the process, so that libFuzzer records the input.
inline void quietMessages()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "fatal: %s\n", qPrintable(message));
            std::abort();
        }
    });
}

// An application object of type App for the whole run, on the offscreen platform. It is never
// destroyed: with it, Qt's font and icon caches stay reachable until the process ends, and the
// leak check at exit sees what the inputs left behind, not the toolkit's tear-down.
template <typename App> void makeApplication()
{
    static int argc = 1;
    static char name[] = "fuzzer";
    static char *argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static App *application = new App(argc, argv);
    Q_UNUSED(application);
}

// A text field read without the product's code: the Latin-1 bytes from `offset` up to the first
// NUL, the end of the field (`width` bytes, or the whole rest when negative) or the end of the
// datagram, whichever comes first.
inline QString text(const QByteArray &datagram, int offset, int width)
{
    QString result;
    for (qsizetype i = offset; i < datagram.size() && (width < 0 || i < qsizetype(offset) + width); ++i) {
        const char c = datagram.at(i);
        if (c == '\0')
            break;
        result.append(QChar(uchar(c)));
    }
    return result;
}

// A little-endian field; bytes beyond the datagram's end count as zero.
inline quint32 uint32(const QByteArray &datagram, int offset)
{
    quint32 value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | (offset + i < datagram.size() ? uchar(datagram.at(offset + i)) : 0u);
    return value;
}

inline quint8 uint8(const QByteArray &datagram, int offset)
{
    return offset < datagram.size() ? quint8(datagram.at(offset)) : 0;
}

// Writes text into a fixed-width field as a device would: Latin-1, at most width - 1 bytes, NUL.
inline void putText(QByteArray &datagram, int offset, int width, const QByteArray &text)
{
    const QByteArray cut = text.left(width - 1);
    std::memcpy(datagram.data() + offset, cut.constData(), size_t(cut.size()));
    datagram[offset + cut.size()] = '\0';
}

inline void putUInt32(QByteArray &datagram, int offset, quint32 value)
{
    qToLittleEndian(value, datagram.data() + offset);
}

inline constexpr char Key[] = "5e7b9d21-4c8a-4f03-b6e2-91d0a7c3f458";

} // namespace Fuzz
