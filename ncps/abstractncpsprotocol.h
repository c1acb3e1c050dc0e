#ifndef ABSTRACTNCPSPROTOCOL_H
#define ABSTRACTNCPSPROTOCOL_H

#include "ncps/ncpsmeasurement.h"
#include "ncps/ncpsparameter.h"

#include <QObject>

class AbstractInterfaceDriver;

class AbstractNCPSProtocol : public QObject
{
    Q_OBJECT
public:
    AbstractNCPSProtocol() : QObject(nullptr) {}
    ~AbstractNCPSProtocol() override = default;

    virtual AbstractInterfaceDriver *interfaceDriver() const = 0;
    // ok, when given, tells whether the sensor gave a usable reply; a record of zeros does not.
    virtual NCPSMeasurement ReadMeasurement(bool *ok = nullptr) = 0;
    virtual NCPSParameter ReadParameter(bool *ok = nullptr) = 0;
};

#endif
