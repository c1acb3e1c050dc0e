// The level sensor form's liquid type and measuring range pages, and its side of the tank
// profile editor.
#include "lls/ui/llsform.h"

#include "device/logcategories.h"
#include "lls/device/levelarithmetic.h"
#include "lls/device/llsdevice.h"
#include "lls/ui/llsformrules.h"
#include "lls/ui/probelevelgaugewidget.h"
#include "lls/ui/tankprofilewidget.h"
#include "ui_llsform.h"

#include <QDebug>

using namespace LLSFormRules;

namespace {
bool isCan(const QString &type)
{
    return type == QLatin1String("CAN");
}
}

// --- Liquid type ------------------------------------------------------------------------------

void LLSForm::fillLiquidPage()
{
    ui->liquidList->clear();
    ui->setLiquidType->setEnabled(false);
    ui->liquidList->setStyleSheet(comboStyle(false));
    const QString type = formOutputType;
    if (type == QLatin1String("5V") || type == QLatin1String("10V") || type == QLatin1String("mA")
        || type == QLatin1String("resistive")) {
        const QStringList names = m_device->LiquidNames();
        if (names.isEmpty()) {
            ui->liquidList->addItem(QStringLiteral("No Liquid Available!"));
        } else {
            ui->liquidList->addItems(names);
            ui->liquidList->setCurrentIndex(m_device->SelectedLiquid());
            ui->liquidType->setText(ui->liquidList->itemText(m_device->SelectedLiquid()));
        }
        ui->sensorNumberFrame->hide();
    } else if (isCan(type)) {
        nmeaLiquids = nmeaLiquidList(m_device->NmeaLiquidType());
        for (const auto &liquid : std::as_const(nmeaLiquids))
            ui->liquidList->addItem(liquid.first);
        ui->liquidList->setCurrentIndex(liquidReferenceIndex());
        ui->liquidType->setText(ui->liquidList->currentText());
        ui->sensorNumberFrame->show();
        ui->sensorNumber->setValue(m_device->NmeaInstance());
        ui->sensorNumber->setStyleSheet(spinStyle(Mark::Equal));
    } else {
        qCDebug(lcUi) << "Error: Wrong output type: " << type;
    }
}

int LLSForm::liquidReferenceIndex() const
{
    if (isCan(formOutputType))
        return nmeaReferenceIndex(nmeaLiquids, m_device->NmeaLiquidType());
    return m_device->SelectedLiquid();
}

int LLSForm::nmeaLiquidCode() const
{
    return LLSFormRules::nmeaLiquidCode(nmeaLiquids, ui->liquidList->currentText());
}

void LLSForm::on_liquidList_activated(int index)
{
    if (!m_device)
        return;
    const int reference = liquidReferenceIndex();
    const bool numberChanged = isCan(formOutputType) && m_device->NmeaInstance() != ui->sensorNumber->value();
    ui->liquidList->setItemData(reference, QBrush(Qt::blue), Qt::ForegroundRole);
    if (index == reference) {
        ui->liquidList->setStyleSheet(comboStyle(false));
        ui->setLiquidType->setEnabled(numberChanged);
    } else {
        ui->liquidList->setStyleSheet(comboStyle(true));
        ui->setLiquidType->setEnabled(true);
    }
}

void LLSForm::on_sensorNumber_valueChanged(int arg1)
{
    if (!m_device || !isCan(formOutputType))
        return;
    const bool same = arg1 == m_device->NmeaInstance();
    ui->sensorNumber->setStyleSheet(spinStyle(same ? Mark::Equal : Mark::Changed));
    ui->setLiquidType->setEnabled(!(ui->liquidList->currentIndex() == liquidReferenceIndex() && same));
}

void LLSForm::on_setLiquidType_clicked()
{
    if (polling)
        polling = false;
    setSetButtonsDisabled(true);
    SetParamStruct s;
    if (isCan(formOutputType)) {
        s.value1 = static_cast<float>(nmeaLiquidCode());
        s.value2 = static_cast<float>(ui->sensorNumber->value());
        sendRequest(QStringLiteral("NMEAliquidType"), s);
    } else {
        s.value1 = static_cast<float>(ui->liquidList->currentIndex());
        sendRequest(QStringLiteral("liquidType"), s);
    }
}

// --- Measuring range --------------------------------------------------------------------------

int LLSForm::sensorRangeMinimum() const
{
    return m_device ? LevelArithmetic::roundHalfUp(m_device->MeasuringRangeMinPercent()) : 0;
}

int LLSForm::sensorRangeMaximum() const
{
    return m_device ? LevelArithmetic::roundHalfUp(m_device->MeasuringRangeMaxPercent()) : 0;
}

