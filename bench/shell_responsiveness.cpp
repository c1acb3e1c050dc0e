// Measures how soon the window is painted after start, the longest stall of the GUI event loop
// while a scan runs on the worker thread, while a level sensor loads and while sensors are polled,
// and the program's CPU use while it polls a level sensor and a position sensor.
//
//   bench_shell_responsiveness [--screenshot file.png] [--silent N] [--poll-seconds N]
//
// Starts pellora-sim with the default sensors plus N silent ports (default 3) at 19200-baud
// pacing. The 1 ms ticker that finds the stalls costs CPU itself, so it is stopped while the CPU
// use is measured.
#include "app/mainwindow.h"
#include "device/abstractdevice.h"
#include "device/devicemanager.h"
#include "lls/device/llsdevice.h"
#include "lls/ui/llsform.h"
#include "ncps/ncpsdevice.h"
#include "ncps/ncpsform.h"
#include "simprocess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>
#include <cstdio>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// Milliseconds since this process started, from the kernel's start time (10 ms resolution): it
// includes loading the program and its libraries, which a clock started in main() would miss.
double msSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray fields = stat.readAll();
    const QList<QByteArray> afterName = fields.mid(fields.lastIndexOf(')') + 2).split(' ');
    const double startTicks = afterName.value(19).toDouble();  // field 22 of the whole line
    const double up = uptime.readAll().split(' ').value(0).toDouble();
    return (up - startTicks / sysconf(_SC_CLK_TCK)) * 1000.0;
}

// Peak resident memory of this process so far, in MB.
double peakMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}


class FirstPaint : public QObject
{
public:
    QElapsedTimer *clock = nullptr;
    qint64 paintedAt = -1;
    double sinceProcessStart = -1;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && paintedAt < 0) {
            paintedAt = clock->elapsed();
            sinceProcessStart = msSinceProcessStart();
        }
        return false;
    }
};

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The index of the first listed device of one of the types.
int deviceOfType(MainWindow &window, const QStringList &types)
{
    const QList<AbstractDevice *> &devices = window.deviceManager()->devices();
    for (int i = 0; i < devices.size(); ++i)
        if (types.contains(devices.at(i)->deviceType()))
            return i;
    return -1;
}

// Lets the event loop run for ms while the ticker records stalls.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The CPU share of one core the program used over ms, the ticker stopped.
double cpuShare(QTimer &ticker, int ms)
{
    ticker.stop();
    QElapsedTimer wall;
    wall.start();
    const double before = cpuSeconds();
    runFor(ms);
    const double share = (cpuSeconds() - before) / (wall.elapsed() / 1000.0);
    ticker.start(1);
    return share;
}

