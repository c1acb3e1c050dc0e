// Renders screens of the program headless, as PNG files for the documentation:
//   QT_QPA_PLATFORM=offscreen pellora-screenshots OUTDIR [screen...]
// Without screen names every screen is written, each to OUTDIR/<name>.png. A new screen is one
// function and one line in Screens.
#include "app/benchview.h"
#include "app/mainwindow.h"
#include "app/select.h"
#include "device/devicemanager.h"
#include "device/serialportdriver.h"
#include "files/settingsfile.h"
#include "lls/device/llsdevice.h"
#include "lls/device/llssettings.h"
#include "lls/ui/comparedialog.h"
#include "lls/ui/llsform.h"
#include "lls/ui/probelevelgaugewidget.h"
#include "lls/ui/probeoutputgaugewidget.h"
#include "lls/ui/tankprofilehost.h"
#include "lls/ui/tankprofilewidget.h"
#include "simprocess.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QAbstractItemView>
#include <QLabel>
#include <QPainter>
#include <QMessageBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolBox>
#include <QThread>
#include <QTimer>
#include <QComboBox>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Stands in for the level sensor form: a level for the wizard, and a write that goes nowhere.
class DemoHost : public TankProfileHost
{
public:
    int level = 0;
    int levelPercent() const override { return level; }
    void setTankProfile(const QStringList &, const QStringList &) override {}
};

QImage shoot(QWidget &widget)
{
    widget.show();
    QApplication::processEvents();
    return widget.grab().toImage();
}

template<typename T>
T *child(QWidget &widget, const char *name)
{
    return widget.findChild<T *>(QLatin1String(name));
}

// A horizontal cylinder: the share of its volume below a liquid height, both in percent.
double cylinderVolumePercent(double levelPercent)
{
    const double c = 1 - 2 * levelPercent / 100;
    return 100 * (std::acos(c) - c * std::sqrt(1 - c * c)) / M_PI;
}

void fillCylinderProfile(TankProfileWidget &editor)
{
    QStringList levels;
    QStringList outputs;
    for (int level = 0; level <= 100; level += 5) {
        levels << QString::number(level);
        outputs << QString::number(cylinderVolumePercent(level), 'f', 1);
    }
    editor.refreshTableView(levels, outputs, false);
}

QImage gauges()
{
    QWidget panel;
    panel.setStyleSheet(QStringLiteral("background: white; color: rgb(60, 60, 60);"));
    auto *row = new QHBoxLayout(&panel);
    auto addGauge = [&](GaugeWidget *gauge, const QString &caption) {
        auto *column = new QVBoxLayout;
        auto *label = new QLabel(caption);
        label->setAlignment(Qt::AlignCenter);
        gauge->setFixedSize(200, 300);
        column->addWidget(gauge);
        column->addWidget(label);
        row->addLayout(column);
    };
    auto *level = new ProbeLevelGaugeWidget;
    level->setRangeMarks(true, 10, 90);
    level->setWarningMarks(true, false, 75, 5);
    level->setValue(62);
    addGauge(level, QStringLiteral("Level: range 10–90 %, warning 75 %"));
    auto *output = new ProbeOutputGaugeWidget;
    output->setMaximum(20);
    output->setTickStep(2);
    output->setValue(11.4f);
    addGauge(output, QStringLiteral("Output: 0–20 mA scale"));
    for (QLabel *label : panel.findChildren<QLabel *>()) {
        label->setWordWrap(true);
        label->setFixedWidth(200);
    }
    return shoot(panel);
}

QImage tankProfileStart()
{
    DemoHost host;
    TankProfileWidget editor(&host);
    return shoot(editor);
}

QImage tankProfileWizard()
{
    DemoHost host;
    TankProfileWidget editor(&host);
    child<QPushButton>(editor, "wizardButton")->click();
    const struct { double units; int level; } pours[] = {{0, 0}, {40, 19}, {80, 31}, {120, 42}, {160, 52}, {200, 61}};
    auto *units = child<QDoubleSpinBox>(editor, "unitOfLiquid");
    for (const auto &pour : pours) {
        units->setValue(pour.units);
        host.level = pour.level;
        child<QPushButton>(editor, "addButton")->click();
    }
    units->setValue(240);
    return shoot(editor);
}

