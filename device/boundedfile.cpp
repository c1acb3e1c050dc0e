#include "device/boundedfile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

BoundedRead readBoundedFile(const QString &path, qint64 maxBytes, QByteArray *contents)
{
    contents->clear();
    const QFileInfo info(path);
    if (!info.exists())
        return BoundedRead::Missing;
    if (!info.isFile())
        return BoundedRead::NotRegular;
    if (info.size() >= maxBytes)
        return BoundedRead::TooBig;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return BoundedRead::Unreadable;
    // The size seen above may be stale: the cap holds whatever the file has become since.
    *contents = file.read(maxBytes);
    if (contents->size() >= maxBytes) {
        contents->clear();
        return BoundedRead::TooBig;
    }
    return BoundedRead::Ok;
}

ChecksumLines checksumLines(const QByteArray &text)
{
    ChecksumLines lines;
    int start = text.indexOf('\n');
    start = start < 0 ? text.size() : start + 1;
    int end = text.indexOf('\n', start);
    end = end < 0 ? text.size() : end + 1;
    lines.found = text.mid(start, end - start).simplified();
    lines.expected = "checksum=" + QCryptographicHash::hash(text.mid(end), QCryptographicHash::Sha1).toHex();
    return lines;
}
