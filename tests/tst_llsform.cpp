// The level sensor form: its page rules, each preset's writes, and against pellora-sim the pages of
// each sensor type and the live display. (Random walks with register checks: tst_llsmodel; lost
// sensors: tst_faults.)
#include "device/pagehost.h"
#include "lls/device/llsdevice.h"
#include "lls/device/llssettings.h"
#include "lls/ui/comparedialog.h"
#include "lls/ui/llsform.h"
#include "lls/ui/llsformrules.h"
#include "llsrig.h"
#include "modalanswer.h"
#include "shell.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolBox>
#include <QtTest>

using namespace LLSFormRules;

namespace {

const int Timeout = 30000;

// The default level sensors, in port order (tools/sensors/01- to 06-).
enum Sensor { Plain, Voltage, Current, Resistive, Can, TwelveBit };

// The window on the default sensors at the line's pace; each test opens its sensor in a fresh form.
struct Session : Shell
{
    bool start()
    {
        options = QStringList{"--verbose"};
        QStringList files;
        for (const char *file : {"01-lls.json", "02-ils-voltage.json", "03-murkwell-current.json", "04-murkwell-resistive.json",
                                 "05-murkwell-can.json", "06-ils-12bit.json"})
            files << SimProcess::sensorFile(file);
        return Shell::start(files) && devices() == 6;
    }
    // As a user does: back to the list, a moment there, then the sensor, on the page built ahead.
    LLSForm *open(Sensor sensor)
    {
        if (window->findChild<QPushButton *>("navigationButton")->isVisible())
            click("navigationButton");
        QTest::qWait(MainWindow::PrepareDelayMs + 200);
        QPointer<LLSForm> ahead = window->findChild<LLSForm *>();
        window->showDevice(sensor);
        if (!ahead || window->levelForm() != ahead || ahead->device() != window->deviceManager()->devices().at(sensor))
            return nullptr;
        LLSForm *form = window->levelForm();
        return QTest::qWaitFor([&] { return form->findChild<QStackedWidget *>("stackedWidget")->currentIndex() == 1; }, Timeout) ? form : nullptr;
    }
    template<typename T>
    T *w(const char *name) const { return window->levelForm()->findChild<T *>(QLatin1String(name)); }
    // Commands the sensor received since the last call, e.g. "S 387 66\r" shown as "S 387 66\\r".
    QStringList commands(Sensor sensor)
    {
        QStringList out;
        const QString prefix = sim.port(sensor) + " <- ";
        for (const QString &line : sim.takeLog())
            if (line.startsWith(prefix))
                out << line.mid(prefix.size());
        return out;
    }
};

}

class TestLLSForm : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(s.start()); }
    void rangeRule();
    void switchAndOutputRules();
    void pagesPerSensorType_data();
    void pagesPerSensorType();
    void liveDisplay_data();
    void liveDisplay();
    void presetsWriteWhatTheyName_data();
    void presetsWriteWhatTheyName();
    void outputTestAlwaysEnds();
    void writesNotTakenAreSaid();
    void refusedTableIsReported();
    void compareWithAFile();

private:
    Session s;
};

// Measuring range 10..90 on the sensor, edited in turn: each box's colour (E equal, C changed,
// I invalid, - left as it is) and whether SET is offered.
void TestLLSForm::rangeRule()
{
    const struct { bool editMinimum; int minimum, maximum; const char *marks; bool set; } edits[] = {
        {true, 95, 90, "I-", false},  {false, 95, 98, "CC", true}, {true, 50, 90, "C-", true},
        {false, 50, 50, "-I", false}, {true, 90, 90, "I-", false}, {true, 10, 90, "E-", false}};
    auto mark = [](const std::optional<Mark> &m) { return m ? QChar("ECI"[int(*m)]) : QChar('-'); };
    for (const auto &e : edits) {
        const RangeEdit edit = e.editMinimum ? minimumEdited(e.minimum, e.maximum, 10, 90) : maximumEdited(e.minimum, e.maximum, 10, 90);
        QCOMPARE(QString(mark(edit.minimum)) + mark(edit.maximum) + (edit.setEnabled ? " set" : ""),
                 QString(e.marks) + (e.set ? " set" : ""));
    }
}

