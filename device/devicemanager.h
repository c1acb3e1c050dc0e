#ifndef DEVICEMANAGER_H
#define DEVICEMANAGER_H

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
    // mainWindow receives every driver's Error signal (its onInterfaceError slot).
    explicit DeviceManager(QObject *mainWindow);
    ~DeviceManager() override;

    // Whether the catalogue loaded; the window ends the program when it did not.
    bool catalogueLoaded() const { return m_catalogueLoaded; }

    QList<AbstractDevice *> &devices() { return m_devices; }
    void setActiveDevice(int index);
    AbstractDevice *activeDevice() const { return m_activeDevice; }
    void clearDevices();
    const DeviceCatalogue *catalogue() const { return m_catalogue; }

    // Where the ports come from; tests put scripted drivers here.
    std::function<QVector<AbstractInterfaceDriver *>()> interfaceSource;

public slots:
    void scanDevices();

signals:
    void ScanFinished();
    // Sent on the worker thread just before a scan deletes the old devices.
    void ScanStarted();

private:
    QList<AbstractDevice *> m_devices;
    QObject *m_mainWindow;
    AbstractDevice *m_activeDevice = nullptr;
    DeviceCatalogue *m_catalogue;
    bool m_catalogueLoaded = false;
};

#endif
