// The application shell against pellora-sim: the scan, the list and header, refreshes, time-outs, the
// footer, the position form in the window; in a child copy of this program, closing and bad catalogues.
#include "app/select.h"
#include "device/serialportdriver.h"
#include "ncps/activatorwidget.h"
#include "ncps/ncpsdevice.h"
#include "ncps/ncpsform.h"
#include "messagelog.h"
#include "modalanswer.h"
#include "scripteddriver.h"
#include "shell.h"

#include <QCryptographicHash>
#include <QDesktopServices>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QSerialPort>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const QString Slimfin = SimProcess::sensorFile("07-slimfin.json");

// QObject::receivers() is protected: reached through a member pointer, not a downcast.
struct SignalPeek : QObject
{
    using QObject::receivers;
};

int receiversOf(QObject *object, const char *signal)
{
    return (object->*(&SignalPeek::receivers))(signal);
}

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

// Whether the program holds the port: a second opener is turned away while it does.
bool portIsFree(const QString &path)
{
    QSerialPort probe(path);
    return probe.open(QIODevice::ReadWrite);
}

// The shell on position sensors.
struct PositionShell : Shell
{
    // Both position sensors, listed.
    bool startPositionSensors() { return start({Slimfin, SimProcess::sensorFile("08-slimfindual.json")}) && devices() == 2; }
    // Shows the sensor at index and waits until its form polls (the second's lower limit is on the right).
    bool showAndPoll(int index)
    {
        window->showDevice(index);
        NCPSForm *form = window->positionForm();
        if (!form)
            return false;
        const int before = sim.commandsSeen(sim.port(index));
        const int lower = index == 0 ? -12135 : 13971;
        // The loop needs the event loop turning: poll the log without blocking it.
        return QTest::qWaitFor([&] { return form->activatorWidget()->bubbleValue(ActivatorWidget::MinimumBubble) == lower
                                            && sim.commandsSeen(sim.port(index)) >= before + 10; }, 10000) && form->isPolling();
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

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { qunsetenv("PELLORA_EXTRA_PORTS"); }
    void listHeaderLongScanAndShutdown();
    void refreshesAndWriteTimeouts();
    void footerActions();
    void positionFormInTheWindow();
    void deadPortBackToTheList_data();
    void deadPortBackToTheList();
    void closingEndsTheProcess_data();
    void closingEndsTheProcess();
    void catalogueFailuresEndTheProgram_data();
    void catalogueFailuresEndTheProgram();
};

void TestMainWindow::listHeaderLongScanAndShutdown()
{
    Shell s;
    QVERIFY(s.start({Slimfin, "silent", SimProcess::sensorFile("01-lls.json"), Slimfin,
                     R"({"kind":"level","family":"LLS","name":"nameless","deviceId":4401,"firmware":1})", "silent", "silent", "silent"},
                    false));
    MainWindow &window = *s.window;
    auto *stack = s.w<QStackedWidget>("selectStack");
    QVERIFY(s.scanned());

    // In port order; same names differ by their port; catalogued without a name, a sensor has no type.
    QCOMPARE(stack->currentIndex(), 2);
    const QStringList items{"Slimfin Position Sensor (on " + ptsName(s.sim.port(0)) + ")", "LLS Level Probe (on " + ptsName(s.sim.port(2)) + ")",
                            "Slimfin Position Sensor (on " + ptsName(s.sim.port(3)) + ")",
                            "Uncatalogued LLS Device [4401] (on " + ptsName(s.sim.port(4)) + ")"};
    QCOMPARE(s.items(), items);
    auto *select = s.w<QPushButton>("selectButton");
    auto *combo = s.w<QComboBox>("deviceCombo");
    QVERIFY(select->isEnabled());
    QCOMPARE(s.w<QProgressBar>("searchProgress")->value(), 1);
    QCOMPARE(s.header(), QString("Slimfin Position Sensor|Device ID: 123 - Firmware 1.4 - Serial 456789|"
                                 "Device ID: 123 - Firmware 1.4 - Serial 456789"));
    combo->setCurrentIndex(1);
    QVERIFY(s.header().startsWith("LLS Level Probe|Device ID: 4101 - Firmware 2 - Serial 000000|"));

    // Indexes outside the list read nothing from it.
    const int count = s.devices();
    window.showDevice(count);
    window.showDevice(-1);
    window.showDeviceHeader(count);
    MessageLog log;
    window.deviceManager()->setActiveDevice(0);
    window.deviceManager()->setActiveDevice(count);
    QVERIFY(!window.deviceManager()->activeDevice());
    QVERIFY(log.contains(QString("setActiveDevice: no device at index %1").arg(count)));
    QVERIFY(s.header().startsWith("LLS Level Probe|"));

    // A device without a type opens no form.
    auto *navigation = s.w<QPushButton>("navigationButton");
    navigation->setVisible(true);
    combo->setCurrentIndex(3);
    QTest::mouseClick(select, Qt::LeftButton);
    QVERIFY(log.contains("Device undifined! "));
    QVERIFY(!navigation->isVisible() && !navigation->isEnabled());
    auto *pages = s.w<QStackedWidget>("stackedWidget");
    QCOMPARE(pages->currentIndex(), 0);

    // After the five-second fallback of a rescan the list page shows the old items, out of reach. A
    // port that takes seven seconds to answer makes the rescan outlast it.
    const auto ports = window.deviceManager()->interfaceSource();
    window.deviceManager()->setInterfaceSource([ports] {
        auto *slow = new ScriptedDriver;
        slow->responder = [](const QByteArray &, QByteArray &) { return QThread::sleep(7), false; };
        return ports() << slow;
    });
    window.startScan();
    QTRY_COMPARE_WITH_TIMEOUT(stack->currentIndex(), 2, 7000);
    QVERIFY(window.isScanning());
    QCOMPARE(s.items(), items);
    QVERIFY(!select->isEnabled() && !combo->isEnabled());
    QMetaObject::invokeMethod(window.selectPage(), "on_selectButton_clicked");
    window.selectPage()->onDeviceIndexChanged(0);
    window.showDevice(0);
    window.showDeviceHeader(0);
    QCOMPARE(pages->currentIndex(), 0);
    QCOMPARE(s.header(), QString("||"));
    QVERIFY(s.scanned());
    QVERIFY(select->isEnabled() && combo->isEnabled());
    QCOMPARE(s.items(), items);

    // The manager and its devices go with the worker thread, on that thread.
    QThread *worker = window.workerThread();
    QSet<QThread *> deletedOn;
    QObject *objects[] = {window.deviceManager(), window.deviceManager()->devices().value(0)};
    for (QObject *object : objects)
        connect(object, &QObject::destroyed, object, [&] { deletedOn.insert(QThread::currentThread()); }, Qt::DirectConnection);
    QVERIFY(objects[1]);
    s.window.reset();
    QCOMPARE(deletedOn, QSet<QThread *>{worker});
}

// A stalled port's time-outs, one per attempt of its request, fall inside the scan that covers them.
// Outside a scan a burst of time-outs costs one rescan, and refreshes meanwhile queue one more scan
// at most. A refresh shows the search at once, and each fill connects the list's handler once.
void TestMainWindow::refreshesAndWriteTimeouts()
{
    MessageLog log;
    Shell s;
    QVERIFY(s.start({"stalled", SimProcess::sensorFile("01-lls.json")}));
    MainWindow &window = *s.window;
    // What an attempt left unsent was discarded: the backlog is the same every time.
    QTRY_COMPARE_WITH_TIMEOUT(log.lines().filter("writeRequestTimeout").size(), 3, 5000);
    const QStringList waiting = log.lines().filter("Bytes waiting to be written:");
    QVERIFY2(waiting.size() == 3 && waiting.count(waiting.first()) == 3, qPrintable(waiting.join('\n')));
    QTest::qWait(1000);
    QCOMPARE(s.scans, 1);
    const QStringList items{"LLS Level Probe (on " + ptsName(s.sim.port(1)) + ")"};
    QCOMPARE(s.items(), items);
    auto *combo = s.w<QComboBox>("deviceCombo");
    const int handlers = receiversOf(combo, SIGNAL(currentIndexChanged(int)));

    for (int i = 0; i < 3; ++i)
        window.onInterfaceError("writeRequestTimeout");
    QVERIFY(window.isScanning());
    s.click("refreshDevicesButton");
    s.click("refreshDevicesButton");
    QCOMPARE(s.w<QStackedWidget>("selectStack")->currentIndex(), 0);
    QCOMPARE(s.w<QProgressBar>("searchProgress")->maximum(), 0);
    QVERIFY(s.scanned());
    QTest::qWait(1000);
    QCOMPARE(s.scans, 3);
    QCOMPARE(s.w<QStackedWidget>("selectStack")->currentIndex(), 2);
    QCOMPARE(s.items(), items);
    QCOMPARE(receiversOf(combo, SIGNAL(currentIndexChanged(int))), handlers);
    QVERIFY(s.header().startsWith("LLS Level Probe|"));

    // No sensor is named after a scan that found nothing.
    window.deviceManager()->setInterfaceSource([] { return QVector<AbstractInterfaceDriver *>(); });
    s.click("refreshDevicesButton");
    QVERIFY(s.scanned());
    QCOMPARE(s.items(), QStringList({"None"}));
    QVERIFY(!s.w<QPushButton>("selectButton")->isEnabled());
    QCOMPARE(s.header(), QString("||"));
    // Other errors are only logged.
    window.onInterfaceError("somethingElse");
    QVERIFY(!window.isScanning());
}

void TestMainWindow::footerActions()
{
    qputenv("PELLORA_EXTRA_PORTS", "");
    MainWindow window;
    auto click = [&](const char *name) { QTest::mouseClick(window.findChild<QPushButton *>(name), Qt::LeftButton); };
    UrlCatcher catcher;
    // HELP opens the document in the working folder, where an installed menu entry starts the program;
    // without it the user is told where it should be.
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(folder.path());
    const QString pdf = QDir::current().absoluteFilePath("Pellora_Help.pdf");
    const QString missing = answerMessageBoxes([&] { click("helpButton"); });
    QVERIFY2(missing.contains(pdf), qPrintable(missing));
    QFile(pdf).open(QIODevice::WriteOnly);
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    click("helpButton");
    QDesktopServices::unsetUrlHandler("file");
    QDir::setCurrent(previous);
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(pdf)});
    const QString about = answerMessageBoxes([&] { click("aboutButton"); });
    QVERIFY2(about.contains("Pellora 1.2.5"), qPrintable(about));
}

