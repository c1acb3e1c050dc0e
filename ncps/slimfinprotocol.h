#ifndef SLIMFINPROTOCOL_H
#define SLIMFINPROTOCOL_H

#include "ncps/abstractncpsprotocol.h"

// The list commands of position sensors. Owns its driver.
class SlimfinProtocol : public AbstractNCPSProtocol
{
    Q_OBJECT
public:
    explicit SlimfinProtocol(AbstractInterfaceDriver *driver);
    ~SlimfinProtocol() override;

    AbstractInterfaceDriver *interfaceDriver() const override { return driver; }
    NCPSMeasurement ReadMeasurement(bool *ok = nullptr) override;
    NCPSParameter ReadParameter(bool *ok = nullptr) override;

private:
    AbstractInterfaceDriver *driver;
};

#endif
