// SPDX-License-Identifier: Apache-2.0
#include "model/csvtext.h"

namespace CsvText {

QString field(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\r')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString textField(const QString &text)
{
    static const QString formulaStarts = QStringLiteral("=+-@");
    if (!text.isEmpty() && formulaStarts.contains(text.front()))
        return field(QLatin1Char('\'') + text);
    return field(text);
}

QString line(const QStringList &cells)
{
    QString text;
    for (int i = 0; i < cells.size(); ++i)
        text += (i ? QLatin1String(",") : QLatin1String()) + field(cells.at(i));
    return text + QLatin1String("\r\n");
}

} // namespace CsvText
