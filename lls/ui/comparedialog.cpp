#include "lls/ui/comparedialog.h"

#include "ui_comparedialog.h"

#include <QFileInfo>
#include <QHeaderView>

CompareDialog::CompareDialog(const QString &fileName, const QVector<LLSSettings::Comparison> &rows, const QString &note, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::CompareDialog)
{
    ui->setupUi(this);
    ui->compareTable->setRowCount(rows.size());
    for (int row = 0; row < rows.size(); ++row) {
        const LLSSettings::Comparison &c = rows.at(row);
        m_differences += c.same ? 0 : 1;
        const QStringList cells{c.setting, c.file, c.sensor, c.same ? tr("same") : tr("different")};
        for (int column = 0; column < cells.size(); ++column) {
            auto *item = new QTableWidgetItem(cells.at(column));
            if (!c.same)
                item->setForeground(QColor(193, 39, 45));
            ui->compareTable->setItem(row, column, item);
        }
    }
    ui->compareTable->resizeColumnsToContents();
    // Wide enough for every column: a verdict cut off is no verdict.
    int width = 0;
    for (int column = 0; column < ui->compareTable->columnCount(); ++column)
        width += ui->compareTable->columnWidth(column);
    resize(qMax(width + 60, 480), height());
    const QString name = QFileInfo(fileName).fileName();
    QString summary = m_differences == 0 ? tr("The sensor holds every setting of %1.").arg(name)
        : m_differences == 1 ? tr("1 setting of %1 differs from what the sensor holds.").arg(name)
                             : tr("%1 settings of %2 differ from what the sensor holds.").arg(m_differences).arg(name);
    if (!note.isEmpty())
        summary += QLatin1Char('\n') + note;
    ui->compareSummary->setText(summary);
}

CompareDialog::~CompareDialog()
{
    delete ui;
}
