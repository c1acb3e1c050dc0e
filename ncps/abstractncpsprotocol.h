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
    virtual NCPSMeasurement ReadMeasurement() = 0;
    virtual NCPSParameter ReadParameter() = 0;
};

#endif
