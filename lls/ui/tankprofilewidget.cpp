#include "lls/ui/tankprofilewidget.h"

#include "device/logcategories.h"
#include "lls/ui/llsuiresources.h"
#include "lls/ui/tankprofilecsv.h"
#include "lls/ui/tankprofilehost.h"
#include "ui_tankprofilewidget.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMovie>
#include <QSaveFile>
#include <QScopedValueRollback>

using TankProfileTable::Rows;

namespace {

enum Page { StartPage = 0, WizardPage = 1, TablePage = 2, SendingPage = 3 };

constexpr int ColumnWidth = 130;

QTableWidgetItem *centredItem(const QString &text)
{
    auto *item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}

}

TankProfileWidget::TankProfileWidget(TankProfileHost *host)
    : QWidget(nullptr)
    , ui(new Ui::TankProfileWidget)
    , host(host)
{
    ensureLlsUiResources();
    // The form gives the stack's pages their own 9 pt font: pages are added to the stack after
    // creation and do not inherit the window's.
    ui->setupUi(this);
    ui->setTankProfileTable->setEnabled(false);
    ui->saveButton->setEnabled(false);

    QTableWidget *table = ui->tableWidget;
    table->setRowCount(1);
    table->setColumnCount(2);
    table->verticalHeader()->setVisible(false);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->horizontalHeader()->setStretchLastSection(true);
    table->setHorizontalHeaderLabels({tr("LIQUID LEVEL (%)"), tr("OUTPUT LEVEL (%)")});
    table->setColumnWidth(0, ColumnWidth);
    table->setColumnWidth(1, ColumnWidth);

    scene = new QGraphicsScene(this);
    ui->graphicsView->setScene(scene);
    ui->graphicsView_2->setScene(scene);
    scene->setSceneRect(0, 0, ui->graphicsView_2->width(), ui->graphicsView_2->height());
    // The chart is to look at: the keyboard passes it by, a screen reader reads its description.
    for (QGraphicsView *view : {ui->graphicsView, ui->graphicsView_2}) {
        view->setFocusPolicy(Qt::NoFocus);
        view->viewport()->setFocusPolicy(Qt::NoFocus);
    }

    loadingMovie = new QMovie(QStringLiteral(":/resources/resources/loading-icon.gif"), QByteArray(), this);
    ui->loadingLogo->setMovie(loadingMovie);

    ui->stackedWidget->setCurrentIndex(StartPage);
    drawChart();
}

TankProfileWidget::~TankProfileWidget() = default;

QString TankProfileWidget::chooseImportFile()
{
    return QFileDialog::getOpenFileName(this, tr("Open File"), QStringLiteral("/"), tr("CSV Files (*.csv)"));
}

QString TankProfileWidget::chooseSaveFile()
{
    return QFileDialog::getSaveFileName(this, tr("Save Tank Profile Table"), QStringLiteral("/"), tr("CSV files (*.csv)"));
}

Rows TankProfileWidget::tableRows() const
{
    const QTableWidget *table = ui->tableWidget;
    Rows rows(table->rowCount());
    for (int r = 0; r < rows.size(); ++r) {
        if (const QTableWidgetItem *item = table->item(r, 0))
            rows[r].level = item->text();
        if (const QTableWidgetItem *item = table->item(r, 1))
            rows[r].output = item->text();
    }
    return rows;
}

void TankProfileWidget::clearTable()
{
    const QScopedValueRollback<bool> suspended(cellRuleSuspended, true);
    ui->tableWidget->setRowCount(0);
    ui->tableWidget->setRowCount(1);
    ui->setTankProfileTable->setEnabled(false);
    ui->saveButton->setEnabled(false);
    drawChart();
}

// Every row keeps its place, also one without numbers; the rule then runs once over the whole
// table. Filling cell by cell under the rule would trim at the first blank row and redraw the
// chart at every cell.
void TankProfileWidget::fillTable(const Rows &rows)
{
    QTableWidget *table = ui->tableWidget;
    {
        const QScopedValueRollback<bool> suspended(cellRuleSuspended, true);
        table->setRowCount(0);
        table->setRowCount(rows.size() + 1);
        for (int r = 0; r < rows.size(); ++r) {
            if (rows.at(r).level)
                table->setItem(r, 0, centredItem(*rows.at(r).level));
            if (rows.at(r).output)
                table->setItem(r, 1, centredItem(*rows.at(r).output));
        }
        for (int r = 0; r < table->rowCount(); ++r) {
            styleCell(r, 0);
            styleCell(r, 1);
        }
    }
    tidyRows();
    tableChanged();
}

void TankProfileWidget::styleCell(int row, int column)
{
    const QScopedValueRollback<bool> suspended(cellRuleSuspended, true);
    QTableWidgetItem *item = ui->tableWidget->item(row, column);
    if (!item)
        return;
    item->setTextAlignment(Qt::AlignCenter);
    item->setBackground(TankProfileTable::cellAcceptable(item->text()) ? Qt::white : Qt::red);
}

