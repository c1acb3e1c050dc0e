#include "app/benchview.h"

#include "app/benchengine.h"
#include "app/benchreport.h"
#include "app/mainwindow.h"
#include "device/abstractdevice.h"
#include "lls/device/llsdevice.h"
#include "lls/ui/llsform.h"
#include "ui_benchview.h"

#include <QColor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QProgressBar>

namespace {

enum Column { PortColumn, SensorColumn, IdColumn, KindColumn, DescriptionColumn, ProgressColumn, OutcomeColumn };

}

BenchView::BenchView(MainWindow *mainWindow)
    : QFrame(mainWindow)
    , ui(new Ui::BenchView)
    , mainWindow(mainWindow)
{
    ui->setupUi(this);
    ui->benchTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui->benchTable->horizontalHeader()->setSectionResizeMode(OutcomeColumn, QHeaderView::Stretch);
    connect(ui->benchTable, &QTableWidget::itemChanged, this, [this](QTableWidgetItem *item) {
        if (item->column() == PortColumn && (item->flags() & Qt::ItemIsUserCheckable)) {
            m_checked[item->data(Qt::UserRole).toString()] = item->checkState() == Qt::Checked;
            updateButtons();
        }
    });
}

BenchView::~BenchView()
{
    stopAndWait();
    delete ui;
}

void BenchView::stopAndWait()
{
    if (!m_engine)
        return;
    m_engine->stop();
    // Waits for every sensor's thread: each ends after its writes that belong together and its lock.
    delete m_engine;
    m_engine = nullptr;
    m_running = false;
}

void BenchView::showPorts(const QVector<PortReport> &reports, const QList<AbstractDevice *> &devices, bool newSearch)
{
    // While sensors are worked the rows are theirs; the window does not change the list meanwhile.
    if (m_running)
        return;
    if (newSearch) {
        m_checked.clear();
        m_outcomes.clear();
    }
    m_reports = reports;
    m_devices = devices;
    m_rowDevice.clear();
    const QSignalBlocker blocker(ui->benchTable);
    ui->benchTable->setRowCount(reports.size());
    int next = 0;
    for (int row = 0; row < reports.size(); ++row) {
        const PortReport &report = reports.at(row);
        AbstractDevice *device = report.outcome == PortReport::Sensor && next < devices.size() ? devices.at(next++) : nullptr;
        m_rowDevice.append(device);
        fillRow(row);
    }
    updateButtons();
}

void BenchView::fillRow(int row)
{
    const PortReport &report = m_reports.at(row);
    AbstractDevice *device = m_rowDevice.at(row);
    auto *sensor = qobject_cast<LLSDevice *>(device);
    auto set = [this, row](int column, const QString &text) {
        QTableWidgetItem *item = ui->benchTable->item(row, column);
        if (!item)
            ui->benchTable->setItem(row, column, item = new QTableWidgetItem);
        item->setText(text);
        item->setToolTip(text);
        return item;
    };
    QTableWidgetItem *port = set(PortColumn, report.port + (report.gone ? tr(" (gone)") : QString()));
    port->setData(Qt::UserRole, report.port);
    // A level sensor that is there can be chosen; it starts chosen.
    if (sensor && !report.gone) {
        port->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        port->setCheckState(m_checked.value(report.port, true) ? Qt::Checked : Qt::Unchecked);
        m_checked[report.port] = port->checkState() == Qt::Checked;
    } else {
        port->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        port->setData(Qt::CheckStateRole, QVariant());
    }
    set(SensorColumn, device ? device->name() : report.text().section(QStringLiteral(": "), 1));
    set(IdColumn, device ? device->deviceId() : QString());
    // The output is known once the sensor has been read; until then its family.
    set(KindColumn, sensor ? (sensor->OutputType().isEmpty() ? sensor->deviceType() : sensor->deviceType() + QLatin1Char(' ') + sensor->OutputType())
                           : device ? device->deviceType() : QString());
    set(DescriptionColumn, sensor ? sensor->ProbeDescription() : QString());
    set(OutcomeColumn, sensor ? m_outcomes.value(report.port) : device ? tr("skipped (not a level sensor)") : tr("skipped"));
    if (!ui->benchTable->cellWidget(row, ProgressColumn) && sensor) {
        auto *bar = new QProgressBar;
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(true);
        bar->setAccessibleName(tr("Progress on %1").arg(report.port));
        bar->hide();
        ui->benchTable->setCellWidget(row, ProgressColumn, bar);
    } else if (!sensor) {
        ui->benchTable->removeCellWidget(row, ProgressColumn);
    }
}

