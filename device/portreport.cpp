#include "device/portreport.h"

#include <QCoreApplication>

QString PortReport::text() const
{
    QString what;
    switch (outcome) {
    case Sensor:
        what = detail;
        break;
    case NoAnswer:
        what = QCoreApplication::translate("PortReport", "no answer");
        break;
    case NotASensor:
        what = QCoreApplication::translate("PortReport", "an answer that is not a known sensor");
        break;
    case NotInCatalogue:
        what = QCoreApplication::translate("PortReport", "a sensor not in the catalogue (%1)").arg(detail);
        break;
    case Bootloader:
        what = QCoreApplication::translate("PortReport", "a sensor waiting in its bootloader");
        break;
    case PermissionDenied:
        what = QCoreApplication::translate("PortReport", "permission denied");
        break;
    case Busy:
        what = QCoreApplication::translate("PortReport", "busy (used by another program)");
        break;
    case CannotOpen:
        what = QCoreApplication::translate("PortReport", "cannot be opened (%1)").arg(detail);
        break;
    }
    if (gone)
        what += QCoreApplication::translate("PortReport", " (port gone)");
    return port + QStringLiteral(": ") + what;
}