QStringList startSimulator(SimProcess &sim, int silent)
{
    QStringList sensors;
    const QDir dir(PELLORA_SENSOR_DIR);
    for (const QString &f : dir.entryList({"*.json"}, QDir::Files, QDir::Name))
        sensors.append(dir.filePath(f));
    for (int i = 0; i < silent; ++i)
        sensors.append("silent");
    return sim.start(sensors) ? sim.ports() : QStringList();
}

}

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
#endif
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion("1.2.5");
    const QStringList args = app.arguments();
    const int silentIndex = args.indexOf("--silent");
    const int silent = silentIndex > 0 ? args.value(silentIndex + 1).toInt() : 3;
    const int shotIndex = args.indexOf("--screenshot");
    const QString screenshot = shotIndex > 0 ? args.value(shotIndex + 1) : QString();

    SimProcess sim;
    const QStringList ports = startSimulator(sim, silent);
    if (ports.isEmpty()) {
        std::fprintf(stderr, "pellora-sim did not start\n");
        return 1;
    }
    qputenv("PELLORA_EXTRA_PORTS", ports.join(',').toLocal8Bit());
    const qint64 simReady = sinceStart.elapsed();

    FirstPaint firstPaint;
    QElapsedTimer windowClock;
    firstPaint.clock = &windowClock;
    app.installEventFilter(&firstPaint);
    windowClock.start();
    MainWindow window;
    window.show();

    // A 1 ms ticker: the longest gap between ticks is the longest the event loop stood still.
    QElapsedTimer tickClock;
    qint64 lastTick = 0, longestStall = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = tickClock.elapsed();
        longestStall = qMax(longestStall, now - lastTick);
        lastTick = now;
    });
    tickClock.start();
    ticker.start(1);

    qint64 scanMs = 0;
    bool scanned = false;
    QObject::connect(window.deviceManager(), &DeviceManager::ScanFinished, &app, [&] {
        scanMs = windowClock.elapsed();
        scanned = true;
    }, Qt::QueuedConnection);
    while (!scanned)
        runFor(50);
    runFor(200);
    const qint64 scanStall = longestStall;
    if (!screenshot.isEmpty())
        window.grab().save(screenshot);

    std::printf("ports scanned:               %d (%d sensors, %d silent)\n", int(ports.size()), int(ports.size()) - silent, silent);
    std::printf("simulator ready after:       %lld ms\n", simReady);
    std::printf("window first painted after:  %lld ms (from window construction)\n", firstPaint.paintedAt);
    std::printf("window first painted after:  %.0f ms (from process start, catalogue check included)\n", firstPaint.sinceProcessStart);
    std::printf("scan finished after:         %lld ms\n", scanMs);
    std::printf("longest GUI event-loop stall during the scan: %lld ms\n", scanStall);

    // The level sensor with the longest load: the one with a tank profile table.
    const int pollSecondsIndex = args.indexOf("--poll-seconds");
    const int pollMs = 1000 * (pollSecondsIndex > 0 ? args.value(pollSecondsIndex + 1).toInt() : 10);
    // Polls the shown sensor: the longest stall, the CPU share, the measurement period and the peak memory.
    auto reportPolling = [&](const char *family, const auto *device, auto measured) {
        longestStall = 0;
        int measurements = 0;
        QObject::connect(device, measured, &app, [&] { ++measurements; });
        runFor(pollMs / 2);
        std::printf("%s sensor polling: longest stall %lld ms; CPU %.1f %% of one core\n", family, longestStall,
                    100 * cpuShare(ticker, pollMs));
        std::printf("%s sensor measurement period: %.0f ms; peak resident memory %.1f MB\n", family,
                    1.5 * pollMs / qMax(1, measurements), peakMegabytes());
    };
    const int level = deviceOfType(window, {"Murkwell"});
    // Opening a page at the user's click: binding the page built ahead (or building one), then the
    // first polish, layout and paint of the page just shown. The load that follows runs on the
    // worker thread while the window goes on. A user takes a moment to pick a sensor from the list.
    qint64 aheadStall = 0;
    auto open = [&](int index, qint64 *built) {
        longestStall = 0;
        lastTick = tickClock.elapsed();
        ticker.start(1);
        runFor(1000);
        aheadStall = qMax(aheadStall, longestStall);
        QElapsedTimer clock;
        clock.start();
        window.showDevice(index);
        *built = clock.elapsed();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return clock.elapsed();
    };
    if (level >= 0) {
        qint64 built = 0;
        const qint64 opening = open(level, &built);
        QElapsedTimer loadClock;
        loadClock.start();
        longestStall = 0;
        auto *page = window.levelForm()->findChild<QStackedWidget *>("stackedWidget");
        while (page->currentIndex() != 1 && loadClock.elapsed() < 60000)
            runFor(20);
        runFor(100);
        std::printf("level sensor form opened in: %lld ms (%lld ms before the first layout and paint)\n", opening, built);
        std::printf("level sensor loaded after:   %lld ms; longest stall during the load: %lld ms\n", loadClock.elapsed(), longestStall);
        reportPolling("level", window.levelForm()->device(), &LLSDevice::dataUpdate);
        // Back to the list and the same sensor again.
        window.findChild<QPushButton *>("navigationButton")->click();
        qint64 builtAgain = 0;
        const qint64 again = open(level, &builtAgain);
        std::printf("level sensor form opened again in: %lld ms (%lld ms before the first layout and paint)\n", again, builtAgain);
        std::printf("longest stall at the list, while the next page is built ahead: %lld ms\n", aheadStall);
        runFor(3000);
    }
    const int position = deviceOfType(window, {"Slimfin", "SlimfinDual"});
    if (position >= 0) {
        window.showDevice(position);
        runFor(1000);
        reportPolling("position", window.positionForm()->device(), &NCPSDevice::MeasurementUpdate);
    }
    return 0;
}
