#include "lls/ui/tankprofiletable.h"

#include "lls/device/llsdevice.h"

namespace TankProfileTable {

int maxPoints()
{
    return LLSDevice::MaxTankProfilePoints;
}

bool cellValid(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    // Written so that "nan", which converts, fails.
    return ok && v >= 0 && v <= 100;
}

bool cellAcceptable(const QString &text)
{
    return text.isEmpty() || cellValid(text);
}

bool rowBlank(const Row &row)
{
    return row.level.value_or(QString()).isEmpty() && row.output.value_or(QString()).isEmpty();
}

int blankRowsAboveLast(const Rows &rows)
{
    int count = 0;
    for (int r = rows.size() - 2; r >= 0 && rowBlank(rows.at(r)); --r)
        ++count;
    return count;
}

bool tooManyRows(const Rows &rows)
{
    return rows.size() - 1 > maxPoints();
}

namespace {
bool complete(const Rows &rows)
{
    for (int r = 0; r < rows.size() - 1; ++r) {
        const Row &row = rows.at(r);
        if (!row.level || !row.output || !cellValid(*row.level) || !cellValid(*row.output))
            return false;
    }
    return true;
}
}

bool valid(const Rows &rows)
{
    return !tooManyRows(rows) && complete(rows);
}

bool sendable(const Rows &rows)
{
    return rows.size() >= 3 && valid(rows);
}

bool savable(const Rows &rows)
{
    return rows.size() >= 3 && complete(rows);
}

Columns collect(const Rows &rows)
{
    Columns columns;
    for (const Row &row : rows) {
        if (!row.level || row.level->isEmpty() || !row.output || row.output->isEmpty())
            break;
        columns.levels.append(*row.level);
        columns.outputs.append(*row.output);
    }
    return columns;
}

Columns wizardColumns(const QVector<double> &units, const QVector<int> &levels)
{
    Columns columns;
    const int n = qMin(units.size(), levels.size());
    if (n == 1) {
        columns.levels.append(QString::number(levels.first()));
        columns.outputs.append(units.first() == 0 ? QStringLiteral("0") : QStringLiteral("100"));
        return columns;
    }
    for (int i = 0; i < n; ++i) {
        columns.levels.append(QString::number(levels.at(i)));
        columns.outputs.append(QString::number(qRound(units.at(i) * 100 / units.at(n - 1))));
    }
    return columns;
}

QPointF Chart::pointAt(double a, double b) const
{
    return QPointF(plot * a / 100 + margin, originY - plot * b / 100);
}

Chart chart(int side)
{
    Chart c;
    const int s = side;
    const int m = (s * 13) / 100;
    const int p = (s * 80) / 100;
    const int y0 = s - m;
    c.side = s;
    c.margin = m;
    c.plot = p;
    c.originY = y0;

    c.texts.append({QPointF(m - (6 * p) / 100, y0), QStringLiteral("0"), ChartText::Number});
    c.lines.append(QLineF(m, y0, m + p, y0));
    c.texts.append({QPointF(2.5 * m, s - 0.8 * m), QStringLiteral("LIQUID LEVEL (%)"), ChartText::Label});
    for (int k = 0; k <= 10; ++k) {
        const int x = (10 * k * p) / 100 + m;
        c.lines.append(QLineF(x, y0, x, y0 + 5));
    }
    c.texts.append({QPointF((94 * p) / 100 + m, y0), QStringLiteral("100"), ChartText::Number});
    c.lines.append(QLineF(m, y0, m, y0 - p));
    c.texts.append({QPointF(0.1 * m, s - 2.5 * m), QStringLiteral("OUTPUT LEVEL (%)"), ChartText::Label, -90});
    for (int k = 0; k <= 10; ++k) {
        const int y = y0 - (10 * k * p) / 100;
        c.lines.append(QLineF(m, y, m - 5, y));
    }
    c.texts.append({QPointF(m - 33, y0 - p - 13), QStringLiteral("100"), ChartText::Number});
    c.countPosition = QPointF(s - (3 * s) / 4, -5);
    return c;
}

QVector<QPointF> chartPoints(const Chart &chart, const Rows &rows)
{
    QVector<QPointF> points;
    for (const Row &row : rows) {
        if (!row.level || !row.output)
            break;
        if (row.level->isNull() || row.output->isNull())
            continue;
        if (!cellValid(*row.level) || !cellValid(*row.output))
            break;
        points.append(chart.pointAt(row.level->toDouble(), row.output->toDouble()));
    }
    return points;
}

QString countText(int points)
{
    return QStringLiteral("Total points used: %1 of %2").arg(points).arg(maxPoints());
}

}
