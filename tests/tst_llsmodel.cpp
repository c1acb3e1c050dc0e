// The level sensor form driven step by random step as a user could, against pellora-sim: after
// each step the sensor's registers (not the form) must hold what that step may leave there. The
// walks are seeded; a failure prints the seed, the type and the numbered steps, and a walk replays
// alone: PELLORA_MODEL_SEEDS=3 tst_llsmodel "walk:voltage seed 3". PELLORA_MODEL_SEEDS=1,2,3 and
// PELLORA_MODEL_ACTIONS=n (steps a walk) make a soak.
#include "device/abstractinterfacedriver.h"
#include "files/fpcfile.h"
#include "lls/device/llsdevice.h"
#include "lls/ui/llsform.h"
#include "modalanswer.h"
#include "shell.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtWidgets>

#include <cmath>

namespace {

const int DefaultActions = 40;  // a walk a type: the whole program in about a minute on two cores

// Every kind of level sensor and its output scale: the calibration a count is read in (a voltage
// sensor's top is 5 V while bit 0x40 of register 19 is set) and each preset's empty, full and
// midpoint values.
struct Type { const char *name, *file; double low, high; int dacMax; QVector<QVector<double>> presets; };
const Type Types[] = {{"plain", "01-lls.json", 0, 0, 1023, {}}, {"voltage", "02-ils-voltage.json", 0, 10, 1023, {{0.25, 4.75}, {0.25, 10}}},
                      {"current", "03-murkwell-current.json", 0.1, 21.1, 1023, {{4, 20}}},
                      {"resistive", "04-murkwell-resistive.json", 0, 100, 1023, {{0, 16.8, 11.5}, {7.6, 21.5, 13.4}}},
                      {"CAN", "05-murkwell-can.json", 0, 100, 1023, {{0, 100}}}, {"12-bit", "06-ils-12bit.json", 2, 20, 4095, {{4, 20}}},
                      {"5 V range", "10-ils-5v.json", 0, 10, 1023, {{0.25, 4.75}, {0.25, 10}}},
                      {"Murkwell 10 V", "09-murkwell-voltage.json", 0, 11.2, 1023, {{0.25, 4.75}, {0.25, 10}}}};
enum { Voltage = 1, Resistive = 3, Can = 4, FiveVolt = 6, MurkwellVoltage = 7 };
bool isVoltage(int type) { return type == Voltage || type == FiveVolt || type == MurkwellVoltage; }
const QList<int> Outputs{905, 906, 913, 916};
const QMap<QString, int> NmeaCodes{{"Fresh Water", 1}, {"Waste Water", 2}, {"Live Well", 3}, {"Black Water", 5}};
// Only the shown, enabled ones are used: the resistive type's output boxes hide behind its sliders.
const QStringList Editors{"liquidList", "sensorNumber", "measuringRangeMin", "measuringRangeMax", "checkBox", "outputSelection",
                          "minOutputRange", "maxOutputRange", "warningLevel", "warningHysteresis", "switchAlarm"};
const QStringList SetButtons{"setLiquidType", "setMeasuringRange", "setOutputRange", "setSwitchOutput"};
const QStringList Sliders{"emptyOutputSlider", "midpointOutputSlider", "fullOutputSlider"};
enum Action { Page, Edit, Set, Cancel, Slider, Invert, Leave, Settings, Fpc };
const int Weights[] = {5, 16, 8, 4, 6, 3, 1, 1, 1};  // leaving and the files are slow: rarer
const QStringList Needs[] = {{}, Editors, SetButtons, {"CancelOutputRange"}, Sliders, {"invertedOutputCheckBox"}, {}, {}, {}};  // one of them usable

int countOf(double percent) { return static_cast<int>(std::floor(percent * 1023 / 100 + 0.5)); }
QString hex(quint32 value) { return QString::number(value, 16).toUpper(); }

}

