#ifndef COMPAREDIALOG_H
#define COMPAREDIALOG_H

#include "lls/device/llssettings.h"

#include <QDialog>

namespace Ui {
class CompareDialog;
}

// Each setting of a settings file beside what the sensor holds, marked the same or different.
class CompareDialog : public QDialog
{
    Q_OBJECT
public:
    CompareDialog(const QString &fileName, const QVector<LLSSettings::Comparison> &rows, const QString &note, QWidget *parent);
    ~CompareDialog() override;

    int differences() const { return m_differences; }

private:
    Ui::CompareDialog *ui;
    int m_differences = 0;
};

#endif
