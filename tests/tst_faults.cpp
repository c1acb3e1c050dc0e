// Sensors that misbehave, end to end with the real program and pellora-sim: each row opens a
// sensor, brings on a fault at a chosen moment, and checks that the window ends where it should
// (back at the list with a word on what happened, or working on), in bounded time, without
// spinning the processor.
#include "app/mainwindow.h"
#include "app/select.h"
#include "device/devicemanager.h"
#include "lls/ui/llsform.h"
#include "modalanswer.h"
#include "shell.h"

#include <QPushButton>
#include <QSerialPort>
#include <QSpinBox>
#include <QStackedWidget>
#include <QtTest>


class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void misbehavingSensor_data();
    void misbehavingSensor();
};

void TestFaults::misbehavingSensor_data()
{
    QTest::addColumn<QStringList>("sensor");  // the simulator's arguments
    QTest::addColumn<QString>("fault");       // unplug, silence, stall, hold, none
    QTest::addColumn<QString>("when");        // loading, polling, set, import, dialog (one of the form's is open)
    QTest::addColumn<QString>("notice");      // on the list page; empty: the sensor's page stays
    const QStringList current{SimProcess::sensorFile("03-murkwell-current.json")};
    const QStringList voltage{SimProcess::sensorFile("02-ils-voltage.json")};
    QTest::newRow("unplugged while loading") << current << "unplug" << "loading" << "did not answer";
    QTest::newRow("unplugged while polling") << voltage << "unplug" << "polling" << "did not answer";
    QTest::newRow("unplugged while a dialog is open") << voltage << "unplug" << "dialog" << "did not answer";
    QTest::newRow("silent while a dialog is open") << voltage << "silence" << "dialog" << "gave no readable measurement";
    QTest::newRow("silent in the middle of the load") << current << "silence" << "loading" << "stopped answering while it was being read";
    QTest::newRow("write time-out while setting") << voltage << "stall" << "set" << "a setting being written may be incomplete";
    QTest::newRow("write time-out during an FPC import") << current << "stall" << "import" << "write time-out";
    QTest::newRow("port held by another program") << voltage << "hold" << "loading" << "Cannot open";
    QTest::newRow("replies in small pieces") << QStringList{"--chunk-size", "3", "--chunk-gap", "20"} + voltage << "none" << "polling" << "";
    // Each request's retries queue up answers behind it: the sensor falls ever further behind and
    // is given up, rather than read with answers meant for earlier requests.
    QTest::newRow("replies slower than the waits") << QStringList{"--answer-delay", "700"} + voltage << "none" << "loading" << "stopped answering";
}

void TestFaults::misbehavingSensor()
{
    QFETCH(QStringList, sensor);
    QFETCH(QString, fault);
    QFETCH(QString, when);
    QFETCH(QString, notice);
    SimProcess sim;
    QVERIFY(sim.start(sensor));
    qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
    MainWindow window;
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), 30000);
    // A search on a crowded machine can miss a slow first answer (or meet a lock left by a program
    // that had this terminal before); every row needs its sensor listed, so one more search.
    if (window.deviceManager()->devices().isEmpty()) {
        window.startScan();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), 30000);
    }
    QVERIFY2(!window.deviceManager()->devices().isEmpty(), qPrintable("no sensor listed: " + window.selectPage()->notice()));
    QSerialPort holder(sim.port(0));
    if (fault == "hold")
        QVERIFY(holder.open(QIODevice::ReadWrite));
    auto *pages = window.findChild<QStackedWidget *>("stackedWidget");
    const double cpuBefore = cpuSeconds();
    QElapsedTimer clock;
    clock.start();
    window.showDevice(0);
    // A sensor given up takes its page with it.
    QPointer<LLSForm> form = window.levelForm();
    auto loaded = [&] { return form && form->findChild<QStackedWidget *>("stackedWidget")->currentIndex() == 1; };
    if (when == "loading") {
        QTest::qWait(300);
    } else {
        // Slow replies can leave a sensor that never loads: the window must still be usable.
        if (!QTest::qWaitFor(loaded, 30000))
            QVERIFY(notice.isEmpty() && pages->currentIndex() == 1 && window.isEnabled());
        clock.restart();
    }
    if (fault == "unplug")
        sim.stop();
    else if (fault == "silence")
        sim.pause();
    else if (fault == "stall")
        sim.stallWrites();
    if (when == "set") {
        form->findChild<QSpinBox *>("measuringRangeMin")->setValue(20);
        QTest::mouseClick(form->findChild<QPushButton *>("setMeasuringRange"), Qt::LeftButton);
    } else if (when == "dialog") {
        // The form's file dialog, left open in its own event loop while the sensor is lost.
        form->fileDialog = [form = form.data()](LLSForm::FileDialog, const QString &, const QString &, const QString &) {
            QMessageBox box(QMessageBox::Question, QString(), QStringLiteral("Save where?"), QMessageBox::Ok, form);
            box.exec();
            return QString();
        };
        QMetaObject::invokeMethod(form, "on_saveSettings_clicked", Qt::QueuedConnection);
    } else if (when == "import") {
        form->fileDialog = [](LLSForm::FileDialog, const QString &, const QString &, const QString &) {
            return QStringLiteral(PELLORA_SOURCE_DIR "/fuzz/seeds/fpc/export.fpc");
        };
        answerMessageBoxesWith({QMessageBox::Yes}, [&] { QMetaObject::invokeMethod(form, "on_importFPC_clicked"); });
    }

    if (notice.isEmpty()) {
        QTest::qWait(3000);
        QCOMPARE(pages->currentIndex(), 1);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(pages->currentIndex() == 0, 30000);
        const QString said = window.selectPage()->notice();
        QVERIFY2(said.contains(notice) && said.contains(sim.port(0).mid(5)), qPrintable(said));
        QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), 30000);
    }
    // A fault that is over quickly (a port that cannot be opened) leaves a second of honest work
    // (the search again, a page built ahead) that sanitizers make look like spinning; watch a few
    // seconds more, which a loop that spins would fill as well.
    if (clock.elapsed() < 3000)
        QTest::qWait(int(3000 - clock.elapsed()));
    const double share = (cpuSeconds() - cpuBefore) / (clock.elapsed() / 1000.0);
    // A spinning loop takes a whole core; sanitizers and test programs running alongside push an
    // honest loop's share up to about a third.
    QVERIFY2(share < 0.5, qPrintable(QString("CPU %1 of one core").arg(share)));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
