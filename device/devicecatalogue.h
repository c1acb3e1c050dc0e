#ifndef DEVICECATALOGUE_H
#define DEVICECATALOGUE_H

#include "device/catalogueentry.h"
#include "device/deviceidentity.h"

#include <QVector>

class DeviceCatalogue
{
public:
    static constexpr qint64 MaxFileSize = 2000;

    // Loads DeviceCatalogue.ini from the program's folder; on failure the user has seen a message box.
    bool load();
    bool load(const QString &path);
    static QString defaultPath();
    static bool verifyChecksum(const QString &path);
    // Why the file cannot be the catalogue (the text of its message box), or empty if it can.
    static QString failure(const QString &path);
    // Reads the entries of a file that passed its checks.
    void readEntries(const QString &path);
    bool lookup(CatalogueEntry &entry, const DeviceIdentity &identity) const;

    const QVector<CatalogueEntry> &entries() const { return m_entries; }

private:
    static void showFailure(const QString &text);

    QVector<CatalogueEntry> m_entries;
};

#endif
