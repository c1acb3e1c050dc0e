// The position sensor form: its layout, how it shows parameters and measurements, and its
// measurement loop against the simulator with the device on a worker thread.
//
// docs/ncpsform.png is this form while it polls the simulator; to regenerate it:
//   PELLORA_NCPS_SCREENSHOT=$PWD/docs/ncpsform.png QT_QPA_PLATFORM=offscreen tst_ncpsform pollsSimulatorUntilStopped
#include "device/pollingguard.h"
#include "device/serialportdriver.h"
#include "ncps/activatorwidget.h"
#include "ncps/ncpsdevice.h"
#include "ncps/ncpsform.h"
#include "ncps/slimfinprotocol.h"
#include "scripteddriver.h"
#include "simprocess.h"

#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSerialPort>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QThread>
#include <QtTest>

namespace {

const DeviceIdentity Identity{"123", "1.4", "456789"};
const CatalogueEntry Entry{"123", "", "Slimfin Position Sensor", "Slimfin", "", ""};

// A device over a scripted driver with the simulated Slimfin's parameters (offset 150, scale 9011,
// limits 400 and 3700, activator minimum 256, direct 2048).
const QByteArray Parameters = "PLIST\r\n00,0096,posn_offset\r\n01,2333,posn_scale\r\n02,0190,output_lower\r\n"
                              "03,0E74,output_upper\r\n04,0000,output_noact\r\n05,0100,activator_min\r\n"
                              "06,0800,output_direct\r\n>";

struct Scripted
{
    Scripted() { driver->setReply("PLIST\r", Parameters); }
    ScriptedDriver *driver = new ScriptedDriver;
    NCPSDevice device{new SlimfinProtocol(driver), Identity, Entry};
};

// Runs code on the worker thread and waits for it.
template<typename Code>
void onThread(QObject *context, Code code)
{
    QMetaObject::invokeMethod(context, code, Qt::BlockingQueuedConnection);
}

}

class TestNCPSForm : public QObject
{
    Q_OBJECT

private slots:
    void measurementsAndActivatorThreshold();
    void leavingBeforeTheReplyStillClosesThePort_data();
    void leavingBeforeTheReplyStillClosesThePort();
    void noAnswerRetriesThenGivesUp_data();
    void noAnswerRetriesThenGivesUp();
    void pollsSimulatorUntilStopped();
};

void TestNCPSForm::measurementsAndActivatorThreshold()
{
    Scripted s;
    NCPSForm form(&s.device, nullptr);
    QSignalSpy disconnectSpy(&form, &NCPSForm::Disconnect);
    s.device.ReadParameter();  // parameters in, loop not started: the form was not started
    ActivatorWidget *picture = form.activatorWidget();
    auto *level = form.findChild<QLineEdit *>("activatorLevelEdit");

    // A signal equal to the threshold counts as an activator.
    form.onMeasurementUpdate(NCPSMeasurement{256, -1000, 2042});
    QVERIFY(picture->activatorVisible());
    QVERIFY(picture->isBubbleVisible(ActivatorWidget::ActivatorBubble));
    QCOMPARE(picture->bubbleLabelText(ActivatorWidget::ActivatorBubble), QString("Activator Position\n2.28 V"));
    QCOMPARE(picture->bubbleValue(ActivatorWidget::ActivatorBubble), -1000);
    QCOMPARE(level->text(), QString("256"));

    // One below: no activator; the line and bubble go, the warning takes the text's first line.
    form.onMeasurementUpdate(NCPSMeasurement{255, 5000, 0});
    QVERIFY(!picture->activatorVisible());
    QVERIFY(!picture->isBubbleVisible(ActivatorWidget::ActivatorBubble));
    QCOMPARE(picture->noActivatorText(), QString(" No Activator Present \n0.00 V"));
    QCOMPARE(picture->value(), -1000);
    QCOMPARE(level->text(), QString("255"));

    // Outputs beyond the range show its end; raw positions beyond the picture's range its edge.
    form.onMeasurementUpdate(NCPSMeasurement{900, 20000, 5000});
    QCOMPARE(picture->bubbleLabelText(ActivatorWidget::ActivatorBubble), QString("Activator Position\n4.57 V"));
    QCOMPARE(picture->value(), 15800);
    // Not polling: every reply is answered by closing the port, never by a new request.
    QCOMPARE(disconnectSpy.count(), 4);
    QVERIFY(!s.driver->requests.contains("MLIST\r"));
}

