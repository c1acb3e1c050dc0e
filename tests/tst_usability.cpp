// What users ask for beyond the sensors' own behaviour: scan progress and what became of each
// port, the command line (--list, --help, --version) where no display is available, the traffic
// trace, and a window a screen reader and a keyboard can use.
#include "app/mainwindow.h"
#include "app/select.h"
#include "device/deviceidentification.h"
#include "device/devicecatalogue.h"
#include "device/serialportdriver.h"
#include "device/tracelog.h"
#include "lls/device/llsdevice.h"
#include "lls/ui/llsform.h"
#include "lls/ui/probelevelgaugewidget.h"
#include "lls/ui/tankprofilehost.h"
#include "lls/ui/tankprofilewidget.h"
#include "llsrig.h"
#include "ncps/ncpsdevice.h"
#include "ncps/ncpsform.h"
#include "ncps/slimfinprotocol.h"
#include "shell.h"

#include <QAbstractSpinBox>
#include <QAccessible>
#include <QSerialPort>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QToolBox>
#include <QtTest>

#include <unistd.h>

namespace {


// Runs the program with no display at all; returns its exit code, output in *out.
int runProgram(const QStringList &arguments, QString *out, const QString &program = QCoreApplication::applicationDirPath() + "/pellora")
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    env.remove("QT_QPA_PLATFORM");
    env.insert("PELLORA_EXTRA_PORTS", "");
    p.setProcessEnvironment(env);
    p.start(program, arguments);
    p.waitForFinished(60000);
    *out = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

const QString Uncatalogued = R"({"kind":"level","family":"LLS","name":"odd","deviceId":4999,"firmware":2})";



// The visible controls that take focus but have no accessible name.
QStringList unnamed(QWidget *window)
{
    QStringList out;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        // A spin box's own line edit is announced as the spin box.
        if (!w->isVisibleTo(window) || w->focusPolicy() == Qt::NoFocus || qobject_cast<QAbstractSpinBox *>(w->parentWidget()))
            continue;
        QAccessibleInterface *face = QAccessible::queryAccessibleInterface(w);
        if (!face || face->text(QAccessible::Name).trimmed().isEmpty())
            out << w->metaObject()->className() + QStringLiteral(" ") + w->objectName() + " in " + w->parentWidget()->objectName();
    }
    return out;
}

struct NoHost : TankProfileHost
{
    int levelPercent() const override { return 0; }
    void setTankProfile(const QStringList &, const QStringList &) override {}
};

}

class TestUsability : public QObject
{
    Q_OBJECT

private slots:
    void listPrintsEveryPort();
    void helpVersionAndFailures();
    void traceShowsWhatTheSensorReceived();
    void selectionPageShowsProgressAndPorts();
    void everyControlHasAName();
};

void TestUsability::listPrintsEveryPort()
{
    SimProcess sim;
    QVERIFY(sim.start({SimProcess::sensorFile("01-lls.json"), "silent", "garbage", Uncatalogued, "silent"}));
    QSerialPort holder(sim.port(4));  // another program holds this one
    QVERIFY(holder.open(QIODevice::ReadWrite));
    QString out;
    QCOMPARE(runProgram({"--list", "--ports", sim.extraPorts()}, &out), 0);
    const QString p = sim.port(0).mid(5);
    QCOMPARE(out.trimmed().split('\n'), QStringList({p + ": LLS Level Probe (type LLS, ID 4101, firmware 2, serial 000000)",
                                                     sim.port(1).mid(5) + ": no answer",
                                                     sim.port(2).mid(5) + ": an answer that is not a known sensor",
                                                     sim.port(3).mid(5) + ": a sensor not in the catalogue (ID 4999, firmware 2)",
                                                     sim.port(4).mid(5) + ": busy (used by another program)"}));
    QCOMPARE(runProgram({"--list", "--ports", sim.port(1)}, &out), 1);
    if (geteuid() == 0) {  // as another user, the ports are not ours to open
        QCOMPARE(runProgram({"--reuid=65534", "--regid=65534", "--clear-groups", QCoreApplication::applicationDirPath() + "/pellora",
                             "--list", "--ports", sim.port(0)}, &out, "/usr/bin/setpriv"), 1);
        QCOMPARE(out.trimmed(), p + ": permission denied");
    }
}

