// The position sensor form: its layout, how it shows parameters and measurements, and its
// measurement loop against the simulator with the device on a worker thread.
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

QByteArray parameterReply(int offset, int scale, int lower, int upper, int noact, int activatorMin, int direct)
{
    auto field = [](int v) { return QByteArray::number(static_cast<quint16>(v), 16).rightJustified(4, '0'); };
    return "PLIST\r\n00," + field(offset) + ",posn_offset\r\n01," + field(scale) + ",posn_scale\r\n02," + field(lower)
        + ",output_lower\r\n03," + field(upper) + ",output_upper\r\n04," + field(noact) + ",output_noact\r\n05,"
        + field(activatorMin) + ",activator_min\r\n06," + field(direct) + ",output_direct\r\n>";
}

NCPSMeasurement measurement(int activator, int raw, int position)
{
    NCPSMeasurement m;
    m.activator = activator;
    m.raw_position = raw;
    m.position = position;
    return m;
}

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
    void parametersFillMarkersAndSpinBoxes();
    void measurementsAndActivatorThreshold();
    void leavingBeforeParametersStillClosesThePort();
    void formDeletedWhilePollingClosesThePort();
    void pollsSimulatorUntilStopped();
};

void TestNCPSForm::parametersFillMarkersAndSpinBoxes()
{
    auto *driver = new ScriptedDriver;
    driver->setReply("PLIST\r", parameterReply(150, 9011, 400, 3700, 4095, 256, 2048));
    NCPSDevice device(new SlimfinProtocol(driver), Identity, Entry);
    NCPSForm form(&device, nullptr);
    // Same thread, so the connections are direct: cut the loop to keep it from recursing.
    disconnect(&form, &NCPSForm::ReadMeasurement, &device, nullptr);
    QSignalSpy readMeasurement(&form, &NCPSForm::ReadMeasurement);
    QSignalSpy connectSpy(&form, &NCPSForm::Connect);
    QSignalSpy readParameter(&form, &NCPSForm::ReadParameter);

    // Of the form description's tabs only these two are the form's.
    auto *tabs = form.findChild<QTabWidget *>("tabWidget");
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0), QString("Output Levels"));
    QCOMPARE(tabs->tabText(1), QString("Activator Settings"));
    QVERIFY(!form.findChild<QWidget *>("outputModeTab"));
    QVERIFY(!form.isPolling());
    QVERIFY(!form.activatorWidget()->activatorVisible());

    form.start();
    QCOMPARE(connectSpy.count(), 1);
    QCOMPARE(readParameter.count(), 1);
    QVERIFY(driver->isOpen);
    QCOMPARE(driver->requests.first(), QByteArray("PLIST\r"));
    QVERIFY(form.isPolling());
    // The parameters start the loop with one request for a measurement.
    QCOMPARE(readMeasurement.count(), 1);
    form.stopPolling();

    ActivatorWidget *picture = form.activatorWidget();
    QCOMPARE(picture->minimum(), -15800);
    QCOMPARE(picture->maximum(), 15800);
    QCOMPARE(picture->bubbleValue(ActivatorWidget::MinimumBubble), -12135);
    QCOMPARE(picture->bubbleValue(ActivatorWidget::MaximumBubble), 11864);
    QCOMPARE(picture->markerText(ActivatorWidget::MinimumBubble), QString("Current Minimum Position\n0.45 V"));
    QCOMPARE(picture->markerText(ActivatorWidget::MaximumBubble), QString("Current Maximum Position\n4.13 V"));

    auto *bottom = form.findChild<QDoubleSpinBox *>("bottomOutputLimitSpin");
    auto *top = form.findChild<QDoubleSpinBox *>("topOutputLimitSpin");
    auto *dropout = form.findChild<QDoubleSpinBox *>("dropoutLevelSpin");
    QCOMPARE(bottom->value(), 0.45);
    QCOMPARE(top->value(), 4.13);
    QCOMPARE(dropout->value(), 4.57);
    QCOMPARE(top->maximum(), 4.57);
    QCOMPARE(form.findChild<QSpinBox *>("activatorResponseSpin")->value(), 256);
}