QVector<int> BenchView::checkedRows() const
{
    QVector<int> rows;
    for (int row = 0; row < m_reports.size(); ++row) {
        const QTableWidgetItem *item = ui->benchTable->item(row, PortColumn);
        if (item && (item->flags() & Qt::ItemIsUserCheckable) && item->checkState() == Qt::Checked)
            rows.append(row);
    }
    return rows;
}

void BenchView::updateButtons()
{
    const bool chosen = !checkedRows().isEmpty();
    for (QWidget *button : {ui->applyButton, ui->backupButton, ui->compareButton})
        button->setEnabled(!m_running && chosen);
    ui->stopButton->setEnabled(m_running);
    ui->reportButton->setEnabled(!m_running && m_engine);
    ui->backButton->setEnabled(!m_running);
    ui->benchTable->setEnabled(true);
}

QString BenchView::ask(Dialog kind, const QString &caption)
{
    if (fileDialog)
        return fileDialog(kind, caption);
    const QString start = LLSForm::settingsFolder();
    switch (kind) {
    case Dialog::OpenFile:
        return QFileDialog::getOpenFileName(this, caption, start, tr("Settings or FPC files (*.conf *.fpc)"));
    case Dialog::Folder:
        return QFileDialog::getExistingDirectory(this, caption, start);
    case Dialog::SaveReport:
        return QFileDialog::getSaveFileName(this, caption, start, tr("Reports (*.csv)"));
    }
    return {};
}

void BenchView::on_applyButton_clicked()
{
    const QString file = ask(Dialog::OpenFile, tr("Apply a file to the checked sensors"));
    if (!file.isEmpty())
        run(BenchTask::Apply, file);
}

void BenchView::on_backupButton_clicked()
{
    const QString folder = ask(Dialog::Folder, tr("Back up the checked sensors into"));
    if (!folder.isEmpty())
        run(BenchTask::Backup, folder);
}

void BenchView::on_compareButton_clicked()
{
    const QString file = ask(Dialog::OpenFile, tr("Compare the checked sensors with"));
    if (!file.isEmpty())
        run(BenchTask::Check, file);
}

void BenchView::on_stopButton_clicked()
{
    if (m_engine && m_running) {
        m_engine->stop();
        ui->summaryLabel->setText(tr("Stopping every sensor after the writes under way that belong together..."));
    }
}

