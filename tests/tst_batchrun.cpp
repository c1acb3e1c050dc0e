// --apply and --backup against a simulated bench, run as a user runs them: the real program, no
// display, every sensor on its own pseudo-terminal. What counts is what the simulator's registers
// hold afterwards, not what the program prints.
#include "files/fpcfile.h"
#include "files/settingsfile.h"
#include "simprocess.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

const QString Voltage = SimProcess::sensorFile("02-ils-voltage.json");
const QString Current = SimProcess::sensorFile("03-murkwell-current.json");
const QString Resistive = SimProcess::sensorFile("04-murkwell-resistive.json");
using Registers = QMap<int, quint32>;
// Every kind of level sensor: plain, ILS 10 V and 5 V range, 12-bit, Murkwell 10 V, current, resistive, CAN.
const char *const Kinds[] = {"01-lls.json", "02-ils-voltage.json", "10-ils-5v.json", "06-ils-12bit.json", "09-murkwell-voltage.json",
                             "03-murkwell-current.json", "04-murkwell-resistive.json", "05-murkwell-can.json"};

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
    // Another description, and the last liquid's name gone (its registers zero).
    description["description"] = "Twin of " + description.value("description").toString();
    QJsonArray liquids = description.value("liquids").toArray();
    if (!liquids.isEmpty())
        liquids.removeLast();
    description["liquids"] = liquids;
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
    void everyKindRestoresExactly();
    void stopLeavesEverySensorLocked();
    void nothingIsWrittenUnlessWhole_data();
    void nothingIsWrittenUnlessWhole();
    void lateRepliesNeverShiftAValue();
    void peerFilesLoadAsTheyMean_data();
    void peerFilesLoadAsTheyMean();

private:
    SimProcess bench;
    QTemporaryDir dir;
    QStringList saved;  // the backup's files, by sensor in port order
};

// Every kind of level sensor the catalogue knows is backed up at once; then each backup is
// applied to its own sensor, twice, and to a twin holding other values. The sensor keeps every
// register, the twin ends with every exported register of its source. A position sensor and a
// silent port are skipped, a port named twice is worked once, and a twin unplugged part-way does
// not stop the others.
void TestBatchRun::everyKindRestoresExactly()
{
    QStringList sensors, twins;
    for (const char *kind : Kinds) {
        sensors << SimProcess::sensorFile(kind);
        twins << fresh(SimProcess::sensorFile(kind));
    }
    QVERIFY(bench.start(QStringList{"--fast"} + sensors + QStringList{SimProcess::sensorFile("07-slimfin.json"), "silent"} + twins
                        + QStringList{fresh(Resistive, 300)}));
    const int n = int(std::size(Kinds));
    const QStringList ports = bench.ports();
    const QMap<QString, SimBank> before = bench.banks();
    int code = 0;
    QStringList lines = run({"--backup", dir.path()}, ports.mid(0, n + 2) + ports.mid(0, 1), &code);
    QCOMPARE(code, 0);
    QCOMPARE(lines.value(n + 2), QString("%1 level sensors: %1 saved, 0 refused, 0 differ, 0 lost, 0 stopped; 2 ports skipped").arg(n));
    QVERIFY(lines[n].endsWith("skipped (not a level sensor)") && lines[n + 1].endsWith("no answer: skipped"));
    for (int i = 0; i < n; ++i) {
        saved << dir.filePath(lines[i].section(": saved ", 1).section(".", 0, 0));
        QCOMPARE(QFile::exists(saved[i] + ".conf"), i != 0);  // a plain sensor's backup is its .fpc alone
        QVERIFY2(QFile::exists(saved[i] + ".fpc"), qPrintable(lines[i]));
    }
    // Each round works every kind at once, each on its own ports.
    auto round = [&](const QString &suffix, bool twin) {
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < n; ++i)
            if (QFile::exists(saved[i] + suffix))
                runs.push_back(start({"--apply", saved[i] + suffix}, twin ? QStringList{ports[n + 2 + i]} : QStringList{ports[i]}));
        for (auto &p : runs) {
            const QString line = finish(*p, &code).value(0);
            QVERIFY2(code == 0 && line.endsWith(": applied"), qPrintable(suffix + ": " + line));
        }
    };
    for (const char *suffix : {".conf", ".conf", ".fpc"}) {
        round(suffix, false);
        const QMap<QString, SimBank> after = bench.banks();
        for (int i = 0; i < n; ++i)
            QVERIFY2(after[ports[i]].registers == before[ports[i]].registers && after[ports[i]].locked, qPrintable(QString(suffix) + " changed " + Kinds[i]));
    }
    std::unique_ptr<QProcess> unplugged = start({"--apply", saved[6] + ".fpc"}, {ports.last()});
    round(".fpc", true);
    QVERIFY(finish(*unplugged, &code).value(0).contains(": lost: stopped answering"));
    QCOMPARE(code, 1);
    const QMap<QString, SimBank> after = bench.banks();
    for (int i = 0; i < n; ++i)
        for (int r : FpcFile::exportedRegisters())
            QVERIFY2(after[ports[i]].registers.value(r) == after[ports[n + 2 + i]].registers.value(r), qPrintable(QString("%1, register %2").arg(Kinds[i]).arg(r)));
}

