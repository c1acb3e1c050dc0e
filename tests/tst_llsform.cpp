// The level sensor form: its page rules, and against pellora-sim through the main window the
// pages of each sensor type, the live display, the requests each action sends with the registers
// they change, the output tests, leaving and settings files. (Rescans and lost sensors while a
// form is shown: tst_faults.)
#include "device/serialportdriver.h"
#include "lls/device/llsdevice.h"
#include "lls/ui/llsform.h"
#include "lls/ui/llsformrules.h"
#include "llsrig.h"
#include "modalanswer.h"
#include "shell.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QSpinBox>
#include <QStackedWidget>
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
    LLSForm *open(Sensor sensor)
    {
        window->showDevice(sensor);
        LLSForm *form = window->levelForm();
        return QTest::qWaitFor([&] { return form->findChild<QStackedWidget *>("stackedWidget")->currentIndex() == 1; }, Timeout) ? form : nullptr;
    }
    template<typename T>
    T *w(const char *name) const { return window->levelForm()->findChild<T *>(QLatin1String(name)); }
    void click(const char *button) const { QTest::mouseClick(w<QPushButton>(button), Qt::LeftButton); }
    void leave() const { QTest::mouseClick(window->findChild<QPushButton *>("navigationButton"), Qt::LeftButton); }
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
    // Waits for a write's answer: the form asks for a measurement after the sensor took a write.
    bool settled(Sensor sensor)
    {
        QStringList seen;
        return QTest::qWaitFor([&] {
            seen += commands(sensor);
            const int write = seen.indexOf(QRegularExpression("[SB] .*"));
            return write >= 0 && seen.indexOf("A\\r", write) > write;
        }, Timeout);
    }
};

// A register as the simulated sensor holds it, read over its own port once the form has let go.
qint64 sensorRegister(const QString &path, int address)
{
    auto *port = new QSerialPort;
    SerialPortDriver::applyLineSettings(port);
    port->setPortName(path);
    SerialPortDriver driver(port);
    if (!QTest::qWaitFor([&] { return driver.open(); }, 5000))
        return -1;
    QByteArray reply;
    driver.sendRequest("U 3C7E\r", reply);
    reply.clear();
    driver.sendRequest("G " + QByteArray::number(address, 16).toUpper() + "\r", reply);
    const QRegularExpressionMatch m = QRegularExpression(",(\\w{8}),").match(QString::fromLatin1(reply));
    return m.hasMatch() ? static_cast<qint64>(m.captured(1).toUInt(nullptr, 16)) : -1;
}

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
    void changesReachTheSensor_data();
    void changesReachTheSensor();
    void outputTestFollowsTheSliderAndEndsOnLeaving();
    void untouchedOutputKeepsItsCount();
    void presetsWriteWhatTheyName_data();
    void presetsWriteWhatTheyName();
    void outputTestAlwaysEnds();
    void refusedTableIsReported();
    void settingsFileRestoresTheSensor();

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
    QVERIFY(!outputButtonsAfterChoice(true, 20, 10, 30, 0, 11.5f, 16.8f).set.has_value());
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
                                    << "Fresh Water|0 - 100 %|0 - 100 %|-";
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
    // The level is live: measurements keep coming, one request at a time.
    s.commands(Sensor(sensor));
    QTest::qWait(1200);
    const int requests = s.commands(Sensor(sensor)).count("A\\r");
    QVERIFY2(requests >= 2 && requests <= 6, qPrintable(QString::number(requests)));
    QVERIFY(s.w<QLabel>("liquidLevelValueLabel")->text().endsWith(" %"));
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

