// The application shell against pellora-sim: scanning on the worker thread, the sensor list,
// the header, refresh, the write time-out rescan, closing during a scan, catalogue failures.
#include "app/mainwindow.h"
#include "app/select.h"
#include "device/abstractdevice.h"
#include "device/devicemanager.h"
#include "device/serialportdriver.h"
#include "messagelog.h"
#include "modalanswer.h"
#include "scripteddriver.h"
#include "simprocess.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSerialPort>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstdio>
#include <sys/resource.h>

namespace {

template <typename T>
T *child(QObject *parent, const char *name)
{
    T *w = parent->findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no child %s", name);
    return w;
}

QStringList comboItems(QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items;
}

QString ptsName(const QString &path)
{
    return path.mid(QStringLiteral("/dev/").size());
}

// Reaches QObject::receivers() to count the handlers of a signal.
struct SignalPeek : QObject
{
    using QObject::receivers;
};

int receiversOf(QObject *object, const char *signal)
{
    return static_cast<SignalPeek *>(object)->receivers(signal);
}

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

// Counts finished scans as the GUI thread sees them.
struct ScanCounter
{
    explicit ScanCounter(MainWindow &window)
    {
        QObject::connect(window.deviceManager(), &DeviceManager::ScanFinished, &context, [this] { ++finished; },
                         Qt::QueuedConnection);
    }
    QObject context;
    int finished = 0;
};

const int ScanTimeout = 30000;

}

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { qunsetenv("PELLORA_EXTRA_PORTS"); }
    void listsSensorsInPortOrderWithHeader();
    void refreshShowsSearchingAtOnceAndRefills();
    void noSensorsGivesNone();
    void longScanKeepsOldListOutOfReach();
    void writeTimeoutsDoNotAvalanche();
    void unknownDeviceTypeOnSelect();
    void footerActions();
    void shutdownDeletesTheWorkerSide();
    void closingEndsTheProcess_data();
    void closingEndsTheProcess();
    void catalogueFailuresEndTheProgram_data();
    void catalogueFailuresEndTheProgram();
};