class TestLLSModel : public QObject
{
    Q_OBJECT

private slots:
    void walk_data();
    void walk();
    void cleanupTestCase() { s.reset(); }

private:
    QScopedPointer<Shell> s;
    int shellSeed = -1, type = 0, at = 0;
    LLSDevice *device = nullptr;
    QHash<QObject *, int> asked, answered;  // SetParam requests by device, and the device's answers
    QTemporaryDir dir;
    QString file;  // what the file dialogs answer
    QRandomGenerator rng;
    QStringList steps;
    QString failure;
    SimBank before;                // the sensor after the last step
    QMap<int, quint32> committed;  // its output registers, as no test has them

    QString port(int which) const { return s->sim.port(2 * type + which); }
    template<typename T = QWidget>
    T *w(const QString &name) const { return s->window->levelForm()->findChild<T *>(name); }
    void log(const QString &step) { steps << QString("%1. %2").arg(steps.size() + 1).arg(step); }
    void expect(bool ok, const QString &what) { failure = failure.isEmpty() && !ok ? what : failure; }
    QString pick(const QStringList &names) { return usable(names).at(rng.bounded(usable(names).size())); }
    QStringList usable(const QStringList &names) const
    {
        QStringList found;
        for (const QString &name : names)
            if (w(name) && w(name)->isVisibleTo(s->window->levelForm()) && w(name)->isEnabled())
                found << name;
        return found;
    }

    // Every request answered, no box open, and a form on show neither loading nor applying a file.
    bool idle(LLSDevice *d = nullptr)
    {
        return failure.isEmpty() && QTest::qWaitFor([&] {
            return asked.value(d ? d : device) == answered.value(d ? d : device) && !QApplication::activeModalWidget()
                && (!device || (w<QStackedWidget>("stackedWidget")->currentIndex() == 1 && !s->window->levelForm()->isLoadingFile()));
        }, 10000);
    }

    // Rested: once the form is idle, a measurement may still be due to lock the sensor again.
    SimBank bank(bool rested = false)
    {
        for (QDeadlineTimer deadline(rested ? 2000 : 0);; QTest::qWait(20)) {
            const QMap<QString, SimBank> banks = s->sim.banks();
            expect(banks.contains(port(at)), "no state dump for " + port(at));
            const SimBank now = banks.value(port(at));
            if ((now.fixed == -1 && now.measuring && now.locked) || deadline.hasExpired() || !failure.isEmpty())
                return now;
        }
    }

    // Every register that changed is one the step may change, or a bit of register 19 it may change.
    void keep(const SimBank &now, const QList<int> &may, const QString &what, quint32 bits = 0)
    {
        for (int r : now.registers.keys() + before.registers.keys()) {
            const quint32 was = before.registers.value(r), is = now.registers.value(r);
            expect(was == is || may.contains(r) || (r == 19 && !((was ^ is) & ~bits)), QString("%1 changed register %2: %3 -> %4").arg(what).arg(r).arg(hex(was), hex(is)));
        }
        before = now;
    }

    // No test output left, the sensor locked, and its output as before any test.
    void rest(const QString &after)
    {
        const SimBank now = bank(true);
        expect(now.fixed == -1 && now.measuring && now.locked, QString("after %1: fixed=%2 measuring=%3 locked=%4").arg(after).arg(now.fixed).arg(now.measuring).arg(now.locked));
        for (int r : Outputs)
            expect(now.registers.value(r) == committed.value(r), QString("after %1: register %2 holds %3, before the test %4").arg(after).arg(r).arg(hex(now.registers.value(r)), hex(committed.value(r))));
        keep(now, Outputs, after);
    }