void TestNCPSForm::leavingBeforeTheReplyStillClosesThePort_data()
{
    QTest::addColumn<bool>("replaced");
    QTest::newRow("parameters arrive after leaving") << false;
    QTest::newRow("form replaced before they arrive") << true;
}

void TestNCPSForm::leavingBeforeTheReplyStillClosesThePort()
{
    QFETCH(bool, replaced);
    Scripted s;
    auto *form = new NCPSForm(&s.device, nullptr);
    // Queue the device's answer so it arrives after the user has left.
    disconnect(&s.device, &NCPSDevice::ParameterUpdate, form, &NCPSForm::onParameterUpdate);
    connect(&s.device, &NCPSDevice::ParameterUpdate, form, &NCPSForm::onParameterUpdate, Qt::QueuedConnection);
    QSignalSpy readMeasurement(form, &NCPSForm::ReadMeasurement);

    form->start();
    QVERIFY(form->isPolling() && s.driver->isOpen);
    form->stopPolling();
    QVERIFY(!form->isPolling());
    if (replaced)
        delete form;
    QTRY_VERIFY(!s.driver->isOpen);
    if (!replaced) {
        // The parameters were still shown.
        QCOMPARE(form->activatorWidget()->bubbleValue(ActivatorWidget::MinimumBubble), -12135);
        delete form;
    }
    QCoreApplication::processEvents();
    QCOMPARE(s.driver->closeCount, 1);
    QCOMPARE(readMeasurement.count(), 0);
}

void TestNCPSForm::noAnswerRetriesThenGivesUp_data()
{
    QTest::addColumn<QString>("refuseOpen");
    QTest::addColumn<QString>("answers");   // per request, '+' answered or '-' not; none after the last
    QTest::addColumn<QString>("requests");  // what the form asked for before it gave up
    QTest::addColumn<QString>("lost");
    QTest::newRow("silent sensor: three tries") << "" << "" << "PLIST PLIST PLIST" << "The sensor on SCRIPT1 did not answer.";
    QTest::newRow("an answer starts the count again") << "" << "-+--" << "PLIST PLIST MLIST MLIST MLIST"
                                                      << "The sensor on SCRIPT1 did not answer.";
    QTest::newRow("port cannot be opened: lost at once") << "Busy" << "" << "PLIST" << "Cannot open SCRIPT1: Busy.";
}

void TestNCPSForm::noAnswerRetriesThenGivesUp()
{
    QFETCH(QString, refuseOpen);
    QFETCH(QString, answers);
    Scripted s;
    s.driver->refuseOpen = refuseOpen;
    QElapsedTimer clock;
    clock.start();
    QList<qint64> at;
    s.driver->responder = [&](const QByteArray &request, QByteArray &response) {
        const bool answered = answers.mid(at.size(), 1) == "+";
        at.append(clock.elapsed());
        response = request == "PLIST\r" ? Parameters : "MLIST\r\n00,0400,activator\r\n01,0100,raw_position\r\n02,0200,position\r\n>";
        return answered;
    };
    NCPSForm form(&s.device, nullptr);
    QSignalSpy lost(&form, &NCPSForm::SensorLost);
    form.start();
    // Until the next try, nothing unread may look like a reading.
    ActivatorWidget *picture = form.activatorWidget();
    QCOMPARE(picture->noActivatorText(), QString(" No Answer From Sensor \nSCRIPT1"));
    QVERIFY(!picture->activatorVisible() && !picture->isBubbleVisible(ActivatorWidget::ActivatorBubble));
    QCOMPARE(form.findChild<QLineEdit *>("activatorLevelEdit")->text(), QString("-"));

    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 10000);
    QTEST(lost.at(0).at(0).toString(), "lost");
    QTEST(QString(s.driver->requests.join(' ')).remove('\r'), "requests");
    // A retry waits as long as a silent exchange would have taken; after an answer the next goes at once.
    for (int i = 1; i < at.size(); ++i) {
        const qint64 gap = at.at(i) - at.at(i - 1);
        QVERIFY2(answers.mid(i - 1, 1) == "+" ? gap < 500 : gap >= 1400, qPrintable(QString("request %1 after %2 ms").arg(i).arg(gap)));
    }
    QVERIFY(!form.isPolling() && !form.pollingGuard()->retryPending() && !s.driver->isOpen);
}