void TestMainWindow::listsSensorsInPortOrderWithHeader()
{
    SimProcess sim;
    QVERIFY(sim.start({"--no-pacing", SimProcess::sensorFile("07-slimfin.json"), "silent",
                       SimProcess::sensorFile("01-lls.json"), SimProcess::sensorFile("07-slimfin.json")}));
    qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
    MainWindow window;
    window.show();
    QVERIFY(window.workerThread()->isRunning());
    QVERIFY(window.deviceManager()->thread() == window.workerThread());
    auto *stack = child<QStackedWidget>(&window, "selectStack");
    QCOMPARE(stack->currentIndex(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);

    auto *combo = child<QComboBox>(&window, "deviceCombo");
    QCOMPARE(stack->currentIndex(), 2);
    // Two sensors of the same name differ only by their port.
    QCOMPARE(comboItems(combo), QStringList({"Slimfin Position Sensor (on " + ptsName(sim.port(0)) + ")",
                                             "LLS Level Probe (on " + ptsName(sim.port(2)) + ")",
                                             "Slimfin Position Sensor (on " + ptsName(sim.port(3)) + ")"}));
    QVERIFY(child<QPushButton>(&window, "selectButton")->isEnabled());
    auto *progress = child<QProgressBar>(&window, "searchProgress");
    QCOMPARE(progress->maximum(), 1);
    QCOMPARE(progress->value(), 1);

    auto *nameLabel = child<QLabel>(&window, "sensorNameLabel");
    QCOMPARE(nameLabel->text(), QString("Slimfin Position Sensor"));
    QCOMPARE(nameLabel->toolTip(), QString("Device ID: 123 - Firmware 1.4 - Serial 456789"));
    QCOMPARE(child<QLabel>(&window, "infoLabel")->toolTip(), nameLabel->toolTip());

    combo->setCurrentIndex(1);
    QCOMPARE(nameLabel->text(), QString("LLS Level Probe"));
    QCOMPARE(nameLabel->toolTip(), QString("Device ID: 4101 - Firmware 2 - Serial 000000"));
    QVERIFY(!child<QLabel>(&window, "tarselFirmwareLabel")->isVisible());
    QVERIFY(!child<QPushButton>(&window, "navigationButton")->isVisible());

    // Out-of-range requests never read outside the list.
    window.showDevice(3);
    window.showDevice(-1);
    window.deviceManager()->setActiveDevice(3);
    QVERIFY(window.deviceManager()->activeDevice() == nullptr);
    window.showDeviceHeader(3);
    QCOMPARE(nameLabel->text(), QString("LLS Level Probe"));
}

void TestMainWindow::refreshShowsSearchingAtOnceAndRefills()
{
    SimProcess sim;
    QVERIFY(sim.start({"--no-pacing", SimProcess::sensorFile("01-lls.json")}));
    qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
    MainWindow window;
    ScanCounter scans(window);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);
    auto *combo = child<QComboBox>(&window, "deviceCombo");
    const int handlersAfterFirstFill = receiversOf(combo, SIGNAL(currentIndexChanged(int)));

    auto *stack = child<QStackedWidget>(&window, "selectStack");
    for (int round = 0; round < 2; ++round) {
        QTest::mouseClick(child<QPushButton>(&window, "refreshDevicesButton"), Qt::LeftButton);
        QCOMPARE(stack->currentIndex(), 0);
        auto *progress = child<QProgressBar>(&window, "searchProgress");
        QCOMPARE(progress->minimum(), 0);
        QCOMPARE(progress->maximum(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);
        QCOMPARE(stack->currentIndex(), 2);
        QCOMPARE(comboItems(combo), QStringList({"LLS Level Probe (on " + ptsName(sim.port(0)) + ")"}));
    }
    QCOMPARE(scans.finished, 3);
    // Each fill connects its index handler once, not once more per scan.
    QCOMPARE(receiversOf(combo, SIGNAL(currentIndexChanged(int))), handlersAfterFirstFill);
}

void TestMainWindow::noSensorsGivesNone()
{
    SimProcess sim;
    QVERIFY(sim.start({"--no-pacing", SimProcess::sensorFile("01-lls.json")}));
    qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
    MainWindow window;
    auto *nameLabel = child<QLabel>(&window, "sensorNameLabel");
    auto *infoLabel = child<QLabel>(&window, "infoLabel");
    auto header = [&] { return nameLabel->text() + "|" + nameLabel->toolTip() + "|" + infoLabel->toolTip(); };
    // No sensor is named while a scan runs, nor after one that found none.
    QCOMPARE(header(), QString("||"));
    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);
    QVERIFY(header().startsWith("LLS Level Probe|"));
    window.deviceManager()->interfaceSource = [] { return QVector<AbstractInterfaceDriver *>(); };
    window.startScan();
    QCOMPARE(header(), QString("||"));
    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);
    QCOMPARE(comboItems(child<QComboBox>(&window, "deviceCombo")), QStringList({"None"}));
    QVERIFY(!child<QPushButton>(&window, "selectButton")->isEnabled());
    QCOMPARE(header(), QString("||"));
}

void TestMainWindow::longScanKeepsOldListOutOfReach()
{
    SimProcess sim;
    QVERIFY(sim.start({"--no-pacing", SimProcess::sensorFile("01-lls.json"), "silent", "silent", "silent", "silent"}));
    qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
    MainWindow window;
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);
    auto *combo = child<QComboBox>(&window, "deviceCombo");
    auto *select = child<QPushButton>(&window, "selectButton");
    auto *stack = child<QStackedWidget>(&window, "selectStack");
    const QStringList oldItems = comboItems(combo);

    window.startScan();
    QVERIFY(window.isScanning());
    // After the five-second fallback the list page shows the old items, out of reach.
    QTRY_COMPARE_WITH_TIMEOUT(stack->currentIndex(), 2, 7000);
    QVERIFY(window.isScanning());
    QCOMPARE(comboItems(combo), oldItems);
    QVERIFY(!select->isEnabled());
    QVERIFY(!combo->isEnabled());
    MessageLog log;
    QMetaObject::invokeMethod(window.selectPage(), "on_selectButton_clicked");
    window.selectPage()->onDeviceIndexChanged(0);
    QCOMPARE(child<QStackedWidget>(&window, "stackedWidget")->currentIndex(), 0);
    QVERIFY(log.lines().isEmpty());

    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);
    QVERIFY(select->isEnabled());
    QVERIFY(combo->isEnabled());
    QCOMPARE(comboItems(combo), oldItems);
}