void BenchView::on_reportButton_clicked()
{
    if (!m_engine || m_running)
        return;
    QString file = ask(Dialog::SaveReport, tr("Save the report"));
    if (file.isEmpty())
        return;
    // The dialog asked about the name typed, not the one with its ending added.
    if (QFileInfo(file).suffix().isEmpty()) {
        file += QLatin1String(".csv");
        if (QFileInfo::exists(file)
            && QMessageBox::question(this, tr("Save the report"), tr("%1 already exists.\nDo you want to replace it?").arg(QFileInfo(file).fileName()),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
                != QMessageBox::Yes)
            return;
    }
    QString error;
    if (!BenchReport::write(file, *m_engine, &error))
        QMessageBox::warning(this, tr("Report not saved"), error);
    else
        ui->summaryLabel->setText(m_engine->summary() + QLatin1Char('\n') + tr("Report saved to %1").arg(QDir::toNativeSeparators(file)));
}

void BenchView::on_backButton_clicked()
{
    if (!m_running)
        mainWindow->leaveBench();
}

void BenchView::run(BenchTask::Mode mode, const QString &target)
{
    if (m_running)
        return;
    BenchTask task;
    QString error;
    if (!task.prepare(mode, target, &error)) {
        QMessageBox::warning(this, tr("Bench"), error.left(1).toUpper() + error.mid(1) + QLatin1Char('.'));
        return;
    }
    const QVector<int> rows = checkedRows();
    if (rows.isEmpty())
        return;
    // Writing one file to many sensors is asked for once, naming both.
    if (mode == BenchTask::Apply && rows.size() > 1
        && QMessageBox::question(this, tr("Apply to %1 sensors").arg(rows.size()),
                                 tr("Write %1 to the %2 checked sensors?\n\nEach sensor of another kind is refused and left as it is.")
                                     .arg(QFileInfo(target).fileName())
                                     .arg(rows.size()),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
            != QMessageBox::Yes)
        return;
    stopAndWait();
    m_mode = mode;
    m_engine = new BenchEngine(task, this);
    connect(m_engine, &BenchEngine::progress, this, &BenchView::onProgress);
    connect(m_engine, &BenchEngine::jobFinished, this, &BenchView::onJobFinished);
    connect(m_engine, &BenchEngine::finished, this, &BenchView::onFinished);
    for (int row : rows) {
        m_outcomes.remove(m_reports.at(row).port);
        ui->benchTable->item(row, OutcomeColumn)->setText(tr("waiting"));
        ui->benchTable->item(row, OutcomeColumn)->setForeground(palette().text());
        if (auto *bar = qobject_cast<QProgressBar *>(ui->benchTable->cellWidget(row, ProgressColumn))) {
            bar->setValue(0);
            bar->show();
        }
    }
    m_running = true;
    emit runningChanged(true);
    updateButtons();
    const QString sensors = rows.size() == 1 ? tr("1 sensor") : tr("%1 sensors").arg(rows.size());
    const QString name = QFileInfo(target).fileName();
    ui->summaryLabel->setText(mode == BenchTask::Apply    ? tr("Applying %1 to %2...").arg(name, sensors)
                              : mode == BenchTask::Backup ? tr("Backing up %1 into %2...").arg(sensors, QDir::toNativeSeparators(target))
                                                          : tr("Comparing %1 with %2...").arg(sensors, name));
    m_engine->start(m_reports, m_devices, rows);
}

void BenchView::onProgress(int job, int percent)
{
    if (auto *bar = qobject_cast<QProgressBar *>(ui->benchTable->cellWidget(job, ProgressColumn)))
        bar->setValue(percent);
    if (QTableWidgetItem *item = ui->benchTable->item(job, OutcomeColumn); item && percent > 0 && percent < 100)
        item->setText(m_mode == BenchTask::Backup ? tr("saving") : m_mode == BenchTask::Apply && percent >= 40 ? tr("writing") : tr("reading"));
}

void BenchView::onJobFinished(int job)
{
    const BenchEngine::Job &j = m_engine->jobs().at(job);
    if (!j.chosen)
        return;
    m_outcomes[j.report.port] = m_engine->outcomeText(j);
    if (auto *bar = qobject_cast<QProgressBar *>(ui->benchTable->cellWidget(job, ProgressColumn)))
        bar->setValue(100);
    // The sensor has been read: its output and description are known now.
    fillRow(job);
    QTableWidgetItem *outcome = ui->benchTable->item(job, OutcomeColumn);
    outcome->setForeground(j.outcome.ok() ? QColor(15, 125, 60) : QColor(193, 39, 45));
}

void BenchView::onFinished()
{
    m_running = false;
    ui->summaryLabel->setText(m_engine->summary());
    updateButtons();
    emit runningChanged(false);
}

QString BenchView::summary() const
{
    return ui->summaryLabel->text();
}

QString BenchView::outcome(const QString &port) const
{
    return m_outcomes.value(port);
}
