// Settings files and FPC files: the checksum, which requests a file becomes, the FPC text both
// ways, the form's import questions, and a real export and import between two simulated sensors.
#include "device/deviceidentification.h"
#include "device/devicecatalogue.h"
#include "files/fpcfile.h"
#include "files/settingsfile.h"
#include "lls/device/levelarithmetic.h"
#include "lls/device/llssettings.h"
#include "lls/ui/llsform.h"
#include "lls/ui/tankprofilecsv.h"
#include "llsrig.h"
#include "modalanswer.h"
#include "simprocess.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
}

const QVector<QPair<QString, QString>> Saved{{"sensorType/Serial", "4201"}, {"sensorType/Firmware", "2"},
                                             {"sensorType/ProductType", "10V"}, {"settings/MinMeasuredRange", "5"},
                                             {"settings/MaxMeasuredRange", "95"}, {"settings/MinOutputRange", "0.5"}};

}

Q_DECLARE_METATYPE(QList<QMessageBox::StandardButton>)

class TestConfigFiles : public QObject
{
    Q_OBJECT

private slots:
    void settingsChecksum();
    void settingsRequests_data();
    void settingsRequests();
    void fpcLines_data();
    void fpcLines();
    void fpcHeaderQuestions_data();
    void fpcHeaderQuestions();
    void fpcFailuresAreNamed();
    void fpcExportImportIsExact();
    void filesKeepTheirBytes();
    void saveAndSendGuards();
};

// The checksum rules themselves are the catalogue's (tested there); here, that a saved file signs
// itself and that an edit breaks it.
void TestConfigFiles::settingsChecksum()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("probe.conf");
    QString error;
    QVERIFY2(SettingsFile::save(path, Saved, &error), qPrintable(error));
    const QByteArray text = readAll(path);
    QVERIFY(text.startsWith("[checksum]\nchecksum=") && SettingsFile::check(path));
    writeAll(path, QByteArray(text).replace("=95", "=96"));
    QVERIFY(!SettingsFile::check(path));
    writeAll(path, "[checksum]\nchecksum=disabled\n" + text.mid(text.indexOf('\n', 11) + 1).replace("=95", "=96"));
    QVERIFY(SettingsFile::check(path));
    QVERIFY(!SettingsFile::save("/proc/pellora.conf", Saved, &error) && !error.isEmpty());  // cannot be written
    // Saved over a file with more keys (a resistive sensor's midpoint), none of them survives.
    QVERIFY(SettingsFile::save(path, Saved + QVector<QPair<QString, QString>>{{"settings/MidOutputRange", "5"}}, &error));
    QVERIFY(SettingsFile::save(path, Saved, &error) && !SettingsFile::read(path).contains("settings/MidOutputRange"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"probe.conf"});
}