// One blank row always follows the data, and only one.
void TankProfileWidget::tidyRows()
{
    const QScopedValueRollback<bool> suspended(cellRuleSuspended, true);
    QTableWidget *table = ui->tableWidget;
    const Rows rows = tableRows();
    if (!rows.isEmpty() && !TankProfileTable::rowBlank(rows.last()))
        table->setRowCount(rows.size() + 1);
    for (int blank = TankProfileTable::blankRowsAboveLast(tableRows()); blank > 0; --blank)
        table->removeRow(table->rowCount() - 2);
}

void TankProfileWidget::tableChanged()
{
    const Rows rows = tableRows();
    ui->setTankProfileTable->setEnabled(TankProfileTable::sendable(rows));
    // A file holds any number of points; only the sensor stops at its limit.
    ui->saveButton->setEnabled(TankProfileTable::savable(rows));
    drawChart();
}

void TankProfileWidget::on_tableWidget_cellChanged(int row, int column)
{
    if (cellRuleSuspended)
        return;
    styleCell(row, column);
    tidyRows();
    tableChanged();
}

void TankProfileWidget::refreshTableView(const QStringList liquidLevels, const QStringList outputLevels, bool fromWizard)
{
    if (!fromWizard && liquidLevels.size() > 1) {
        deviceLiquidLevels = liquidLevels;
        deviceOutputLevels = outputLevels;
        ui->stackedWidget->setCurrentIndex(TablePage);
    }
    clearTable();
    if (liquidLevels.size() != outputLevels.size()) {
        qCDebug(lcUi) << "TankProfileWidget::refreshTableView: size not equal!!!";
        return;
    }
    Rows rows(liquidLevels.size());
    for (int i = 0; i < rows.size(); ++i)
        rows[i] = {liquidLevels.at(i), outputLevels.at(i)};
    fillTable(rows);
}

void TankProfileWidget::showTablePage()
{
    loadingMovie->stop();
    ui->stackedWidget->setCurrentIndex(TablePage);
    ui->clearTableButton->setEnabled(true);
    ui->newButton->setEnabled(true);
    ui->importButton->setEnabled(true);
    tableChanged();
}

void TankProfileWidget::drawChart()
{
    const TankProfileTable::Chart chart = TankProfileTable::chart(static_cast<int>(scene->sceneRect().width()));
    const Rows rows = tableRows();
    const QVector<QPointF> points = TankProfileTable::chartPoints(chart, rows);

    scene->clear();
    scene->setBackgroundBrush(QColor(0, 43, 82));
    const QFont labelFont(QStringLiteral("Comic Sans MS"), 9);
    const QFont numberFont(QStringLiteral("Comic Sans MS"), 8, QFont::Bold);
    auto addText = [&](const TankProfileTable::ChartText &text, const QColor &colour) {
        QGraphicsTextItem *item = scene->addText(text.text, text.font == TankProfileTable::ChartText::Number ? numberFont : labelFont);
        item->setDefaultTextColor(colour);
        item->setPos(text.position);
        item->setRotation(text.rotation);
    };
    const QPen white(Qt::white, 1);
    for (const QLineF &line : chart.lines)
        scene->addLine(line, white);
    for (const TankProfileTable::ChartText &text : chart.texts)
        addText(text, Qt::white);
    for (const QPointF &p : points) {
        scene->addEllipse(QRectF(p.x() - 3, p.y() - 3, 6, 6), QPen(Qt::black, 1), QBrush(Qt::black));
        scene->addEllipse(QRectF(p.x() - 2, p.y() - 2, 4, 4), white, QBrush(Qt::white));
    }
    // A table the sensor cannot hold shows its count in red.
    addText({chart.countPosition, TankProfileTable::countText(points.size())},
            TankProfileTable::tooManyRows(rows) ? QColor(Qt::red) : QColor(Qt::white));
    // What the chart shows, for a screen reader.
    for (QWidget *view : {static_cast<QWidget *>(ui->graphicsView), static_cast<QWidget *>(ui->graphicsView_2)})
        view->setAccessibleDescription(TankProfileTable::countText(points.size()));
}

void TankProfileWidget::on_newButton_clicked()
{
    if (ui->stackedWidget->currentIndex() == WizardPage
        && QMessageBox::question(this, tr("Quit Wizard?"),
                                 tr("Do you want to leave the tank profile wizard and loose the wizard data?"),
                                 QMessageBox::Yes | QMessageBox::No)
               != QMessageBox::Yes)
        return;
    ui->stackedWidget->setCurrentIndex(StartPage);
}

