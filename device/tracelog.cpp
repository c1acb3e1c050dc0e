#include "device/tracelog.h"

#include "device/logcategories.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>

#include <atomic>

namespace TraceLog {

namespace {
QMutex mutex;
QFile *file = nullptr;
std::atomic<bool> on{false};
}

bool open(const QString &path, QString *error)
{
    QMutexLocker lock(&mutex);
    auto *candidate = new QFile(path);
    if (!candidate->open(QIODevice::WriteOnly | QIODevice::Append)) {
        *error = candidate->errorString();
        delete candidate;
        return false;
    }
    delete file;
    file = candidate;
    on = true;
    return true;
}

void close()
{
    QMutexLocker lock(&mutex);
    on = false;
    delete file;
    file = nullptr;
}

bool active()
{
    return on;
}

QByteArray escaped(const QByteArray &bytes)
{
    QByteArray out;
    out.reserve(bytes.size() + 8);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else if (byte < 0x20 || byte > 0x7e)
            out += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

void record(const QString &port, const char *direction, const QByteArray &bytes, const char *result)
{
    // --verbose shows the same lines as the trace file, on stderr.
    if (lcWire().isDebugEnabled())
        qCDebug(lcWire).noquote() << port << direction << QString::fromLatin1(escaped(bytes)) << "[" + QString::fromLatin1(result) + "]";
    if (!on)
        return;
    const QByteArray line = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toLatin1() + ' '
        + port.toUtf8() + ' ' + direction + ' ' + escaped(bytes) + " [" + result + "]\n";
    QMutexLocker lock(&mutex);
    // One write a line keeps lines whole; the file's buffer is flushed so a crash loses nothing.
    if (file) {
        file->write(line);
        file->flush();
    }
}

}
