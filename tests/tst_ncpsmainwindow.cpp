// The position sensor form inside the main window, against pellora-sim: showing a sensor,
// leaving it, replacing it, the rescans (refresh, write time-out) that delete its device while it
// polls, and showing it again right after leaving.
#include "app/mainwindow.h"
#include "app/select.h"
#include "device/devicemanager.h"
#include "ncps/ncpsdevice.h"
#include "ncps/activatorwidget.h"
#include "ncps/ncpsform.h"
#include "messagelog.h"
#include "simprocess.h"

#include <QPushButton>
#include <QSerialPort>
#include <QStackedWidget>
#include <QtTest>

#include <sys/resource.h>

namespace {

const int ScanTimeout = 30000;

// Whether the program holds the port: a second opener is turned away while it does.
double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool portIsFree(const QString &path)
{
    QSerialPort probe(path);
    const bool opened = probe.open(QIODevice::ReadWrite);
    probe.close();
    return opened;
}

struct Session
{
    SimProcess sim;
    QScopedPointer<MainWindow> window;

    // Starts the simulator with both position sensors and the window, and waits for the list.
    bool start()
    {
        if (!sim.start({"--verbose", "--no-pacing", SimProcess::sensorFile("07-slimfin.json"),
                        SimProcess::sensorFile("08-slimfindual.json")}))
            return false;
        qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
        window.reset(new MainWindow);
        window->show();
        return scanned();
    }
    bool scanned() { return QTest::qWaitFor([&] { return !window->isScanning(); }, ScanTimeout) && devices() == 2; }
    QStackedWidget *pages() const { return window->findChild<QStackedWidget *>("stackedWidget"); }
    void leave() { QTest::mouseClick(window->findChild<QPushButton *>("navigationButton"), Qt::LeftButton); }
    int devices() const { return window->deviceManager()->devices().size(); }

    // Shows the sensor at index and waits until its form polls (the second sensor's falling output
    // puts its lower limit on the right).
    bool showAndPoll(int index)
    {
        window->showDevice(index);
        NCPSForm *form = window->positionForm();
        if (!form)
            return false;
        const int before = sim.commandsSeen(sim.port(index));
        const int lower = index == 0 ? -12135 : 13971;
        if (!QTest::qWaitFor([&] { return form->activatorWidget()->bubbleValue(ActivatorWidget::MinimumBubble) == lower; }, 5000))
            return false;
        // The loop needs the event loop turning: poll the log without blocking it.
        return QTest::qWaitFor([&] { return sim.commandsSeen(sim.port(index)) >= before + 10; }, 5000) && form->isPolling();
    }
    // Requests (while polling, all MLIST) the sensor at index sees in a second.
    int pollsPerSecond(int index)
    {
        sim.takeLog();
        QTest::qWait(1000);
        return sim.commandsSeen(sim.port(index));
    }
};

}

class TestNCPSMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("PELLORA_EXTRA_PORTS"); }
    void leaveReplaceAndRescan();
    void reselectRightAfterLeaving();
    void deadPortBackToTheList_data();
    void deadPortBackToTheList();
};

