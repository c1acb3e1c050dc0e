// The position sensor form inside the main window, against pellora-sim: showing a sensor,
// leaving it, replacing it, the rescans (refresh, write time-out) that delete its device while it
// polls, and showing it again right after leaving.
#include "app/mainwindow.h"
#include "device/devicemanager.h"
#include "ncps/activatorwidget.h"
#include "ncps/ncpsform.h"
#include "messagelog.h"
#include "simprocess.h"

#include <QPushButton>
#include <QSerialPort>
#include <QStackedWidget>
#include <QtTest>

namespace {

const int ScanTimeout = 30000;

// Whether the program holds the port: a second opener is turned away while it does.
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

QTEST_MAIN(TestNCPSMainWindow)
#include "tst_ncpsmainwindow.moc"