// The requests a file becomes for each kind of sensor; a value the sensor would take that is
// missing or impossible refuses the whole file.
void TestConfigFiles::settingsRequests_data()
{
    QTest::addColumn<QString>("file");    // key=value;...
    QTest::addColumn<QString>("sensor");  // type output switch tank
    QTest::addColumn<QString>("requests");
    const QString base = "MinMeasuredRange=5;MaxMeasuredRange=95;MinOutputRange=4;MaxOutputRange=20;SwitchOutputAlarmMode=full;"
                         "WarningLevel=40;WarningHysteresis=5;TankProfileEnable=true;TankProfileLiquidLevel=0,50,100;"
                         "TankProfileOutputLevel=0,40,100";
    const QString head = "measuringRange 5 95|outputRange 4 20 0|";
    QTest::newRow("full alarm, tank") << base << "Murkwell mA 1 1"
                                      << head + "switchOutput 40 -5|tankProfile,tankProfileEnable true 0,50,100 0,40,100|loadingFinish";
    QTest::newRow("empty alarm, no tank option") << base + ";SwitchOutputAlarmMode=empty" << "ILS mA 1 0"
                                                 << head + "switchOutput 40 5|loadingFinish";
    QTest::newRow("no switch, tank True is off") << base + ";TankProfileEnable=True" << "Murkwell CAN 0 1"
                                                 << head + "tankProfile,tankProfileEnable false  |loadingFinish";
    QTest::newRow("resistive midpoint") << base + ";MidOutputRange=11.5" << "Murkwell resistive 0 0"
                                        << "measuringRange 5 95|outputRange 4 20 11.5|loadingFinish";
    QTest::newRow("plain sensor takes nothing") << base << "LLS mA 1 1" << "loadingFinish";
    QTest::newRow("missing value") << base + ";WarningLevel=" << "ILS mA 1 0" << "refused";
    QTest::newRow("not a number") << base + ";MaxOutputRange=x" << "ILS mA 0 0" << "refused";
    QTest::newRow("percent above 100") << base + ";MaxMeasuredRange=150" << "ILS mA 0 0" << "refused";
    QTest::newRow("resistive without midpoint") << base << "Murkwell resistive 0 0" << "refused";
    QTest::newRow("tank lists differ") << base + ";TankProfileOutputLevel=0,100" << "Murkwell mA 0 1" << "refused";
    QTest::newRow("tank point outside") << base + ";TankProfileOutputLevel=0,40,101" << "Murkwell mA 0 1" << "refused";
}

void TestConfigFiles::settingsRequests()
{
    QFETCH(QString, file);
    QFETCH(QString, sensor);
    QFETCH(QString, requests);
    SettingsFile::Values values;
    for (const QString &pair : file.split(';'))
        values.insert("settings/" + pair.section('=', 0, 0), pair.section('=', 1));
    const QStringList s = sensor.split(' ');
    QString error;
    const QVector<SettingsFile::Request> plan = SettingsFile::plan(values, {s[0], s[1], s[2] == "1", s[3] == "1"}, &error);
    QStringList got;
    for (const SettingsFile::Request &r : plan) {
        const SetParamStruct &v = r.values;
        if (r.param == "loadingFinish")
            got << r.param;
        else if (r.param.startsWith("tank"))
            got << r.param + ' ' + v.text + ' ' + v.profileLevels.join(',') + ' ' + v.profileOutputs.join(',');
        else
            got << QStringList{r.param, QString::number(v.value1), QString::number(v.value2)}.join(' ')
                    + (r.param == "outputRange" ? ' ' + QString::number(v.value3) : QString());
    }
    QCOMPARE(plan.isEmpty() ? QString("refused") : got.join('|'), requests);
    QCOMPARE(error.isEmpty(), !plan.isEmpty());
}

