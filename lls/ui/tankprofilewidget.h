#ifndef TANKPROFILEWIDGET_H
#define TANKPROFILEWIDGET_H

#include "lls/ui/tankprofiletable.h"

#include <QWidget>

#include <memory>

class QGraphicsScene;
class QKeyEvent;
class QMovie;
class TankProfileHost;

namespace Ui {
class TankProfileWidget;
}

// The tank profile editor: a window of its own in which the user builds a table of points
// (liquid level % to output level %) by typing it, importing a CSV file or running the profiling
// wizard, sees it as a chart, saves it as CSV and sends it to the sensor through the host.
class TankProfileWidget : public QWidget
{
    Q_OBJECT
public:
    // A top-level window; the host is not owned and must outlive the editor.
    explicit TankProfileWidget(TankProfileHost *host);
    ~TankProfileWidget() override;

    // Fills the table. A table from the sensor (not from the wizard, more than one point) is
    // also what EDIT TABLE shows again later. Lists of different lengths leave the table empty.
    void refreshTableView(const QStringList liquidLevels, const QStringList outputLevels, bool fromWizard);
    // The sensor has processed the write: back to the table, with the buttons enabled again.
    void showTablePage();

protected:
    // Escape closes the editor's window, as its close button does.
    void keyPressEvent(QKeyEvent *event) override;
    // The file dialogs, overridable so that a file can be chosen without one. Empty: cancelled.
    virtual QString chooseImportFile();
    virtual QString chooseSaveFile();

private slots:
    void on_newButton_clicked();
    void on_importButton_clicked();
    void on_tableButton_clicked();
    void on_tableWidget_cellChanged(int row, int column);
    void on_setTankProfileTable_clicked();
    void on_clearTableButton_clicked();
    void on_saveButton_clicked();
    void on_wizardButton_clicked();
    void on_clearWizardButton_clicked();
    void on_addButton_clicked();
    void on_backWizardButton_clicked();
    void on_completeButton_clicked();

private:
    void clearTable();
    void fillTable(const TankProfileTable::Rows &rows);
    void styleCell(int row, int column);
    void tidyRows();
    void tableChanged();
    TankProfileTable::Rows tableRows() const;
    void drawChart();
    bool confirmSend();
    void computeWizardTable();
    void updateWizardButtons();

    std::unique_ptr<Ui::TankProfileWidget> ui;
    QGraphicsScene *scene;
    TankProfileHost *host;
    QStringList deviceLiquidLevels;
    QStringList deviceOutputLevels;
    QVector<double> wizardUnits;
    QVector<int> wizardLevels;
    QMovie *loadingMovie;
    // Set while the program itself changes cells, so the cell rule runs once, afterwards.
    bool cellRuleSuspended = false;
};

#endif
