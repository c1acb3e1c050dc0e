#include "app/select.h"

#include "app/mainwindow.h"
#include "device/abstractdevice.h"
#include "device/abstractinterfacedriver.h"
#include "device/devicemanager.h"
#include "ui_select.h"

#include "lls/device/llsdevice.h"

#include <QSignalBlocker>

#include <algorithm>

Select::Select(MainWindow *mainWindow)
    : QFrame(mainWindow)
    , ui(new Ui::Select)
    , mainWindow(mainWindow)
{
    ui->setupUi(this);
    setWindowTitle(QString());
    ui->deviceCombo->clear();
    ui->selectStack->setCurrentIndex(0);
    connect(&timer, &QTimer::timeout, this, &Select::onSearchTimeout);
}

Select::~Select()
{
    delete ui;
}

void Select::showSearching()
{
    listStale = true;
    ui->scanProgressLabel->setText(tr("Searching..."));
    ui->scanProgressLabel->show();
    ui->portDetailsLabel->hide();
    ui->selectStack->setCurrentIndex(0);
    ui->searchProgress->setRange(0, 0);
    ui->searchProgress->setValue(-1);
    timer.start(5000);
}

void Select::onSearchTimeout()
{
    timer.stop();
    // The scan is still running: show the list page, but keep the old items out of reach until
    // the new list arrives.
    ui->selectStack->setCurrentIndex(2);
    if (listStale) {
        ui->deviceCombo->setEnabled(false);
        ui->selectButton->setEnabled(false);
    }
}

void Select::fillDeviceList()
{
    timer.stop();
    listStale = false;
    ui->scanProgressLabel->hide();
    const QVector<PortReport> reports = mainWindow->deviceManager()->portReports();
    showPortReports(reports);
    const QList<AbstractDevice *> devices = mainWindow->deviceManager()->devices();
    // A sensor whose port went away stays listed, marked, until the next search.
    gone.clear();
    for (const PortReport &report : reports)
        if (report.outcome == PortReport::Sensor)
            gone.append(report.gone);
    {
        // The header is updated once below, not for every item added.
        const QSignalBlocker blocker(ui->deviceCombo);
        ui->deviceCombo->clear();
        if (devices.isEmpty()) {
            ui->deviceCombo->addItem(QStringLiteral("None"));
            ui->selectButton->setEnabled(false);
        } else {
            ui->selectButton->setEnabled(true);
            for (int i = 0; i < devices.size(); ++i) {
                AbstractInterfaceDriver *driver = devices.at(i)->interfaceDriver();
                if (driver->type() == QLatin1String("serialport"))
                    ui->deviceCombo->addItem(gone.value(i) ? tr("%1 (on %2, gone)").arg(devices.at(i)->name(), driver->name())
                                                           : QStringLiteral("%1 (on %2)").arg(devices.at(i)->name(), driver->name()));
            }
        }
        ui->deviceCombo->setEnabled(true);
        // The bench works level sensors: offered when one is listed.
        ui->benchButton->setVisible(std::any_of(devices.cbegin(), devices.cend(), [](AbstractDevice *d) { return qobject_cast<LLSDevice *>(d); }));
        ui->selectStack->setCurrentIndex(2);
        ui->searchProgress->setRange(0, 1);
        ui->searchProgress->setValue(1);
        ui->deviceCombo->setCurrentIndex(0);
    }
    connect(ui->deviceCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &Select::onDeviceIndexChanged, Qt::UniqueConnection);
    // A port that comes or goes does not move the user's choice to another sensor.
    int chosen = 0;
    for (int i = 0; i < devices.size(); ++i)
        if (devices.at(i)->interfaceDriver()->name() == chosenPort)
            chosen = i;
    if (chosen != 0)
        ui->deviceCombo->setCurrentIndex(chosen);  // reaches onDeviceIndexChanged
    else if (!devices.isEmpty())
        onDeviceIndexChanged(0);
}

void Select::onDeviceIndexChanged(int index)
{
    if (index < 0 || listStale || mainWindow->deviceManager()->devices().isEmpty())
        return;
    ui->selectButton->setEnabled(!gone.value(index));
    if (AbstractDevice *device = mainWindow->deviceManager()->devices().value(index))
        chosenPort = device->interfaceDriver()->name();
    mainWindow->showDeviceHeader(index);
}

void Select::on_benchButton_clicked()
{
    if (listStale)
        return;
    showNotice(QString());
    mainWindow->showBench();
}

void Select::on_selectButton_clicked()
{
    if (listStale)
        return;
    showNotice(QString());
    mainWindow->showDevice(ui->deviceCombo->currentIndex());
}

void Select::on_refreshDevicesButton_clicked()
{
    showNotice(QString());
    mainWindow->startScan();
}

void Select::showNotice(const QString &text)
{
    ui->noticeLabel->setText(text);
    ui->noticeLabel->setVisible(!text.isEmpty());
}

QString Select::notice() const
{
    return ui->noticeLabel->text();
}

void Select::showProgress(int answered, int count, const QString &port)
{
    Q_UNUSED(port)
    if (!listStale)
        return;  // a late report of a scan that has already ended
    ui->scanProgressLabel->setText(count == 1 ? tr("Searching 1 port (%1 answered)").arg(answered)
                                              : tr("Searching %1 ports (%2 answered)").arg(count).arg(answered));
    ui->scanProgressLabel->show();
}

void Select::showPortReports(const QVector<PortReport> &reports)
{
    int sensors = 0;
    QMap<QString, int> others;
    QStringList lines;
    bool permission = false;
    for (const PortReport &report : reports) {
        lines << report.text();
        if (report.outcome == PortReport::Sensor)
            ++sensors;
        else
            ++others[report.text().section(QStringLiteral(": "), 1).section(QStringLiteral(" ("), 0, 0)];
        permission = permission || report.outcome == PortReport::PermissionDenied;
    }
    QStringList summary{sensors == 1 ? tr("1 sensor") : tr("%1 sensors").arg(sensors)};
    for (auto it = others.cbegin(); it != others.cend(); ++it)
        summary << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    // Every port's line under the list; a long list shows its first lines, the tool tip all.
    constexpr int Shown = 8;
    QStringList text{(reports.size() == 1 ? tr("1 port searched: ") : tr("%1 ports searched: ").arg(reports.size()))
                     + summary.join(QStringLiteral(", "))};
    text << lines.mid(0, Shown);
    if (lines.size() > Shown)
        text << tr("... and %1 more (point here to see them all)").arg(lines.size() - Shown);
    ui->portDetailsLabel->setText(text.join(QLatin1Char('\n')));
    ui->portDetailsLabel->setToolTip(lines.join(QLatin1Char('\n')));
    ui->portDetailsLabel->setAccessibleDescription(lines.join(QStringLiteral("; ")));
    ui->portDetailsLabel->setVisible(!reports.isEmpty());
    ui->permissionHintLabel->setText(
        tr("Some serial ports could not be opened: you lack the permission. On Debian and Ubuntu, serial ports "
           "belong to the group dialout. Join it with\n    sudo usermod -aG dialout $USER\nthen log out and in "
           "again, and search again."));
    ui->permissionHintLabel->setVisible(permission);
}

QString Select::progressText() const
{
    return ui->scanProgressLabel->isVisibleTo(this) ? ui->scanProgressLabel->text() : QString();
}

QString Select::portDetails() const
{
    return ui->portDetailsLabel->toolTip();
}

QString Select::permissionHint() const
{
    return ui->permissionHintLabel->isVisibleTo(this) ? ui->permissionHintLabel->text() : QString();
}
