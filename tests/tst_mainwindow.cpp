// The application shell against pellora-sim: scanning on the worker thread, the sensor list,
// the header, refresh, the write time-out rescan, closing during a scan, catalogue failures.
#include "app/mainwindow.h"
#include "app/select.h"
#include "device/abstractdevice.h"
#include "device/devicemanager.h"
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
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <cstdio>

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
    void closingDuringScanEndsWithinTheWaits();
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
    window.showDevice(99);
    window.showDevice(-1);
    window.deviceManager()->setActiveDevice(7);
    QVERIFY(window.deviceManager()->activeDevice() == nullptr);
    window.showDeviceHeader(5);
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
    QVERIFY(sim.start({"silent"}));
    qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
    MainWindow window;
    auto *nameLabel = child<QLabel>(&window, "sensorNameLabel");
    const QString headerBefore = nameLabel->text();
    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);
    QCOMPARE(comboItems(child<QComboBox>(&window, "deviceCombo")), QStringList({"None"}));
    QVERIFY(!child<QPushButton>(&window, "selectButton")->isEnabled());
    QCOMPARE(nameLabel->text(), headerBefore);
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
    QTRY_VERIFY_WITH_TIMEOUT(!window.isScanning(), ScanTimeout);
    QTest::qWait(1000);
    QCOMPARE(scans.finished, 2);
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
static QString runChildProcess(const QStringList &arguments, const QString &extraPorts, qint64 *elapsed, int *exitCode)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PELLORA_EXTRA_PORTS", extraPorts);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer clock;
    clock.start();
    child.start(QCoreApplication::applicationFilePath(), arguments);
    child.waitForFinished(30000);
    *elapsed = clock.elapsed();
    *exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    return QString::fromLocal8Bit(child.readAll());
}

void TestMainWindow::closingDuringScanEndsWithinTheWaits()
{
    // Twelve silent ports would take 18 s to scan: closing stops after the port being probed.
    SimProcess sim;
    QStringList silents;
    for (int i = 0; i < 12; ++i)
        silents.append("silent");
    QVERIFY(sim.start(silents));
    qint64 elapsed = 0;
    int exitCode = -1;
    QString output = runChildProcess({"--child=close-during-scan"}, sim.extraPorts(), &elapsed, &exitCode);
    QVERIFY2(!output.contains("Thread not responding"), qPrintable(output));
    QVERIFY2(elapsed < 6000, qPrintable(QString::number(elapsed)));
    QCOMPARE(exitCode, 0);

#if defined(__SANITIZE_ADDRESS__)
    QSKIP("Terminating a thread tears its stack down under the sanitizer's feet");
#endif
    // A worker stuck in one exchange for longer than the wait is terminated after 10 s.
    output = runChildProcess({"--child=close-while-stuck"}, QString(), &elapsed, &exitCode);
    QVERIFY2(output.contains("Thread not responding; forcing termination..."), qPrintable(output));
    QVERIFY2(elapsed >= 10000 && elapsed < 16000, qPrintable(QString::number(elapsed)));
    QCOMPARE(exitCode, 0);
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
}

void TestMainWindow::catalogueFailuresEndTheProgram()
{
    QFETCH(QByteArray, catalogue);
    QFETCH(QString, message);
    // A copy of this program in a folder of its own, with the catalogue under test beside it.
    QTemporaryDir dir;
    const QString program = dir.filePath("pellora-child");
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
    if (!catalogue.isEmpty()) {
        QFile file(dir.filePath("DeviceCatalogue.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(catalogue);
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(program, {"--child=catalogue"});
    QVERIFY(child.waitForFinished(20000));
    const QString output = QString::fromLocal8Bit(child.readAll());
    QVERIFY2(output.contains("message box: " + message + "\n"), qPrintable(output));
    QVERIFY2(!output.contains("window constructed"), qPrintable(output));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
}

static int runChild(const QString &scenario)
{
    if (scenario == "catalogue") {
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
    if (scenario == "close-while-stuck") {
        auto *window = new MainWindow;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        // After the first scan, one port whose exchange blocks the worker for 15 s.
        auto *once = new QObject(window);
        QObject::connect(window->deviceManager(), &DeviceManager::ScanFinished, once, [window, once] {
            delete once;
            window->deviceManager()->interfaceSource = [] {
                auto *driver = new ScriptedDriver;
                driver->responder = [](const QByteArray &, QByteArray &) {
                    QThread::sleep(15);
                    return false;
                };
                return QVector<AbstractInterfaceDriver *>{driver};
            };
            window->startScan();
            QTimer::singleShot(500, window, &QWidget::close);
        }, Qt::QueuedConnection);
        return QApplication::exec();
    }
    if (scenario == "close-during-scan") {
        auto *window = new MainWindow;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        QTimer::singleShot(300, window, &QWidget::close);
        return QApplication::exec();
    }
    return 3;
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