void TestMainWindow::writeTimeoutsDoNotAvalanche()
{
    SimProcess sim;
    QVERIFY(sim.start({"--no-pacing", "stalled", SimProcess::sensorFile("01-lls.json")}));
    qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
    MessageLog log;
    MainWindow window;
    ScanCounter scans(window);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);
    // The stalled port's three write time-outs fell inside the scan that covers them.
    QTRY_VERIFY_WITH_TIMEOUT(log.contains("writeRequestTimeout"), 5000);
    QTest::qWait(1000);
    QVERIFY(!window.isScanning());
    QCOMPARE(scans.finished, 1);
    QCOMPARE(child<QComboBox>(&window, "deviceCombo")->count(), 1);

    // Outside a scan, a burst of time-outs (three per failed request) costs exactly one rescan.
    for (int i = 0; i < 3; ++i)
        window.onInterfaceError("writeRequestTimeout");
    QVERIFY(window.isScanning());
    QCOMPARE(child<QStackedWidget>(&window, "selectStack")->currentIndex(), 0);
    // Refreshes meanwhile queue one more scan at most.
    window.startScan();
    window.startScan();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);
    QTest::qWait(1000);
    QCOMPARE(scans.finished, 3);
    QVERIFY(!window.isScanning());

    // Other errors are only logged.
    window.onInterfaceError("somethingElse");
    QVERIFY(!window.isScanning());
}

void TestMainWindow::unknownDeviceTypeOnSelect()
{
    SimProcess sim;
    // Catalogued without a name: the device has no type, so no form may open for it.
    QVERIFY(sim.start({"--no-pacing", R"({"kind":"level","family":"LLS","name":"nameless","deviceId":4401,"firmware":1})"}));
    qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
    MainWindow window;
    window.show();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);
    auto *combo = child<QComboBox>(&window, "deviceCombo");
    QCOMPARE(comboItems(combo), QStringList({"Uncatalogued LLS Device [4401] (on " + ptsName(sim.port(0)) + ")"}));
    auto *navigation = child<QPushButton>(&window, "navigationButton");
    navigation->setVisible(true);
    MessageLog log;
    QTest::mouseClick(child<QPushButton>(&window, "selectButton"), Qt::LeftButton);
    QVERIFY(log.contains("Device undifined! "));
    QVERIFY(!navigation->isVisible());
    QVERIFY(!navigation->isEnabled());
    QCOMPARE(child<QStackedWidget>(&window, "stackedWidget")->currentIndex(), 0);
}

