// The level sensor form's load/save page: settings files and FPC files.
#include "lls/ui/llsform.h"

#include "ui_llsform.h"

void LLSForm::on_loadSettingsButton_clicked()
{
}

void LLSForm::on_saveSettings_clicked()
{
}

void LLSForm::on_importFPC_clicked()
{
}

void LLSForm::on_exportFPC_clicked()
{
}