    // Leaves the sensor on show, if any, then shows the one asked for (none: -1).
    void open(int which)
    {
        if (device) {
            s->window->findChild<QPushButton *>("navigationButton")->click();
            expect(idle(std::exchange(device, nullptr)), "leaving did not end");
            rest("leaving");
        }
        if (which < 0)
            return;
        at = which;
        const SimBank was = bank();
        const QList<AbstractDevice *> &devices = s->window->deviceManager()->devices();
        for (int i = 0; i < devices.size(); ++i)
            if (devices.at(i)->interfaceDriver()->name() == ptsName(port(at)) || devices.at(i)->interfaceDriver()->name() == port(at))
                s->window->showDevice(i);
        LLSForm *form = s->window->levelForm();
        device = form->device();
        connect(form, &LLSForm::SetParam, this, [this, d = device] { ++asked[d]; });
        form->fileDialog = [this](LLSForm::FileDialog, const QString &, const QString &, const QString &) { return file; };
        expect(idle(), "the form did not load");
        before = was;
        keep(bank(), {}, "opening");
        for (int r : Outputs)
            committed[r] = before.registers.value(r);
    }

    void switchPage(int index)
    {
        if (index == w<QToolBox>("setToolBox")->currentIndex())
            return;
        w<QToolBox>("setToolBox")->setCurrentIndex(index);
        expect(idle(), "the page switch did not end");
        rest("the page switch");
    }
    void set(const QString &button);
    void files(bool fpc);
    void act(int action);
};

// SET writes its page's registers only, and what the page shows.
void TestLLSModel::set(const QString &button)
{
    const Type &t = Types[type];
    QMap<int, quint32> want;    // the registers the page may change, with what it shows
    QMap<int, double> outputs;  // or with the value their count must give
    quint32 bits = 0;           // of register 19, which the page may change
    bool preset = false;
    auto spin = [this](const char *name) { return static_cast<quint32>(w<QSpinBox>(name)->value()); };
    auto high = [&](const SimBank &b) { return isVoltage(type) && b.registers.value(19) & 0x40 ? 5.0 : t.high; };
    const QString liquid = w<QComboBox>("liquidList")->currentText();
    const QRegularExpressionMatch unknown = QRegularExpression("^Unknown \\((\\d+)\\)$").match(liquid);
    if (button == "setLiquidType" && type == Can) {
        want = {{909, spin("sensorNumber")}, {910, spin("sensorNumber")}, {911, unknown.hasMatch() ? unknown.captured(1).toUInt() : NmeaCodes.value(liquid, -1)}};
    } else if (button == "setLiquidType") {
        want[3] = w<QComboBox>("liquidList")->currentIndex();
    } else if (button == "setMeasuringRange") {
        bits = 0x80;
        const bool profile = w<QCheckBox>("checkBox")->isChecked();
        want[19] = (before.registers.value(19) & ~bits) | (profile ? bits : 0);
        if (!profile)
            want.insert(903, countOf(spin("measuringRangeMin"))), want.insert(904, countOf(spin("measuringRangeMax")));
    } else if (button == "setSwitchOutput") {
        const int sign = w<QComboBox>("switchAlarm")->currentIndex() == 1 ? -1 : 1;
        want = {{907, countOf(spin("warningLevel"))}, {908, static_cast<quint32>(sign * countOf(spin("warningHysteresis")))}};
    } else {
        bits = 0x40;
        auto *selection = w<QComboBox>("outputSelection");
        preset = selection->currentIndex() < selection->count() - 1;
        const double step = (high(before) - t.low) / t.dacMax;
        for (int k = 0; k < (type == Resistive ? 3 : 2); ++k) {
            const int r = QList<int>{905, 906, 916}.at(k);
            const auto *box = w<QDoubleSpinBox>(QStringList{"minOutputRange", "maxOutputRange", "midpointOutputRange"}.at(k));
            // A box left as filled stands for the sensor's own count.
            const double old = committed.value(r) * step + t.low, scale = std::pow(10, box->decimals());
            outputs[r] = preset ? t.presets.at(selection->currentIndex()).at(k) : std::abs(box->value() - std::round(old * scale) / scale) < 1e-4 ? old : box->value();
        }
        if (type == Resistive)
            want[913] = w<QCheckBox>("invertedOutputCheckBox")->isChecked() ? 0 : 1;
    }
    w<QPushButton>(button)->click();
    expect(idle(), button + " was not answered");
    const SimBank now = bank();
    for (auto it = want.cbegin(); it != want.cend(); ++it)
        expect(now.registers.value(it.key()) == it.value(), QString("%1: register %2 holds %3, the page shows %4").arg(button).arg(it.key()).arg(hex(now.registers.value(it.key())), hex(it.value())));
    const double step = (high(now) - t.low) / t.dacMax, top = std::max(outputs.value(905), outputs.value(906));
    if (isVoltage(type) && !outputs.isEmpty())  // the range holds the higher end
        expect(top > 5 + 1e-6 ? !(now.registers.value(19) & 0x40) : top > 4.75 + 1e-6 || now.registers.value(19) & 0x40, "the wrong range for an output up to " + QString::number(top) + " V");
    for (auto it = outputs.cbegin(); it != outputs.cend(); ++it) {
        const int count = static_cast<int>(now.registers.value(it.key()));
        expect(preset ? count == std::floor((it.value() - t.low) / step + 0.5) : std::abs(count * step + t.low - it.value()) <= step / 2 + 1e-6,
               QString("%1: register %2 holds %3 (%4), the page shows %5%6").arg(button).arg(it.key()).arg(count).arg(count * step + t.low).arg(it.value()).arg(preset ? " as a preset" : ""));
    }
    expect(now.fixed == -1 && now.measuring, button + " left a test output");
    keep(now, want.keys() + outputs.keys(), button, bits);
    for (int r : Outputs)
        committed[r] = now.registers.value(r);
}