// Each change through the widgets sends its request; after it the sensor holds the new values.
void TestLLSForm::changesReachTheSensor_data()
{
    QTest::addColumn<int>("sensor");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("param");
    QTest::addColumn<QList<int>>("registers");
    QTest::addColumn<QList<qint64>>("expected");
    QTest::newRow("measuring range") << int(Voltage) << "range 10 90" << "measuringRange,tankProfileEnable" << QList<int>{903, 904} << QList<qint64>{102, 921};
    QTest::newRow("switch, full alarm") << int(Voltage) << "switch 50 5 1" << "switchOutput" << QList<int>{907, 908} << QList<qint64>{512, 0xffffffcd};
    QTest::newRow("10 V to 5 V range") << int(Voltage) << "custom output 0.5 4.5" << "outputRange,disableFixOutput" << QList<int>{19, 905, 906}
                                       << QList<qint64>{0x60, 102, 921};
    QTest::newRow("liquid") << int(Current) << "liquid 2" << "liquidType" << QList<int>{3} << QList<qint64>{2};
    QTest::newRow("NMEA liquid and number") << int(Can) << "nmea 1 7" << "NMEAliquidType" << QList<int>{911, 909, 910} << QList<qint64>{2, 7, 7};
    // Inverted, then SET: the sensor ends inverted (0 in 913), as the page shows.
    // Ticked and SET, the profile is on, and the live level comes back.
    QTest::newRow("tank profile on") << int(Resistive) << "profile" << "tankProfileEnable" << QList<int>{19} << QList<qint64>{0x180};
    QTest::newRow("inversion kept by SET") << int(Resistive) << "invert output 5 10 15" << "outputRange,disableFixOutput" << QList<int>{913} << QList<qint64>{0};
}

void TestLLSForm::changesReachTheSensor()
{
    QFETCH(int, sensor);
    QFETCH(QString, action);
    QFETCH(QString, param);
    QFETCH(QList<int>, registers);
    QFETCH(QList<qint64>, expected);
    LLSForm *form = s.open(Sensor(sensor));
    QVERIFY(form);
    QSignalSpy requests(form, &LLSForm::SetParam);
    const QStringList a = action.split(' ');
    if (a.first() == "profile") {
        s.w<QToolBox>("setToolBox")->setCurrentIndex(1);
        s.w<QCheckBox>("checkBox")->setChecked(true);
        s.click("setMeasuringRange");
    } else if (a.first() == "range") {
        s.w<QToolBox>("setToolBox")->setCurrentIndex(1);
        s.w<QSpinBox>("measuringRangeMin")->setValue(a.at(1).toInt());
        s.w<QSpinBox>("measuringRangeMax")->setValue(a.at(2).toInt());
        s.click("setMeasuringRange");
    } else if (a.first() == "switch") {
        s.w<QSpinBox>("warningLevel")->setValue(a.at(1).toInt());
        s.w<QSpinBox>("warningHysteresis")->setValue(a.at(2).toInt());
        s.w<QComboBox>("switchAlarm")->setCurrentIndex(a.at(3).toInt());
        QMetaObject::invokeMethod(form, "on_switchAlarm_activated", Q_ARG(int, a.at(3).toInt()));
        s.click("setSwitchOutput");
    } else if (a.first() == "liquid" || a.first() == "nmea") {
        s.w<QComboBox>("liquidList")->setCurrentIndex(a.at(1).toInt());
        QMetaObject::invokeMethod(form, "on_liquidList_activated", Q_ARG(int, a.at(1).toInt()));
        if (a.first() == "nmea")
            s.w<QSpinBox>("sensorNumber")->setValue(a.at(2).toInt());
        s.click("setLiquidType");
    } else {
        s.w<QToolBox>("setToolBox")->setCurrentIndex(2);
        s.w<QComboBox>("outputSelection")->setCurrentIndex(2);
        QMetaObject::invokeMethod(form, "on_outputSelection_activated", Q_ARG(int, 2));
        if (a.contains("invert"))
            s.w<QCheckBox>("invertedOutputCheckBox")->setChecked(true);
        const int at = a.indexOf("output");
        s.w<QDoubleSpinBox>("minOutputRange")->setValue(a.at(at + 1).toDouble());
        if (a.size() > at + 3) {
            s.w<QDoubleSpinBox>("maxOutputRange")->setValue(a.at(at + 3).toDouble());
            s.w<QDoubleSpinBox>("midpointOutputRange")->setValue(a.at(at + 2).toDouble());
        } else {
            s.w<QDoubleSpinBox>("maxOutputRange")->setValue(a.at(at + 2).toDouble());
        }
        s.click("setOutputRange");
    }
    QVERIFY(requests.size() >= 1);
    QCOMPARE(requests.last().at(0).toString(), param);
    QVERIFY(s.settled(Sensor(sensor)));
    s.leave();
    QList<qint64> held;
    for (int address : registers)
        held << sensorRegister(s.sim.port(sensor), address);
    QCOMPARE(held, expected);
}

