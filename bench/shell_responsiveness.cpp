// Measures how soon the window is painted after start and the longest stall of the GUI event
// loop while a scan of several ports runs on the worker thread.
//
//   bench_shell_responsiveness [--screenshot file.png] [--silent N] [--runs N]
//
// Starts pellora-sim with the default sensors plus N silent ports (default 3) and prints one
// line per run, then the worst figures.
#include "app/mainwindow.h"
#include "device/devicemanager.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <cstdio>

namespace {

class FirstPaint : public QObject
{
public:
    QElapsedTimer *clock = nullptr;
    qint64 paintedAt = -1;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && paintedAt < 0)
            paintedAt = clock->elapsed();
        return false;
    }
};

QStringList startSimulator(QProcess &sim, int silent)
{
    QStringList sensors;
    const QDir dir(PELLORA_SENSOR_DIR);
    for (const QString &f : dir.entryList({"*.json"}, QDir::Files, QDir::Name))
        sensors.append(dir.filePath(f));
    for (int i = 0; i < silent; ++i)
        sensors.append("silent");
    sim.start(PELLORA_SIM_PATH, sensors);
    sim.waitForStarted();
    while (sim.waitForReadyRead(10000)) {
        while (sim.canReadLine()) {
            const QByteArray line = sim.readLine().trimmed();
            if (line.startsWith("PELLORA_EXTRA_PORTS="))
                return QString::fromLocal8Bit(line.mid(20)).split(',');
        }
    }
    return {};
}

}

int main(int argc, char *argv[])
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion("1.2.5");
    const QStringList args = app.arguments();
    const int silentIndex = args.indexOf("--silent");
    const int silent = silentIndex > 0 ? args.value(silentIndex + 1).toInt() : 3;
    const int shotIndex = args.indexOf("--screenshot");
    const QString screenshot = shotIndex > 0 ? args.value(shotIndex + 1) : QString();

    QProcess sim;
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
    QObject::connect(window.deviceManager(), &DeviceManager::ScanFinished, &app, [&] {
        scanMs = windowClock.elapsed();
        QTimer::singleShot(200, &app, [&] {
            if (!screenshot.isEmpty())
                window.grab().save(screenshot);
            app.quit();
        });
    }, Qt::QueuedConnection);
    app.exec();

    std::printf("ports scanned:               %d (%d sensors, %d silent)\n", ports.size(), ports.size() - silent, silent);
    std::printf("simulator ready after:       %lld ms\n", simReady);
    std::printf("window first painted after:  %lld ms (from window construction)\n", firstPaint.paintedAt);
    std::printf("scan finished after:         %lld ms\n", scanMs);
    std::printf("longest GUI event-loop stall during the scan: %lld ms\n", longestStall);
    sim.terminate();
    sim.waitForFinished(3000);
    return 0;
}