// Settings saved and loaded straight back change nothing; an FPC file exported and imported into
// the other sensor of the pair gives it every exported value.
void TestLLSModel::files(bool fpc)
{
    log(fpc ? "FPC export, import into the other of the pair" : "settings save and load");
    switchPage(w<QToolBox>("setToolBox")->count() - 1);
    // A name of this walk's own: a save refused here must not load another walk's file.
    file = dir.filePath(QString("seed%1-%2-step%3.%4").arg(shellSeed).arg(type).arg(steps.size()).arg(fpc ? "fpc" : "conf"));
    w<QPushButton>(fpc ? "exportFPC" : "saveSettings")->click();
    expect(idle(), "saving did not end");
    if (!fpc)
        w<QPushButton>("loadSettingsButton")->click();
    expect(idle(), "the load did not end");
    keep(bank(), {}, fpc ? "the export" : "save and load");
    expect(before.fixed == -1 && before.measuring, "a test output after the files");
    if (!fpc)
        return;
    const SimBank source = before;
    open(1 - at);
    switchPage(w<QToolBox>("setToolBox")->count() - 1);
    w<QPushButton>("importFPC")->click();
    expect(idle(), "the import did not end");
    const SimBank now = bank();
    const QList<int> exported = FpcFile::exportedRegisters().toList();
    for (int r : exported) {
        if (!SimBank::holdsText(r))
            expect(now.registers.value(r) == source.registers.value(r), QString("register %1 imported as %2, exported %3").arg(r).arg(hex(now.registers.value(r)), hex(source.registers.value(r))));
        else if (r == 1984 || (r < 1984 && (r - 85) % 40 == 0))  // a name or the description, as text
            expect(now.text(r) == source.text(r), QString("text at %1 imported as \"%2\", exported \"%3\"").arg(r).arg(now.text(r), source.text(r)));
    }
    expect(now.fixed == -1 && now.measuring, "the import left a test output");
    keep(now, exported, "the import");
    for (int r : Outputs)
        committed[r] = now.registers.value(r);
}