// Pressing a slider holds the output; moves are sent one at a time, the release sends the last.
// Leaving at once after a SET ends the test, and the late reply restarts nothing.
void TestLLSForm::outputTestFollowsTheSliderAndEndsOnLeaving()
{
    LLSForm *form = s.open(Resistive);
    QVERIFY(form);
    s.w<QComboBox>("outputSelection")->setCurrentIndex(2);
    QMetaObject::invokeMethod(form, "on_outputSelection_activated", Q_ARG(int, 2));
    auto *slider = s.w<QSlider>("midpointOutputSlider");
    const qint64 midpoint = 0x200;  // the sensor's, which the test clears while it runs
    QSignalSpy requests(form, &LLSForm::SetParam);
    slider->setSliderDown(true);
    slider->setSliderPosition(600);  // the first reply is not back yet: skipped
    QCOMPARE(requests.count(), 1);
    QCOMPARE(requests.at(0).at(0).toString(), QString("resetMidpoint,setFixOutputValue"));
    QVERIFY(QTest::qWaitFor([&] { return s.commands(Resistive).join(' ').contains("F "); }, 3000));
    QTest::qWait(200);
    slider->setSliderPosition(700);
    slider->setSliderPosition(710);  // in flight again
    slider->setSliderDown(false);
    QCOMPARE(requests.count(), 3);
    QCOMPARE(requests.at(1).at(1).value<SetParamStruct>().value1, 700.f);
    QCOMPARE(requests.at(2).at(1).value<SetParamStruct>().value1, 710.f);
    QCOMPARE(s.w<QDoubleSpinBox>("midpointOutputRange")->value(), std::round(710 * 100.0 / 1023 * 10) / 10);

    s.w<QSpinBox>("warningLevel")->setValue(30);
    s.click("setSwitchOutput");
    s.leave();  // at once, with the switch write still under way
    QTest::qWait(2500);
    const QStringList sent = s.commands(Resistive);
    const int switchWrite = sent.indexOf(QRegularExpression("S 38B .*"));
    QVERIFY2(switchWrite >= 0 && sent.indexOf("M 0\\r", switchWrite) > switchWrite, qPrintable(sent.join(' ')));  // the test ended
    QVERIFY2(!sent.mid(switchWrite).contains("A\\r"), qPrintable(sent.join(' ')));  // nothing more asked
    QVERIFY(!form->isPolling());
    QCOMPARE(s.window->findChild<QStackedWidget *>("stackedWidget")->currentIndex(), 0);
    QCOMPARE(sensorRegister(s.sim.port(Resistive), 916), midpoint);
}

// The output boxes show values rounded to their decimals: an end the user left alone keeps the
// sensor's own count, on Cancel and on SET. While a write is under way Cancel is not offered.
void TestLLSForm::untouchedOutputKeepsItsCount()
{
    LLSRig rig("ILS");
    rig.registers = {{905, 120}, {906, 1000}};  // 4.11 mA, shown as 4.1, and 19.6 mA
    rig.load(0x100);                             // 2 to 20 mA
    LLSForm form(&rig.device, nullptr);
    QObject::disconnect(&form, &LLSForm::ReadMeasurement, nullptr, nullptr);  // no polling on this thread
    form.start();
    auto *cancel = form.findChild<QPushButton *>("CancelOutputRange");
    auto editMaximum = [&](double value) {
        QMetaObject::invokeMethod(&form, "on_outputSelection_activated", Q_ARG(int, 1));  // Custom
        form.findChild<QDoubleSpinBox *>("maxOutputRange")->setValue(value);
    };
    editMaximum(18);
    QVERIFY(cancel->isEnabled());
    QTest::mouseClick(cancel, Qt::LeftButton);
    auto held = [&] { return QList<quint32>{rig.registers.value(905), rig.registers.value(906)}; };
    QCOMPARE(held(), QList<quint32>({120, 1000}));
    editMaximum(18);
    QTest::mouseClick(form.findChild<QPushButton *>("setOutputRange"), Qt::LeftButton);
    QCOMPARE(held(), QList<quint32>({120, 909}));

    QObject::disconnect(&form, &LLSForm::SetParam, &rig.device, nullptr);  // the write stays under way
    editMaximum(17);
    QVERIFY(cancel->isEnabled());
    QTest::mouseClick(form.findChild<QPushButton *>("setOutputRange"), Qt::LeftButton);
    QVERIFY(!cancel->isEnabled());
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
}