QImage tankProfileTable()
{
    DemoHost host;
    TankProfileWidget editor(&host);
    fillCylinderProfile(editor);
    return shoot(editor);
}

QImage tankProfileSending()
{
    DemoHost host;
    TankProfileWidget editor(&host);
    fillCylinderProfile(editor);
    editor.show();
    // Answers the confirmation as the user would.
    QTimer confirm;
    QObject::connect(&confirm, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    confirm.start(10);
    child<QPushButton>(editor, "setTankProfileTable")->click();
    return shoot(editor);
}

// Lets the event loop run until done() holds or ms have passed.
bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

// The window on simulated sensors; started once for all the screens that need it.
struct Session
{
    SimProcess sim;
    MainWindow *window = nullptr;

    bool start(const QStringList &sensors)
    {
        const bool started = sim.start(sensors);
        SerialPortDriver::setPortList({});
        qputenv("PELLORA_EXTRA_PORTS", sim.extraPorts().toLocal8Bit());
        window = new MainWindow;
        // The level sensor form at its own size, 898 x 532, below the header and above the footer.
        window->resize(900, 652);
        window->show();
        return started;
    }
    ~Session() { delete window; }
};

// Ended before the application object goes: a window outliving it would crash on the way out.
std::vector<std::unique_ptr<Session>> sessions;

Session &defaultSensors()
{
    static Session *session = [] {
        sessions.push_back(std::make_unique<Session>());
        Session *s = sessions.back().get();
        const QDir dir(QStringLiteral(PELLORA_SENSOR_DIR));
        QStringList files;
        for (const QString &f : dir.entryList({QStringLiteral("0*.json")}, QDir::Files, QDir::Name))
            files << dir.filePath(f);
        s->start(files);
        waitFor([s] { return !s->window->isScanning(); }, 30000);
        return s;
    }();
    return *session;
}

// A level sensor's form, loaded, on the given tool box page, after a few measurements.
QImage levelSensor(int index, int page)
{
    Session &s = defaultSensors();
    QMetaObject::invokeMethod(s.window->selectPage()->findChild<QComboBox *>(QStringLiteral("deviceCombo")), "setCurrentIndex",
                              Q_ARG(int, index));
    s.window->showDevice(index);
    LLSForm *form = s.window->levelForm();
    waitFor([form] { return form->findChild<QStackedWidget *>(QStringLiteral("stackedWidget"))->currentIndex() == 1; }, 30000);
    auto *box = form->findChild<QToolBox *>(QStringLiteral("setToolBox"));
    box->setCurrentIndex(qMin(page, box->count() - 1));
    waitFor([] { return false; }, 1500);
    return s.window->grab().toImage();
}

// The selection page while a long scan runs, and after it with what became of each port.
// A port that takes seven seconds to say nothing: with every port probed at once, it is what makes
// a search outlast the page's five-second fallback.
class SlowPort : public AbstractInterfaceDriver
{
public:
    bool open() override { return true; }
    void close() override {}
    bool sendRequest(const QByteArray &, QByteArray &) override { return QThread::sleep(7), false; }
    QString type() const override { return QStringLiteral("slow"); }
    QString name() const override { return QStringLiteral("ttyUSB9"); }
    bool connectErrorHandler(QObject *) override { return true; }
};

QImage selectionPage(bool during)
{
    static Session *session = nullptr;
    if (!session) {
        sessions.push_back(std::make_unique<Session>());
        session = sessions.back().get();
        session->start({QStringLiteral(PELLORA_SENSOR_DIR "/01-lls.json"), QStringLiteral("silent"), QStringLiteral("garbage"),
                 QStringLiteral(R"({"kind":"level","family":"LLS","name":"odd","deviceId":4999,"firmware":2})"),
                 QStringLiteral("silent"), QStringLiteral("silent"), QStringLiteral("silent"), QStringLiteral(PELLORA_SENSOR_DIR "/07-slimfin.json"),
                 QStringLiteral("silent"), QStringLiteral("silent"), QStringLiteral("silent"), QStringLiteral("silent")});
        session->window->resize(1040, 680);
    }
    Session &s = *session;
    if (during) {
        // A second search with a slow port: after the five-second fallback the list page shows,
        // with the search's progress under it.
        waitFor([&s] { return !s.window->isScanning(); }, 30000);
        const auto ports = s.window->deviceManager()->interfaceSource();
        s.window->deviceManager()->setInterfaceSource([ports] { return ports() << new SlowPort; });
        s.window->startScan();
        waitFor([] { return false; }, 5800);
    } else {
        waitFor([&s] { return !s.window->isScanning(); }, 30000);
        waitFor([] { return false; }, 300);
    }
    return s.window->grab().toImage();
}

// The bench view on six ports: two voltage sensors alike but for their settings, a current and
// a resistive sensor, a position sensor and a silent port. Its files are a backup of the first.
struct Bench
{
    Session session;
    QTemporaryDir files;
    BenchView *view = nullptr;
    QString conf, fpc;
};

Bench &bench()
{
    static Bench *b = [] {
        auto *bench = new Bench;
        const QString twin = QStringLiteral(R"({"kind":"level","family":"ILS","name":"ILS twin","deviceId":4201,"firmware":3,"features":"0x0020",)"
                                            R"("liquids":["Diesel"],"description":"Day tank 2","registers":{"903":"66","904":"399","905":"1A",)"
                                            R"("906":"3FF","907":"CD","908":"33"}})");
        bench->session.start({QStringLiteral(PELLORA_SENSOR_DIR "/02-ils-voltage.json"), twin, QStringLiteral(PELLORA_SENSOR_DIR "/03-murkwell-current.json"),
                              QStringLiteral(PELLORA_SENSOR_DIR "/04-murkwell-resistive.json"), QStringLiteral(PELLORA_SENSOR_DIR "/07-slimfin.json"),
                              QStringLiteral("silent")});
        MainWindow *window = bench->session.window;
        window->resize(1100, 652);
        waitFor([window] { return !window->isScanning(); }, 30000);
        window->showBench();
        bench->view = window->benchView();
        auto *table = bench->view->findChild<QTableWidget *>(QStringLiteral("benchTable"));
        for (int row = 1; row < 4; ++row)
            table->item(row, 0)->setCheckState(Qt::Unchecked);
        bench->view->fileDialog = [bench](BenchView::Dialog, const QString &) { return bench->files.path(); };
        bench->view->findChild<QPushButton *>(QStringLiteral("backupButton"))->click();
        waitFor([bench] { return !bench->view->isRunning(); }, 30000);
        const QDir dir(bench->files.path());
        bench->conf = dir.filePath(dir.entryList({QStringLiteral("*.conf")}).value(0));
        bench->fpc = dir.filePath(dir.entryList({QStringLiteral("*.fpc")}).value(0));
        for (int row = 1; row < 4; ++row)
            table->item(row, 0)->setCheckState(Qt::Checked);
        return bench;
    }();
    return *b;
}

// The first sensor's settings compared with every level sensor: it matches, its twin differs,
// the others are of another kind.
QImage benchDone()
{
    Bench &b = bench();
    b.view->fileDialog = [&b](BenchView::Dialog, const QString &) { return b.conf; };
    b.view->findChild<QPushButton *>(QStringLiteral("compareButton"))->click();
    waitFor([&b] { return !b.view->isRunning(); }, 30000);
    return b.session.window->grab().toImage();
}

// The first sensor's FPC file going to it and its twin, a few seconds into the writes.
QImage benchWorking()
{
    Bench &b = bench();
    b.view->fileDialog = [&b](BenchView::Dialog, const QString &) { return b.fpc; };
    QTimer yes;
    QObject::connect(&yes, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->button(QMessageBox::Yes)->click();
    });
    yes.start(20);
    b.view->findChild<QPushButton *>(QStringLiteral("applyButton"))->click();
    waitFor([] { return false; }, 4000);
    const QImage image = b.session.window->grab().toImage();
    waitFor([&b] { return !b.view->isRunning(); }, 60000);
    return image;
}

