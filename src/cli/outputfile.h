// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QString>

// A file that veltra-find writes, as the connection export writes its own: `bytes` exactly as
// given (no line-end translation), replacing `fileName` only once all of them are written, an
// existing file left as it was when anything fails. A device is written in place. Symbolic links
// are followed only while they belong to the user or to root; such a link of anyone else, a pipe
// or a socket is refused, without waiting for anything. False with the reason in `error`.
namespace OutputFile {

bool write(const QString &fileName, const QByteArray &bytes, QString *error);

} // namespace OutputFile
