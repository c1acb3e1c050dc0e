// The level sensor form's load/save page: settings files (*.conf) and FPC files (*.fpc). The
// formats are in files/; the device reads and writes the FPC registers itself.
#include "lls/ui/llsform.h"

#include "device/boundedfile.h"
#include "device/logcategories.h"
#include "files/fpcfile.h"
#include "lls/device/llsdevice.h"
#include "lls/device/llssettings.h"
#include "lls/ui/comparedialog.h"
#include "ui_llsform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMovie>
#include <QRegularExpression>

namespace {

const char SettingsFilter[] = "Configuration Files (*.conf)";

bool writableFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && info.isWritable();
}

}

QString LLSForm::programFolder()
{
    const QString folder = QCoreApplication::applicationDirPath();
    return writableFolder(folder) ? folder : QDir::homePath();
}

QString LLSForm::settingsFolder()
{
    const QString program = QCoreApplication::applicationDirPath();
    if (!writableFolder(program))
        return QDir::homePath();
    const QString folder = program + QStringLiteral("/config");
    QDir().mkpath(folder);
    return folder;
}

QString LLSForm::askFileName(FileDialog kind, const QString &caption, const QString &start, const QString &filter)
{
    if (fileDialog)
        return fileDialog(kind, caption, start, filter);
    return kind == FileDialog::Save ? QFileDialog::getSaveFileName(this, caption, start, filter)
                                    : QFileDialog::getOpenFileName(this, caption, start, filter);
}

void LLSForm::setFileButtonsEnabled(bool on)
{
    for (QWidget *button : {ui->exportFPC, ui->saveSettings})
        button->setEnabled(on);
    // Nothing that writes the sensor starts while the editor's table is being written.
    for (QWidget *button : {ui->importFPC, ui->loadSettingsButton})
        button->setEnabled(on && !tableSending);
}

// --- Settings files ---------------------------------------------------------------------------

void LLSForm::on_saveSettings_clicked()
{
    if (!m_device)
        return;
    ui->saveSettings->setEnabled(false);
    QString fileName = askFileName(FileDialog::Save, QStringLiteral("Save current Settings"), settingsFolder(),
                                   QString::fromLatin1(SettingsFilter));
    if (!fileName.isEmpty()) {
        // Load Settings lists only *.conf files: a name typed without it would seem lost.
        if (!fileName.endsWith(QLatin1String(".conf"), Qt::CaseInsensitive))
            fileName += QStringLiteral(".conf");
        // A file that Load Settings would refuse is no save: say which value stops it.
        const QString refusal = LLSSettings::saveRefusal(*m_device, formOutputType);
        QString error;
        if (!refusal.isEmpty())
            QMessageBox::critical(this, QStringLiteral("Error"), tr("The settings were not saved: %1.").arg(refusal));
        else if (!SettingsFile::save(fileName, LLSSettings::valuesOf(*m_device, formOutputType), &error))
            QMessageBox::critical(this, QStringLiteral("Error"), tr("The settings were not saved. %1").arg(error));
    }
    ui->saveSettings->setEnabled(true);
}

bool LLSForm::checkSettingsFile(QString fileName)
{
    return SettingsFile::check(fileName);
}

void LLSForm::on_loadSettingsButton_clicked()
{
    ui->loadSettingsButton->setEnabled(false);
    const QString fileName = askFileName(FileDialog::Open, QStringLiteral("Load Settings"), settingsFolder(),
                                         QString::fromLatin1(SettingsFilter));
    if (fileName.isEmpty() || !QFileInfo::exists(fileName)) {
        ui->loadSettingsButton->setEnabled(true);
        return;
    }
    QByteArray text;
    const BoundedRead read = readBoundedFile(fileName, SettingsFile::MaxBytes, &text);
    if (read == BoundedRead::TooBig) {
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("File corrupted! (Size too big)"));
        ui->loadSettingsButton->setEnabled(true);
        return;
    }
    if (read != BoundedRead::Ok || !checkSettingsFile(fileName)) {
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("File corrupted!"));
        ui->loadSettingsButton->setEnabled(true);
        return;
    }
    applySettingsFile(fileName);
}