// Each line as the import turns it into register writes, and, where the export of those registers
// gives the same line back, the export too. Lines that name no exported register or do not parse
// write nothing.
void TestConfigFiles::fpcLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("writes");  // address=value ...
    QTest::addColumn<bool>("exported");
    const QString spaces = " 87=20202020 88=20202020 89=20202020 90=20202020 91=20202020 92=20202020 93=20202020 94=20202020";
    QTest::newRow("float") << QByteArray("GRDVL,0,1.00000,3F800000") << "64=3F800000" << true;
    QTest::newRow("negative float keeps its value") << QByteArray("GRDVL,1,-1.00000,BF800000") << "104=BF800000" << true;
    QTest::newRow("unused slot") << QByteArray("GRDVL,2,nan,FFFFFFFF") << "144=FFFFFFFF" << true;
    QTest::newRow("infinity") << QByteArray("GRDVL,2,-inf") << "144=FF800000" << false;
    QTest::newRow("float, more than five decimals") << QByteArray("GRDVL,0,0.00000,00000001") << "64=1" << true;
    QTest::newRow("float edited by hand") << QByteArray("GRDVL,0,2.00000,3F800000") << "64=40000000" << false;
    QTest::newRow("coefficient") << QByteArray("GRDTC,0,0,-0.500,FFFFE000") << "65=FFFFE000" << true;
    QTest::newRow("coefficient, decimal only, truncated") << QByteArray("GRDTC,0,0,-0.49999") << "65=FFFFE001" << false;
    QTest::newRow("coefficient below three decimals") << QByteArray("GRDTC,0,1,0.001,00000011") << "66=00000011" << true;
    QTest::newRow("coefficient edited by hand") << QByteArray("GRDTC,0,1,0.500,00000011") << "66=00002000" << false;
    QTest::newRow("description with a comma") << QByteArray("DESCR,Tank 1, port") << "1984=54616e6b 1985=20312c20 1986=706f7274 1987=20202020 1988=20202020 "
                                                                              "1989=20202020 1990=20202020 1991=20202020 1992=20202020 1993=20202020" << false;
    // A name's registers as they were (zeros after it), unless the name beside them was edited.
    QTest::newRow("unused name, exact") << "SLGRD,0,," + QByteArray(80, '0') << "85=00000000 86=00000000 87=00000000 88=00000000 89=00000000 "
                                                                            "90=00000000 91=00000000 92=00000000 93=00000000 94=00000000" << true;
    QTest::newRow("name edited by hand") << "SLGRD,0,Oil,44696573" + QByteArray(72, '0') << "85=4f696c20 86=20202020" + spaces << false;
    QTest::newRow("description") << QByteArray("DESCR,Tank 1") << "1984=54616e6b 1985=20312020 1986=20202020 1987=20202020 1988=20202020 "
                                                                 "1989=20202020 1990=20202020 1991=20202020 1992=20202020 1993=20202020" << true;
    QTest::newRow("name past 40 bytes cut") << QByteArray("SLGRD,9,") + QByteArray(60, 'x') << "445=78787878 446=78787878 447=78787878 "
                                                                                                  "448=78787878 449=78787878 450=78787878 451=78787878 452=78787878 453=78787878 454=78787878" << false;
    for (const char *bad : {"PARAM,abc,5", "PARAM,905,x", "PARAM,2,5", "PARAM,5", "PARAM,5,4294967296", "ITEMP,20,1", "GRDVL,0,abc",
                            "GRDVL,0,4e38", "GRDVL,10,1", "GRDTC,0,0,1e30", "GRDTC,0,20,1", "SLGRD,-1,x", "FOO,1,2", "\x01\x02\xff,,"})
        QTest::newRow(bad) << QByteArray(bad) << "" << false;
}

void TestConfigFiles::fpcLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, writes);
    const FpcFile::Import import = FpcFile::parse("* header\r\n" + line + "\r\n");
    QStringList got;
    QHash<int, QByteArray> registers;
    for (const FpcFile::RegisterWrite &w : import.writes) {
        got << QString::number(w.address) + '=' + w.value;
        registers.insert(w.address, w.value.rightJustified(8, '0'));
        QVERIFY(FpcFile::exportedRegisters().contains(w.address));
    }
    QCOMPARE(got.join(' '), writes);
    QCOMPARE(import.skippedLines, writes.isEmpty() ? 1 : 0);
    QCOMPARE(import.skipped.size(), import.skippedLines);  // each named for the user
    QFETCH(bool, exported);
    QString error;
    const QByteArray text = FpcFile::exportText("* head", [&](int r) { return registers.value(r, "20202020"); }, "Tank 1", &error);
    QCOMPARE(text.split('\n').contains(line), exported);
    QCOMPARE(text.count('\n'), 1 + 33 + 40 + 10 + 200 + 10 + 1);
}