// A test output can always be ended: a press that moves nothing still offers Cancel, and leaving
// the page ends it. The midpoint the test clears stays the sensor's for every refresh meanwhile.
void TestLLSForm::outputTestAlwaysEnds()
{
    LLSRig rig("Murkwell");
    rig.registers = {{905, 100}, {906, 900}, {913, 1}, {916, 500}};
    rig.load(0x100);
    LLSForm form(&rig.device, nullptr);
    QObject::disconnect(&form, &LLSForm::ReadMeasurement, nullptr, nullptr);
    form.start();
    auto *pages = form.findChild<QToolBox *>("setToolBox");
    pages->setCurrentIndex(2);
    QMetaObject::invokeMethod(&form, "on_outputSelection_activated", Q_ARG(int, 2));
    auto *slider = form.findChild<QSlider *>("midpointOutputSlider");
    slider->setSliderDown(true);
    slider->setSliderDown(false);
    QCOMPARE(rig.registers.value(916), 0u);
    QVERIFY(form.findChild<QPushButton *>("CancelOutputRange")->isEnabled());
    QVERIFY(form.findChild<QLabel *>("outputTestNote")->isVisibleTo(&form));
    rig.device.SetParam("switchOutput", values(30, 5));  // a refresh while the test runs
    QCOMPARE(rig.device.MidOutput(), 500);
    pages->setCurrentIndex(3);
    QVERIFY(!form.isOutputTestRunning());
    QVERIFY(!form.findChild<QLabel *>("outputTestNote")->isVisibleTo(&form));
    QCOMPARE(rig.registers.value(916), 500u);
    QVERIFY(rig.sent().contains("M 0\r"));
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

// Saved, changed, loaded again: the sensor is back as saved, and the form says so only then.
void TestLLSForm::settingsFileRestoresTheSensor()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("probe.conf");
    LLSForm *form = s.open(Voltage);
    QVERIFY(form);
    form->fileDialog = [&](LLSForm::FileDialog, const QString &, const QString &, const QString &) { return file; };
    s.click("saveSettings");
    QVERIFY(SettingsFile::check(file));
    const QString saved = s.w<QLabel>("measurementRangeLabel")->text();
    s.w<QSpinBox>("measuringRangeMin")->setValue(30);
    s.click("setMeasuringRange");
    QVERIFY(s.settled(Voltage));
    QCOMPARE(s.w<QLabel>("measurementRangeLabel")->text(), "30 - " + saved.section(" - ", 1));

    QSignalSpy requests(form, &LLSForm::SetParam);
    bool applied = false;
    QStringList texts = answerMessageBoxesWith({QMessageBox::Yes, QMessageBox::Ok}, [&] {
        s.click("loadSettingsButton");
        applied = QTest::qWaitFor([&] { return !form->isLoadingFile() && requests.count() > 0; }, Timeout);
    });
    QVERIFY(applied);
    QCOMPARE(texts, QStringList({"Are you sure you want to replace the current settings?", "Settings loaded!"}));
    QCOMPARE(requests.first().first().toString(), QString("measuringRange"));
    QCOMPARE(s.w<QLabel>("measurementRangeLabel")->text(), saved);

    // A file for another firmware is refused before anything is sent.
    QString error;
    QVERIFY(SettingsFile::save(file, {{"sensorType/Firmware", "9"}}, &error));
    requests.clear();
    texts = answerMessageBoxesWith({QMessageBox::Ok}, [&] { s.click("loadSettingsButton"); });
    QCOMPARE(texts, QStringList({"This configuration file is not matching with the connected sensor!"}));
    QVERIFY(requests.isEmpty());
}

QTEST_MAIN(TestLLSForm)
#include "tst_llsform.moc"
