// Renders screens of the program headless, as PNG files for the documentation:
//   QT_QPA_PLATFORM=offscreen pellora-screenshots OUTDIR [screen...]
// Without screen names every screen is written, each to OUTDIR/<name>.png. A new screen is one
// function and one line in Screens.
#include "lls/ui/probelevelgaugewidget.h"
#include "lls/ui/probeoutputgaugewidget.h"
#include "lls/ui/tankprofilehost.h"
#include "lls/ui/tankprofilewidget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <functional>

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
    if (written != (wanted.isEmpty() ? static_cast<int>(std::size(Screens)) : wanted.size())) {
        std::fprintf(stderr, "unknown screen name among: %s\n", qPrintable(wanted.join(QLatin1Char(' '))));
        return 2;
    }
    return 0;
}
