#ifndef BENCHREPORT_H
#define BENCHREPORT_H

#include <QByteArray>
#include <QString>

class BenchEngine;

// What a bench run gave each port, as a CSV file a technician keeps: one row a port after a header
// row, comma-separated, quoted where a field needs it, UTF-8 with a byte order mark so that a
// spreadsheet opens it as it is. The command line's --report and the window's Save report.
namespace BenchReport {

// The file's bytes.
QByteArray text(const BenchEngine &engine);

// Writes them whole or not at all; false with the reason.
bool write(const QString &path, const BenchEngine &engine, QString *error);

}

#endif
