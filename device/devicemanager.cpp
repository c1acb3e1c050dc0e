#include "device/devicemanager.h"

#include "device/abstractdevice.h"
#include "device/abstractinterfacedriver.h"
#include "device/devicecatalogue.h"
#include "device/deviceidentification.h"
#include "device/logcategories.h"
#include "device/serialportdriver.h"

#include <QDebug>
#include <QThread>

#include <cstdlib>
#include <memory>
#include <vector>

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
        qCDebug(lcDevice) << "DeviceManager::setActiveDevice: no device at index" << index;
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

namespace {

// What one port's probe leaves for the scan to collect, in port order.
struct Probe
{
    AbstractInterfaceDriver *driver = nullptr;
    AbstractDevice *device = nullptr;
    PortReport report;
};

// On the probe's own thread: ask the port who it is, then hand the driver (or the device made
// of it) back to the scanning thread.
void probePort(Probe *probe, const DeviceCatalogue *catalogue, QObject *mainWindow, QThread *home)
{
    AbstractInterfaceDriver *driver = probe->driver;
    probe->report.port = driver->name();
    // A port that cannot be opened is probed all the same: its request fails at once.
    const bool opened = driver->open();
    if (mainWindow)
        driver->connectErrorHandler(mainWindow);
    QByteArray response;
    const bool answered = driver->sendRequest(QByteArrayLiteral("ID\r"), response);
    probe->device = createDevice(driver, answered, response, *catalogue, &probe->report);
    if (!opened) {
        probe->report.outcome = driver->openFailure();
        probe->report.detail = driver->openError();
    }
    driver->close();
    if (probe->device)
        probe->device->moveToThreadWithParts(home);
    else
        driver->moveToThreadWithPort(home);
}

}

// Every port is probed at once, each on a thread of its own: a silent port costs its three
// waits, and thirty of them cost no more than one. The list and the reports stay in port order.
void DeviceManager::scanDevices()
{
    clearDevices();
    m_reports.clear();
    const QVector<AbstractInterfaceDriver *> drivers = interfaceSource();
    const int count = drivers.size();
    QThread *home = QThread::currentThread();
    QVector<Probe> probes(count);
    std::vector<std::unique_ptr<QThread>> threads;
    emit ScanProgress(0, count, QString());
    for (int i = 0; i < count; ++i) {
        probes[i].driver = drivers.at(i);
        threads.emplace_back(QThread::create(probePort, &probes[i], m_catalogue, m_mainWindow, home));
        drivers.at(i)->moveToThreadWithPort(threads.back().get());
        threads.back()->start();
    }
    int answered = 0;
    while (answered < count) {
        // The window is closing: every probe ends after the attempt under way.
        if (home->isInterruptionRequested())
            for (const auto &thread : threads)
                thread->requestInterruption();
        int finished = 0;
        QString last;
        for (int i = 0; i < count; ++i) {
            if (threads[i]->isFinished()) {
                ++finished;
                last = probes[i].report.port;
            }
        }
        if (finished != answered) {
            answered = finished;
            emit ScanProgress(answered, count, last);
        }
        for (const auto &thread : threads)
            if (!thread->isFinished()) {
                thread->wait(20);
                break;
            }
    }
    for (Probe &probe : probes) {
        m_reports.append(probe.report);
        if (probe.device)
            m_devices.append(probe.device);
        else
            delete probe.driver;
    }
    emit ScanFinished();
}
