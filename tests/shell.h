#ifndef SHELL_H
#define SHELL_H

// The simulator with a window scanning its ports, shared by the tests that drive the whole
// program: the shell, the level sensor form, the misbehaving sensors.
#include "app/mainwindow.h"
#include "device/devicemanager.h"
#include "simprocess.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

#include <sys/resource.h>

const int ScanTimeout = 30000;

inline QString ptsName(const QString &path)
{
    return path.mid(QStringLiteral("/dev/").size());
}

inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Shell
{
    SimProcess sim;
    QScopedPointer<MainWindow> window;
    QStringList options{"--verbose", "--no-pacing"};  // the simulator's
    int scans = 0;  // finished, as the GUI thread sees them

    // Starts the simulator with the sensors, then the window; with wait, until its first scan ends.
    bool start(const QStringList &sensors, bool wait = true)
    {
        if (!sim.start(options + sensors))
            return false;
        qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
        window.reset(new MainWindow);
        QObject::connect(window->deviceManager(), &DeviceManager::ScanFinished, window.data(), [this] { ++scans; });
        window->show();
        return !wait || scanned();
    }
    bool scanned() { return QTest::qWaitFor([&] { return !window->isScanning(); }, ScanTimeout); }
    template <typename T>
    T *w(const char *name) const { return window->findChild<T *>(QString::fromLatin1(name)); }
    void click(const char *name) { QTest::mouseClick(w<QPushButton>(name), Qt::LeftButton); }
    int devices() const { return window->deviceManager()->devices().size(); }
    QStringList items() const
    {
        QStringList items;
        for (auto *combo = w<QComboBox>("deviceCombo"); items.size() < combo->count();)
            items.append(combo->itemText(items.size()));
        return items;
    }
    // The header: the sensor's name, its tool tip and the info label's tool tip.
    QString header() const
    {
        return w<QLabel>("sensorNameLabel")->text() + "|" + w<QLabel>("sensorNameLabel")->toolTip() + "|" + w<QLabel>("infoLabel")->toolTip();
    }
};

#endif
