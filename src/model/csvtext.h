// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>
#include <QStringList>

// CSV cells as RFC 4180 wants them, for every CSV the programs write.
namespace CsvText {

// Quoted when it holds a comma, a quote or a line break, quotes doubled.
QString field(const QString &text);

// A text that came from a device or a user, for a file a spreadsheet may open: one that starts with
// "=", "+", "-" or "@" would be taken for a formula, so it gets a leading "'".
QString textField(const QString &text);

// One line of `cells` (each through field()), ended with CRLF.
QString line(const QStringList &cells);

} // namespace CsvText