void TestNCPSMainWindow::leaveReplaceAndRescan()
{
    Session s;
    QVERIFY(s.start());
    const QString port = s.sim.port(0);
    QVERIFY(s.showAndPoll(0));
    NCPSForm *form = s.window->positionForm();
    QCOMPARE(s.pages()->currentIndex(), 1);
    QVERIFY(!portIsFree(port));

    // Leaving: polling ends, at most the request under way reaches the sensor, then the port is free.
    s.sim.takeLog();
    s.leave();
    QVERIFY(!form->isPolling());
    QCOMPARE(s.pages()->currentIndex(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(portIsFree(port), 3000);
    QTest::qWait(300);
    QVERIFY(s.sim.commandsSeen(port) <= 1);
    // The form stays until another position sensor is shown, and the list is not rescanned.
    QCOMPARE(s.window->positionForm(), form);
    QVERIFY(!s.window->isScanning());

    // The second sensor replaces the form.
    QPointer<NCPSForm> old(form);
    QVERIFY(s.showAndPoll(1));
    QVERIFY(old.isNull());
    QCOMPARE(s.window->positionForm()->activatorWidget()->bubbleValue(ActivatorWidget::MaximumBubble), -12607);

    // Both rescans delete the devices while a reply may be on its way: the form must go first, and
    // the new devices must work (under AddressSanitizer this also catches a use of the old device).
    // A refresh right after leaving, with the last reply under way:
    s.leave();
    s.window->startScan();
    QVERIFY(!s.window->positionForm());
    QVERIFY(s.scanned());
    QVERIFY(s.showAndPoll(1));
    // A write time-out while polling, as the driver reports it: back to the list, which is rebuilt.
    s.window->onInterfaceError("writeRequestTimeout");
    QCOMPARE(s.pages()->currentIndex(), 0);
    QVERIFY(s.window->isScanning());
    QVERIFY(!s.window->positionForm());
    QVERIFY(s.scanned());
    QTRY_VERIFY_WITH_TIMEOUT(portIsFree(s.sim.port(1)), 3000);
    QVERIFY(s.showAndPoll(1));
}

void TestNCPSMainWindow::reselectRightAfterLeaving()
{
    Session s;
    QVERIFY(s.start());
    QVERIFY(s.showAndPoll(0));

    // The old form's last reply arrives at the new form: it must neither close the new form's
    // port nor start a second request chain.
    MessageLog log;
    for (int round = 0; round < 3; ++round) {
        s.leave();
        QVERIFY(s.showAndPoll(0));
    }
    const int perSecond = s.pollsPerSecond(0);
    QVERIFY(!portIsFree(s.sim.port(0)));
    QVERIFY2(!log.contains("Port closed!"), qPrintable(log.lines().join('\n')));
    // One chain: compare with a single form's rate after a fresh start.
    s.leave();
    QTRY_VERIFY_WITH_TIMEOUT(portIsFree(s.sim.port(0)), 3000);
    s.window->startScan();
    QVERIFY(s.scanned());
    QVERIFY(s.showAndPoll(0));
    const int singleChain = s.pollsPerSecond(0);
    QVERIFY2(perSecond < singleChain * 3 / 2, qPrintable(QString("%1 vs %2").arg(perSecond).arg(singleChain)));
}

void TestNCPSMainWindow::deadPortBackToTheList_data()
{
    QTest::addColumn<QString>("fault");  // while polling the sensor stops answering or hangs up; or its port is held elsewhere
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("listed");     // sensors the rescan finds (a freed terminal may be anyone's by then)
    QTest::newRow("port held elsewhere") << "held" << "Cannot open %1: " << 1;
    QTest::newRow("sensor silent while polling") << "silent" << "The sensor on %1 did not answer. " << 0;
    QTest::newRow("sensor gone while polling") << "gone" << "The sensor on %1 did not answer. " << -1;
}

// The form gives up on the sensor: the window goes back to the list, says why, and scans again. No
// reading comes from a failed exchange, and a dead port neither spins nor floods the log.
void TestNCPSMainWindow::deadPortBackToTheList()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    const bool held = fault == "held";
    Session s;
    QVERIFY(s.start());
    const QString port = s.sim.port(0);
    QSerialPort holder(port);
    auto *device = qobject_cast<NCPSDevice *>(s.window->deviceManager()->devices().value(0));
    QVERIFY(device);
    QObject watcher;
    bool failed = held;
    int readingsAfterFailure = 0;
    int scans = 0;
    connect(device, &AbstractDevice::CommunicationFailed, &watcher, [&] { failed = true; });
    connect(device, &NCPSDevice::MeasurementUpdate, &watcher, [&] { readingsAfterFailure += failed; });
    connect(device, &NCPSDevice::ParameterUpdate, &watcher, [&] { readingsAfterFailure += failed; });
    connect(s.window->deviceManager(), &DeviceManager::ScanFinished, &watcher, [&] { ++scans; });
    if (held)
        QVERIFY(holder.open(QIODevice::ReadWrite));
    else
        QVERIFY(s.showAndPoll(0));
    QStringList shown;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, [&] {
        if (NCPSForm *form = s.window->positionForm())
            shown << form->activatorWidget()->noActivatorText();
    });
    sampler.start(20);

    MessageLog log;
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    if (held)
        s.window->showDevice(0);
    else if (fault == "silent")
        s.sim.pause();
    else
        s.sim.stop();
    QTRY_VERIFY_WITH_TIMEOUT(s.pages()->currentIndex() == 0 && scans == 1, 25000);
    const QString notice = s.window->selectPage()->notice();
    if (fault == "gone")
        QEXPECT_FAIL("", "A hung-up port fails its writes: the write time-out rescan discards the form first", Continue);
    QVERIFY2(notice.startsWith(message.arg(port.mid(5))) && notice.endsWith(" Check its cable and power, then select it again."),
             qPrintable(notice));
    QTRY_VERIFY_WITH_TIMEOUT(!s.window->isScanning(), ScanTimeout);
    QFETCH(int, listed);
    QVERIFY(listed < 0 || s.devices() == listed);
    QTest::qWait(2000);
    const double cpu = (cpuSeconds() - cpuBefore) / (clock.elapsed() / 1000.0);
    const double linesPerSecond = log.lines().size() / (clock.elapsed() / 1000.0);
    QVERIFY2(cpu < 0.25 && linesPerSecond < 20, qPrintable(QString("%1 of a core, %2 lines/s").arg(cpu).arg(linesPerSecond)));
    QCOMPARE(readingsAfterFailure, 0);
    if (fault == "silent")
        QVERIFY2(shown.contains(" No Answer From Sensor \n" + port.mid(5)), qPrintable(shown.join('|')));
}

QTEST_MAIN(TestNCPSMainWindow)
#include "tst_ncpsmainwindow.moc"