void TestLLSModel::act(int action)
{
    auto *pages = w<QToolBox>("setToolBox");
    // Before a SET, only the resistive type's inversion and tests touch the output, on its page.
    const bool trial = type == Resistive && pages->currentWidget()->objectName() == "setOutputRangePage";
    if (action == Page) {
        // The output page, with its tests, half the time it is offered.
        const int output = pages->indexOf(w("setOutputRangePage"));
        int i = output >= 0 && output != pages->currentIndex() && rng.bounded(2) ? output : pages->currentIndex();
        while (i == pages->currentIndex() || !pages->isItemEnabled(i))
            i = rng.bounded(pages->count());
        log("page " + pages->itemText(i).trimmed());
        switchPage(i);
    } else if (action == Edit) {
        QWidget *editor = w(pick(Editors));
        QString value;
        if (auto *spin = qobject_cast<QSpinBox *>(editor))
            spin->setValue(rng.bounded(spin->minimum(), spin->maximum() + 1)), value = spin->text();
        else if (auto *box = qobject_cast<QDoubleSpinBox *>(editor))
            box->setValue(box->minimum() + rng.generateDouble() * (box->maximum() - box->minimum())), value = box->text();
        else if (auto *combo = qobject_cast<QComboBox *>(editor))  // a choice from the list
            combo->setCurrentIndex(rng.bounded(combo->count())), emit combo->activated(combo->currentIndex()), value = combo->currentText();
        else
            qobject_cast<QCheckBox *>(editor)->click(), value = qobject_cast<QCheckBox *>(editor)->isChecked() ? "ticked" : "unticked";
        log(editor->objectName() + " = " + value);
        expect(idle(), "the edit's requests were not answered");
        const SimBank now = bank();
        expect(trial || (now.fixed == before.fixed && now.measuring == before.measuring), "the edit changed the output test");
        keep(now, trial ? Outputs : QList<int>(), "the edit");
    } else if (action == Set) {
        const QString button = pick(SetButtons);
        log(button);
        set(button);
    } else if (action == Cancel) {
        log("Cancel");
        w<QPushButton>("CancelOutputRange")->click();
        expect(idle(), "Cancel was not answered");
        rest("Cancel");
    } else if (action == Slider) {
        auto *slider = w<QSlider>(pick(Sliders));
        QStringList positions{QString::number(slider->sliderPosition())};
        slider->setSliderDown(true);  // sliderPressed, as a press on the handle
        expect(idle(), "the test's start was not answered");
        for (int k = rng.bounded(3); k > 0; --k) {
            slider->setSliderPosition(rng.bounded(slider->maximum() + 1));
            positions << QString::number(slider->sliderPosition());
            expect(idle(), "the test's move was not answered");
        }
        slider->setSliderDown(false);  // sliderReleased
        log(slider->objectName() + " test: press, move, release at " + positions.join(' '));
        expect(idle(), "the test's end was not answered");
        keep(bank(), Outputs, "the test");
        expect(before.fixed == positions.last().toInt(), QString("the test holds %1, the slider is at %2").arg(before.fixed).arg(positions.last()));
        expect(!slider->objectName().startsWith("midpoint") || before.registers.value(916) == 0, "a midpoint test with 916 at " + hex(before.registers.value(916)));
    } else if (action == Invert) {
        // The inversion alone: written at once, and kept through other pages and leaving.
        auto *box = w<QCheckBox>("invertedOutputCheckBox");
        box->click();
        log(QString("Inverted Gauge %1 alone").arg(box->isChecked() ? "ticked" : "unticked"));
        expect(idle(), "the inversion was not answered");
        const SimBank now = bank();
        expect(now.registers.value(913) == (box->isChecked() ? 0u : 1u), "the inversion is not on the sensor: 913 holds " + hex(now.registers.value(913)));
        keep(now, {913}, "the inversion");
        committed[913] = now.registers.value(913);
    } else if (action == Leave) {
        const int next = rng.bounded(2) ? 1 - at : at;
        log(next == at ? "leave, open again" : "leave, open the other of the pair");
        open(next);
    } else {
        files(action == Fpc);
    }
}

