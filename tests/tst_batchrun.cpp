// --apply and --backup against a simulated bench, run as a user runs them: the real program, no
// display, every sensor on its own pseudo-terminal. What counts is what the simulator's registers
// hold afterwards, not what the program prints.
#include "files/fpcfile.h"
#include "files/settingsfile.h"
#include "simprocess.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

const QString Voltage = SimProcess::sensorFile("02-ils-voltage.json");
const QString Current = SimProcess::sensorFile("03-murkwell-current.json");
const QString Resistive = SimProcess::sensorFile("04-murkwell-resistive.json");

// A description written inline: the file's sensor with every register it sets one higher, so
// that a restore has something to put back, answering nothing after `unplugAfter` commands (0: never).
QString fresh(const QString &file, int unplugAfter = 0)
{
    QFile f(file);
    f.open(QIODevice::ReadOnly);
    QJsonObject description = QJsonDocument::fromJson(f.readAll()).object();
    QJsonObject registers = description.value("registers").toObject();
    for (const QString &r : registers.keys())
        registers[r] = QString::number(registers[r].toString().toUInt(nullptr, 16) + 1, 16);
    description["registers"] = registers;
    description["unplugAfter"] = unplugAfter;
    return QString::fromUtf8(QJsonDocument(description).toJson(QJsonDocument::Compact));
}

// The program on the given ports only (the first through --ports, the rest as extra ports), with
// no display at all.
std::unique_ptr<QProcess> start(const QStringList &arguments, const QStringList &ports)
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    env.insert("PELLORA_EXTRA_PORTS", ports.mid(1).join(','));
    p->setProcessEnvironment(env);
    p->start(QCoreApplication::applicationDirPath() + "/pellora", arguments + QStringList{"--ports", ports.value(0)});
    return p;
}

// Waits for the program; its output lines, and its exit code in *code (-1: it did not end normally).
QStringList finish(QProcess &p, int *code)
{
    const bool ended = p.waitForFinished(90000);
    if (!ended)
        p.kill();
    *code = ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    if (*code != 0)
        qInfo().noquote() << out << p.readAllStandardError();
    return out.split('\n', Qt::SkipEmptyParts);
}

QStringList run(const QStringList &arguments, const QStringList &ports, int *code)
{
    return finish(*start(arguments, ports), code);
}

}

class TestBatchRun : public QObject
{
    Q_OBJECT
private slots:
    void applyBackUpAndRestoreABench();
    void stopLeavesEverySensorLocked();
    void nothingIsWrittenUnlessWhole_data();
    void nothingIsWrittenUnlessWhole();
    void lateRepliesNeverShiftAValue();

private:
    SimProcess bench;
    QTemporaryDir dir;
    QStringList saved;  // the backup's files, by sensor in port order
};