// The output page's special cases, and a switch page that has a zero in it.
void TestLLSForm::switchAndOutputRules()
{
    QVERIFY(!switchSetEnabled(0, 7, 0, 40, 5, false));
    QCOMPARE(alarmChosen(0, 0, 5, 0, 0, false).set, std::optional<bool>());  // a zero box leaves SET
    // A 10 V sensor set to 0.25..4.75: the load selects the first preset, a user's choice compares with "Custom".
    QCOMPARE(itemForSensor("10V", 0.25f, 0, 4.75f, 0.25f, 10.0f), 0);
    QCOMPARE(itemMatchingSensor("10V", 0.25f, 4.75f, 0.25f, 10.0f), 2);
    QCOMPARE(presetItems("mA", 4, 20, "mA"), QStringList({"4-20 mA", "Custom"}));
    QCOMPARE(minimumSupply(8), 8.25f);
    QCOMPARE(outputGaugeScale("5V", 5.01f).maximum, 10.0f);
    QCOMPARE(sliderPosition(3, 0, 0, 1023), 0);  // no limits before a load
    // A resistive midpoint outside empty..full is never offered for SET, but can be cancelled; after
    // a preset choice SET is left as it was.
    for (const QVector<double> &v : {QVector<double>{5, 5, 15}, {5, 20, 15}, {5, 0, 15}, {20, 10, 30}}) {
        QCOMPARE(outputButtonsAfterEdit(true, v[0], v[1], v[2], 0, 11.5f, 16.8f).set, std::optional<bool>(false));
        QVERIFY(outputButtonsAfterEdit(true, v[0], v[1], v[2], 0, 11.5f, 16.8f).cancel);
        QVERIFY(!outputButtonsAfterChoice(true, v[0], v[1], v[2], 0, 11.5f, 16.8f).set.has_value());
    }
}

void TestLLSForm::pagesPerSensorType_data()
{
    QTest::addColumn<int>("sensor");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QString>("summaries");  // liquid | range | output | switch ("-" when hidden)
    QTest::newRow("plain") << int(Plain) << QStringList{"Liquid Type", "Load / Save Configuration"} << "Diesel  | -  %|-|-";
    QTest::newRow("voltage") << int(Voltage) << QStringList{"Liquid Type", "Measurement Range", "Output Range", "Switch Output", "Load / Save Configuration"}
                             << "Biodiesel B100  |5 - 95 %|0.25 - 10 V|Empty Alarm";
    QTest::newRow("current, tank profile") << int(Current) << QStringList{"Liquid Type", "Measurement Range", "Output Range", "Switch Output", "Load / Save Configuration"}
                                           << "Diesel  |Tank Profile|4 - 20 mA|Full Alarm";
    QTest::newRow("CAN, no switch") << int(Can) << QStringList{"Liquid Type", "Measurement Range", "Output Range", "Load / Save Configuration"}
                                    << "Unknown (4)|0 - 100 %|0 - 100 %|-";
}

void TestLLSForm::pagesPerSensorType()
{
    QFETCH(int, sensor);
    QFETCH(QStringList, pages);
    QFETCH(QString, summaries);
    LLSForm *form = s.open(Sensor(sensor));
    QVERIFY(form);
    auto *box = s.w<QToolBox>("setToolBox");
    QStringList titles;
    for (int i = 0; i < box->count(); ++i)
        titles << box->itemText(i).trimmed();
    QCOMPARE(titles, pages);
    QStringList shown;
    for (const char *name : {"liquidType", "measurementRangeLabel", "outputRange", "fullAlarm"})
        shown << (s.w<QLabel>(name)->isVisibleTo(form) && s.w<QLabel>(name)->parentWidget()->isVisibleTo(form) ? s.w<QLabel>(name)->text() : "-");
    QCOMPARE(shown.join('|'), summaries);
    QCOMPARE(form->outputGaugeWidget() != nullptr, sensor != Plain);
    QVERIFY(s.window->findChild<QPushButton *>("navigationButton")->isVisible());
    // The level is live: measurements keep coming, one request at a time (at most one per 200 ms
    // pause), even past one retry's pause.
    s.commands(Sensor(sensor));
    QTest::qWait(2000);
    const int requests = s.commands(Sensor(sensor)).count("A\\r");
    QVERIFY2(requests >= 2 && requests <= 10, qPrintable(QString::number(requests)));
    // A reply cut by a starved simulator (sanitizers, programs side by side) costs one retry.
    QTRY_VERIFY_WITH_TIMEOUT(s.w<QLabel>("liquidLevelValueLabel")->text().endsWith(" %"), 5000);
}

