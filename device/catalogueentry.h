#ifndef CATALOGUEENTRY_H
#define CATALOGUEENTRY_H

#include <QString>

// One sensor model of the device catalogue. Lists inside a value are ';'-separated.
struct CatalogueEntry
{
    QString ID;
    QString FirmwareVersions;
    QString Name;
    QString DeviceType;
    QString Options;
    QString ConstantProperties;
};

#endif
