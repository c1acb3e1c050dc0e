// Closing the window at the wrong moment: while a sensor's page loads, just after a SET during an
// output test, a Cancel, or leaving the page, and with the sensor unplugged during a test. Each
// time the simulator must hold the sensor locked, measuring and without a test output, and the
// window must be gone within a bound.
#include "device/serialportdriver.h"
#include "lls/ui/llsform.h"
#include "shell.h"

#include <QSlider>
#include <QStackedWidget>
#include <QToolBox>

namespace {
enum { Voltage, Resistive };  // the simulator's sensors, in port order
}

class TestClosing : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void closeAtAnyMoment_data();
    void closeAtAnyMoment();

private:
    SimProcess sim;
};

// One simulator for every row (the unplugged sensor comes last), and only its ports are searched.
void TestClosing::initTestCase()
{
    QVERIFY(sim.start({"--no-pacing", SimProcess::sensorFile("02-ils-voltage.json"), SimProcess::sensorFile("04-murkwell-resistive.json")}));
    qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
    SerialPortDriver::setPortList({});
}

void TestClosing::closeAtAnyMoment_data()
{
    QTest::addColumn<QString>("moment");
    QTest::addColumn<int>("sensor");
    for (int ms : {0, 50, 150, 400})
        QTest::addRow("%d ms into the load", ms) << QString("load %1").arg(ms) << int(Voltage);
    QTest::newRow("SET during a test") << "set" << int(Voltage);
    QTest::newRow("SET during a midpoint test") << "set" << int(Resistive);
    QTest::newRow("Cancel of a test") << "cancel" << int(Resistive);
    QTest::newRow("leaving during a test") << "leave" << int(Voltage);
    QTest::newRow("unplugged during a test") << "unplug" << int(Voltage);
}

void TestClosing::closeAtAnyMoment()
{
    QFETCH(QString, moment);
    QFETCH(int, sensor);
    QScopedPointer<MainWindow> window(new MainWindow);
    window->show();
    QVERIFY(QTest::qWaitFor([&] { return !window->isScanning(); }, ScanTimeout));
    QCOMPARE(window->deviceManager()->devices().size(), 2);
    const QString port = sim.port(sensor);
    window->showDevice(sensor);
    LLSForm *form = window->levelForm();
    auto click = [&](const char *name) { QTest::mouseClick(window->findChild<QPushButton *>(name), Qt::LeftButton); };
    if (moment.startsWith("load")) {
        QTest::qWait(moment.section(' ', 1).toInt());
    } else {
        QVERIFY(QTest::qWaitFor([&] { return form->findChild<QStackedWidget *>("stackedWidget")->currentIndex() == 1; }, 20000));
        form->findChild<QToolBox *>("setToolBox")->setCurrentIndex(2);
        // A key on a slider is a short drag: the test output is held once its request has gone.
        auto *slider = form->findChild<QSlider *>(sensor == Resistive && moment == "set" ? "midpointOutputSlider" : "emptyOutputSlider");
        QTest::keyClick(slider, Qt::Key_Right);
        QVERIFY(QTest::qWaitFor([&] { return sim.banks(2000).value(port).fixed >= 0; }, 5000));
        if (moment == "set")
            click("setOutputRange");
        else if (moment == "cancel")
            click("CancelOutputRange");
        else if (moment == "leave")
            click("navigationButton");
        else if (moment == "unplug")
            QVERIFY(sim.control("unplug " + port + " 0"));
    }
    if (moment == "unplug") {
        // The page says so within a few seconds, as a lost measurement would.
        QVERIFY(QTest::qWaitFor([&] { return form->findChild<QLabel *>("alertMSG")->text().contains("NO ANSWER"); }, 4000));
    }
    QElapsedTimer clock;
    clock.start();
    window.reset();
    // On a dead line the two closing commands get one attempt each (a second in all); what may
    // not happen is the whole drain being waited out, or a poll's three attempts per request.
    QVERIFY2(clock.elapsed() < (moment == "unplug" ? 3000 : 8000), qPrintable(QString::number(clock.elapsed())));
    if (moment == "unplug")
        return;
    const SimBank bank = sim.banks().value(port);
    QVERIFY2(bank.locked && bank.measuring && bank.fixed == -1,
             qPrintable(QString("locked %1 measuring %2 fixed %3").arg(bank.locked).arg(bank.measuring).arg(bank.fixed)));
}

QTEST_MAIN(TestClosing)
#include "tst_closing.moc"
