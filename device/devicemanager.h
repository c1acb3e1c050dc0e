#ifndef DEVICEMANAGER_H
#define DEVICEMANAGER_H

#include "device/portreport.h"

#include <QList>
#include <QMutex>
#include <QObject>
#include <QVector>
#include <functional>
#include <memory>
#include <vector>

class AbstractDevice;
class AbstractInterfaceDriver;
class DeviceCatalogue;
class QTimer;

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

    // Copies, safe to take from any thread: while watching, the lists grow on the manager's thread.
    // Watching only appends, so an index or a pointer stays good until the next scan.
    QList<AbstractDevice *> devices() const;
    void setActiveDevice(int index);
    AbstractDevice *activeDevice() const { return m_activeDevice; }
    void clearDevices();
    const DeviceCatalogue *catalogue() const { return m_catalogue; }
    // What became of each port in the last scan, in port order, then of each port that came since.
    // Read after ScanFinished or PortsChanged.
    QVector<PortReport> portReports() const;

    // Where the ports come from; tests put scripted drivers here. Set from any thread: the
    // watching lists ports on the manager's.
    void setInterfaceSource(const std::function<QVector<AbstractInterfaceDriver *>()> &source);
    std::function<QVector<AbstractInterfaceDriver *>()> interfaceSource() const;

public slots:
    void scanDevices();
    // Between scans, lists the ports every 400 ms without opening any: a port that appears is
    // probed as a scan would and appended, one that goes is marked gone. Call it queued, on the
    // manager's thread.
    void setWatching(bool on);

signals:
    void ScanFinished();
    // As the ports answer (all are probed at once): how many have, out of how many, and the last.
    void ScanProgress(int answered, int count, QString port);
    // While watching: a port's report (and its device, if any) was appended, or a port is gone.
    void PortsChanged();

private:
    struct PendingProbe;
    void listPorts();
    void collectProbes();
    void dropPendingProbes();

    mutable QMutex m_listsLock;  // guards m_devices and m_reports
    QList<AbstractDevice *> m_devices;
    QObject *m_mainWindow;
    AbstractDevice *m_activeDevice = nullptr;
    DeviceCatalogue *m_catalogue;
    QVector<PortReport> m_reports;
    QTimer *m_watchTimer;
    std::function<QVector<AbstractInterfaceDriver *>()> m_interfaceSource;
    // New ports being probed while watching, in the order they appeared.
    std::vector<std::unique_ptr<PendingProbe>> m_pending;
};

#endif