// The whole flow against the simulated sensor, the device on a worker thread as in the program.
void TestNCPSForm::pollsSimulatorUntilStopped()
{
    SimProcess sim;
    QVERIFY(sim.start({"--verbose", SimProcess::sensorFile("07-slimfin.json")}));
    const QString path = sim.port(0);
    QThread worker;
    QObject workerContext;
    workerContext.moveToThread(&worker);
    worker.start();
    NCPSDevice *device = nullptr;
    onThread(&workerContext, [&] {
        auto *port = new QSerialPort;
        SerialPortDriver::applyLineSettings(port);
        port->setPortName(path);
        device = new NCPSDevice(new SlimfinProtocol(new SerialPortDriver(port)), Identity, Entry);
    });

    int updates = 0;
    int updatesAfterStop = 0;
    bool stopped = false;
    QSet<QThread *> replyThreads;
    auto *form = new NCPSForm(device, nullptr);
    form->resize(866, 434);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form));
    connect(device, &NCPSDevice::MeasurementUpdate, this, [&] { ++updates; updatesAfterStop += stopped; });
    connect(device, &NCPSDevice::MeasurementUpdate, device, [&] { replyThreads.insert(QThread::currentThread()); },
            Qt::DirectConnection);
    QSignalSpy readMeasurement(form, &NCPSForm::ReadMeasurement);
    QSignalSpy disconnectSpy(form, &NCPSForm::Disconnect);
    // Of the form description's tabs only these two are the form's.
    auto *tabs = form->findChild<QTabWidget *>("tabWidget");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0) + "|" + tabs->tabText(1), QString("Output Levels|Activator Settings"));

    // The parameters fill the picture's markers and the spin boxes, then the loop starts.
    form->start();
    ActivatorWidget *picture = form->activatorWidget();
    QTRY_COMPARE_WITH_TIMEOUT(picture->bubbleValue(ActivatorWidget::MinimumBubble), -12135, 5000);
    QCOMPARE(picture->bubbleValue(ActivatorWidget::MaximumBubble), 11864);
    QCOMPARE(picture->maximum(), 15800);
    QCOMPARE(picture->markerText(ActivatorWidget::MinimumBubble), QString("Current Minimum Position\n0.45 V"));
    QCOMPARE(picture->markerText(ActivatorWidget::MaximumBubble), QString("Current Maximum Position\n4.13 V"));
    QCOMPARE(form->findChild<QDoubleSpinBox *>("bottomOutputLimitSpin")->value(), 0.45);
    QCOMPARE(form->findChild<QDoubleSpinBox *>("topOutputLimitSpin")->value(), 4.13);
    QCOMPARE(form->findChild<QDoubleSpinBox *>("topOutputLimitSpin")->maximum(), 4.57);
    QCOMPARE(form->findChild<QSpinBox *>("activatorResponseSpin")->value(), 256);

    // The loop runs on by itself, one request per reply, and the activator shows up.
    QTRY_VERIFY_WITH_TIMEOUT(updates >= 12, 10000);
    QVERIFY(form->isPolling());
    QVERIFY(sim.commandsSeen(path, 14, 3000) >= 14);
    QVERIFY(qAbs(readMeasurement.count() - updates) <= 1);
    QTRY_VERIFY_WITH_TIMEOUT(picture->activatorVisible(), 5000);
    QVERIFY(picture->value() >= -14500 && picture->value() <= 14500);
    QVERIFY(form->findChild<QLineEdit *>("activatorLevelEdit")->text().toInt() > 256);
    if (qEnvironmentVariableIsSet("PELLORA_NCPS_SCREENSHOT")) {
        QTest::qWait(300);
        QVERIFY(form->grab().save(qEnvironmentVariable("PELLORA_NCPS_SCREENSHOT")));
    }

    // Stopping: the reply under way still arrives, then the port is closed; nothing more is asked.
    const int requestsBeforeStop = readMeasurement.count();
    form->stopPolling();
    stopped = true;
    QTRY_COMPARE_WITH_TIMEOUT(disconnectSpy.count(), 1, 5000);
    const QStringList commandsAtStop = sim.takeLog();
    QTest::qWait(400);
    QCOMPARE(updatesAfterStop, 1);
    QCOMPARE(readMeasurement.count(), requestsBeforeStop);
    QCOMPARE(disconnectSpy.count(), 1);
    QVERIFY(sim.takeLog().isEmpty());
    QVERIFY(commandsAtStop.last().endsWith("<- MLIST\\r"));
    delete form;
    QCOMPARE(replyThreads, QSet<QThread *>{&worker});

    onThread(&workerContext, [&] { delete device; });
    worker.quit();
    QVERIFY(worker.wait(5000));
}

QTEST_MAIN(TestNCPSForm)
#include "tst_ncpsform.moc"
