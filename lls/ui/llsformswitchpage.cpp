// The level sensor form's switch output page: the alarm's mode, level and hysteresis.
#include "lls/ui/llsform.h"

#include "lls/device/levelarithmetic.h"
#include "lls/device/llsdevice.h"
#include "lls/ui/llsformrules.h"
#include "lls/ui/probelevelgaugewidget.h"
#include "ui_llsform.h"

using namespace LLSFormRules;

int LLSForm::sensorWarningLevel() const
{
    return m_device ? LevelArithmetic::roundHalfUp(m_device->WarningLevelPercent()) : 0;
}

int LLSForm::sensorHysteresis() const
{
    return m_device ? LevelArithmetic::roundHalfUp(m_device->HysteresisPercent()) : 0;
}

void LLSForm::fillSwitchPage()
{
    const int devLevel = sensorWarningLevel();
    const int devHyst = sensorHysteresis();
    const bool devEmpty = m_device->HysteresisAbove();
    ui->switchAlarm->clear();
    ui->switchAlarm->setStyleSheet(comboStyle(false));
    ui->switchAlarm->addItems({QStringLiteral("Empty Alarm"), QStringLiteral("Full Alarm")});
    // A "Disabled" chosen before the load would otherwise leave the boxes off for good.
    ui->warningLevel->setEnabled(true);
    ui->warningHysteresis->setEnabled(true);
    ui->warningLevel->setValue(devLevel);
    ui->warningHysteresis->setValue(devHyst);
    ui->warningLevel->setStyleSheet(spinStyle(Mark::Equal));
    ui->warningHysteresis->setStyleSheet(spinStyle(Mark::Equal));
    ui->setSwitchOutput->setEnabled(false);
    const int item = devEmpty ? 0 : 1;
    ui->switchAlarm->setCurrentIndex(item);
    ui->switchAlarm->setItemData(item, QBrush(Qt::blue), Qt::ForegroundRole);
    levelGauge->setWarningMarks(true, devEmpty, devLevel, devHyst);
    ui->fullAlarm->setText(ui->switchAlarm->currentText());
}

void LLSForm::applySwitchRule()
{
    if (!m_device)
        return;
    ui->setSwitchOutput->setEnabled(switchSetEnabled(ui->warningLevel->value(), ui->warningHysteresis->value(),
                                                     ui->switchAlarm->currentIndex(), sensorWarningLevel(), sensorHysteresis(),
                                                     m_device->HysteresisAbove()));
}

void LLSForm::on_warningLevel_valueChanged(int arg1)
{
    ui->warningLevel->setStyleSheet(spinStyle(arg1 == sensorWarningLevel() ? Mark::Equal : Mark::Changed));
    applySwitchRule();
}

void LLSForm::on_warningHysteresis_valueChanged(int arg1)
{
    ui->warningHysteresis->setStyleSheet(spinStyle(arg1 == sensorHysteresis() ? Mark::Equal : Mark::Changed));
    applySwitchRule();
}

void LLSForm::on_switchAlarm_activated(int index)
{
    const AlarmChoice choice = alarmChosen(index, ui->warningLevel->value(), ui->warningHysteresis->value(), sensorWarningLevel(),
                                           sensorHysteresis(), m_device && m_device->HysteresisAbove());
    ui->warningLevel->setEnabled(choice.boxesEnabled);
    ui->warningHysteresis->setEnabled(choice.boxesEnabled);
    ui->switchAlarm->setStyleSheet(comboStyle(choice.comboChanged));
    if (choice.set)
        ui->setSwitchOutput->setEnabled(*choice.set);
}

void LLSForm::on_setSwitchOutput_clicked()
{
    if (polling)
        polling = false;
    setSetButtonsDisabled(true);
    int hysteresis = ui->warningHysteresis->value();
    if (ui->switchAlarm->currentIndex() == 1)
        hysteresis = -hysteresis;
    SetParamStruct s;
    s.value1 = static_cast<float>(ui->warningLevel->value());
    s.value2 = static_cast<float>(hysteresis);
    sendRequest(QStringLiteral("switchOutput"), s);
}
