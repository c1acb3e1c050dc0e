#include "lls/ui/tankprofilecsv.h"

namespace TankProfileCsv {

Content parse(const QByteArray &bytes)
{
    Content content;
    if (bytes.size() > MaxFileBytes) {
        content.refusal = Refusal::TooLarge;
        return content;
    }
    const int nul = bytes.indexOf('\0');
    const QString text = QString::fromUtf8(nul < 0 ? bytes : bytes.left(nul));
    QStringList pieces = text.split(QLatin1Char('\n'), Qt::KeepEmptyParts);
    // A last line without a line break (typed by hand, or a spreadsheet's) is a line all the same.
    if (pieces.last().trimmed().isEmpty())
        pieces.removeLast();
    const int lines = pieces.size();
    if (lines > MaxLines) {
        content.refusal = Refusal::TooManyLines;
        return content;
    }
    content.rows.resize(lines);
    for (int i = 0; i < lines; ++i) {
        const QStringList fields = pieces.at(i).trimmed().split(QLatin1Char(','), Qt::KeepEmptyParts);
        TankProfileTable::Row &row = content.rows[i];
        bool ok = false;
        fields.at(0).toDouble(&ok);
        if (ok)
            row.level = fields.at(0);
        if (fields.size() > 1 && (fields.at(1).toDouble(&ok), ok))
            row.output = fields.at(1);
    }
    return content;
}

QByteArray serialise(const TankProfileTable::Columns &columns)
{
    QByteArray bytes;
    for (int i = 0; i < columns.levels.size() && i < columns.outputs.size(); ++i)
        bytes += columns.levels.at(i).toUtf8() + ',' + columns.outputs.at(i).toUtf8() + '\n';
    return bytes;
}

}