// A sensor page's Compare with file: the voltage sensor beside a file with another alarm.
QImage compareDialog()
{
    Session &s = defaultSensors();
    levelSensor(1, 4);
    LLSForm *form = s.window->levelForm();
    static QTemporaryDir dir;
    QVector<QPair<QString, QString>> values = LLSSettings::valuesOf(*form->device(), form->device()->OutputType());
    for (auto &value : values)
        if (value.first == QLatin1String("settings/WarningLevel"))
            value.second = QStringLiteral("40");
    QString error;
    SettingsFile::save(dir.filePath(QStringLiteral("day-tank.conf")), values, &error);
    form->fileDialog = [](LLSForm::FileDialog, const QString &, const QString &, const QString &) { return dir.filePath(QStringLiteral("day-tank.conf")); };
    QImage image;
    QTimer::singleShot(300, [&image] {
        if (auto *dialog = qobject_cast<CompareDialog *>(QApplication::activeModalWidget())) {
            QApplication::processEvents();
            image = dialog->grab().toImage();
            dialog->reject();
        }
    });
    QMetaObject::invokeMethod(form, "on_compareFileButton_clicked");
    return image;
}

// The output range page's preset list, open, its second row the current one (as under the mouse).
QImage presetList()
{
    Session &s = defaultSensors();
    levelSensor(1, 2);
    auto *combo = s.window->levelForm()->findChild<QComboBox *>(QStringLiteral("outputSelection"));
    combo->showPopup();
    QApplication::processEvents();
    combo->view()->setCurrentIndex(combo->model()->index(1, 0));
    waitFor([] { return false; }, 300);
    // The page around the list, and the list drawn over it where it opened.
    QImage image = s.window->grab().toImage();
    QPainter painter(&image);
    QWidget *popup = combo->view()->window();
    painter.drawImage(s.window->mapFromGlobal(popup->mapToGlobal(QPoint(0, 0))), popup->grab().toImage());
    painter.end();
    combo->hidePopup();
    return image;
}