void TestMainWindow::footerActions()
{
    qputenv("PELLORA_EXTRA_PORTS", "");
    MainWindow window;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    QTest::mouseClick(child<QPushButton>(&window, "helpButton"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(&window, "visitButton"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("file");
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(catcher.urls.size(), 2);
    QCOMPARE(catcher.urls.at(0), QUrl::fromLocalFile(QDir::current().absoluteFilePath("Pellora_Help.pdf")));
    QCOMPARE(catcher.urls.at(1), QUrl(QString::fromLatin1(MainWindow::WebAddress)));
    QVERIFY(child<QPushButton>(&window, "visitButton")->text().startsWith("visit "));

    const QString about = answerMessageBoxes([&] {
        QTest::mouseClick(child<QPushButton>(&window, "aboutButton"), Qt::LeftButton);
    });
    QVERIFY2(about.contains("1.2.5") && about.contains("Pellora"), qPrintable(about));
    QCOMPARE(window.windowTitle(), QString("Pellora"));
    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);
}

void TestMainWindow::shutdownDeletesTheWorkerSide()
{
    SimProcess sim;
    QVERIFY(sim.start({"--no-pacing", SimProcess::sensorFile("07-slimfin.json")}));
    qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
    QScopedPointer<MainWindow> window(new MainWindow);
    QTRY_VERIFY_WITH_TIMEOUT(!window->isScanning(), ScanTimeout);
    QPointer<DeviceManager> manager(window->deviceManager());
    QPointer<AbstractDevice> device(manager->devices().value(0));
    QVERIFY(device);
    // The manager and its devices go with the worker thread, on that thread.
    window.reset();
    QVERIFY(manager.isNull());
    QVERIFY(device.isNull());
}

// The scenarios below run in a child copy of this program, because they end the process.
static QString runChildProcess(const QStringList &arguments, const QString &closePorts, int *exitCode)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PELLORA_EXTRA_PORTS", QString());
    env.insert("PELLORA_CLOSE_PORTS", closePorts);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(30000);
    *exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    return QString::fromLocal8Bit(child.readAll());
}

void TestMainWindow::closingEndsTheProcess_data()
{
    QTest::addColumn<QStringList>("sensors");
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<bool>("forced");
    QStringList silents;
    for (int i = 0; i < 12; ++i)
        silents.append("silent");
    // Twelve silent ports would take 18 s to scan: closing stops after the port being probed.
    QTest::newRow("scan of silent ports") << silents << "close-during-scan" << false;
    // A port sending a byte every 25 ms without a prompt would hold its exchange for 12 s.
    const QString trickle = QString(R"({"kind":"script","paced":false,"chunkSize":1,"chunkGapMs":25,)"
                                    R"("replies":[{"command":"ID\r","reply":"%1"}]})").arg(QString(600, 'x'));
    QTest::newRow("scan stuck on a trickling port") << QStringList{trickle, "silent"} << "close-during-scan" << false;
    // A worker stuck in one exchange for longer than the wait is terminated after 10 s.
    QTest::newRow("worker stuck in a request") << QStringList() << "close-while-stuck" << true;
}

void TestMainWindow::closingEndsTheProcess()
{
    QFETCH(QStringList, sensors);
    QFETCH(QString, scenario);
    QFETCH(bool, forced);
#if defined(__SANITIZE_ADDRESS__)
    if (forced)
        QSKIP("Terminating a thread tears its stack down under the sanitizer's feet");
#endif
    SimProcess sim;
    QVERIFY(sensors.isEmpty() || sim.start(QStringList{"--verbose"} + sensors));
    int exitCode = -1;
    const QString output = runChildProcess({"--child=" + scenario}, sim.extraPorts(), &exitCode);
    const int exitMs = QRegularExpression("exit (\\d+) ms after close").match(output).captured(1).toInt();
    QCOMPARE(output.contains("Thread not responding; forcing termination..."), forced);
    QVERIFY2(forced ? exitMs >= 10000 && exitMs < 13000 : exitMs > 0 && exitMs < 2500, qPrintable(output));
    QCOMPARE(exitCode, 0);
    // Nothing of the worker's is deleted on a terminated thread.
    QVERIFY2(output.contains("driver kept"), qPrintable(output));
    // The window closed during the first attempt on the first port: no other attempt, no other port.
    if (!forced) {
        const int attempts = sim.commandsSeen(sim.port(0), 1, 2000);
        QVERIFY2(attempts >= 1 && attempts < SerialPortDriver::MaxAttempts, qPrintable(QString::number(attempts)));
        QCOMPARE(sim.commandsSeen(sim.port(1)), 0);
    }
}

void TestMainWindow::catalogueFailuresEndTheProgram_data()
{
    QTest::addColumn<QByteArray>("catalogue");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing") << QByteArray() << "Catalogue file not found!";
    QTest::newRow("corrupt") << QByteArray("x\nchecksum=0000000000000000000000000000000000000000\n[a]\nID=1\n")
                             << "Catalogue file corrupted!";
    QTest::newRow("too big") << QByteArray("x\nchecksum=disabled\n") + QByteArray(2100, '#')
                             << "Catalogue file corrupted! (Too big)";
    // Not a file at all: a device that never ends.
    QTest::newRow("link to /dev/zero") << QByteArray("->/dev/zero") << "Catalogue file corrupted!";
}

void TestMainWindow::catalogueFailuresEndTheProgram()
{
    QFETCH(QByteArray, catalogue);
    QFETCH(QString, message);
    // A copy of this program in a folder of its own, with the catalogue under test beside it.
    QTemporaryDir dir;
    const QString program = dir.filePath("pellora-child");
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
    if (catalogue.startsWith("->")) {
        QVERIFY(QFile::link(QString::fromLatin1(catalogue.mid(2)), dir.filePath("DeviceCatalogue.ini")));
    } else if (!catalogue.isEmpty()) {
        QFile file(dir.filePath("DeviceCatalogue.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(catalogue);
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(program, {"--child=catalogue"});
    QVERIFY(child.waitForFinished(10000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    QVERIFY2(output.contains("message box: " + message + "\n"), qPrintable(output));
    QVERIFY2(!output.contains("window constructed"), qPrintable(output));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
}

static int runChild(const QString &scenario)
{
    if (scenario == "catalogue") {
#if !defined(__SANITIZE_ADDRESS__)
        // A catalogue that reads without end must not take the machine's memory with it.
        const rlimit cap{2UL << 30, 2UL << 30};
        setrlimit(RLIMIT_AS, &cap);
#endif
        // Answer the catalogue's box and report its text; the window's construction ends the process.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                std::printf("message box: %s\n", qPrintable(box->text()));
                std::fflush(stdout);
                box->button(QMessageBox::Ok)->click();
            }
        });
        poll.start(20);
        MainWindow window;
        std::printf("window constructed\n");
        return 1;
    }
    // After the first scan one more, of the ports in PELLORA_CLOSE_PORTS or of a position sensor
    // whose parameters take 15 s to come (shown at once); the window closes 300 ms into it.
    static bool driverDeleted = false;
    static QElapsedTimer sinceClose;
    const bool stuck = scenario == "close-while-stuck";
    auto *window = new MainWindow;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    auto *scans = new QObject(window);
    auto closeSoon = [window] { QTimer::singleShot(300, window, [window] { sinceClose.start(); window->close(); }); };
    QObject::connect(window->deviceManager(), &DeviceManager::ScanFinished, scans, [=] {
        if (stuck && window->deviceManager()->devices().size() == 1) {
            delete scans;
            window->showDevice(0);
            closeSoon();
            return;
        }
        window->deviceManager()->interfaceSource = [stuck] {
            QVector<AbstractInterfaceDriver *> drivers;
            for (const QString &path : qEnvironmentVariable("PELLORA_CLOSE_PORTS").split(',', Qt::SkipEmptyParts)) {
                auto *port = new QSerialPort(path);
                SerialPortDriver::applyLineSettings(port);
                drivers.append(new SerialPortDriver(port));
            }
            if (stuck) {
                auto *driver = new ScriptedDriver;
                driver->destroyedFlag = &driverDeleted;
                driver->responder = [](const QByteArray &request, QByteArray &response) {
                    response = "ID\r\n123 1.4 456789\r\n>";
                    if (request != "ID\r")
                        QThread::sleep(15);
                    return request == "ID\r";
                };
                drivers.append(driver);
            }
            return drivers;
        };
        window->startScan();
        if (!stuck) {
            delete scans;
            closeSoon();
        }
    }, Qt::QueuedConnection);
    const int code = QApplication::exec();
    std::printf("exit %lld ms after close\n%s\n", sinceClose.elapsed(), driverDeleted ? "driver deleted" : "driver kept");
    return code;
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationVersion("1.2.5");
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument.startsWith("--child="))
            return runChild(argument.mid(8));
    }
    TestMainWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