void TestLLSModel::walk_data()
{
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("type");
    for (const QString &seed : qEnvironmentVariable("PELLORA_MODEL_SEEDS", "1").split(',', Qt::SkipEmptyParts))
        for (int t = 0; t < int(std::size(Types)); ++t)
            QTest::addRow("%s seed %d", Types[t].name, seed.toInt()) << seed.toInt() << t;
}

// A seed's walks start from fresh sensors (each type its own pair), so that any of them replays alone.
void TestLLSModel::walk()
{
    QFETCH(int, seed);
    QFETCH(int, type);
    if (seed != shellSeed) {
        s.reset();
        s.reset(new Shell);
        // Replies in pieces a millisecond apart, as a line gives them: one that arrives whole costs
        // the driver its gap time (50 ms) on every exchange, more than the walks can afford.
        s->options << "--answer-delay" << "0" << "--chunk-size" << "16" << "--chunk-gap" << "1";
        QStringList files;
        for (const Type &t : Types)
            files << SimProcess::sensorFile(t.file) << SimProcess::sensorFile(t.file);
        QVERIFY(s->start(files) && s->devices() == 2 * int(std::size(Types)));
        asked.clear();
        answered.clear();
        for (AbstractDevice *d : s->window->deviceManager()->devices())
            connect(qobject_cast<LLSDevice *>(d), &LLSDevice::ParamSet, this, [this, d] { ++answered[d]; });
        shellSeed = seed;
        device = nullptr;
    }
    this->type = type;
    rng.seed(static_cast<quint32>(seed * 100 + type));
    steps.clear();
    failure.clear();
    open(0);
    // Every resistive walk inverts its output alone once, then leaves the page: the inversion stays.
    if (type == Resistive) {
        switchPage(w<QToolBox>("setToolBox")->indexOf(w("setOutputRangePage")));
        auto *selection = w<QComboBox>("outputSelection");
        selection->setCurrentIndex(selection->count() - 1);
        emit selection->activated(selection->currentIndex());
        log("page Output Range, Custom");
        expect(idle(), "choosing Custom was not answered");
        act(Invert);
        log("page Liquid Type");
        switchPage(0);
    }
    const int actions = qEnvironmentVariableIsSet("PELLORA_MODEL_ACTIONS") ? qEnvironmentVariableIntValue("PELLORA_MODEL_ACTIONS") : DefaultActions;
    while (failure.isEmpty() && steps.size() < actions) {
        QVector<int> feasible;
        for (int a = Page; a <= Fpc; ++a)
            if (a == Page ? w<QToolBox>("setToolBox")->count() > 1 : Needs[a].isEmpty() || !usable(Needs[a]).isEmpty())
                feasible += QVector<int>(Weights[a], a);
        const int action = feasible.at(rng.bounded(feasible.size()));
        // Every box is answered Yes (or OK); only the files may open one.
        const QStringList boxes = answerMessageBoxesWith({QMessageBox::Yes}, [&] { act(action); });
        if (!boxes.isEmpty())
            steps.last() += " [" + boxes.join(" / ") + "]";
        expect(boxes.isEmpty() || action == Settings || action == Fpc, "unexpected message box: " + boxes.join(" / "));
        expect(boxes.filter(QRegularExpression("not exported|not completely|did not complete")).isEmpty(), "the FPC file went wrong: " + boxes.join(" / "));
    }
    open(-1);  // leaving is checked as any other step, unless the walk failed already
    if (!failure.isEmpty()) {
        qWarning().noquote() << QString("seed %1, %2 sensor, steps:\n").arg(seed).arg(Types[type].name) + steps.join('\n');
        QFAIL(qPrintable(QString("%1 (seed %2, %3 sensor, after step %4)").arg(failure).arg(seed).arg(Types[type].name).arg(steps.size())));
    }
}

QTEST_MAIN(TestLLSModel)
#include "tst_llsmodel.moc"