void TestMainWindow::positionFormInTheWindow()
{
    PositionShell s;
    QVERIFY(s.startPositionSensors());
    const QString port = s.sim.port(0);
    QVERIFY(s.showAndPoll(0));
    NCPSForm *form = s.window->positionForm();
    auto *pages = s.w<QStackedWidget>("stackedWidget");
    QCOMPARE(pages->currentIndex(), 1);
    QVERIFY(!portIsFree(port));
    // The parameters fill the markers and spin boxes; of the form description's tabs two are the form's.
    ActivatorWidget *picture = form->activatorWidget();
    QCOMPARE(picture->bubbleValue(ActivatorWidget::MaximumBubble), 11864);
    QCOMPARE(picture->maximum(), 15800);
    QCOMPARE(picture->markerText(ActivatorWidget::MinimumBubble) + "|" + picture->markerText(ActivatorWidget::MaximumBubble),
             QString("Current Minimum Position\n0.45 V|Current Maximum Position\n4.13 V"));
    auto *top = form->findChild<QDoubleSpinBox *>("topOutputLimitSpin");
    QCOMPARE(QList<double>({form->findChild<QDoubleSpinBox *>("bottomOutputLimitSpin")->value(), top->value(), top->maximum()}),
             QList<double>({0.45, 4.13, 4.57}));
    QCOMPARE(form->findChild<QSpinBox *>("activatorResponseSpin")->value(), 256);
    auto *tabs = form->findChild<QTabWidget *>("tabWidget");
    QCOMPARE(QStringList({tabs->tabText(0), tabs->tabText(tabs->count() - 1)}), QStringList({"Output Levels", "Activator Settings"}));
    QCOMPARE(tabs->count(), 2);
    // The loop runs on by itself, one request per reply, and the activator shows up.
    QSignalSpy requests(form, &NCPSForm::ReadMeasurement);
    int replies = 0;
    connect(form->device(), &NCPSDevice::MeasurementUpdate, form, [&] { ++replies; });
    QTRY_VERIFY_WITH_TIMEOUT(picture->activatorVisible() && replies >= 12, 10000);
    QVERIFY2(qAbs(requests.count() - replies) <= 1, qPrintable(QString("%1 requests, %2 replies").arg(requests.count()).arg(replies)));
    QVERIFY(picture->value() >= -14500 && picture->value() <= 14500);
    QVERIFY(form->findChild<QLineEdit *>("activatorLevelEdit")->text().toInt() > 256);
    if (qEnvironmentVariableIsSet("PELLORA_NCPS_SCREENSHOT"))
        QVERIFY(form->grab().save(qEnvironmentVariable("PELLORA_NCPS_SCREENSHOT")));

    // Leaving ends polling; at most the request under way goes out, then the port is free. The form
    // stays until another position sensor is shown; no rescan.
    s.sim.takeLog();
    s.click("navigationButton");
    QVERIFY(!form->isPolling());
    QCOMPARE(pages->currentIndex(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(portIsFree(port), 3000);
    QTest::qWait(300);
    QVERIFY(s.sim.commandsSeen(port) <= 1);
    QCOMPARE(s.window->positionForm(), form);
    QVERIFY(!s.window->isScanning());

    // Reselected right after leaving, the old form's last reply reaches the new one: no port closed, no second chain.
    MessageLog log;
    QVERIFY(s.showAndPoll(0));
    for (int round = 0; round < 3; ++round) {
        s.click("navigationButton");
        QVERIFY(s.showAndPoll(0));
    }
    const int perSecond = s.pollsPerSecond(0);
    QVERIFY(!portIsFree(port));
    QVERIFY2(!log.contains("Port closed!"), qPrintable(log.lines().join('\n')));

    // The second sensor replaces the form.
    QPointer<NCPSForm> old(s.window->positionForm());
    QVERIFY(s.showAndPoll(1));
    QVERIFY(old.isNull());
    QCOMPARE(s.window->positionForm()->activatorWidget()->bubbleValue(ActivatorWidget::MaximumBubble), -12607);

    // Rescans delete the devices while a reply may be under way: the form goes first (AddressSanitizer
    // sees any use of the old device). A refresh right after leaving; then one chain, as fast as above.
    s.click("navigationButton");
    s.window->startScan();
    QVERIFY(!s.window->positionForm());
    QVERIFY(s.scanned() && s.devices() == 2);
    QVERIFY(s.showAndPoll(0));
    const int singleChain = s.pollsPerSecond(0);
    QVERIFY2(perSecond < singleChain * 3 / 2, qPrintable(QString("%1 vs %2").arg(perSecond).arg(singleChain)));
    // A write time-out while polling, as the driver reports it: back to the list, which is rebuilt.
    s.window->onInterfaceError("writeRequestTimeout");
    QCOMPARE(pages->currentIndex(), 0);
    QVERIFY(s.window->selectPage()->notice().startsWith("The sensor on " + ptsName(port) + " did not answer."));
    QVERIFY(!s.window->selectPage()->notice().contains("incomplete"));  // nothing was being written
    QVERIFY(s.window->isScanning());
    QVERIFY(!s.window->positionForm());
    QVERIFY(s.scanned() && s.devices() == 2);
    QTRY_VERIFY_WITH_TIMEOUT(portIsFree(port), 3000);
    QVERIFY(s.showAndPoll(1));
}

void TestMainWindow::deadPortBackToTheList_data()
{
    QTest::addColumn<QString>("fault");  // while polling the sensor stops answering or hangs up; or its port is held elsewhere
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("listed");     // sensors the rescan finds (a freed terminal may be anyone's by then)
    QTest::newRow("port held elsewhere") << "held" << "Cannot open %1: " << 1;
    QTest::newRow("sensor silent while polling") << "silent" << "The sensor on %1 did not answer. " << 0;
    QTest::newRow("sensor gone while polling") << "gone" << "The sensor on %1 did not answer. " << -1;
}

// Back to the list, saying why, and a rescan; no reading from a failed exchange; a dead port neither spins nor floods the log.
void TestMainWindow::deadPortBackToTheList()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    const bool held = fault == "held";
    PositionShell s;
    QVERIFY(s.startPositionSensors());
    const QString port = s.sim.port(0);
    QSerialPort holder(port);
    auto *device = qobject_cast<NCPSDevice *>(s.window->deviceManager()->devices().value(0));
    QVERIFY(device);
    QObject watcher;
    bool failed = held;
    int readingsAfterFailure = 0;
    const int scans = s.scans;
    connect(device, &AbstractDevice::CommunicationFailed, &watcher, [&] { failed = true; });
    connect(device, &NCPSDevice::MeasurementUpdate, &watcher, [&] { readingsAfterFailure += failed; });
    connect(device, &NCPSDevice::ParameterUpdate, &watcher, [&] { readingsAfterFailure += failed; });
    QVERIFY(held ? holder.open(QIODevice::ReadWrite) : s.showAndPoll(0));

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
    QTRY_VERIFY_WITH_TIMEOUT(s.w<QStackedWidget>("stackedWidget")->currentIndex() == 0 && s.scans == scans + 1, 25000);
    const QString notice = s.window->selectPage()->notice();
    QVERIFY2(notice.startsWith(message.arg(ptsName(port))) && notice.endsWith(" Check its cable and power, then select it again."),
             qPrintable(notice));
    QVERIFY(s.scanned());
    QFETCH(int, listed);
    QVERIFY(listed < 0 || s.devices() == listed);
    QTest::qWait(2000);
    const double cpu = (cpuSeconds() - cpuBefore) / (clock.elapsed() / 1000.0);
    const double linesPerSecond = log.lines().size() / (clock.elapsed() / 1000.0);
    QVERIFY2(cpu < 0.25 && linesPerSecond < 20, qPrintable(QString("%1 of a core, %2 lines/s").arg(cpu).arg(linesPerSecond)));
    QCOMPARE(readingsAfterFailure, 0);
}

// The scenarios below run in a child copy of this program, because they end the process.
static QString runChildProcess(const QString &program, const QString &scenario, const QString &closePorts, int *exitCode)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PELLORA_EXTRA_PORTS", QString());
    env.insert("PELLORA_CLOSE_PORTS", closePorts);
    env.insert("QT_LOGGING_RULES", "pellora.ui.debug=true");  // the window's last words are read
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(program, {"--child=" + scenario});
    child.waitForFinished(30000);
    *exitCode = child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
    return QString::fromLocal8Bit(child.readAll());
}

