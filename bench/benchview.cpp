// The bench in the window: a settings file and an FPC file applied to one simulated sensor, then
// to eight at once (19200-baud pacing), with the time each run takes from the click to its
// summary and the longest the GUI event loop stood still meanwhile.
//
//   bench_benchview
#include "app/benchview.h"
#include "app/mainwindow.h"
#include "device/devicemanager.h"
#include "device/serialportdriver.h"
#include "simprocess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

struct Run
{
    qint64 ms = -1;
    qint64 stall = 0;
    QString summary;
};

// Lets the event loop run until done() or the time is up.
void waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// The window on the simulator's sensors: a button clicked on the bench view, then the run to its end.
Run runOnBench(const QStringList &sensors, const std::function<void(BenchView *)> &click)
{
    SimProcess sim;
    if (!sim.start(sensors))
        return {};
    qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
    SerialPortDriver::setPortList({});
    MainWindow window;
    window.show();
    waitFor([&] { return !window.isScanning(); }, 30000);
    window.showBench();
    BenchView *view = window.benchView();
    // A question (several sensors) is answered Yes.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    answer.start(5);
    Run run;
    QElapsedTimer clock;
    QElapsedTimer tick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        run.stall = qMax(run.stall, tick.restart());
    });
    clock.start();
    tick.start();
    ticker.start(1);
    click(view);
    waitFor([&] { return view->isRunning(); }, 5000);
    waitFor([&] { return !view->isRunning(); }, 120000);
    run.ms = clock.elapsed();
    run.summary = view->summary();
    return run;
}

}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString sensor = SimProcess::sensorFile("02-ils-voltage.json");
    QTemporaryDir dir;
    // The files: a backup of the sensor through the bench view itself.
    runOnBench({sensor}, [&](BenchView *view) {
        view->fileDialog = [&](BenchView::Dialog, const QString &) { return dir.path(); };
        view->findChild<QPushButton *>("backupButton")->click();
    });
    const QStringList files = QDir(dir.path()).entryList({"*.conf", "*.fpc"}, QDir::Files, QDir::Name);
    if (files.size() != 2) {
        std::fprintf(stderr, "the backup did not give two files\n");
        return 1;
    }
    for (const QString &file : files) {
        Run runs[2];
        for (int n : {1, 8}) {
            QStringList sensors;
            for (int i = 0; i < n; ++i)
                sensors << sensor;
            runs[n == 8] = runOnBench(sensors, [&](BenchView *view) {
                view->fileDialog = [&](BenchView::Dialog, const QString &) { return dir.filePath(file); };
                view->findChild<QPushButton *>("applyButton")->click();
            });
        }
        const char *kind = file.endsWith(".conf") ? "settings file" : "FPC file";
        std::printf("bench view, apply %s: 1 sensor %lld ms, 8 sensors %lld ms, ratio %.2f; longest GUI stall %lld ms / %lld ms\n", kind,
                    runs[0].ms, runs[1].ms, double(runs[1].ms) / qMax<qint64>(1, runs[0].ms), runs[0].stall, runs[1].stall);
        std::printf("  %s\n", qPrintable(runs[1].summary));
    }
    return 0;
}