// The form's questions before an import, answered in turn; whether the import is sent.
void TestConfigFiles::fpcHeaderQuestions_data()
{
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QList<QMessageBox::StandardButton>>("answers");
    QTest::addColumn<QString>("first");  // the first box's text starts so
    QTest::addColumn<bool>("sent");
    const QByteArray ours = "* Probe,4301,5, generated by Pellora 1.2.5   01/01/2026 10:00:00\nDESCR,Tank A";
    QTest::newRow("matching") << ours << QList<QMessageBox::StandardButton>{QMessageBox::Yes} << "Are you sure" << true;
    QTest::newRow("other description, declined") << ours + "x" << QList<QMessageBox::StandardButton>{QMessageBox::No, QMessageBox::Yes}
                                                 << "This FPC file seems" << false;
    QTest::newRow("ID only a part of the file's") << QByteArray("* Probe,43010,5, generated by Pellora 1.2.5") << QList<QMessageBox::StandardButton>{QMessageBox::Ok, QMessageBox::Yes}
                                                  << "This FPC file is not compatible" << false;
    QTest::newRow("unverifiable, accepted") << QByteArray("# some other tool\nDESCR,Tank A") << QList<QMessageBox::StandardButton>{QMessageBox::Yes}
                                            << "Unable to verify the FPC file compatibility, do you wish to continue?\n\n# some other tool" << true;
}

void TestConfigFiles::fpcHeaderQuestions()
{
    QFETCH(QByteArray, header);
    QFETCH(QList<QMessageBox::StandardButton>, answers);
    QFETCH(QString, first);
    QFETCH(bool, sent);
    QTemporaryDir dir;
    writeAll(dir.filePath("in.fpc"), header + "\n");
    LLSRig rig("Murkwell");
    rig.registers.insert(1984, 0x54616e6b);  // "Tank A", then zeros
    rig.registers.insert(1985, 0x20410000);
    rig.load(0x80);
    LLSForm form(&rig.device, nullptr);
    form.fileDialog = [&](LLSForm::FileDialog, const QString &, const QString &, const QString &) { return dir.filePath("in.fpc"); };
    QSignalSpy requests(&form, &LLSForm::SetParam);
    QObject::disconnect(&form, &LLSForm::SetParam, &rig.device, nullptr);  // only what would be sent counts
    const QStringList texts = answerMessageBoxesWith(answers, [&] { QMetaObject::invokeMethod(&form, "on_importFPC_clicked"); });
    QVERIFY2(!texts.isEmpty() && texts.first().startsWith(first), qPrintable(texts.join(" / ")));
    QCOMPARE(texts.last(), QString("Are you sure you want to replace the current configuration?"));
    QCOMPARE(!requests.isEmpty() && requests.first().first().toString() == "importFPC", sent);
}

// What fails is named: a register the export cannot read, and those the import wrote that cannot
// be read back or do not hold the file's value.
void TestConfigFiles::fpcFailuresAreNamed()
{
    QString error;
    QVERIFY(FpcFile::exportText("* h", [](int r) { return r == 905 ? QByteArray() : QByteArray("00000001"); }, "", &error).isEmpty());
    QVERIFY2(error.contains("905"), qPrintable(error));
    QTemporaryDir dir;
    writeAll(dir.filePath("in.fpc"), "* h\nPARAM,905,10\nPARAM,906,20\nPARAM,907,30\n");
    LLSRig rig("Murkwell");
    rig.unreadable << 905;
    // 907 takes another value than the one written, as a sensor that refuses it would.
    rig.driver->responder = [&, bank = rig.driver->responder](const QByteArray &request, QByteArray &response) {
        return bank(request.startsWith("S 38B ") ? QByteArray("S 38B 1f\r") : request, response);
    };
    rig.device.ImportFPC(dir.filePath("in.fpc"));
    const QString report = rig.device.FileReport();
    QVERIFY2(report.contains("905") && !report.contains("906") && report.contains("907"), qPrintable(report));
    QCOMPARE(rig.registers.value(906), 20u);
}

