// The bench in the window, as a technician uses it: a sensor plugged in is listed without a
// search, two checked sensors get a file and then match it, a sensor unplugged is marked gone, and
// the report is saved. What counts is what the simulator's registers hold.
#include "app/benchview.h"
#include "device/serialportdriver.h"
#include "files/settingsfile.h"
#include "modalanswer.h"
#include "shell.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTableWidget>
#include <QTemporaryDir>

class TestBenchView : public QObject
{
    Q_OBJECT
private slots:
    void plugApplyCompareUnplugReport();
};

void TestBenchView::plugApplyCompareUnplugReport()
{
    QTemporaryDir dir;
    SimProcess sim;
    const QString voltage = SimProcess::sensorFile("02-ils-voltage.json");
    // The second one's description is what a spreadsheet would take for a formula, with a comma.
    QFile file(voltage);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QJsonObject formula = QJsonDocument::fromJson(file.readAll()).object();
    formula["description"] = "=SUM(A1), tank 2";
    QVERIFY(sim.start({"--verbose", "--fast", voltage, QString::fromUtf8(QJsonDocument(formula).toJson(QJsonDocument::Compact)),
                       SimProcess::sensorFile("03-murkwell-current.json")}));
    // The third sensor's port does not exist yet: it is plugged in by making the link.
    const QString plugged = dir.filePath("ttyUSB7");
    qputenv("PELLORA_EXTRA_PORTS", (sim.port(0) + ',' + sim.port(1) + ',' + plugged).toLocal8Bit());
    SerialPortDriver::setPortList({});
    MainWindow window;
    window.show();
    QVERIFY(QTest::qWaitFor([&] { return !window.isScanning(); }, ScanTimeout));
    QCOMPARE(window.deviceManager()->devices().size(), 2);

    // The search's own exchanges (a retry on a loaded machine among them), as the simulator logs them.
    const int seen = sim.commandsSeen(sim.port(0), std::numeric_limits<int>::max(), 300);
    QVERIFY(seen >= 1);
    QVERIFY(QFile::link(sim.port(2), plugged));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(QTest::qWaitFor([&] { return window.deviceManager()->devices().size() == 3; }, 5000));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString("listed after %1 ms").arg(clock.elapsed())));
    // Watching lists ports; it sends nothing to the sensors already listed.
    QCOMPARE(sim.commandsSeen(sim.port(0)), seen);

    auto *bench = window.findChild<QPushButton *>("benchButton");
    QTRY_VERIFY(bench->isVisible());
    bench->click();
    BenchView *view = window.benchView();
    QVERIFY(view->isVisible());
    auto *table = view->findChild<QTableWidget *>("benchTable");
    QCOMPARE(table->rowCount(), 3);
    table->item(2, 0)->setCheckState(Qt::Unchecked);  // the current sensor is not for this file

    const QString conf = dir.filePath("bench.conf");
    QString error;
    QVERIFY(SettingsFile::save(conf, {{"sensorType/Serial", "4201"}, {"sensorType/Firmware", "3"}, {"sensorType/ProductType", "10V"},
                                      {"settings/MinMeasuredRange", "10"}, {"settings/MaxMeasuredRange", "90"},
                                      {"settings/TankProfileEnable", "false"}, {"settings/MinOutputRange", "0.5"},
                                      {"settings/MaxOutputRange", "4.5"}, {"settings/SwitchOutputAlarmMode", "full"},
                                      {"settings/WarningLevel", "50"}, {"settings/WarningHysteresis", "5"}},
                              &error));
    const QString backups = dir.filePath("backups");
    QVERIFY(QDir().mkpath(backups));
    view->fileDialog = [&](BenchView::Dialog kind, const QString &) {
        return kind == BenchView::Dialog::SaveReport ? dir.filePath("report") : kind == BenchView::Dialog::Folder ? backups : conf;
    };
    // Two sensors: the window asks once, naming both the file and how many.
    const QStringList asked = answerMessageBoxesWith({QMessageBox::Yes}, [&] { view->findChild<QPushButton *>("applyButton")->click(); });
    QVERIFY2(asked.value(0).contains("bench.conf") && asked.value(0).contains("2 checked sensors"), qPrintable(asked.join('|')));
    QVERIFY(QTest::qWaitFor([&] { return !view->isRunning(); }, 30000));
    QCOMPARE(view->outcome(ptsName(sim.port(0))), QString("applied"));
    QCOMPARE(view->outcome(ptsName(sim.port(1))), QString("applied"));
    const QMap<QString, SimBank> banks = sim.banks();
    for (int i = 0; i < 2; ++i) {
        const SimBank &bank = banks.value(sim.port(i));
        QVERIFY(bank.locked && bank.registers.value(903) == 102 && bank.registers.value(19) == 0x60 && bank.registers.value(906) == 921);
    }
    QCOMPARE(banks.value(sim.port(2)).registers.value(903), 0u);  // unchecked: untouched

    view->findChild<QPushButton *>("compareButton")->click();
    QVERIFY(QTest::qWaitFor([&] { return !view->isRunning(); }, 30000));
    QCOMPARE(view->outcome(ptsName(sim.port(0))) + view->outcome(ptsName(sim.port(1))), QString("matchesmatches"));
    QVERIFY2(view->summary().startsWith("2 level sensors: 2 match"), qPrintable(view->summary()));

    QVERIFY(QFile::remove(plugged));
    QVERIFY(QTest::qWaitFor([&] { return table->item(2, 0)->text().endsWith("(gone)"); }, 2000));
    QCOMPARE(window.deviceManager()->devices().size(), 3);  // the row and its sensor stay

    view->findChild<QPushButton *>("reportButton")->click();
    QFile report(dir.filePath("report.csv"));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = report.readAll().split('\n');
    QVERIFY2(rows.value(0).startsWith("\xEF\xBB\xBF" "Date and time,Port,Sensor,ID,Firmware,Serial,Description,Action,File,File SHA-1,Outcome,Details"),
             rows.value(0).constData());
    QVERIFY2(rows.value(1).contains(",check,bench.conf,") && rows.value(1).contains(",matches,"), rows.value(1).constData());
    QVERIFY2(rows.value(2).contains(",\"'=SUM(A1), tank 2\","), rows.value(2).constData());
    QVERIFY2(rows.value(3).contains(",not chosen,"), rows.value(3).constData());

    // A backup saves the checked sensors only, each whole.
    table->item(1, 0)->setCheckState(Qt::Unchecked);
    view->findChild<QPushButton *>("backupButton")->click();
    QVERIFY(QTest::qWaitFor([&] { return !view->isRunning(); }, 30000));
    const QFileInfoList saved = QDir(backups).entryInfoList(QDir::Files, QDir::Name);
    QCOMPARE(saved.size(), 2);
    QCOMPARE(saved.at(0).suffix() + saved.at(1).suffix(), QString("conffpc"));
    QVERIFY(saved.at(0).size() > 0 && saved.at(1).size() > 0);
    QVERIFY2(view->outcome(ptsName(sim.port(0))).startsWith("saved "), qPrintable(view->outcome(ptsName(sim.port(0)))));
}

QTEST_MAIN(TestBenchView)
#include "tst_benchview.moc"