void TestMainWindow::closingEndsTheProcess_data()
{
    QTest::addColumn<QStringList>("sensors");
    QTest::addColumn<bool>("stuck");
    // Twelve silent ports, probed at once: closing ends every probe after its attempt under way.
    QTest::newRow("scan of silent ports") << QString("silent,").repeated(12).split(',', Qt::SkipEmptyParts) << false;
    // A port sending a byte every 25 ms without a prompt would hold its exchange for 12 s.
    const QString trickle = QString(R"({"kind":"script","paced":false,"chunkSize":1,"chunkGapMs":25,)"
                                    R"("replies":[{"command":"ID\r","reply":"%1"}]})").arg(QString(600, 'x'));
    QTest::newRow("scan stuck on a trickling port") << QStringList{trickle, "silent"} << false;
    // A worker stuck in one exchange for longer than the wait is terminated after 10 s.
    QTest::newRow("worker stuck in a request") << QStringList() << true;
}

void TestMainWindow::closingEndsTheProcess()
{
    QFETCH(QStringList, sensors);
    QFETCH(bool, stuck);
#if defined(__SANITIZE_ADDRESS__)
    if (stuck)
        QSKIP("Terminating a thread tears its stack down under the sanitizer's feet");
#endif
    SimProcess sim;
    QVERIFY(sensors.isEmpty() || sim.start(QStringList{"--verbose"} + sensors));
    int exitCode = -1;
    const QString output = runChildProcess(QCoreApplication::applicationFilePath(), stuck ? "close-while-stuck" : "close-during-scan",
                                           sim.extraPorts(), &exitCode);
    const int exitMs = QRegularExpression("exit (\\d+) ms after close").match(output).captured(1).toInt();
    QCOMPARE(output.contains("Thread not responding; forcing termination..."), stuck);
    QVERIFY2(stuck ? exitMs >= 10000 && exitMs < 13000 : exitMs > 0 && exitMs < 2500, qPrintable(output));
    QCOMPARE(exitCode, 0);
    // Nothing of the worker's is deleted on a terminated thread.
    QVERIFY2(output.contains("driver kept"), qPrintable(output));
    // The window closed during the first attempts: every port was asked, none got all its attempts.
    for (const QString &port : sim.ports()) {
        const int attempts = sim.commandsSeen(port, 1, 2000);
        QVERIFY2(attempts >= 1 && attempts < SerialPortDriver::MaxAttempts, qPrintable(port + ": " + QString::number(attempts)));
    }
}