void TestBatchRun::applyBackUpAndRestoreABench()
{
    // Replies in pieces a millisecond apart, as a line gives them; two resistive sensors share an
    // ID and a serial, so their backups need names of their own.
    const QStringList pacing{"--answer-delay", "0", "--chunk-size", "16", "--chunk-gap", "1"};
    QVERIFY(bench.start(pacing + QStringList{Voltage, Current, Resistive, Resistive, SimProcess::sensorFile("07-slimfin.json"), "silent"}));
    const QStringList ports = bench.ports();
    const QMap<QString, SimBank> before = bench.banks();

    // A settings file for the voltage sensor only: the others are refused before anything is sent.
    const QString conf = dir.filePath("bench.conf");
    QString error;
    QVERIFY2(SettingsFile::save(conf, {{"sensorType/Serial", "4201"}, {"sensorType/Firmware", "3"}, {"sensorType/ProductType", "10V"},
                                       {"settings/MinMeasuredRange", "10"}, {"settings/MaxMeasuredRange", "90"},
                                       {"settings/TankProfileEnable", "false"}, {"settings/MinOutputRange", "1"},
                                       {"settings/MaxOutputRange", "9"}, {"settings/SwitchOutputAlarmMode", "full"},
                                       {"settings/WarningLevel", "50"}, {"settings/WarningHysteresis", "5"}},
                                   &error),
             qPrintable(error));
    int code = 0;
    // The first port named twice is worked once.
    QStringList lines = run({"--apply", conf}, ports + ports.mid(0, 1), &code);
    QCOMPARE(code, 1);
    QCOMPARE(lines.size(), 7);
    const QStringList expected{"applied", "refused: the file is for sensor ID 4201", "refused", "refused", "skipped (not a level sensor)",
                               "no answer: skipped", "4 level sensors: 1 applied, 3 refused, 0 differ, 0 lost, 0 stopped; 2 ports skipped"};
    for (int i = 0; i < 6; ++i)
        QVERIFY2(lines[i].startsWith(ports[i].mid(5) + ": ") && lines[i].contains(expected[i]), qPrintable(lines[i]));
    QCOMPARE(lines[6], expected[6]);
    QMap<QString, SimBank> banks = bench.banks();
    const QMap<int, quint32> written{{903, 102}, {904, 921}, {907, 512}, {908, quint32(-51)}};
    for (auto it = written.cbegin(); it != written.cend(); ++it)
        QCOMPARE(banks[ports[0]].registers.value(it.key()), it.value());
    QVERIFY(banks[ports[0]].locked && before[ports[0]].registers != banks[ports[0]].registers);
    for (int i = 1; i < 4; ++i)
        QVERIFY(banks[ports[i]].registers == before[ports[i]].registers);

    // Back up the bench, then restore each file onto a fresh sensor of its type; one of the fresh
    // resistive sensors is unplugged part-way and must not stop the other.
    lines = run({"--backup", dir.filePath("backup")}, ports, &code);
    QCOMPARE(code, 0);
    for (int i = 0; i < 4; ++i) {
        const QString name = lines[i].section(": saved ", 1).section(".conf", 0, 0);
        QVERIFY2(QFile::exists(dir.filePath("backup/" + name + ".conf")) && QFile::exists(dir.filePath("backup/" + name + ".fpc")), qPrintable(lines[i]));
        saved << dir.filePath("backup/" + name);
    }
    QCOMPARE(QSet<QString>(saved.begin(), saved.end()).size(), 4);
    SimProcess other;
    QVERIFY(other.start(pacing + QStringList{fresh(Voltage), fresh(Current), fresh(Resistive), fresh(Resistive, 300)}));
    const QStringList to = other.ports();
    std::vector<std::unique_ptr<QProcess>> runs;
    runs.push_back(start({"--apply", saved[0] + ".fpc"}, {to[0]}));
    runs.push_back(start({"--apply", saved[1] + ".fpc"}, {to[1]}));
    runs.push_back(start({"--apply", saved[2] + ".fpc"}, {to[2], to[3]}));
    const QVector<int> codes{0, 0, 1};
    for (int i = 0; i < 3; ++i) {
        lines = finish(*runs[i], &code);
        QCOMPARE(code, codes[i]);
        QVERIFY2(lines[0].endsWith(": applied"), qPrintable(lines[0]));
    }
    QVERIFY2(lines[1].contains(": lost: stopped answering"), qPrintable(lines[1]));
    QCOMPARE(run({"--apply", saved[0] + ".conf"}, {to[0]}, &code).value(0), to[0].mid(5) + ": ILS Level Probe 0-10V (ID 4201, serial 000000): applied");
    QCOMPARE(code, 0);
    banks = bench.banks();
    const QMap<QString, SimBank> restored = other.banks();
    for (int i = 0; i < 3; ++i) {
        const SimBank &a = banks[ports[i]], &b = restored[to[i]];
        for (int r : FpcFile::exportedRegisters())
            QVERIFY2(SimBank::holdsText(r) ? a.text(r) == b.text(r) : a.registers.value(r) == b.registers.value(r),
                     qPrintable(QString("sensor %1, register %2").arg(i).arg(r)));
    }
}

