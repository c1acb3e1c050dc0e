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
    const QVector<AbstractInterfaceDriver *> drivers = interfaceSource();
    for (int i = 0; i < drivers.size(); ++i) {
        AbstractInterfaceDriver *driver = drivers.at(i);
        // The window is closing: leave the remaining ports unprobed so the thread can end now.
        if (QThread::currentThread()->isInterruptionRequested()) {
            qDeleteAll(drivers.begin() + i, drivers.end());
            break;
        }
        driver->open();
        driver->connectErrorHandler(m_mainWindow);
        QByteArray response;
        const bool answered = driver->sendRequest(QByteArrayLiteral("ID\r"), response);
        AbstractDevice *device = createDevice(driver, answered, response, *m_catalogue);
        driver->close();
        if (device)
            m_devices.append(device);
        else
            delete driver;
    }
    emit ScanFinished();
}