void TestLLSForm::liveDisplay_data()
{
    QTest::addColumn<float>("status");
    QTest::addColumn<float>("level");
    QTest::addColumn<bool>("readError");
    QTest::addColumn<QString>("shownText");  // level label, or the output label's when it starts with "out:"
    QTest::addColumn<QString>("alert");  // "" when hidden
    QTest::newRow("above full") << 0.f << 100.4f << false << "100 %" << "";
    QTest::newRow("below empty") << 0.f << -0.2f << false << "0 %" << "";
    QTest::newRow("half up") << 0.f << 99.5f << false << "100 %" << "";
    QTest::newRow("error bit") << 2.f << 50.f << false << "out:?" << "ERROR |(10) - Contact Quenby for help.";
    QTest::newRow("switch alarm, hysteresis below") << float(0x100) << 50.f << false << "50 %" << "FULL ALARM";
    QTest::newRow("unreadable reply") << 0.f << 50.f << true << "?" << "NO ANSWER |(";
}

void TestLLSForm::liveDisplay()
{
    QFETCH(float, status);
    QFETCH(float, level);
    QFETCH(bool, readError);
    QFETCH(QString, shownText);
    QFETCH(QString, alert);
    LLSForm *form = s.open(Current);
    QVERIFY(form);
    form->stopPolling();
    QTest::qWait(400);  // the measurement under way
    form->onDataUpdate(LevelSensorData{status, level, 12.0f, 0, 0, readError});
    if (shownText.startsWith("out:"))
        QCOMPARE(s.w<QLabel>("outputLevelValueLabel")->text(), shownText.mid(4));
    else
        QCOMPARE(s.w<QLabel>("liquidLevelValueLabel")->text(), shownText);
    const QString shown = s.w<QLabel>("alertMSG")->isVisibleTo(form)
        ? s.w<QLabel>("alertMSG")->text() + (s.w<QLabel>("alertMSGDetails")->isVisibleTo(form) ? "|" + s.w<QLabel>("alertMSGDetails")->text() : "")
        : QString();
    QVERIFY2(shown.isEmpty() ? alert.isEmpty() : !alert.isEmpty() && shown.startsWith(alert), qPrintable(shown));
    if (status == 0 && !readError)
        QCOMPARE(s.w<QLabel>("outputLevelValueLabel")->text(), QString("12.0 mA"));
}

// Each preset on each output type: its label, the registers its SET writes (worked out by hand from
// the label's numbers), and that the reloaded page recognises it.
void TestLLSForm::presetsWriteWhatTheyName_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("features");
    QTest::addColumn<int>("preset");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("registers");  // 19 (hex), 905, 906, 913, 916 after SET
    QTest::newRow("10 V, 0.25-4.75 V moves to the 5 V range") << "ILS" << 0x20 << 0 << "0.25-4.75 V" << "60 51 972 1 500";
    QTest::newRow("10 V, 0.25-10 V") << "ILS" << 0x20 << 1 << "0.25-10 V" << "20 26 1023 1 500";
    QTest::newRow("11.2 V, 0.25-4.75 V moves to the 5 V range") << "Murkwell" << 0x20 << 0 << "0.25-4.75 V" << "60 51 972 1 500";
    QTest::newRow("11.2 V, 0.25-10 V") << "Murkwell" << 0x20 << 1 << "0.25-10 V" << "20 23 913 1 500";
    QTest::newRow("current, 4-20 mA") << "Murkwell" << 0 << 0 << "4-20 mA" << "0 190 969 1 500";
    QTest::newRow("resistive, 3-180") << "Murkwell" << 0x100 << 0 << "3-180 \u03a9" << "100 0 172 1 118";
    QTest::newRow("resistive, 240-33, inverted") << "Murkwell" << 0x100 << 1 << "240-33 \u03a9" << "100 78 220 0 137";
    QTest::newRow("CAN, 0-100 %") << "Murkwell" << 0x200 << 0 << "0-100 %" << "200 0 1023 1 500";
}