void TestNCPSForm::measurementsAndActivatorThreshold()
{
    auto *driver = new ScriptedDriver;
    driver->setReply("PLIST\r", parameterReply(150, 9011, 400, 3700, 0, 256, 2048));
    NCPSDevice device(new SlimfinProtocol(driver), Identity, Entry);
    NCPSForm form(&device, nullptr);
    QSignalSpy disconnectSpy(&form, &NCPSForm::Disconnect);
    device.ReadParameter();  // parameters in, loop not started: the form was not started
    QCOMPARE(disconnectSpy.count(), 1);
    ActivatorWidget *picture = form.activatorWidget();
    auto *level = form.findChild<QLineEdit *>("activatorLevelEdit");

    // A signal equal to the threshold counts as an activator.
    form.onMeasurementUpdate(measurement(256, -1000, 2042));
    QVERIFY(picture->activatorVisible());
    QVERIFY(picture->isBubbleVisible(ActivatorWidget::ActivatorBubble));
    QCOMPARE(picture->bubbleLabelText(ActivatorWidget::ActivatorBubble), QString("Activator Position\n2.28 V"));
    QCOMPARE(picture->value(), -1000);
    QCOMPARE(picture->bubbleValue(ActivatorWidget::ActivatorBubble), -1000);
    QCOMPARE(level->text(), QString("256"));

    // One below: no activator; the line and bubble go, the warning takes the text's first line.
    form.onMeasurementUpdate(measurement(255, 5000, 0));
    QVERIFY(!picture->activatorVisible());
    QVERIFY(!picture->isBubbleVisible(ActivatorWidget::ActivatorBubble));
    QCOMPARE(picture->noActivatorText(), QString(" No Activator Present \n0.00 V"));
    QCOMPARE(picture->value(), -1000);
    QCOMPARE(level->text(), QString("255"));

    // Outputs beyond the range show its end; raw positions beyond the picture's range its edge.
    form.onMeasurementUpdate(measurement(900, 20000, 5000));
    QCOMPARE(picture->bubbleLabelText(ActivatorWidget::ActivatorBubble), QString("Activator Position\n4.57 V"));
    QCOMPARE(picture->value(), 15800);
    // Not polling: every reply is answered by closing the port, never by a new request.
    QCOMPARE(disconnectSpy.count(), 4);
    QVERIFY(!driver->requests.contains("MLIST\r"));
}

void TestNCPSForm::leavingBeforeParametersStillClosesThePort()
{
    auto *driver = new ScriptedDriver;
    driver->setReply("PLIST\r", parameterReply(150, 9011, 400, 3700, 0, 256, 2048));
    NCPSDevice device(new SlimfinProtocol(driver), Identity, Entry);
    NCPSForm form(&device, nullptr);
    // Queue the device's answer so it arrives after the user has left.
    disconnect(&device, &NCPSDevice::ParameterUpdate, &form, &NCPSForm::onParameterUpdate);
    connect(&device, &NCPSDevice::ParameterUpdate, &form, &NCPSForm::onParameterUpdate, Qt::QueuedConnection);
    QSignalSpy readMeasurement(&form, &NCPSForm::ReadMeasurement);
    QSignalSpy disconnectSpy(&form, &NCPSForm::Disconnect);

    form.start();
    QVERIFY(form.isPolling());
    form.stopPolling();
    QVERIFY(!form.isPolling());
    QTRY_COMPARE(disconnectSpy.count(), 1);
    QCOMPARE(readMeasurement.count(), 0);
    QVERIFY(!driver->isOpen);
    // The parameters were still shown.
    QCOMPARE(form.activatorWidget()->bubbleValue(ActivatorWidget::MinimumBubble), -12135);
}

