#include "device/devicemanager.h"

#include "device/abstractdevice.h"
#include "device/abstractinterfacedriver.h"
#include "device/devicecatalogue.h"
#include "device/deviceidentification.h"
#include "device/logcategories.h"
#include "device/serialportdriver.h"

#include <QDebug>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {
// Listing the ports is cheap (nothing is opened). A port that appears waits for the next listing,
// then a silent one costs its 1.5 s of attempts: within two seconds it is listed all the same.
constexpr int WatchIntervalMs = 400;
}

DeviceManager::DeviceManager(QObject *mainWindow)
    : DeviceManager(mainWindow, new DeviceCatalogue)
{
    if (!m_catalogue->load())
        std::exit(0);
}

DeviceManager::DeviceManager(QObject *mainWindow, DeviceCatalogue *catalogue)
    : QObject(nullptr)
    , m_mainWindow(mainWindow)
    , m_catalogue(catalogue)
    , m_watchTimer(new QTimer(this))  // a child: it moves to the worker thread with the manager
{
    m_interfaceSource = &SerialPortDriver::availableInterfaces;
    m_watchTimer->setInterval(WatchIntervalMs);
    connect(m_watchTimer, &QTimer::timeout, this, &DeviceManager::listPorts);
}

DeviceManager::~DeviceManager()
{
    // The probes still running use the catalogue and hand their devices to this thread.
    dropPendingProbes();
    clearDevices();
    delete m_catalogue;
}

QList<AbstractDevice *> DeviceManager::devices() const
{
    QMutexLocker locker(&m_listsLock);
    return m_devices;
}

QVector<PortReport> DeviceManager::portReports() const
{
    QMutexLocker locker(&m_listsLock);
    return m_reports;
}

void DeviceManager::setActiveDevice(int index)
{
    QMutexLocker locker(&m_listsLock);
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
    QMutexLocker locker(&m_listsLock);
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

// Starts one port's probe on a thread of its own, which the driver moves to.
std::unique_ptr<QThread> startProbe(Probe *probe, AbstractInterfaceDriver *driver, const DeviceCatalogue *catalogue, QObject *mainWindow)
{
    probe->driver = driver;
    std::unique_ptr<QThread> thread(QThread::create(probePort, probe, catalogue, mainWindow, QThread::currentThread()));
    driver->moveToThreadWithPort(thread.get());
    thread->start();
    return thread;
}

// A finished probe's report goes to the list, and its device, or else its driver is deleted.
void keep(Probe &probe, QVector<PortReport> &reports, QList<AbstractDevice *> &devices)
{
    reports.append(probe.report);
    if (probe.device)
        devices.append(probe.device);
    else
        delete probe.driver;
}

}

struct DeviceManager::PendingProbe
{
    QString port;  // the probe's report names it only once the probe is under way
    Probe probe;
    std::unique_ptr<QThread> thread;
};

// Every port is probed at once, each on a thread of its own: a silent port costs its three
// waits, and thirty of them cost no more than one. The list and the reports stay in port order.
void DeviceManager::scanDevices()
{
    // A port the watch is probing is probed again below, from the start.
    dropPendingProbes();
    clearDevices();
    {
        QMutexLocker locker(&m_listsLock);
        m_reports.clear();
    }
    const QVector<AbstractInterfaceDriver *> drivers = interfaceSource()();
    const int count = drivers.size();
    QThread *home = QThread::currentThread();
    QVector<Probe> probes(count);
    std::vector<std::unique_ptr<QThread>> threads;
    emit ScanProgress(0, count, QString());
    for (int i = 0; i < count; ++i)
        threads.push_back(startProbe(&probes[i], drivers.at(i), m_catalogue, m_mainWindow));
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
    {
        QMutexLocker locker(&m_listsLock);
        for (Probe &probe : probes)
            keep(probe, m_reports, m_devices);
    }
    emit ScanFinished();
}

void DeviceManager::setWatching(bool on)
{
    if (on)
        m_watchTimer->start();
    else
        m_watchTimer->stop();
}

// A port is known by its name while it has a report not marked gone, or is being probed. Only the
// ports that appeared are probed: a listed sensor, perhaps open in a form, hears nothing.
void DeviceManager::setInterfaceSource(const std::function<QVector<AbstractInterfaceDriver *>()> &source)
{
    QMutexLocker locker(&m_listsLock);
    m_interfaceSource = source;
}

std::function<QVector<AbstractInterfaceDriver *>()> DeviceManager::interfaceSource() const
{
    QMutexLocker locker(&m_listsLock);
    return m_interfaceSource;
}

void DeviceManager::listPorts()
{
    const QVector<AbstractInterfaceDriver *> drivers = interfaceSource()();
    QSet<QString> listed;
    QSet<QString> known;
    for (const auto &pending : m_pending)
        known.insert(pending->port);
    bool gone = false;
    {
        QMutexLocker locker(&m_listsLock);
        for (const AbstractInterfaceDriver *driver : drivers)
            listed.insert(driver->name());
        for (PortReport &report : m_reports) {
            if (report.gone)
                continue;
            if (listed.contains(report.port)) {
                known.insert(report.port);
            } else {
                report.gone = true;
                gone = true;
            }
        }
    }
    for (AbstractInterfaceDriver *driver : drivers) {
        if (known.contains(driver->name())) {
            delete driver;
            continue;
        }
        m_pending.push_back(std::make_unique<PendingProbe>());
        PendingProbe &pending = *m_pending.back();
        pending.port = driver->name();
        known.insert(pending.port);
        pending.thread = startProbe(&pending.probe, driver, m_catalogue, m_mainWindow);
        connect(pending.thread.get(), &QThread::finished, this, &DeviceManager::collectProbes);
    }
    if (gone)
        emit PortsChanged();
}

// Each probe is appended as it ends: a sensor that answers is not held up by a silent port.
void DeviceManager::collectProbes()
{
    bool appended = false;
    for (auto it = m_pending.begin(); it != m_pending.end();) {
        if (!(*it)->thread->isFinished()) {
            ++it;
            continue;
        }
        (*it)->thread->wait();
        {
            QMutexLocker locker(&m_listsLock);
            keep((*it)->probe, m_reports, m_devices);
        }
        it = m_pending.erase(it);
        appended = true;
    }
    if (appended)
        emit PortsChanged();
}

// Each probe ends after the attempt under way; what it found is discarded.
void DeviceManager::dropPendingProbes()
{
    for (const auto &pending : m_pending)
        pending->thread->requestInterruption();
    for (const auto &pending : m_pending) {
        pending->thread->wait();
        if (pending->probe.device)
            delete pending->probe.device;
        else
            delete pending->probe.driver;
    }
    m_pending.clear();
}