// SIGHUP during an import: every sensor stops after its exchange and is locked again. Uses the
// bench and the backup of the test before: the resistive sensor and its twin.
void TestBatchRun::stopLeavesEverySensorLocked()
{
    QVERIFY(!saved.isEmpty());
    const QStringList ports{bench.port(6), bench.port(int(std::size(Kinds)) + 8)};
    std::unique_ptr<QProcess> p = start({"--apply", saved[6] + ".fpc"}, ports);
    // Stopped once both resistive sensors are unlocked: being read or written.
    QDeadlineTimer deadline(30000);
    for (QMap<QString, SimBank> banks; !deadline.hasExpired(); QTest::qWait(20)) {
        banks = bench.banks();
        if (!banks.value(ports[0]).locked && !banks.value(ports[1]).locked && !banks.isEmpty())
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
    QVERIFY2(lines.value(0).contains(": stopped: ") && lines.value(1).contains(": stopped: "), qPrintable(lines.join('\n')));
    const QMap<QString, SimBank> banks = bench.banks();
    for (const QString &port : ports)
        QVERIFY2(banks[port].locked && banks[port].measuring && banks[port].fixed == -1, qPrintable(port));
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
    // A register of the load that does not answer reads as 0: no backup is made of that.
    QTest::newRow("a register of the load silent") << QStringList{"--backup", "DIR"} << QByteArray() << "G 38B=5000x0" << 1
                                                   << ": lost: some registers did not answer while it was being read; nothing was saved";
    QTest::newRow("a backup whose export fails") << QStringList{"--backup", "DIR"} << QByteArray() << "G 18=5000x0" << 1 << ": lost: Nothing was exported";
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

    // The read-back of register 901 (read by the import alone) comes late: what the line says the
    // sensor holds, it holds.
    SimProcess other;
    QVERIFY(other.start({"--fast", "--late", "G 385=1700", fresh(Voltage)}));
    const QString line = run({"--apply", fpc}, other.ports(), &code).value(0);
    QVERIFY2(line.endsWith(": applied") || line.contains(": differs: "), qPrintable(line));
    const SimBank restored = other.banks().value(other.port(0));
    for (const FpcFile::RegisterWrite &w : writes)
        QVERIFY2(!line.endsWith(": applied") || SimBank::holdsText(w.address) || restored.registers.value(w.address) == w.value.toUInt(nullptr, 16),
                 qPrintable(QString::number(w.address)));
}

// Files written by another program that follows the formats to the letter (whole percents, values
// rounded for display, FPC lines without the exact fields this program adds, "nan" for an unused
// liquid, a coefficient of 10 or more read as a float) load to the registers worked out by hand.
void TestBatchRun::peerFilesLoadAsTheyMean_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("sensor");
    QTest::addColumn<Registers>("registers");
    using R = Registers;
    QTest::newRow("voltage settings") << "ils-voltage.conf" << Voltage  // 0.5-9.5 V stays in the 10 V range
                                      << R{{19, 0x20}, {903, 102}, {904, 921}, {905, 51}, {906, 972}, {907, 512}, {908, 0xFFFFFFCD}};
    QTest::newRow("resistive settings") << "murkwell-resistive.conf" << Resistive
                                        << R{{903, 0}, {904, 1023}, {905, 102}, {916, 409}, {906, 921}, {907, 205}, {908, 31}, {913, 1}};
    R fpc{{5, 0xFFFFFFFF}, {903, 40}, {24, 160}, {64, 0x3F800000}, {104, 0xFFFFFFFF}, {144, 0x3F59999A}, {65, 0x400D5}, {66, 0xFFFFE000},
          {85, 0x44696573}, {86, 0x656C2020}, {1984, 0x54616E6B}, {1985, 0x20312020}};
    for (int r : {87, 88, 89, 90, 91, 92, 93, 94, 1986, 1987, 1988, 1989, 1990, 1991, 1992, 1993})
        fpc.insert(r, 0x20202020);  // text is padded with spaces
    QTest::newRow("FPC file") << "ils-voltage.fpc" << Voltage << fpc;
}

void TestBatchRun::peerFilesLoadAsTheyMean()
{
    QFETCH(QString, file);
    QFETCH(QString, sensor);
    QFETCH(Registers, registers);
    SimProcess sim;
    QVERIFY(sim.start({"--verbose", "--fast", sensor}));
    int code = 0;
    const QString path = QStringLiteral(PELLORA_SOURCE_DIR "/tests/data/peer/") + file;
    const QString line = run({"--apply", path}, sim.ports(), &code).value(0);
    QVERIFY2(code == 0 && line.endsWith(": applied"), qPrintable(line));
    // Compared afterwards it matches, and the comparison sent nothing that sets anything: the
    // search's ID, the unlock to read, the reads, the lock.
    sim.takeLog(200);
    QTemporaryDir scratch;
    const QString check = run({"--check", path, "--report", scratch.filePath("r.csv")}, sim.ports(), &code).value(0);
    QVERIFY2(code == 0 && check.endsWith(": matches"), qPrintable(check));
    for (const QString &command : sim.takeLog(200))
        QVERIFY2(QRegularExpression("<- (ID|U 3C7E|U 0|G [0-9A-F]+)\\\\r$").match(command).hasMatch(), qPrintable(command));
    QFile report(scratch.filePath("r.csv"));
    QVERIFY(report.open(QIODevice::ReadOnly));
    const QByteArrayList rows = report.readAll().split('\n');
    QVERIFY2(rows.size() == 3 && rows[1].contains(",check," + file.toUtf8() + ",") && rows[1].contains(",matches,"), rows.join('|').constData());
    const SimBank bank = sim.banks().value(sim.port(0));
    for (auto it = registers.cbegin(); it != registers.cend(); ++it)
        QVERIFY2(bank.registers.value(it.key()) == it.value(),
                 qPrintable(QString("register %1 holds %2, not %3").arg(it.key()).arg(bank.registers.value(it.key()), 0, 16).arg(it.value(), 0, 16)));
}

QTEST_GUILESS_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