struct Screen
{
    const char *name;
    std::function<QImage()> render;
};

const Screen Screens[] = {
    {"gauges", gauges},
    {"tankprofile-start", tankProfileStart},
    {"tankprofile-wizard", tankProfileWizard},
    {"tankprofile-table", tankProfileTable},
    {"tankprofile-sending", tankProfileSending},
    {"lls-plain", [] { return levelSensor(0, 0); }},
    {"lls-voltage", [] { return levelSensor(1, 0); }},
    {"lls-current-range", [] { return levelSensor(2, 1); }},
    {"lls-resistive-output", [] { return levelSensor(3, 2); }},
    {"lls-can-liquid", [] { return levelSensor(4, 0); }},
    {"lls-voltage-output", [] { return levelSensor(1, 2); }},
    {"lls-voltage-switch", [] { return levelSensor(1, 3); }},
    {"lls-current-files", [] { return levelSensor(2, 4); }},
    {"select-scanning", [] { return selectionPage(true); }},
    {"select-ports", [] { return selectionPage(false); }},
    {"bench-done", benchDone},
    {"bench-working", benchWorking},
    {"lls-compare", compareDialog},
    {"lls-output-presets", presetList},
};

}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: pellora-screenshots OUTDIR [screen...]\nscreens:");
        for (const Screen &screen : Screens)
            std::fprintf(stderr, " %s", screen.name);
        std::fprintf(stderr, "\n");
        return 2;
    }
    const QDir out(args.first());
    const QStringList wanted = args.mid(1);
    int written = 0;
    for (const Screen &screen : Screens) {
        const QString name = QLatin1String(screen.name);
        if (!wanted.isEmpty() && !wanted.contains(name))
            continue;
        const QString file = out.filePath(name + QStringLiteral(".png"));
        if (!screen.render().save(file)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        ++written;
    }
    sessions.clear();
    if (written != (wanted.isEmpty() ? static_cast<int>(std::size(Screens)) : wanted.size())) {
        std::fprintf(stderr, "unknown screen name among: %s\n", qPrintable(wanted.join(QLatin1Char(' '))));
        return 2;
    }
    return 0;
}