void TankProfileWidget::on_importButton_clicked()
{
    const QString name = chooseImportFile();
    if (name.isEmpty())
        return;
    const QString title = tr("Import from CSV");
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        QMessageBox::warning(this, title, tr("%1 could not be opened:\n%2").arg(QDir::toNativeSeparators(name), file.errorString()));
        return;
    }
    const TankProfileCsv::Content content = TankProfileCsv::parse(file.read(TankProfileCsv::MaxFileBytes + 1));
    if (content.refusal == TankProfileCsv::Refusal::TooLarge) {
        QMessageBox::warning(this, title, tr("%1 is larger than %2 KB, too large for a tank profile table. Nothing was imported.")
                                              .arg(QDir::toNativeSeparators(name))
                                              .arg(TankProfileCsv::MaxFileBytes / 1024));
        return;
    }
    if (content.refusal == TankProfileCsv::Refusal::TooManyLines) {
        QMessageBox::warning(this, title, tr("%1 has more than %2 lines, too many for a tank profile table. Nothing was imported.")
                                              .arg(QDir::toNativeSeparators(name))
                                              .arg(TankProfileCsv::MaxLines));
        return;
    }
    fillTable(content.rows);
    ui->stackedWidget->setCurrentIndex(TablePage);
}

void TankProfileWidget::on_tableButton_clicked()
{
    ui->stackedWidget->setCurrentIndex(TablePage);
    refreshTableView(deviceLiquidLevels, deviceOutputLevels, false);
}

void TankProfileWidget::on_setTankProfileTable_clicked()
{
    if (!confirmSend())
        return;
    ui->stackedWidget->setCurrentIndex(SendingPage);
    loadingMovie->start();
    ui->setTankProfileTable->setEnabled(false);
    ui->clearTableButton->setEnabled(false);
    ui->newButton->setEnabled(false);
    ui->importButton->setEnabled(false);
    ui->saveButton->setEnabled(false);
    const TankProfileTable::Columns columns = TankProfileTable::collect(tableRows());
    if (host)
        host->setTankProfile(columns.levels, columns.outputs);
}

void TankProfileWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && isWindow()) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TankProfileWidget::on_clearTableButton_clicked()
{
    clearTable();
}

void TankProfileWidget::on_saveButton_clicked()
{
    ui->saveButton->setEnabled(false);
    const QString name = chooseSaveFile();
    if (!name.isEmpty()) {
        // Written beside the old file and then put in its place: a failed save leaves it whole.
        QSaveFile file(name);
        const QByteArray bytes = TankProfileCsv::serialise(TankProfileTable::collect(tableRows()));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(bytes) != bytes.size() || !file.commit())
            QMessageBox::warning(this, tr("Save Tank Profile Table"),
                                 tr("The tank profile could not be saved to %1:\n%2").arg(QDir::toNativeSeparators(name), file.errorString()));
    }
    tableChanged();
}

void TankProfileWidget::on_wizardButton_clicked()
{
    clearTable();
    wizardUnits.clear();
    wizardLevels.clear();
    ui->unitOfLiquid->setValue(0);
    updateWizardButtons();
    ui->stackedWidget->setCurrentIndex(WizardPage);
}

void TankProfileWidget::on_clearWizardButton_clicked()
{
    wizardUnits.clear();
    wizardLevels.clear();
    ui->unitOfLiquid->setValue(0);
    updateWizardButtons();
    clearTable();
}

void TankProfileWidget::on_addButton_clicked()
{
    const int level = host ? host->levelPercent() : 0;
    const double units = ui->unitOfLiquid->value();
    // Amounts only grow while liquid is poured in; anything else is ignored without a word.
    if (wizardUnits.isEmpty() || units > wizardUnits.last()) {
        wizardLevels.append(level);
        wizardUnits.append(units);
        computeWizardTable();
        ui->unitOfLiquid->setValue(units + 1);
    }
    updateWizardButtons();
}

void TankProfileWidget::on_backWizardButton_clicked()
{
    if (!wizardUnits.isEmpty()) {
        wizardUnits.removeLast();
        wizardLevels.removeLast();
        computeWizardTable();
    }
    if (ui->unitOfLiquid->value() - 1 >= 0)
        ui->unitOfLiquid->setValue(ui->unitOfLiquid->value() - 1);
    updateWizardButtons();
}

void TankProfileWidget::on_completeButton_clicked()
{
    ui->stackedWidget->setCurrentIndex(TablePage);
    tableChanged();
    // SEND TO PROBE asks again: the user confirms twice.
    if (confirmSend())
        on_setTankProfileTable_clicked();
}

bool TankProfileWidget::confirmSend()
{
    return QMessageBox::question(this, tr("Send to probe?"), tr("Send tank profile to probe and enable tank profiling now?"),
                                 QMessageBox::Yes | QMessageBox::No)
           == QMessageBox::Yes;
}

void TankProfileWidget::computeWizardTable()
{
    if (wizardUnits.isEmpty()) {
        clearTable();
        return;
    }
    const TankProfileTable::Columns columns = TankProfileTable::wizardColumns(wizardUnits, wizardLevels);
    refreshTableView(columns.levels, columns.outputs, true);
}

void TankProfileWidget::updateWizardButtons()
{
    const int n = wizardUnits.size();
    ui->backWizardButton->setEnabled(n > 0);
    ui->clearWizardButton->setEnabled(n > 0);
    ui->completeButton->setEnabled(n > 1);
    ui->addButton->setEnabled(n < TankProfileTable::maxPoints());
}
