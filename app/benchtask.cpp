#include "app/benchtask.h"

#include "device/boundedfile.h"
#include "device/tracelog.h"
#include "lls/device/llsdevice.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("BenchTask", text);
}

// A line of a file shown in a message: a binary file's bytes never reach the terminal raw.
QString shown(const QString &text)
{
    return QString::fromLatin1(TraceLog::escaped(text.toUtf8()));
}

}

bool BenchTask::prepare(Mode mode, const QString &target, QString *error)
{
    m_mode = mode;
    m_target = target;
    const QFileInfo info(target);
    if (mode == Backup) {
        if (target.trimmed().isEmpty()) {
            *error = tr("no folder was given");
            return false;
        }
        if (info.exists() && !info.isDir()) {
            *error = tr("%1 is a file, not a folder").arg(target);
            return false;
        }
        if (!QDir().mkpath(target) || !QFileInfo(target).isWritable()) {
            *error = tr("cannot write to the folder %1").arg(target);
            return false;
        }
        return true;
    }

    if (target.trimmed().isEmpty()) {
        *error = tr("no file was given");
        return false;
    }
    if (!info.exists()) {
        *error = tr("%1 was not found").arg(target);
        return false;
    }
    if (info.isDir()) {
        *error = tr("%1 is a folder, not a file").arg(target);
        return false;
    }
    const QString suffix = info.suffix().toLower();
    m_fpc = suffix == QLatin1String("fpc");
    if (!m_fpc && suffix != QLatin1String("conf")) {
        *error = tr("%1 is neither a settings file (.conf) nor an FPC file (.fpc)").arg(target);
        return false;
    }
    const qint64 limit = m_fpc ? FpcFile::MaxBytes : SettingsFile::MaxBytes;
    QByteArray text;
    switch (readBoundedFile(target, limit, &text)) {
    case BoundedRead::Ok:
        break;
    case BoundedRead::TooBig:
        *error = m_fpc ? tr("%1 is too big for an FPC file (under %2 KB)").arg(target).arg(limit / 1024)
                       : tr("%1 is too big for a settings file (under %2 bytes)").arg(target).arg(limit);
        return false;
    case BoundedRead::NotRegular:
        *error = tr("%1 is not a regular file").arg(target);
        return false;
    default:
        *error = tr("%1 cannot be read").arg(target);
        return false;
    }
    // The file's own bytes, as a checksum tool would see them (line ends included): they must be
    // the bytes checked, or the file changed while it was read.
    QFile raw(target);
    const QByteArray bytes = raw.open(QIODevice::ReadOnly) ? raw.read(limit) : QByteArray();
    if (QByteArray(bytes).replace("\r", "") != QByteArray(text).replace("\r", "")) {
        *error = tr("%1 changed while it was being read").arg(target);
        return false;
    }
    m_sha1 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
    return m_fpc ? readFpc(text, error) : readSettings(text, error);
}

bool BenchTask::readSettings(const QByteArray &text, QString *error)
{
    const ChecksumLines lines = checksumLines(text);
    // A file whose check is switched off may have been edited by hand: not for a whole bench.
    if (lines.disabled() && m_mode == Apply) {
        *error = tr("the checksum of %1 is disabled, so nothing shows that it is unchanged; save it again from a sensor").arg(m_target);
        return false;
    }
    if (!lines.disabled() && !lines.matches()) {
        *error = tr("the checksum of %1 does not hold: the file was changed or damaged").arg(m_target);
        return false;
    }
    bool hasSensorType = false;
    m_settings = SettingsFile::readText(text, &hasSensorType);
    const QString type = m_settings.value(QStringLiteral("sensorType/ProductType"));
    if (!hasSensorType || m_settings.value(QStringLiteral("sensorType/Serial")).isEmpty()) {
        *error = tr("%1 does not say which sensor it is for").arg(m_target);
        return false;
    }
    if (!QStringList{"5V", "10V", "mA", "resistive", "CAN"}.contains(type)) {
        *error = tr("%1 is for an output this program does not know (\"%2\")").arg(m_target, shown(type));
        return false;
    }
    // Every value any sensor of that output would take must be there and in range: a file is
    // refused whole here, before a port is opened, never half-way along a bench.
    QString why;
    const SettingsFile::Sensor fullest{QStringLiteral("ILS"), type, true, true};
    if (SettingsFile::plan(m_settings, fullest, &why).isEmpty()) {
        *error = tr("%1 cannot be applied: %2").arg(m_target, shown(why));
        return false;
    }
    return true;
}

bool BenchTask::readFpc(const QByteArray &text, QString *error)
{
    m_import = FpcFile::parse(text);
    // A line the import would skip is a setting left out on every sensor of the bench.
    if (!m_import.skipped.isEmpty()) {
        *error = tr("%1 has lines that cannot be imported: %2").arg(m_target, shown(m_import.skipped.mid(0, 5).join(QStringLiteral("; "))));
        return false;
    }
    if (!FpcFile::isOwnHeader(m_import.header) || FpcFile::headerField(m_import.header, 1).trimmed().isEmpty()
        || FpcFile::headerField(m_import.header, 2).trimmed().isEmpty()) {
        *error = tr("the header of %1 does not say which sensor it is for").arg(m_target);
        return false;
    }
    if (m_import.writes.isEmpty()) {
        *error = tr("%1 holds no register values").arg(m_target);
        return false;
    }
    return true;
}

QString BenchTask::otherSensor(const LLSDevice &device) const
{
    if (m_mode == Backup)
        return {};
    const QString id = m_fpc ? FpcFile::headerField(m_import.header, 1).trimmed() : m_settings.value(QStringLiteral("sensorType/Serial"));
    const QString firmware = m_fpc ? FpcFile::headerField(m_import.header, 2).trimmed() : m_settings.value(QStringLiteral("sensorType/Firmware"));
    if (id == device.deviceId() && firmware == device.firmwareVersion())
        return {};
    return tr("the file is for sensor ID %1, firmware %2; this one is ID %3, firmware %4")
        .arg(shown(id), shown(firmware), device.deviceId(), device.firmwareVersion());
}

QString BenchTask::otherOutput(const LLSDevice &device) const
{
    if (m_mode == Backup || m_fpc)
        return {};
    const QString type = m_settings.value(QStringLiteral("sensorType/ProductType"));
    if (SettingsFile::sameOutputKind(type, device.OutputType()))
        return {};
    return tr("the file is for a sensor with a %1 output, this one has %2").arg(type, device.OutputType());
}