// Random register contents exported and read back: every number (not the texts) with the same bits.
void TestConfigFiles::fpcExportImportIsExact()
{
    QRandomGenerator rng(17);
    for (int round = 0; round < 50; ++round) {
        QHash<int, quint32> bank;
        for (int r : FpcFile::exportedRegisters())
            bank.insert(r, rng.generate());
        QString error;
        const FpcFile::Import import = FpcFile::parse(FpcFile::exportText("* h", [&](int r) { return FpcFile::hex8(bank.value(r)); }, "", &error));
        QCOMPARE(import.skipped, QStringList());
        // Every number, and every register of the liquids' names (the description's bytes are no text).
        int exact = 0;
        for (const FpcFile::RegisterWrite &w : import.writes) {
            if (w.address >= 1984)
                continue;
            ++exact;
            QCOMPARE(FpcFile::hex8(w.value.toUInt(nullptr, 16)), FpcFile::hex8(bank.value(w.address)));
        }
        QCOMPARE(exact, 33 + 40 + 10 + 200 + 100);
    }
}

// The files one build writes are the bytes the other reads: each kind is written again from the
// same values and compared with the copy kept in tests/data/files (written by the Qt 5 build), and
// that copy reads back to the values. PELLORA_UPDATE_FILES=1 writes the copies anew.
void TestConfigFiles::filesKeepTheirBytes()
{
    const QString kept = PELLORA_SOURCE_DIR "/tests/data/files/";
    QTemporaryDir dir;
    QString error;
    QVERIFY(SettingsFile::save(dir.filePath("probe.conf"), Saved, &error));
    QRandomGenerator rng(5);
    QHash<int, quint32> bank;
    for (int r : FpcFile::exportedRegisters())
        bank.insert(r, rng.generate());
    const QString header = FpcFile::header("ILS Level Probe 0-10V", "4201", "2", QDateTime(QDate(2026, 12, 7), QTime(13, 4, 16)));
    const QByteArray fpc = FpcFile::exportText(header, [&](int r) { return FpcFile::hex8(bank.value(r)); }, "Tank 3, port side", &error);
    const QByteArray csv = TankProfileCsv::serialise({{"0", "12.5", "100"}, {"0", "33.25", "100"}});
    const QMap<QString, QByteArray> written{{"probe.conf", readAll(dir.filePath("probe.conf"))}, {"probe.fpc", fpc}, {"profile.csv", csv}};
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        if (qEnvironmentVariableIsSet("PELLORA_UPDATE_FILES"))
            writeAll(kept + it.key(), it.value());
        QVERIFY2(readAll(kept + it.key()) == it.value(), qPrintable(it.key()));
    }
    // Saved over a file another program wrote: its keys stay, this program's are replaced (a
    // midpoint too, when this output has none).
    writeAll(dir.filePath("other.conf"), "[checksum]\nchecksum=disabled\n[sensorType]\nLiquidList=\"a;b\"\nSerial=1\n"
                                         "[settings]\nMidOutputRange=5\n[tool]\nnote=kept\n");
    QVERIFY(SettingsFile::save(dir.filePath("other.conf"), Saved, &error));
    const QByteArray other = readAll(dir.filePath("other.conf"));
    QVERIFY2(other.contains("LiquidList=\"a;b\"") && other.contains("[tool]\nnote=kept") && other.contains("Serial=4201")
                 && !other.contains("MidOutputRange") && SettingsFile::check(dir.filePath("other.conf")),
             other.constData());
    const SettingsFile::Values values = SettingsFile::read(kept + "probe.conf");
    QVERIFY(SettingsFile::check(kept + "probe.conf"));
    for (const auto &value : Saved)
        QCOMPARE(values.value(value.first), value.second);
    const FpcFile::Import import = FpcFile::parse(readAll(kept + "probe.fpc"));
    QVERIFY(import.skipped.isEmpty() && import.header == header && import.descriptions == QStringList{"Tank 3, port side"});
    for (const FpcFile::RegisterWrite &w : import.writes)
        QVERIFY(SimBank::holdsText(w.address) || w.value.toUInt(nullptr, 16) == bank.value(w.address));
    const TankProfileCsv::Content table = TankProfileCsv::parse(readAll(kept + "profile.csv"));
    QCOMPARE(TankProfileTable::collect(table.rows).outputs, QStringList({"0", "33.25", "100"}));
}