void TestMainWindow::catalogueFailuresEndTheProgram_data()
{
    QTest::addColumn<QByteArray>("catalogue");  // "->path": a link to path
    QTest::addColumn<QString>("message");       // empty: accepted
    auto sign = [](const QByteArray &body) { return "; test\nchecksum=" + QCryptographicHash::hash(body, QCryptographicHash::Sha1).toHex() + "\n" + body; };
    // A signed catalogue of exactly the given size.
    auto sized = [&](int size) {
        const QByteArray head = "[a]\nID=1\nName=x\nDeviceType=LLS\n[z]\nComment=";
        return sign(head + QByteArray(size - sign(head + "\n").size(), 'x') + "\n");
    };
    const QByteArray good = sized(1000);
    const int digest = good.indexOf("checksum=") + 9;
    const QString corrupted = "Catalogue file corrupted!";
    QTest::newRow("a line changed") << QByteArray(good).replace("Name=x", "Name=y") << corrupted;
    QTest::newRow("line 1 free, line 2 ending in white space and CR") << QByteArray(good).insert(digest + 40, "  \r").replace("; test", "[edited]") << "";
    QTest::newRow("upper-case digest") << QByteArray(good).replace(digest, 40, good.mid(digest, 40).toUpper()) << corrupted;
    QTest::newRow("last line signed without a line feed") << sign("[a]\nID=1\nName=x\nDeviceType=LLS") << "";
    QTest::newRow("line feed dropped after signing") << good.chopped(1) << corrupted;
    QTest::newRow("checks disabled") << QByteArray(good).replace(digest, 40, "disabled").replace("Name=x", "Name=y") << "";
    QTest::newRow("1999 bytes") << sized(1999) << "";
    QTest::newRow("2000 bytes") << sized(2000) << "Catalogue file corrupted! (Too big)";
    // Not a file at all: a device that never ends.
    QTest::newRow("link to /dev/zero") << QByteArray("->/dev/zero") << corrupted;
}