void LLSForm::fillMeasuringRangePage()
{
    const int devMin = sensorRangeMinimum();
    const int devMax = sensorRangeMaximum();
    ui->measuringRangeMin->setValue(devMin);
    ui->measuringRangeMax->setValue(devMax);
    ui->measuringRangeMin->setStyleSheet(spinStyle(Mark::Equal));
    ui->measuringRangeMax->setStyleSheet(spinStyle(Mark::Equal));
    ui->setMeasuringRange->setEnabled(false);

    const bool option = m_device->HasTankProfileOption();
    const bool enabled = m_device->TankProfileEnabled();
    if (option) {
        if (enabled) {
            ui->checkBox->setChecked(true);
            editor()->refreshTableView(m_device->TankProfileLevels(), m_device->TankProfileOutputs(), false);
        } else {
            ui->checkBox->setChecked(false);
        }
    }

    const bool profile = option && enabled;
    if (!m_device->RangesValid()) {
        levelGauge->setRangeMarks(false, 0, 100);
        ui->measurementRangeLabel->setText(profile ? QStringLiteral("Tank Profile") : QStringLiteral("0 - 100 %"));
    } else if (profile) {
        ui->measurementRangeLabel->setText(QStringLiteral("Tank Profile"));
        levelGauge->setRangeMarks(false, 0, 100);
    } else {
        ui->measurementRangeLabel->setText(QString::number(devMin) + QStringLiteral(" - ") + QString::number(devMax) + QStringLiteral(" %"));
        levelGauge->setRangeMarks(true, devMin, devMax);
    }
}

void LLSForm::on_measuringRangeMin_valueChanged(int arg1)
{
    const RangeEdit edit = minimumEdited(arg1, ui->measuringRangeMax->value(), sensorRangeMinimum(), sensorRangeMaximum());
    if (edit.minimum)
        ui->measuringRangeMin->setStyleSheet(spinStyle(*edit.minimum));
    if (edit.maximum)
        ui->measuringRangeMax->setStyleSheet(spinStyle(*edit.maximum));
    ui->setMeasuringRange->setEnabled(edit.setEnabled);
}

void LLSForm::on_measuringRangeMax_valueChanged(int arg1)
{
    const RangeEdit edit = maximumEdited(ui->measuringRangeMin->value(), arg1, sensorRangeMinimum(), sensorRangeMaximum());
    if (edit.minimum)
        ui->measuringRangeMin->setStyleSheet(spinStyle(*edit.minimum));
    if (edit.maximum)
        ui->measuringRangeMax->setStyleSheet(spinStyle(*edit.maximum));
    ui->setMeasuringRange->setEnabled(edit.setEnabled);
}

void LLSForm::on_checkBox_toggled(bool checked)
{
    const bool profileOn = m_device && m_device->TankProfileEnabled();
    ui->measuringRangeFrame->setEnabled(!checked);
    ui->tankProfileSetupButton->setEnabled(checked);
    if (checked) {
        ui->setMeasuringRange->setEnabled(!profileOn);
    } else {
        // Switching the profile off is a change in itself.
        const bool unchanged = ui->measuringRangeMin->value() == sensorRangeMinimum()
            && ui->measuringRangeMax->value() == sensorRangeMaximum() && !profileOn;
        ui->setMeasuringRange->setEnabled(!unchanged);
    }
}

void LLSForm::on_setMeasuringRange_clicked()
{
    if (polling)
        polling = false;
    setSetButtonsDisabled(true);
    SetParamStruct s;
    if (ui->checkBox->isChecked()) {
        s.text = QStringLiteral("true");
        sendRequest(QStringLiteral("tankProfileEnable"), s);
    } else {
        s.text = QStringLiteral("false");
        s.value1 = static_cast<float>(ui->measuringRangeMin->value());
        s.value2 = static_cast<float>(ui->measuringRangeMax->value());
        sendRequest(QStringLiteral("measuringRange,tankProfileEnable"), s);
    }
}

void LLSForm::on_tankProfileSetupButton_clicked()
{
    TankProfileWidget *tankProfileWidget = editor();
    tankProfileWidget->setWindowFlags(Qt::Window);
    tankProfileWidget->setWindowModality(Qt::ApplicationModal);
    tankProfileWidget->show();
    tankProfileWidget->setFocus(Qt::OtherFocusReason);
}

void LLSForm::setTankProfile(const QStringList &levels, const QStringList &outputs)
{
    if (polling)
        polling = false;
    setSetButtonsDisabled(true);
    // A settings load or an import meanwhile would take the table's answer for its own: no second
    // write starts until the table's is back.
    tableSending = true;
    setFileButtonsEnabled(false);
    SetParamStruct s;
    s.text = QStringLiteral("true");
    s.profileLevels = levels;
    s.profileOutputs = outputs;
    sendRequest(QStringLiteral("tankProfile,tankProfileEnable"), s);
}