void TestNCPSForm::formDeletedWhilePollingClosesThePort()
{
    auto *driver = new ScriptedDriver;
    driver->setReply("PLIST\r", parameterReply(150, 9011, 400, 3700, 0, 256, 2048));
    NCPSDevice device(new SlimfinProtocol(driver), Identity, Entry);
    auto *form = new NCPSForm(&device, nullptr);
    disconnect(form, &NCPSForm::ReadMeasurement, &device, nullptr);
    form->start();
    QVERIFY(driver->isOpen);
    // Stopped, but replaced before the reply under way came back.
    form->stopPolling();
    delete form;
    QVERIFY(!driver->isOpen);
    QCOMPARE(driver->closeCount, 1);
}

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
    // As in the program, the device chain is created on the worker thread and stays there.
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
    {
        auto *form = new NCPSForm(device, nullptr);
        form->resize(866, 434);
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form));
        connect(device, &NCPSDevice::MeasurementUpdate, this, [&](NCPSMeasurement) {
            ++updates;
            if (stopped)
                ++updatesAfterStop;
        });
        connect(device, &NCPSDevice::MeasurementUpdate, device, [&](NCPSMeasurement) { replyThreads.insert(QThread::currentThread()); },
                Qt::DirectConnection);
        QSignalSpy readMeasurement(form, &NCPSForm::ReadMeasurement);
        QSignalSpy disconnectSpy(form, &NCPSForm::Disconnect);

        form->start();
        QVERIFY(form->isPolling());
        // Parameters from the simulated sensor's description.
        ActivatorWidget *picture = form->activatorWidget();
        QTRY_COMPARE_WITH_TIMEOUT(picture->bubbleValue(ActivatorWidget::MinimumBubble), -12135, 5000);
        QCOMPARE(picture->bubbleValue(ActivatorWidget::MaximumBubble), 11864);
        QCOMPARE(form->findChild<QSpinBox *>("activatorResponseSpin")->value(), 256);

        // The loop runs on by itself, one request per reply, and the activator shows up.
        QTRY_VERIFY_WITH_TIMEOUT(updates >= 12, 10000);
        QVERIFY(form->isPolling());
        QVERIFY(sim.commandsSeen(path, 14, 3000) >= 14);
        QVERIFY(qAbs(readMeasurement.count() - updates) <= 1);
        QTRY_VERIFY_WITH_TIMEOUT(picture->activatorVisible(), 5000);
        QVERIFY(picture->value() >= -14500 && picture->value() <= 14500);
        QCOMPARE(picture->value(), picture->bubbleValue(ActivatorWidget::ActivatorBubble));
        QVERIFY(form->findChild<QLineEdit *>("activatorLevelEdit")->text().toInt() > 256);

        if (qEnvironmentVariableIsSet("PELLORA_NCPS_SCREENSHOT")) {
            QTest::qWait(300);
            QVERIFY(form->grab().save(qEnvironmentVariable("PELLORA_NCPS_SCREENSHOT")));
        }

        // Stopping: the reply under way still arrives, then the port is closed; nothing more is asked.
        const int requestsBeforeStop = readMeasurement.count();
        form->stopPolling();
        stopped = true;
        QVERIFY(!form->isPolling());
        QTRY_COMPARE_WITH_TIMEOUT(disconnectSpy.count(), 1, 5000);
        const QStringList commandsAtStop = sim.takeLog();
        QTest::qWait(400);
        QCOMPARE(updatesAfterStop, 1);
        QCOMPARE(readMeasurement.count(), requestsBeforeStop);
        QCOMPARE(disconnectSpy.count(), 1);
        QVERIFY(sim.takeLog().isEmpty());
        QVERIFY(commandsAtStop.last().endsWith("<- MLIST\\r"));
        delete form;
    }
    QCOMPARE(replyThreads, QSet<QThread *>{&worker});

    onThread(&workerContext, [&] { delete device; });
    worker.quit();
    QVERIFY(worker.wait(5000));
}

QTEST_MAIN(TestNCPSForm)
#include "tst_ncpsform.moc"