void TestMainWindow::catalogueFailuresEndTheProgram()
{
    QFETCH(QByteArray, catalogue);
    QFETCH(QString, message);
    // A copy of this program in a folder of its own, with the catalogue under test beside it.
    QTemporaryDir dir;
    const QString program = dir.filePath("pellora-child");
    const QString path = dir.filePath("DeviceCatalogue.ini");
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), program));
    if (catalogue.startsWith("->")) {
        QVERIFY(QFile::link(QString::fromLatin1(catalogue.mid(2)), path));
    } else {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(catalogue);
    }
    int exitCode = -1;
    const QString output = runChildProcess(program, "catalogue", QString(), &exitCode);
    QVERIFY2(message.isEmpty() ? !output.contains("message box") : output.contains("message box: " + message + "\n"), qPrintable(output));
    // A refused catalogue ends the program, exit code 0, before the window is made.
    QCOMPARE(output.contains("window constructed"), message.isEmpty());
    QCOMPARE(exitCode, message.isEmpty() ? 1 : 0);
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
    // A second scan, of PELLORA_CLOSE_PORTS or of a position sensor whose parameters take 15 s (shown at
    // once); the window closes 300 ms into it.
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
        window->deviceManager()->setInterfaceSource([stuck] {
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
        });
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
    if (argc > 1 && QByteArray(argv[1]).startsWith("--child="))
        return runChild(QString::fromLocal8Bit(argv[1] + 8));
    TestMainWindow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
