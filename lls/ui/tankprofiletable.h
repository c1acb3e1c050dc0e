#ifndef TANKPROFILETABLE_H
#define TANKPROFILETABLE_H

#include <QLineF>
#include <QPointF>
#include <QStringList>
#include <QVector>

#include <optional>

// The tank profile editor's rules, apart from any widget: which tables may be sent, what is
// collected from them, how the wizard scales its records and where the chart draws.
namespace TankProfileTable {

// One table row. A cell that does not exist is empty; one that exists but never received text
// holds a null string, which the chart treats differently from an empty one.
struct Row
{
    std::optional<QString> level;
    std::optional<QString> output;
};
using Rows = QVector<Row>;

// The sensor holds at most this many points.
int maxPoints();

// A number in [0, 100], both ends included.
bool cellValid(const QString &text);
// Empty or valid: drawn white; anything else is drawn red.
bool cellAcceptable(const QString &text);
// No cell with a non-empty text.
bool rowBlank(const Row &row);
// How many blank rows just above the last one the table drops (it keeps at least one row).
int blankRowsAboveLast(const Rows &rows);
// Every row but the last (always blank) is complete and valid, and they fit into the sensor.
bool valid(const Rows &rows);
// Valid with at least two points.
bool sendable(const Rows &rows);
// As sendable, whatever the number of points: what a CSV file may hold.
bool savable(const Rows &rows);
// More data rows than the sensor can hold.
bool tooManyRows(const Rows &rows);

struct Columns
{
    QStringList levels;
    QStringList outputs;
};
// The texts of the rows up to the first one with a missing or empty cell.
Columns collect(const Rows &rows);

// The wizard's table: the levels read at each ADD, and the poured amounts scaled so that the
// last (largest) is 100 %. A single record gives 0 % for an empty tank, else 100 %.
Columns wizardColumns(const QVector<double> &units, const QVector<int> &levels);

struct ChartText
{
    enum Font { Label, Number };
    QPointF position;  // top-left corner of the text item
    QString text;
    Font font = Label;
    qreal rotation = 0;
};

// Positions in a square chart scene of the given side.
struct Chart
{
    int side = 0;
    int margin = 0;   // (side * 13) / 100
    int plot = 0;     // (side * 80) / 100
    int originY = 0;  // side - margin
    QVector<QLineF> lines;  // axes and ticks
    QVector<ChartText> texts;
    QPointF countPosition;

    // Centre of the point for a level a and an output b, both in percent.
    QPointF pointAt(double a, double b) const;
};
Chart chart(int side);
// The centres of the points the chart draws: rows from the first while both cells exist,
// skipping rows with a null text, up to the first row with a cell that is not valid.
QVector<QPointF> chartPoints(const Chart &chart, const Rows &rows);
QString countText(int points);

}

#endif