// A save that a load would refuse writes nothing and names what stops it; a name typed without
// ".conf" or ".fpc" gets it; while a table is sent no settings load or import can start.
void TestConfigFiles::saveAndSendGuards()
{
    QTemporaryDir dir;
    LLSRig rig("Murkwell", "tankProfile");
    rig.unreadable << 512;  // the profile is on, its table cannot be read
    rig.load(0x80);
    LLSForm form(&rig.device, nullptr);
    QObject::disconnect(&form, &LLSForm::ReadMeasurement, nullptr, nullptr);
    form.start();
    QString name = dir.filePath("probe");
    form.fileDialog = [&](LLSForm::FileDialog, const QString &, const QString &, const QString &) { return name; };
    const QString refusal = answerMessageBoxes([&] { QMetaObject::invokeMethod(&form, "on_saveSettings_clicked"); });
    QVERIFY2(refusal.contains("did not answer when it was read"), qPrintable(refusal));
    QVERIFY(QDir(dir.path()).isEmpty());
    // Every output type saves what its own load needs (a resistive one its midpoint).
    for (const quint32 features : {0x0u, 0x20u, 0x100u, 0x200u}) {
        LLSRig other("Murkwell");
        // 1024 is a count past the scale: it saves as the 100 % a load takes.
        other.registers = {{904, 1024}, {905, 30}, {906, 700}, {916, 300}, {907, 512}, {908, 0xFFFFFE00}};
        other.load(features);
        SettingsFile::Values values;
        for (const auto &value : LLSSettings::valuesOf(other.device, other.device.OutputType()))
            values.insert(value.first, value.second);
        QString why;
        const auto requests = SettingsFile::plan(values, {"Murkwell", other.device.OutputType(), true, false}, &why);
        QVERIFY2(!requests.isEmpty(), qPrintable(why));
        QCOMPARE(LevelArithmetic::countOfPercent(requests.at(2).values.value2, 1023), -512);  // a full alarm's hysteresis, exact
    }
    rig.unreadable.clear();
    rig.load(0x80);
    QCOMPARE(answerMessageBoxes([&] { QMetaObject::invokeMethod(&form, "on_saveSettings_clicked"); }), QString());
    QVERIFY(SettingsFile::check(dir.filePath("probe.conf")));

    QObject::disconnect(&form, &LLSForm::SetParam, &rig.device, nullptr);  // nothing is answered meanwhile
    QSignalSpy requests(&form, &LLSForm::SetParam);
    name = dir.filePath("Probe v1.2");
    QMetaObject::invokeMethod(&form, "on_exportFPC_clicked");
    QCOMPARE(requests.last().at(1).value<SetParamStruct>().text, dir.filePath("Probe v1.2.fpc"));
    emit rig.device.ParamSet("exportFPC", {});
    auto *load = form.findChild<QPushButton *>("loadSettingsButton");
    auto *import = form.findChild<QPushButton *>("importFPC");
    form.setTankProfile({"0", "100"}, {"0", "100"});
    QVERIFY(!load->isEnabled() && !import->isEnabled());
    // The device never wrote this table, so the form also says it was not taken.
    answerMessageBoxes([&] { emit rig.device.ParamSet("tankProfile,tankProfileEnable", profile({"0", "100"}, {"0", "100"})); });
    QVERIFY(load->isEnabled() && import->isEnabled());
}

QTEST_MAIN(TestConfigFiles)
#include "tst_configfiles.moc"
