// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>
#include <QStringList>

// Per-device credentials in the per-user settings, group "LoginData", one entry per MAC text.
// A credentials list holds exactly three strings: MAC text, user name and password; the empty
// list means none. Nothing is cached: every operation opens the settings afresh and drops them.
class CredentialStore
{
public:
    // Longest decompressed record the decoder accepts. Real records are a few dozen bytes; the
    // limit keeps a damaged or hostile entry from making the decoder allocate without bound.
    static constexpr int MaxRecordLength = 64 * 1024;

    // The stored credentials of the device whose key equals macAddress exactly, or an empty list
    // when there is none or the entry cannot be decoded. Never changes the stored entry.
    static QStringList loadLoginData(const QString &macAddress);
    // Stores login (MAC text, user name, password) under the key login.first(), replacing an
    // earlier entry for the same key. A MAC text or user name holding a "|" is not stored: it
    // could not be read back as it was.
    static void saveLoginData(const QStringList &login);
    static bool contains(const QString &macAddress);
    // Removes the entry whose key equals macAddress exactly; returns whether one was removed.
    static bool remove(const QString &macAddress);
    static QStringList storedKeys();

    // The stored value: the list joined with "|" as Latin-1, qCompress'ed (level -1), in Base64.
    static QString encode(const QStringList &login);
    // The three strings of a stored value, split at the record's first two "|", or an empty list
    // when it is malformed.
    static QStringList decode(const QString &value);
};