// --help and --version, a missing catalogue and a trace that cannot be written, all without a display.
void TestUsability::helpVersionAndFailures()
{
    QString out;
    QVERIFY(runProgram({"--version"}, &out) == 0 && out.contains("pellora 1.2.5"));
    QVERIFY(runProgram({"--help"}, &out) == 0 && out.contains("--list") && out.contains("--trace <FILE>"));
    // Refused without a display: the usage error, exit code 2.
    QVERIFY2(runProgram({"--lst"}, &out) == 2 && out.contains("Unknown option 'lst'") && out.contains("--list"), qPrintable(out));
    QVERIFY2(runProgram({"--list", "--ports"}, &out) == 2 && out.contains("Missing value after '--ports'"), qPrintable(out));
    QVERIFY2(runProgram({"--apply", "a.conf", "--backup", "b"}, &out) == 2 && out.contains("choose one of"), qPrintable(out));
    // A file that cannot be used is refused before any port is searched.
    for (const char *file : {"/nonexistent.conf", PELLORA_CATALOGUE_PATH})
        QVERIFY2(runProgram({"--apply", file, "--ports", "/dev/null-port"}, &out) == 2 && !out.contains("null-port"), qPrintable(out));
    QVERIFY(runProgram({"--list", "--ports", "/dev/null-port", "--trace", "/nonexistent/dir/t.txt"}, &out) == 1);
    QVERIFY2(out.contains("cannot write the trace to /nonexistent/dir/t.txt"), qPrintable(out));
    QTemporaryDir dir;
    QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/pellora", dir.filePath("pellora")));
    QCOMPARE(runProgram({"--list"}, &out, dir.filePath("pellora")), 1);
    QVERIFY2(out.contains("Catalogue file not found!"), qPrintable(out));
}

// The trace of a load holds, in order, exactly the commands the sensor received.
void TestUsability::traceShowsWhatTheSensorReceived()
{
    SimProcess sim;
    QVERIFY(sim.start({"--verbose", SimProcess::sensorFile("02-ils-voltage.json")}));
    QTemporaryDir dir;
    QString error;
    QVERIFY(TraceLog::open(dir.filePath("trace.txt"), &error));
    DeviceCatalogue catalogue;
    QVERIFY(catalogue.load(QStringLiteral(PELLORA_CATALOGUE_PATH)));
    auto *port = new QSerialPort;
    SerialPortDriver::applyLineSettings(port);
    port->setPortName(sim.port(0));
    auto *driver = new SerialPortDriver(port);
    QVERIFY(driver->open());
    QByteArray id;
    QScopedPointer<AbstractDevice> device(createDevice(driver, driver->sendRequest("ID\r", id), id, catalogue));
    QVERIFY(device);
    qobject_cast<LLSDevice *>(device.data())->ReadParameter();
    TraceLog::close();

    QFile trace(dir.filePath("trace.txt"));
    QVERIFY(trace.open(QIODevice::ReadOnly));
    QStringList sent, replies;
    const QRegularExpression line("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (\\S+) (->|<-) (.*) \\[(.+)\\]$");
    for (const QByteArray &raw : trace.readAll().split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(raw));
        if (raw.isEmpty())
            continue;
        QVERIFY2(m.hasMatch() && m.captured(1) == sim.port(0).mid(5), raw.constData());
        (m.captured(2) == "->" ? sent : replies) << m.captured(3) + " [" + m.captured(4) + "]";
    }
    QStringList received;
    sim.commandsSeen(sim.port(0), sent.size(), 3000);
    for (const QString &l : sim.takeLog())
        received << l.section(" <- ", 1) + " [sent]";
    QCOMPARE(sent, received);
    QCOMPARE(replies.size(), sent.size());
    QVERIFY2(replies.first().startsWith("ID\\r\\n\\r\\x02I,1069,") && replies.first().endsWith("> [reply]"), qPrintable(replies.first()));
}

