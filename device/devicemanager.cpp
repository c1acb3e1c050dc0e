#include "device/devicemanager.h"

#include "device/abstractdevice.h"
#include "device/abstractinterfacedriver.h"
#include "device/devicecatalogue.h"
#include "device/deviceidentification.h"
#include "device/serialportdriver.h"

#include <QDebug>
#include <QThread>
#include <cstdlib>

DeviceManager::DeviceManager(QObject *mainWindow)
    : QObject(nullptr)
    , m_mainWindow(mainWindow)
    , m_catalogue(new DeviceCatalogue)
{
    interfaceSource = &SerialPortDriver::availableInterfaces;
    if (!m_catalogue->load())
        std::exit(0);
}

DeviceManager::DeviceManager(QObject *mainWindow, DeviceCatalogue *catalogue)
    : QObject(nullptr)
    , m_mainWindow(mainWindow)
    , m_catalogue(catalogue)
{
    interfaceSource = &SerialPortDriver::availableInterfaces;
}

DeviceManager::~DeviceManager()
{
    clearDevices();
    delete m_catalogue;
}

void DeviceManager::setActiveDevice(int index)
{
    // The page only offers listed devices; a stale index must still never read outside the list.
    if (index < 0 || index >= m_devices.size()) {
        qDebug() << "DeviceManager::setActiveDevice: no device at index" << index;
        m_activeDevice = nullptr;
        return;
    }
    m_activeDevice = m_devices.at(index);
}

void DeviceManager::clearDevices()
{
    while (!m_devices.isEmpty()) {
        AbstractDevice *device = m_devices.takeLast();
        if (device == m_activeDevice)
            m_activeDevice = nullptr;
        delete device;
    }
}

void DeviceManager::scanDevices()
{
    clearDevices();
    m_reports.clear();
    const QVector<AbstractInterfaceDriver *> drivers = interfaceSource();
    for (int i = 0; i < drivers.size(); ++i) {
        AbstractInterfaceDriver *driver = drivers.at(i);
        // The window is closing: leave the remaining ports unprobed so the thread can end now.
        if (QThread::currentThread()->isInterruptionRequested()) {
            qDeleteAll(drivers.begin() + i, drivers.end());
            break;
        }
        emit ScanProgress(i + 1, drivers.size(), driver->name());
        PortReport report;
        report.port = driver->name();
        // A port that cannot be opened is probed all the same: its request fails at once.
        const bool opened = driver->open();
        if (m_mainWindow)
            driver->connectErrorHandler(m_mainWindow);
        QByteArray response;
        const bool answered = driver->sendRequest(QByteArrayLiteral("ID\r"), response);
        AbstractDevice *device = createDevice(driver, answered, response, *m_catalogue, &report);
        if (!opened) {
            report.outcome = driver->openFailure();
            report.detail = driver->openError();
        }
        m_reports.append(report);
        driver->close();
        if (device)
            m_devices.append(device);
        else
            delete driver;
    }
    emit ScanFinished();
}
