#include "device/devicecatalogue.h"

#include "device/boundedfile.h"
#include "device/logcategories.h"

#include <QCoreApplication>
#include <QDebug>
#include <QMessageBox>
#include <QSettings>

QString DeviceCatalogue::defaultPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/DeviceCatalogue.ini");
}

bool DeviceCatalogue::load()
{
    return load(defaultPath());
}

void DeviceCatalogue::showFailure(const QString &text)
{
    QMessageBox box;
    box.setText(text);
    box.exec();
}

bool DeviceCatalogue::load(const QString &path)
{
    const QString problem = failure(path);
    if (!problem.isEmpty()) {
        showFailure(problem);
        return false;
    }
    readEntries(path);
    return true;
}

QString DeviceCatalogue::failure(const QString &path)
{
    QByteArray contents;
    switch (readBoundedFile(path, MaxFileSize, &contents)) {
    case BoundedRead::Missing:
        return QStringLiteral("Catalogue file not found!");
    case BoundedRead::TooBig:
        return QStringLiteral("Catalogue file corrupted! (Too big)");
    case BoundedRead::NotRegular:
        qCDebug(lcDevice) << "Catalogue is not a regular file:" << path;
        return QStringLiteral("Catalogue file corrupted!");
    case BoundedRead::Unreadable:
    case BoundedRead::Ok:
        break;
    }
    if (!verifyChecksum(path))
        return QStringLiteral("Catalogue file corrupted!");
    return QString();
}

void DeviceCatalogue::readEntries(const QString &path)
{
    m_entries.clear();
    QSettings settings(path, QSettings::IniFormat);
    const QStringList groups = settings.childGroups();
    for (const QString &group : groups) {
        settings.beginGroup(group);
        CatalogueEntry entry;
        entry.ID = settings.value(QStringLiteral("ID")).toString();
        entry.FirmwareVersions = settings.value(QStringLiteral("FirmwareVersions")).toString();
        entry.Name = settings.value(QStringLiteral("Name")).toString();
        entry.Options = settings.value(QStringLiteral("Options")).toString();
        entry.DeviceType = settings.value(QStringLiteral("DeviceType")).toString();
        entry.ConstantProperties = settings.value(QStringLiteral("ConstantProperties")).toString();
        settings.endGroup();
        m_entries.append(entry);
    }
}

bool DeviceCatalogue::verifyChecksum(const QString &path)
{
    QByteArray contents;
    const BoundedRead read = readBoundedFile(path, MaxFileSize, &contents);
    if (read != BoundedRead::Ok) {
        qCDebug(lcDevice) << "Error opening file:" << path;
        return false;
    }
    const ChecksumLines lines = checksumLines(contents);
    if (lines.matches())
        return true;
    qCDebug(lcDevice) << "Hash calculated:" << lines.expected;
    if (lines.disabled()) {
        // A check skipped is worth a word even when nobody asked for diagnostics.
        qCWarning(lcDevice) << "Catalogue checksum disabled!";
        return true;
    }
    return false;
}

bool DeviceCatalogue::lookup(CatalogueEntry &entry, const DeviceIdentity &identity) const
{
    entry.ID.clear();
    entry.Name.clear();
    entry.DeviceType.clear();
    entry.ConstantProperties.clear();
    bool found = false;
    for (const CatalogueEntry &candidate : m_entries) {
        if (candidate.ID != identity.deviceId)
            continue;
        if (candidate.FirmwareVersions.isEmpty()) {
            entry = candidate;
            return true;
        }
        const QStringList versions = candidate.FirmwareVersions.split(QLatin1Char(';'));
        for (const QString &version : versions) {
            if (version == identity.firmwareVersion) {
                entry = candidate;
                found = true;
                break;
            }
        }
    }
    return found;
}