void LLSForm::applySettingsFile(QString fileName)
{
    if (!m_device)
        return;
    LLSDevice *d = m_device.data();
    bool hasSensorType = false;
    const SettingsFile::Values file = SettingsFile::read(fileName, &hasSensorType);
    if (!SettingsFile::matchesSensor(file, hasSensorType, d->deviceId(), d->firmwareVersion(), formOutputType)) {
        QMessageBox::warning(this, QStringLiteral("Warning"), QStringLiteral("This configuration file is not matching with the connected sensor!"),
                             QMessageBox::Ok);
        ui->loadSettingsButton->setEnabled(true);
        return;
    }

    const SettingsFile::Sensor sensor = LLSSettings::sensorOf(*d, formOutputType);
    if (!sensor.industrial()) {
        // Such a sensor takes none of what a settings file holds.
        QMessageBox::information(this, QString(), tr("This sensor has no measuring range, output or switch settings: "
                                                     "the file holds nothing it can take."));
        ui->loadSettingsButton->setEnabled(true);
        return;
    }
    QString error;
    const QVector<SettingsFile::Request> requests = SettingsFile::plan(file, sensor, &error);
    if (requests.isEmpty()) {
        // A missing or impossible value would reach the sensor as 0: nothing is sent at all.
        qCDebug(lcUi).noquote() << "Settings file refused:" << error;
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), QStringLiteral("File corrupted!"), QMessageBox::Ok, this);
        box.setInformativeText(tr("Nothing was sent: %1.").arg(error));
        box.exec();
        ui->loadSettingsButton->setEnabled(true);
        return;
    }
    if (QMessageBox::question(this, QStringLiteral("Warning"), QStringLiteral("Are you sure you want to replace the current settings?"),
                              QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes) {
        ui->loadSettingsButton->setEnabled(true);
        return;
    }

    loadingFile = true;
    if (polling)
        polling = false;
    setSetButtonsDisabled(true);
    appliedFile = file;
    for (const SettingsFile::Request &request : requests)
        sendRequest(request.param, request.values);
}

// The sensor has answered the last request of a settings file: say whether it took them all.
void LLSForm::finishSettingsLoad()
{
    const SettingsFile::Sensor sensor = LLSSettings::sensorOf(*m_device, formOutputType);
    const QStringList wrong = LLSSettings::mismatches(appliedFile, sensor, *m_device);
    if (wrong.isEmpty())
        QMessageBox::information(this, QString(), QStringLiteral("Settings loaded!"));
    else
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             tr("The sensor did not take all of the file's settings. These differ from the file: %1.")
                                 .arg(wrong.join(QStringLiteral(", "))));
}

// --- FPC files --------------------------------------------------------------------------------

void LLSForm::on_exportFPC_clicked()
{
    if (!m_device)
        return;
    setFileButtonsEnabled(false);
    // A description can hold characters a file name cannot.
    QString description = m_device->ProbeDescription().trimmed();
    description.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|]")), QStringLiteral("_"));
    const QString proposed = programFolder() + '/' + description + '_'
        + QDateTime::currentDateTime().toString(QStringLiteral("dd-MM-yyyy_hh-mm-ss"));
    QString fileName = askFileName(FileDialog::Save, tr("Save FPC file"), proposed, tr("Fluid Probe Configuration files (*.fpc)"));
    if (fileName.isEmpty()) {
        setFileButtonsEnabled(true);
        return;
    }
    // "Probe v1.2" has a suffix of sorts, but Import lists only *.fpc files.
    if (!fileName.endsWith(QLatin1String(".fpc"), Qt::CaseInsensitive))
        fileName += QStringLiteral(".fpc");
    SetParamStruct s;
    s.text = fileName;
    sendRequest(QStringLiteral("exportFPC"), s);
}

