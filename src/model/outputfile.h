// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

// A file that the programs write (the connection export, veltra-find's plans): `bytes` as given
// (with `mode` QIODevice::Text, in the system's line ends), replacing `fileName` only once all of them are written, an
// existing file left as it was when anything fails. A device is written in place. Symbolic links
// are followed only while they belong to the user or to root; such a link of anyone else, a pipe
// or a socket is refused, without waiting for anything. False with the reason in `error`.
namespace OutputFile {

bool write(const QString &fileName, const QByteArray &bytes, QString *error, QIODevice::OpenMode mode = {});

} // namespace OutputFile
