#ifndef DEVICEMANAGER_H
#define DEVICEMANAGER_H

#include "device/portreport.h"

#include <QList>
#include <QObject>
#include <QVector>
#include <functional>

class AbstractDevice;
class AbstractInterfaceDriver;
class DeviceCatalogue;

// Finds the sensors on all serial ports. Lives on the worker thread once the window has moved it.
class DeviceManager : public QObject
{
    Q_OBJECT
public:
    // mainWindow receives every driver's Error signal (its onInterfaceError slot). Loads the
    // catalogue; without a valid one the process ends here with exit code 0, after its message box.
    explicit DeviceManager(QObject *mainWindow);
    // With a catalogue already loaded (owned from now on): the command line reports its own failures.
    DeviceManager(QObject *mainWindow, DeviceCatalogue *catalogue);
    ~DeviceManager() override;

    QList<AbstractDevice *> &devices() { return m_devices; }
    void setActiveDevice(int index);
    AbstractDevice *activeDevice() const { return m_activeDevice; }
    void clearDevices();
    const DeviceCatalogue *catalogue() const { return m_catalogue; }
    // What became of each port in the last scan, in port order. Read after ScanFinished.
    const QVector<PortReport> &portReports() const { return m_reports; }

    // Where the ports come from; tests put scripted drivers here.
    std::function<QVector<AbstractInterfaceDriver *>()> interfaceSource;

public slots:
    void scanDevices();

signals:
    void ScanFinished();
    // As the ports answer (all are probed at once): how many have, out of how many, and the last.
    void ScanProgress(int answered, int count, QString port);

private:
    QList<AbstractDevice *> m_devices;
    QObject *m_mainWindow;
    AbstractDevice *m_activeDevice = nullptr;
    DeviceCatalogue *m_catalogue;
    QVector<PortReport> m_reports;
};

#endif