void TestLLSForm::presetsWriteWhatTheyName()
{
    QFETCH(QString, family);
    QFETCH(int, features);
    QFETCH(int, preset);
    LLSRig rig(family);
    rig.registers = {{905, 300}, {906, 700}, {913, 1}, {916, 500}};  // "Custom" on every type
    rig.load(features);
    LLSForm form(&rig.device, nullptr);
    QObject::disconnect(&form, &LLSForm::ReadMeasurement, nullptr, nullptr);  // no polling on this thread
    form.start();
    auto *combo = form.findChild<QComboBox *>("outputSelection");
    QTEST(combo->itemText(preset), "label");
    combo->setCurrentIndex(preset);
    QMetaObject::invokeMethod(&form, "on_outputSelection_activated", Q_ARG(int, preset));
    QVERIFY(form.findChild<QPushButton *>("setOutputRange")->isEnabled());
    QTest::mouseClick(form.findChild<QPushButton *>("setOutputRange"), Qt::LeftButton);
    const QString held = QString::number(rig.registers.value(19), 16) + ' ' + QString::number(rig.registers.value(905)) + ' '
        + QString::number(rig.registers.value(906)) + ' ' + QString::number(rig.registers.value(913)) + ' ' + QString::number(rig.registers.value(916));
    QTEST(held, "registers");
    QCOMPARE(combo->currentIndex(), preset);
    // Cancel writes back the sensor's own counts, and they keep its range: a 10 V output set to
    // 0.25-4.75 V does not move to the 5 V range.
    if (features == 0x20 && family == "ILS") {
        rig.registers.insert(19, 0x20), rig.registers.insert(905, 26), rig.registers.insert(906, 486);
        rig.load(0x20);
        form.updateFromDevice();
        QMetaObject::invokeMethod(&form, "on_outputSelection_activated", Q_ARG(int, 1));
        QTest::mouseClick(form.findChild<QPushButton *>("CancelOutputRange"), Qt::LeftButton);
        QCOMPARE(QList<quint32>({rig.registers.value(19), rig.registers.value(905), rig.registers.value(906)}), QList<quint32>({0x20, 26, 486}));
    }
}

// A press that moves nothing still holds the output: Cancel is offered and the page says so. A
// refresh meanwhile keeps the midpoint the test cleared. (Leaving the page: the model walks.)
void TestLLSForm::outputTestAlwaysEnds()
{
    LLSRig rig("Murkwell");
    rig.registers = {{905, 100}, {906, 900}, {913, 1}, {916, 500}};
    rig.load(0x100);
    LLSForm form(&rig.device, nullptr);
    QObject::disconnect(&form, &LLSForm::ReadMeasurement, nullptr, nullptr);
    form.start();
    form.findChild<QToolBox *>("setToolBox")->setCurrentIndex(2);
    QMetaObject::invokeMethod(&form, "on_outputSelection_activated", Q_ARG(int, 2));
    form.findChild<QSlider *>("midpointOutputSlider")->setSliderDown(true);
    form.findChild<QSlider *>("midpointOutputSlider")->setSliderDown(false);
    QVERIFY(form.findChild<QPushButton *>("CancelOutputRange")->isEnabled() && form.findChild<QLabel *>("outputTestNote")->isVisibleTo(&form));
    rig.device.SetParam("switchOutput", values(30, 5));
    QCOMPARE(rig.registers.value(916), 0u);
    QCOMPARE(rig.device.MidOutput(), 500);
}