void TestUsability::selectionPageShowsProgressAndPorts()
{
    SerialPortDriver::setPortList({});  // the simulator's ports only
    Shell s;
    s.options = QStringList{};
    QVERIFY(s.start({"silent", "silent", SimProcess::sensorFile("01-lls.json"), Uncatalogued}, false));
    SimProcess &sim = s.sim;
    MainWindow &window = *s.window;
    QStringList progress;
    QTRY_VERIFY_WITH_TIMEOUT((progress << window.selectPage()->progressText(), !window.isScanning()), 20000);
    progress.removeDuplicates();
    // All four at once: the answers are counted as they come, the list stays in port order.
    QVERIFY2(!progress.filter(QRegularExpression("^Searching 4 ports \\([1-3] answered\\)$")).isEmpty(), qPrintable(progress.join('|')));
    QCOMPARE(window.selectPage()->portDetails().split('\n'),
             QStringList({sim.port(0).mid(5) + ": no answer", sim.port(1).mid(5) + ": no answer",
                          sim.port(2).mid(5) + ": LLS Level Probe", sim.port(3).mid(5) + ": a sensor not in the catalogue (ID 4999, firmware 2)"}));
    QVERIFY(window.selectPage()->permissionHint().isEmpty());
    window.selectPage()->showPortReports({{"ttyUSB0", PortReport::PermissionDenied, {}}});
    QVERIFY(window.selectPage()->permissionHint().contains("sudo usermod -aG dialout $USER"));
}

// Every visible control of every window that takes focus has a name; pictures describe their value.
void TestUsability::everyControlHasAName()
{
    QStringList missing;
    // Every page of every stack and tool box in turn: a control on a hidden page is not visible.
    auto allPages = [&missing](QWidget *top) {
        top->show();
        missing << unnamed(top);
        for (QStackedWidget *stack : top->findChildren<QStackedWidget *>())
            for (int i = 0; i < stack->count(); ++i)
                stack->setCurrentIndex(i), missing << unnamed(top);
        for (QToolBox *box : top->findChildren<QToolBox *>())
            for (int i = 0; i < box->count(); ++i)
                box->setCurrentIndex(i), missing << unnamed(top);
    };
    SerialPortDriver::setPortList({});
    qputenv("PELLORA_EXTRA_PORTS", "");
    MainWindow main;
    allPages(&main);
    LLSRig rig("Murkwell", "tankProfile");
    LLSForm level(&rig.device, nullptr);
    allPages(&level);
    NCPSDevice device(new SlimfinProtocol(new ScriptedDriver), {"1", "1.0", "1"}, {"1", "", "S", "Slimfin", "", ""});
    NCPSForm position(&device, nullptr);
    allPages(&position);
    NoHost host;
    TankProfileWidget editor(&host);
    allPages(&editor);
    missing.removeDuplicates();
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(", ")));

    ProbeLevelGaugeWidget gauge;
    gauge.setValue(42.5f);
    QCOMPARE(QAccessible::queryAccessibleInterface(&gauge)->text(QAccessible::Description), QString("42.5"));
    editor.refreshTableView({"0", "50", "100"}, {"0", "40", "100"}, false);
    QCOMPARE(QAccessible::queryAccessibleInterface(editor.findChild<QWidget *>("graphicsView_2"))->text(QAccessible::Description),
             QString("Total points used: 3 of 128"));
}

QTEST_MAIN(TestUsability)
#include "tst_usability.moc"
