#ifndef BOUNDEDFILE_H
#define BOUNDEDFILE_H

#include <QByteArray>
#include <QString>

// Files the program reads whole (the catalogue, settings, profiles) are small. Reading one goes
// through here so that a link to a device, a pipe or a huge file can neither hang nor flood it.
enum class BoundedRead {
    Ok,
    Missing,
    NotRegular,  // a device, a pipe, a folder: nothing a user saved
    TooBig,      // maxBytes or more
    Unreadable,
};

// Reads at most maxBytes - 1 bytes, in text mode (line ends read as "\n"), into contents.
BoundedRead readBoundedFile(const QString &path, qint64 maxBytes, QByteArray *contents);

// The checksum header the catalogue and settings files share: line 1 is free, line 2 reads
// "checksum=" and the SHA-1 of every later line, or "checksum=disabled".
struct ChecksumLines
{
    QByteArray found;     // line 2, simplified
    QByteArray expected;  // "checksum=" + the lower-case hex digest of lines 3 to the end
    bool matches() const { return found == expected; }
    bool disabled() const { return found == "checksum=disabled"; }
};
ChecksumLines checksumLines(const QByteArray &text);

#endif
