#ifndef TANKPROFILECSV_H
#define TANKPROFILECSV_H

#include "lls/ui/tankprofiletable.h"

#include <QByteArray>

// Tank profile tables as CSV text: one line per point, the level, a comma, the output, a line break.
namespace TankProfileCsv {

// Larger files are refused, so a wrong file cannot stall the window.
constexpr int MaxFileBytes = 64 * 1024;
constexpr int MaxLines = 1000;

enum class Refusal { None, TooLarge, TooManyLines };

struct Content
{
    // One row per line; a field that is not a number is a missing cell.
    TankProfileTable::Rows rows;
    Refusal refusal = Refusal::None;
};

// Reads UTF-8 text up to the first NUL byte. Lines end in "\n" or "\r\n"; text after the last
// line break is a line too, unless it is blank. Fields beyond the second are dropped.
Content parse(const QByteArray &bytes);

// One "level,output\n" line per point. Written to a file opened as text, "\n" becomes the
// platform's line break.
QByteArray serialise(const TankProfileTable::Columns &columns);

}

#endif