void LLSForm::on_importFPC_clicked()
{
    if (!m_device)
        return;
    LLSDevice *d = m_device.data();
    setFileButtonsEnabled(false);
    const QString fileName = askFileName(FileDialog::Open, tr("Import fpc file"), programFolder(),
                                         tr("Fluid Probe Configuration files (*.fpc)"));
    if (fileName.isEmpty()) {
        setFileButtonsEnabled(true);
        return;
    }

    bool accepted = false;
    QByteArray text;
    if (readBoundedFile(fileName, FpcFile::MaxBytes, &text) == BoundedRead::Ok) {
        const FpcFile::Import import = FpcFile::parse(text);
        const QString first = import.header;
        bool checkDescriptions = true;
        if (!FpcFile::isOwnHeader(first)) {
            accepted = QMessageBox::warning(this, tr("Warning"),
                                            tr("Unable to verify the FPC file compatibility, do you wish to continue?\n\n") + first,
                                            QMessageBox::Yes | QMessageBox::No)
                == QMessageBox::Yes;
            checkDescriptions = accepted;
        } else if (FpcFile::headerField(first, 1) != d->deviceId()) {
            // The whole ID: a sensor "41" must not take a file made for "4101".
            QMessageBox::critical(this, tr("Error"), tr("This FPC file is not compatible with this probe!    "), QMessageBox::Ok);
            checkDescriptions = false;
        } else if (!FpcFile::headerField(first, 2).contains(d->firmwareVersion())
                   && QMessageBox::warning(this, tr("Warning"),
                                           tr("This FPC file was generated for a different probe, do you wish to continue?\n\n")
                                               + QStringLiteral("           Probe firmware version: V") + d->firmwareVersion()
                                               + QStringLiteral("            FPC file version: V") + FpcFile::headerField(first, 2),
                                           QMessageBox::Yes | QMessageBox::No)
                       != QMessageBox::Yes) {
            checkDescriptions = false;
        } else {
            accepted = true;
        }
        if (checkDescriptions) {
            // An import pads the description with spaces: a sensor given this file before shows
            // them, and is the same probe all the same.
            auto trimmedEnd = [](QString text) {
                while (text.endsWith(QLatin1Char(' ')))
                    text.chop(1);
                return text;
            };
            for (const QString &description : import.descriptions) {
                if (trimmedEnd(description) == trimmedEnd(d->ProbeDescription()))
                    continue;
                if (QMessageBox::warning(this, tr("Warning"),
                                         tr("This FPC file seems to have been generated from a different probe, do you wish to continue?\n\n")
                                             + QStringLiteral("       Probe description:         ") + d->ProbeDescription()
                                             + QStringLiteral("\n       FPC file description:      ") + description,
                                         QMessageBox::Yes | QMessageBox::No)
                    != QMessageBox::Yes)
                    accepted = false;
            }
        }
    }

    const bool yes = QMessageBox::question(this, QStringLiteral("Warning"), QStringLiteral("Are you sure you want to replace the current configuration?"),
                                           QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
    if (!yes || !accepted) {
        setFileButtonsEnabled(true);
        return;
    }
    polling = false;
    ui->stackedWidget->setCurrentIndex(0);
    if (loadingMovie)
        loadingMovie->start();
    SetParamStruct s;
    s.text = fileName;
    sendRequest(QStringLiteral("importFPC"), s);
}

void LLSForm::reportFileResult(const QString &operation)
{
    const QString report = m_device ? m_device->FileReport() : QString();
    if (operation == QLatin1String("exportFPC")) {
        if (!report.isEmpty())
            QMessageBox::critical(this, QStringLiteral("Error"), tr("The FPC file was not exported. %1").arg(report));
        return;
    }
    // Every line the import left out is named: a clean message must mean every line is in.
    const QStringList skipped = m_device ? m_device->SkippedLines() : QStringList();
    QStringList parts;
    if (!report.isEmpty())
        parts << report;
    if (!skipped.isEmpty()) {
        // A wrong file can skip hundreds: the box shows twenty, its details the rest.
        QString list = skipped.mid(0, 20).join(QLatin1Char('\n'));
        if (skipped.size() > 20)
            list += tr("\n... and %1 more (Show Details...)").arg(skipped.size() - 20);
        parts << (skipped.size() == 1 ? tr("One line of the file was not imported:") : tr("%1 lines of the file were not imported:").arg(skipped.size()))
                + QLatin1Char('\n') + list;
    }
    if (parts.isEmpty())
        return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"),
                    (report.isEmpty() ? tr("The FPC file was imported, but not completely. %1") : tr("The FPC import did not complete. %1"))
                        .arg(parts.join(QStringLiteral("\n\n"))),
                    QMessageBox::Ok, this);
    if (skipped.size() > 20)
        box.setDetailedText(skipped.join(QLatin1Char('\n')));
    box.exec();
}

// A settings file's settings beside the sensor's, compared in counts as a load's check does;
// nothing reaches the sensor.
void LLSForm::on_compareFileButton_clicked()
{
    if (!m_device || !loaded)
        return;
    const QString fileName = askFileName(FileDialog::Open, tr("Compare with file"), settingsFolder(), tr(SettingsFilter));
    if (fileName.isEmpty())
        return;
    QByteArray text;
    if (readBoundedFile(fileName, SettingsFile::MaxBytes, &text) != BoundedRead::Ok || !SettingsFile::checkText(text)) {
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("File corrupted!"));
        return;
    }
    LLSDevice *d = m_device.data();
    bool hasSensorType = false;
    const SettingsFile::Values values = SettingsFile::readText(text, &hasSensorType);
    const QVector<LLSSettings::Comparison> rows = LLSSettings::compare(values, LLSSettings::sensorOf(*d, formOutputType), *d);
    if (rows.isEmpty()) {
        QMessageBox::information(this, tr("Compare with file"), tr("This sensor has none of the settings a settings file holds."));
        return;
    }
    const QString note = SettingsFile::matchesSensor(values, hasSensorType, d->deviceId(), d->firmwareVersion(), formOutputType)
        ? QString()
        : tr("The file was saved from another kind of sensor (ID %1, firmware %2, %3 output): Load Settings would refuse it.")
              .arg(values.value(QStringLiteral("sensorType/Serial")), values.value(QStringLiteral("sensorType/Firmware")),
                   values.value(QStringLiteral("sensorType/ProductType")));
    CompareDialog dialog(fileName, rows, note, this);
    dialog.exec();
}
