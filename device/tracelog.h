#ifndef TRACELOG_H
#define TRACELOG_H

#include <QByteArray>
#include <QString>

// The traffic trace (pellora --trace FILE): one line per direction of every exchange, appended
// to a file: time with milliseconds, port, direction, the bytes with control characters escaped,
// and the result. Off unless opened.
namespace TraceLog {

// Opens FILE for appending; false with the reason when it cannot be.
bool open(const QString &path, QString *error);
void close();
bool active();

// direction is "->" (to the sensor) or "<-" (from it).
void record(const QString &port, const char *direction, const QByteArray &bytes, const char *result);

// "\r", "\n", "\t", "\\" and "\xNN" for every other byte outside printable ASCII.
QByteArray escaped(const QByteArray &bytes);

}

#endif