// SIGHUP during an import: every sensor stops after its exchange and is locked again. Uses the
// bench and the backup of the test before.
void TestBatchRun::stopLeavesEverySensorLocked()
{
    QVERIFY(!saved.isEmpty());
    const QStringList ports = bench.ports();
    std::unique_ptr<QProcess> p = start({"--apply", saved[2] + ".fpc"}, ports);
    // Stopped once both resistive sensors are unlocked: being read or written.
    QDeadlineTimer deadline(30000);
    for (QMap<QString, SimBank> banks; !deadline.hasExpired(); QTest::qWait(100)) {
        banks = bench.banks();
        if (!banks.value(ports[2]).locked && !banks.value(ports[3]).locked && !banks.isEmpty())
            break;
    }
    QElapsedTimer clock;
    clock.start();
    // A dropped SSH session stops the bench as Ctrl+C does.
    ::kill(static_cast<pid_t>(p->processId()), SIGHUP);
    int code = 0;
    const QStringList lines = finish(*p, &code);
    QCOMPARE(code, 1);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(lines.value(2).contains(": stopped: ") && lines.value(3).contains(": stopped: "), qPrintable(lines.join('\n')));
    QVERIFY(lines.last().endsWith("2 refused, 0 differ, 0 lost, 2 stopped; 2 ports skipped"));
    const QMap<QString, SimBank> banks = bench.banks();
    for (int i = 0; i < 4; ++i)
        QVERIFY2(banks[ports[i]].locked && banks[ports[i]].measuring && banks[ports[i]].fixed == -1, qPrintable(ports[i]));
}

// What is refused is refused whole: a file that cannot be used writes nothing anywhere (exit 2,
// before any port is opened), a file for another sensor or a range it cannot take writes nothing
// to it, and a backup whose FPC export fails leaves neither file.
void TestBatchRun::nothingIsWrittenUnlessWhole_data()
{
    QTest::addColumn<QStringList>("arguments");  // FILE is replaced by the row's file
    QTest::addColumn<QByteArray>("file");        // .conf rows are signed, unless they say "disabled"
    QTest::addColumn<QString>("late");           // the simulator's --late
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("said");           // in the port's line, or on stderr for exit 2
    const QByteArray conf = "[sensorType]\nFirmware=3\nProductType=10V\nSerial=4201\n[settings]\nMaxMeasuredRange=90\nMaxOutputRange=9\n"
                            "MinMeasuredRange=10\nMinOutputRange=1\nSwitchOutputAlarmMode=full\nTankProfileEnable=false\nWarningHysteresis=5\n"
                            "WarningLevel=50\n";
    const QByteArray fpc = "* ILS Level Probe 0-10V,4201,3, generated by Pellora 1.2.5   07/12/2026 10:00:00\n";
    const QStringList apply{"--apply", "FILE"};
    QTest::newRow("another firmware's settings") << apply << QByteArray(conf).replace("Firmware=3", "Firmware=2") << "" << 1
                                                  << "refused: the file is for sensor ID 4201, firmware 2";
    QTest::newRow("another firmware's FPC file") << apply << QByteArray(fpc).replace(",3,", ",2,") + "PARAM,903,40\n" << "" << 1
                                                  << "refused: the file is for sensor ID 4201, firmware 2";
    QTest::newRow("an output beyond the converter") << apply << QByteArray(conf).replace("MaxOutputRange=9", "MaxOutputRange=10.5") << "" << 1
                                                     << "refused: the sensor cannot take the output range; nothing was written";
    QTest::newRow("a line the import would skip") << apply << fpc + "PARAM,903,40\nPARAM,999,1\n" << "" << 2 << "lines that cannot be imported";
    QTest::newRow("a header alone") << apply << fpc << "" << 2 << "holds no register values";
    QTest::newRow("a checksum disabled") << apply << QByteArray("disabled") + conf << "" << 2 << "is disabled";
    QTest::newRow("a key missing") << apply << QByteArray(conf).replace("WarningLevel=50\n", "") << "" << 2 << "WarningLevel is missing";
    QTest::newRow("an empty port list") << QStringList{"--apply", "FILE", "--ports", ""} << conf << "" << 2 << "--ports needs at least one port";
    QTest::newRow("a stray word") << QStringList{"--apply", "FILE", "now"} << conf << "" << 2 << "\"now\" belongs to no option";
    QTest::newRow("an option for a value") << QStringList{"--backup", "--ports", "x"} << conf << "" << 2 << "--backup needs a value";
    // Register 24 (the first temperature point) is read by the export alone, and never in time
    // (the sensor's answers queue up behind: it misses the lock too).
    QTest::newRow("a backup whose export fails") << QStringList{"--backup", "DIR"} << QByteArray() << "G 18=5000x0" << 1 << ": refused: ";
}

