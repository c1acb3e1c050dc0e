#ifndef TANKPROFILEHOST_H
#define TANKPROFILEHOST_H

#include <QStringList>

// What the tank profile editor needs from the level sensor form that shows it.
class TankProfileHost {
public:
    virtual ~TankProfileHost() = default;
    // The liquid level the form last showed, in whole percent (read at each ADD of the wizard).
    virtual int levelPercent() const = 0;
    // Writes the table to the sensor and switches tank profiling on; the host calls
    // TankProfileWidget::showTablePage() once the sensor has processed the write.
    virtual void setTankProfile(const QStringList &levels, const QStringList &outputs) = 0;
};

#endif
