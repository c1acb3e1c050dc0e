// The position sensor form inside the main window, against pellora-sim: showing a sensor,
// leaving it, replacing it, and the rescans (refresh, write time-out) that delete its device
// while it polls.
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

int countCommands(const QStringList &log, const QString &port, const QString &command)
{
    int n = 0;
    for (const QString &line : log)
        n += line == port + " <- " + command ? 1 : 0;
    return n;
}

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

    bool start()
    {
        if (!sim.start({"--verbose", "--no-pacing", SimProcess::sensorFile("07-slimfin.json"),
                        SimProcess::sensorFile("08-slimfindual.json")}))
            return false;
        qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
        window.reset(new MainWindow);
        window->show();
        return true;
    }
    QStackedWidget *pages() const { return window->findChild<QStackedWidget *>("stackedWidget"); }
    QPushButton *navigation() const { return window->findChild<QPushButton *>("navigationButton"); }
    int devices() const { return window->deviceManager()->devices().size(); }
};

// Shows the sensor at index and waits until its form polls.
bool showAndPoll(Session &s, int index, int minimumBubble)
{
    s.window->showDevice(index);
    NCPSForm *form = s.window->positionForm();
    if (!form)
        return false;
    const int before = s.sim.commandsSeen(s.sim.port(index));
    if (!QTest::qWaitFor([&] { return form->activatorWidget()->bubbleValue(ActivatorWidget::MinimumBubble) == minimumBubble; }, 5000))
        return false;
    // The loop needs the event loop turning: poll the log without blocking it.
    return QTest::qWaitFor([&] { return s.sim.commandsSeen(s.sim.port(index)) >= before + 10; }, 5000) && form->isPolling();
}

}

class TestNCPSMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("PELLORA_EXTRA_PORTS"); }
    void showLeaveAndReplace();
    void refreshRightAfterLeaving();
    void reselectRightAfterLeaving();
    void writeTimeOutWhilePolling();
};

void TestNCPSMainWindow::showLeaveAndReplace()
{
    Session s;
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(!s.window->isScanning(), ScanTimeout);
    QCOMPARE(s.devices(), 2);
    const QString port = s.sim.port(0);

    QVERIFY(showAndPoll(s, 0, -12135));
    NCPSForm *form = s.window->positionForm();
    QCOMPARE(s.pages()->currentIndex(), 1);
    QVERIFY(s.navigation()->isVisible());
    QVERIFY(!portIsFree(port));

    // Leaving: polling ends, at most the request under way reaches the sensor, then the port is free.
    s.sim.takeLog();
    QTest::mouseClick(s.navigation(), Qt::LeftButton);
    QVERIFY(!form->isPolling());
    QCOMPARE(s.pages()->currentIndex(), 0);
    QVERIFY(!s.navigation()->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(portIsFree(port), 3000);
    QTest::qWait(300);
    QVERIFY(countCommands(s.sim.takeLog(), port, "MLIST\\r") <= 1);
    QVERIFY(s.sim.takeLog().isEmpty());
    // The form stays until another position sensor is shown, and the list is not rescanned.
    QCOMPARE(s.window->positionForm(), form);
    QVERIFY(!s.window->isScanning());

    // The second sensor replaces the form; its falling output puts the lower limit on the right.
    QPointer<NCPSForm> old(form);
    QVERIFY(showAndPoll(s, 1, 13971));
    QVERIFY(old.isNull());
    QCOMPARE(s.window->positionForm()->activatorWidget()->bubbleValue(ActivatorWidget::MaximumBubble), -12607);
    QTest::mouseClick(s.navigation(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(portIsFree(s.sim.port(1)), 3000);
}

void TestNCPSMainWindow::refreshRightAfterLeaving()
{
    Session s;
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(!s.window->isScanning(), ScanTimeout);
    QVERIFY(showAndPoll(s, 0, -12135));

    // The last reply is still on its way when the scan deletes the devices: the form goes first.
    for (int round = 0; round < 2; ++round) {
        QTest::mouseClick(s.navigation(), Qt::LeftButton);
        s.window->startScan();
        QVERIFY(!s.window->positionForm());
        QTRY_VERIFY_WITH_TIMEOUT(!s.window->isScanning(), ScanTimeout);
        QCOMPARE(s.devices(), 2);
        QVERIFY(showAndPoll(s, round % 2, round % 2 ? 13971 : -12135));
    }
}

void TestNCPSMainWindow::reselectRightAfterLeaving()
{
    Session s;
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(!s.window->isScanning(), ScanTimeout);
    QVERIFY(showAndPoll(s, 0, -12135));

    // The old form's last reply arrives at the new form: it must neither close the new form's
    // port nor start a second request chain.
    MessageLog log;
    for (int round = 0; round < 3; ++round) {
        QTest::mouseClick(s.navigation(), Qt::LeftButton);
        QVERIFY(showAndPoll(s, 0, -12135));
    }
    s.sim.takeLog();
    QTest::qWait(1000);
    const int perSecond = countCommands(s.sim.takeLog(), s.sim.port(0), "MLIST\\r");
    QVERIFY(!portIsFree(s.sim.port(0)));
    QVERIFY2(!log.contains("Port closed!"), qPrintable(log.lines().join('\n')));
    // One chain: compare with a single form's rate after a fresh start.
    QTest::mouseClick(s.navigation(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(portIsFree(s.sim.port(0)), 3000);
    s.window->startScan();
    QTRY_VERIFY_WITH_TIMEOUT(!s.window->isScanning(), ScanTimeout);
    QVERIFY(showAndPoll(s, 0, -12135));
    s.sim.takeLog();
    QTest::qWait(1000);
    const int singleChain = countCommands(s.sim.takeLog(), s.sim.port(0), "MLIST\\r");
    QVERIFY2(perSecond < singleChain * 3 / 2, qPrintable(QString("%1 vs %2").arg(perSecond).arg(singleChain)));
}

void TestNCPSMainWindow::writeTimeOutWhilePolling()
{
    Session s;
    QVERIFY(s.start());
    QTRY_VERIFY_WITH_TIMEOUT(!s.window->isScanning(), ScanTimeout);
    QVERIFY(showAndPoll(s, 1, 13971));

    // As the driver reports it: back to the list, which is rebuilt, with the form and its device gone.
    s.window->onInterfaceError("writeRequestTimeout");
    QCOMPARE(s.pages()->currentIndex(), 0);
    QVERIFY(s.window->isScanning());
    QVERIFY(!s.window->positionForm());
    QTRY_VERIFY_WITH_TIMEOUT(!s.window->isScanning(), ScanTimeout);
    QCOMPARE(s.devices(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(portIsFree(s.sim.port(1)), 3000);

    // The new devices work: the same sensor polls again.
    QVERIFY(showAndPoll(s, 1, 13971));
}

QTEST_MAIN(TestNCPSMainWindow)
#include "tst_ncpsmainwindow.moc"