void TestBatchRun::nothingIsWrittenUnlessWhole()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, file);
    QFETCH(QString, late);
    QFETCH(QString, said);
    QTemporaryDir scratch;
    const QString path = scratch.filePath(file.startsWith("*") ? "f.fpc" : "f.conf");
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    if (file.startsWith("[") || file.startsWith("disabled")) {
        const bool disabled = file.startsWith("disabled");
        file = file.mid(disabled ? 8 : 0);
        file = "[checksum]\nchecksum=" + (disabled ? QByteArray("disabled") : QCryptographicHash::hash(file, QCryptographicHash::Sha1).toHex()) + "\n" + file;
    }
    out.write(file);
    out.close();
    arguments.replaceInStrings("FILE", path).replaceInStrings("DIR", scratch.filePath("backup"));
    SimProcess sim;
    QVERIFY(sim.start(QStringList{"--verbose", "--fast"} + (late.isEmpty() ? QStringList() : QStringList{"--late", late}) + QStringList{Voltage}));
    const SimBank before = sim.banks().value(sim.port(0));
    auto p = std::make_unique<QProcess>();
    p->setProcessChannelMode(QProcess::MergedChannels);
    p->setProgram(QCoreApplication::applicationDirPath() + "/pellora");
    p->setArguments(arguments + (arguments.contains("--ports") ? QStringList() : QStringList{"--ports", sim.port(0)}));
    p->start();
    int code = 0;
    const QString lines = finish(*p, &code).join('\n');
    QTEST(code, "code");
    QVERIFY2(lines.contains(said), qPrintable(lines));
    if (code == 2)
        QCOMPARE(sim.commandsSeen(sim.port(0)), 0);
    QCOMPARE(sim.banks().value(sim.port(0)).registers, before.registers);
    QCOMPARE(QDir(scratch.filePath("backup")).entryList(QDir::Files), QStringList());
}

// A reply that comes after the driver gave up on its request is never taken for another's: a
// backup, and an apply of it, across such a pause hold the sensor's values exactly, or say not.
void TestBatchRun::lateRepliesNeverShiftAValue()
{
    QTemporaryDir scratch;
    SimProcess sim;
    QVERIFY(sim.start({"--fast", "--late", "G 385=1700", Voltage}));
    int code = 0;
    const QStringList lines = run({"--backup", scratch.path()}, sim.ports(), &code);
    QVERIFY2(code == 0 && lines.value(0).contains(": saved "), qPrintable(lines.join('\n')));
    const QString fpc = scratch.filePath(lines[0].section(", ", -1));
    QByteArray text;
    QFile f(fpc);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QVector<FpcFile::RegisterWrite> writes = FpcFile::parse(f.readAll()).writes;
    const SimBank bank = sim.banks().value(sim.port(0));
    for (const FpcFile::RegisterWrite &w : writes)
        QVERIFY2(SimBank::holdsText(w.address) || bank.registers.value(w.address) == w.value.toUInt(nullptr, 16), qPrintable(QString::number(w.address)));

    // The read-back of register 906 comes late: what the line says the sensor holds, it holds.
    SimProcess other;
    QVERIFY(other.start({"--fast", "--late", "G 38A=1700x2", fresh(Voltage)}));
    const QString line = run({"--apply", fpc}, other.ports(), &code).value(0);
    QVERIFY2(line.endsWith(": applied") || line.contains(": differs: "), qPrintable(line));
    const SimBank restored = other.banks().value(other.port(0));
    for (const FpcFile::RegisterWrite &w : writes)
        QVERIFY2(!line.endsWith(": applied") || SimBank::holdsText(w.address) || restored.registers.value(w.address) == w.value.toUInt(nullptr, 16),
                 qPrintable(QString::number(w.address)));
}

QTEST_GUILESS_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