// Every write is read back: one the sensor does not keep, or refuses, is said, not shown as done.
void TestLLSForm::writesNotTakenAreSaid()
{
    LLSRig rig("Murkwell");
    rig.readOnly = {907};
    rig.load(0x20);
    LLSForm form(&rig.device, nullptr);
    QObject::disconnect(&form, &LLSForm::ReadMeasurement, nullptr, nullptr);
    form.start();
    form.findChild<QSpinBox *>("warningLevel")->setValue(30);
    form.findChild<QSpinBox *>("warningHysteresis")->setValue(5);
    QCOMPARE(answerMessageBoxes([&] { QTest::mouseClick(form.findChild<QPushButton *>("setSwitchOutput"), Qt::LeftButton); }),
             QString("The sensor did not take the switch output. The page shows what it holds now."));
    // 40 V is beyond the converter: nothing is written, and that is said too.
    QVERIFY(answerMessageBoxes([&] { rig.device.SetParam("outputRange", values(4, 40)); }).contains("did not take the output range"));
}

void TestLLSForm::refusedTableIsReported()
{
    LLSForm *form = s.open(Current);
    QVERIFY(form);
    QStringList levels, outputs;
    for (int i = 0; i <= 128; ++i)
        levels << QString::number(i * 100.0 / 128, 'f', 1), outputs << levels.last();
    const QString text = answerMessageBoxes([&] {
        form->setTankProfile(levels, outputs);
        QTest::qWait(3000);
    });
    QVERIFY2(text.contains("did not take the tank profile"), qPrintable(text));
    QVERIFY(!s.commands(Current).join(' ').contains("S 200 "));
}

// Compare with a file: each setting beside the sensor's, judged in counts. A Murkwell 10 V output
// (11.2 V full scale) shows a count of 25 as 0.3 V and saves it exact; a changed alarm differs.
void TestLLSForm::compareWithAFile()
{
    LLSRig rig("Murkwell");
    rig.registers = {{903, 102}, {904, 921}, {905, 25}, {906, 911}, {907, 512}, {908, 0xFFFFFFCD}};
    rig.load(0x20);
    // A host of the test's own: the way back is hidden while the sensor loads, shown once it has.
    struct Host : PageHost
    {
        LLSDevice *device;
        QList<bool> navigation;
        AbstractDevice *activeDevice() const override { return device; }
        void setNavigationVisible(bool on) override { navigation << on; }
    } host;
    host.device = &rig.device;
    LLSForm form(&host, nullptr);
    QObject::disconnect(&form, &LLSForm::ReadMeasurement, nullptr, nullptr);
    form.start();
    QCOMPARE(host.navigation, QList<bool>({false, true}));
    QTemporaryDir dir;
    QVector<QPair<QString, QString>> values = LLSSettings::valuesOf(rig.device, "10V");
    for (auto &value : values)
        if (value.first == "settings/WarningLevel")
            value.second = "40";
    QString error;
    QVERIFY(SettingsFile::save(dir.filePath("f.conf"), values, &error));
    form.fileDialog = [&](LLSForm::FileDialog, const QString &, const QString &, const QString &) { return dir.filePath("f.conf"); };
    QStringList rows;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (auto *dialog = qobject_cast<CompareDialog *>(QApplication::activeModalWidget())) {
            auto *table = dialog->findChild<QTableWidget *>("compareTable");
            for (int row = 0; row < table->rowCount(); ++row)
                rows << table->item(row, 0)->text() + ": " + table->item(row, 3)->text();
            dialog->reject();
        }
    });
    poll.start(10);
    rig.driver->requests.clear();
    QMetaObject::invokeMethod(&form, "on_compareFileButton_clicked");
    QCOMPARE(rows, QStringList({"measuring range: same", "output range: same", "switch output: different"}));
    QCOMPARE(rig.driver->requests, QByteArrayList());  // nothing reached the sensor
}

QTEST_MAIN(TestLLSForm)
#include "tst_llsform.moc"
