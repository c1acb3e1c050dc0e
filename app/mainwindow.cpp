#include "app/mainwindow.h"

#include "app/benchview.h"
#include "app/select.h"
#include "device/abstractdevice.h"
#include "device/abstractinterfacedriver.h"
#include "device/devicemanager.h"
#include "device/logcategories.h"
#include "ui_mainwindow.h"

#include "lls/device/llsdevice.h"
#include "lls/ui/llsform.h"
#include "ncps/ncpsdevice.h"
#include "ncps/ncpsform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <utility>
#include <QUrl>

static void initPelloraResources()
{
    Q_INIT_RESOURCE(resources);
}

const char *const MainWindow::WebAddress = "https://www.quenby.example/";
const char *const MainWindow::HelpFileName = "Pellora_Help.pdf";

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    initPelloraResources();
    ui->setupUi(this);
    ui->tarselFirmwareLabelPrefix->setVisible(false);
    ui->tarselFirmwareLabel->setVisible(false);
    ui->tarselSerialNumberLabelPrefix->setVisible(false);
    ui->tarselSerialNumberLabel->setVisible(false);
    ui->navigationButton->setVisible(false);

    ui->stackedWidget->setCurrentIndex(0);
    ui->introStack->setCurrentIndex(0);
    select = new Select(this);
    ui->introStack->addWidget(select);
    bench = new BenchView(this);
    ui->introStack->addWidget(bench);
    connect(bench, &BenchView::runningChanged, this, [this](bool running) {
        benchRunning = running;
        // Ports that came or went during the run are shown now.
        if (!running && !isScanning())
            bench->showPorts(m_deviceManager->portReports(), m_deviceManager->devices());
        updateWatching();
    });

    // Loads the catalogue; a missing or corrupt one ends the process after its message box.
    m_deviceManager = new DeviceManager(this);
    thread = new QThread(this);
    connect(this, &MainWindow::ScanDevicesSignal, m_deviceManager, &DeviceManager::scanDevices);
    m_deviceManager->moveToThread(thread);
    connect(m_deviceManager, &DeviceManager::ScanFinished, this, &MainWindow::onScanFinished);
    connect(m_deviceManager, &DeviceManager::ScanProgress, select, &Select::showProgress);
    connect(m_deviceManager, &DeviceManager::PortsChanged, this, &MainWindow::onPortsChanged);
    // The manager and its devices are deleted on their own thread as it ends.
    connect(thread, &QThread::finished, m_deviceManager, &QObject::deleteLater);
    thread->start(QThread::InheritPriority);
    startScan();
}

MainWindow::~MainWindow()
{
    // Sensors worked on the bench stop after the writes under way that belong together, and are
    // locked again, before anything they belong to goes.
    bench->stopAndWait();
    // Whatever is already queued for the open sensor (a load, a SET, the end of a test) runs
    // before the worker stops, then the page's own leaving: the test output ends and the sensor
    // is locked again, whatever moment the window closes at. On a dead line the first request
    // that goes unanswered gives the sensor up, so that the window waits a second or two.
    LLSDevice *device = llsForm ? llsForm->device() : nullptr;
    if (llsForm)
        llsForm->leave();
    if (device)
        device->Hurry();
    if (ncpsForm)
        ncpsForm->stopPolling();
    // A scan under way is not waited for: it stops after the port it is probing (below).
    if (device)
        drainWorker(CloseDrainMs);
    if (thread) {
        // A scan in progress stops after the port it is probing.
        thread->requestInterruption();
        thread->exit(0);
        thread->quit();
        if (!thread->wait(10000)) {
            qCDebug(lcUi) << "Thread not responding; forcing termination...";
            // A terminated thread still runs its clean-up and emits finished(), which would delete
            // the manager and its devices on the dying thread. They are left as they are instead:
            // the process is ending, and the ports' lock files may stay behind.
            disconnect(thread, &QThread::finished, m_deviceManager, &QObject::deleteLater);
            thread->terminate();
            thread->wait(1000);
            m_deviceManager = nullptr;
        }
        delete thread;
    }
    // A page built ahead but not yet put in the stack has no parent.
    if (spareLlsForm && ui->mainMenuStack->indexOf(spareLlsForm) < 0)
        delete spareLlsForm;
    delete ui;
    delete select;
}

void MainWindow::startScan()
{
    // A search deletes the devices the bench is working: it waits for the bench to end.
    if (benchRunning)
        return;
    watching = false;
    select->showSearching();
    // The devices named in the header are about to be deleted; the list fills it again.
    ui->sensorNameLabel->clear();
    ui->sensorNameLabel->setToolTip(QString());
    ui->sensorNameLabel->hide();  // an empty black box names nothing
    ui->infoLabel->setToolTip(QString());
    // One scan waiting behind the running one is enough: a newer request is covered by it.
    if (scansOutstanding >= 2)
        return;
    queueScan();
}

void MainWindow::queueScan()
{
    // A scan deletes the devices the forms point at: the forms go first, and with them any
    // reply still queued for them.
    discardForms();
    ++scansOutstanding;
    emit ScanDevicesSignal();
}

void MainWindow::onScanFinished()
{
    if (scansOutstanding > 0)
        --scansOutstanding;
    if (scansOutstanding > 0)
        return;  // another scan is already rebuilding the list
    select->fillDeviceList();
    bench->showPorts(m_deviceManager->portReports(), m_deviceManager->devices(), true);
    prepareLevelForm();
    updateWatching();
}

// A port came or went between searches: the list and the bench view show it at once.
void MainWindow::onPortsChanged()
{
    if (isScanning())
        return;
    // A probe that ends after a page was opened: the list is rebuilt on the way back to it, so
    // that the header keeps naming the open sensor.
    if (ui->stackedWidget->currentIndex() != 0) {
        portsChangedAway = true;
        return;
    }
    select->fillDeviceList();
    bench->showPorts(m_deviceManager->portReports(), m_deviceManager->devices());
    prepareLevelForm();
}

void MainWindow::updateWatching()
{
    // Only while the list or the bench is shown, nothing is searched and no sensor is worked:
    // no request may meet a sensor page's or the bench's on a port.
    const bool on = !isScanning() && !benchRunning && ui->stackedWidget->currentIndex() == 0;
    if (on == watching)
        return;
    watching = on;
    QMetaObject::invokeMethod(m_deviceManager, [manager = m_deviceManager, on] { manager->setWatching(on); }, Qt::QueuedConnection);
}

void MainWindow::showBench()
{
    if (isScanning() || select->isListStale())
        return;
    bench->showPorts(m_deviceManager->portReports(), m_deviceManager->devices());
    ui->introStack->setCurrentWidget(bench);
}

void MainWindow::leaveBench()
{
    ui->introStack->setCurrentWidget(select);
    select->fillDeviceList();
    prepareLevelForm();
}

// Building a level sensor page (about a hundred styled widgets and the tank profile editor) holds
// the window for several frames: it is done ahead, once nothing is being searched or loaded, and
// is the next page opened.
// Building a level sensor page (about a hundred and fifty styled widgets and the tank profile
// editor) holds the window for several frames: it is done ahead, once nothing is being searched
// or loaded, in steps with a pause between them for input and painting, and is the next page opened.
void MainWindow::prepareLevelForm()
{
    // At the list only: on the bench a page is not opened, and its sensors are being worked.
    auto quiet = [this] { return !isScanning() && ui->stackedWidget->currentIndex() == 0 && ui->introStack->currentWidget() == select; };
    QTimer::singleShot(PrepareDelayMs, this, [this, quiet] {
        if (!quiet())
            return;
        // The page left behind goes now too, in a step of its own: deleting it at the next opening
        // would cost that opening as much again.
        if (llsForm) {
            ui->mainMenuStack->removeWidget(llsForm);
            delete std::exchange(llsForm, nullptr);
        }
        const QList<AbstractDevice *> devices = m_deviceManager->devices();
        const bool levelSensorListed = std::any_of(devices.cbegin(), devices.cend(), [](AbstractDevice *d) { return qobject_cast<LLSDevice *>(d); });
        if (spareLlsForm || !levelSensorListed)
            return;
        QTimer::singleShot(BuildStepPauseMs, this, [this, quiet] {
            if (spareLlsForm || !quiet())
                return;
            // Built without a parent: under the window's style sheet every widget would be styled
            // as it is made. Then put in its place in the stack, hidden, and finished step by step.
            spareLlsForm = new LLSForm(this, nullptr, nullptr);
            QTimer::singleShot(BuildStepPauseMs, this, [this] {
                if (!spareLlsForm)
                    return;
                ui->mainMenuStack->addWidget(spareLlsForm);
                finishSpareForm();
            });
        });
    });
}

void MainWindow::finishSpareForm()
{
    QTimer::singleShot(BuildStepPauseMs, this, [this] {
        if (spareLlsForm && spareLlsForm->buildAheadStep())
            finishSpareForm();
    });
}

void MainWindow::discardForms()
{
    if (ncpsForm) {
        ui->mainMenuStack->removeWidget(ncpsForm);
        delete ncpsForm;
        ncpsForm = nullptr;
    }
    if (llsForm) {
        ui->mainMenuStack->removeWidget(llsForm);
        delete llsForm;
        llsForm = nullptr;
    }
}

// Waits until the worker has run every request queued so far, or the time is up (a worker busy
// in a long exchange is not waited for).
void MainWindow::drainWorker(int timeoutMs)
{
    if (!thread || !thread->isRunning() || !m_deviceManager)
        return;
    auto done = std::make_shared<QSemaphore>();
    QMetaObject::invokeMethod(m_deviceManager, [done] { done->release(); }, Qt::QueuedConnection);
    done->tryAcquire(1, timeoutMs);
}

void MainWindow::showDevice(int index)
{
    if (isScanning() || index < 0 || index >= m_deviceManager->devices().size()) {
        qCDebug(lcUi) << "MainWindow::showDevice: no device at index" << index;
        return;
    }
    m_deviceManager->setActiveDevice(index);
    AbstractDevice *device = m_deviceManager->activeDevice();
    if (!device)
        return;
    const QString type = device->deviceType();
    if (type == QLatin1String("Slimfin") || type == QLatin1String("SlimfinDual")) {
        if (ncpsForm) {
            ui->mainMenuStack->removeWidget(ncpsForm);
            delete ncpsForm;
        }
        ncpsForm = new NCPSForm(this, this);
        connect(ncpsForm, &NCPSForm::SensorLost, this, &MainWindow::onSensorLost, Qt::QueuedConnection);
        ui->mainMenuStack->addWidget(ncpsForm);
        ncpsForm->start();
        ui->mainMenuStack->setCurrentWidget(ncpsForm);
        ui->stackedWidget->setCurrentIndex(1);
        updateWatching();
        ui->navigationButton->setVisible(true);
        ui->navigationButton->setEnabled(true);
    } else if (type == QLatin1String("LLS") || type == QLatin1String("ILS") || type == QLatin1String("Murkwell")) {
        if (llsForm) {
            ui->mainMenuStack->removeWidget(llsForm);
            delete llsForm;
        }
        if (spareLlsForm) {
            llsForm = std::exchange(spareLlsForm, nullptr);
            // It may be opened between being built and being put in the stack.
            if (ui->mainMenuStack->indexOf(llsForm) < 0)
                ui->mainMenuStack->addWidget(llsForm);
            llsForm->bindDevice(qobject_cast<LLSDevice *>(device));
        } else {
            llsForm = new LLSForm(this, this);
            ui->mainMenuStack->addWidget(llsForm);
        }
        connect(llsForm, &LLSForm::SensorLost, this, &MainWindow::onSensorLost, Qt::QueuedConnection);
        llsForm->start();  // hides the navigation button until the sensor is loaded
        ui->mainMenuStack->setCurrentWidget(llsForm);
        ui->stackedWidget->setCurrentIndex(1);
        updateWatching();
    } else {
        ui->navigationButton->setVisible(false);
        ui->navigationButton->setEnabled(false);
        qCDebug(lcUi) << "Device undifined! " << type;
    }
}

void MainWindow::showDeviceHeader(int index)
{
    const QList<AbstractDevice *> &devices = m_deviceManager->devices();
    if (devices.isEmpty() || isScanning() || index < 0 || index >= devices.size())
        return;
    AbstractDevice *device = devices.at(index);
    ui->sensorNameLabel->setText(device->name());
    ui->sensorNameLabel->show();
    const QString tip = QStringLiteral("Device ID: ") + device->deviceId() + QStringLiteral(" - Firmware ")
        + device->firmwareVersion() + QStringLiteral(" - Serial ") + device->serialNumber();
    ui->sensorNameLabel->setToolTip(tip);
    ui->infoLabel->setToolTip(tip);
    ui->tarselFirmwareLabelPrefix->setVisible(false);
    ui->tarselFirmwareLabel->setVisible(false);
    ui->tarselSerialNumberLabelPrefix->setVisible(false);
    ui->tarselSerialNumberLabel->setVisible(false);
    ui->footer->setVisible(true);
}

AbstractDevice *MainWindow::activeDevice() const
{
    return m_deviceManager ? m_deviceManager->activeDevice() : nullptr;
}

void MainWindow::setNavigationVisible(bool on)
{
    ui->navigationButton->setVisible(on);
    ui->navigationButton->setEnabled(on);
}

void MainWindow::on_navigationButton_clicked()
{
    if (llsForm)
        llsForm->leave();
    // The position form closes its port itself once the reply under way has arrived.
    if (ncpsForm && ncpsForm->isPolling())
        ncpsForm->stopPolling();
    ui->navigationButton->setVisible(false);
    ui->stackedWidget->setCurrentIndex(0);
    ui->introStack->setCurrentWidget(select);
    if (std::exchange(portsChangedAway, false) && !isScanning()) {
        select->fillDeviceList();
        bench->showPorts(m_deviceManager->portReports(), m_deviceManager->devices());
    }
    prepareLevelForm();
    updateWatching();
}

void MainWindow::onInterfaceError(const QString &errorMSG)
{
    qCDebug(lcUi) << errorMSG;
    if (errorMSG != QLatin1String("writeRequestTimeout"))
        return;
    // Every failed write attempt reports; a scan running or waiting already covers them all. The
    // bench says in each sensor's row what became of it.
    if (isScanning() || benchRunning)
        return;
    // While a page is open only its own sensor's port counts: a search's probe of a port that has
    // just appeared, ending late, does not take the user off the sensor they are working.
    if (ui->stackedWidget->currentIndex() == 1 && sender()) {
        QWidget *form = ui->mainMenuStack->currentWidget();
        AbstractDevice *device = form == llsForm && llsForm ? static_cast<AbstractDevice *>(llsForm->device())
            : form == ncpsForm && ncpsForm                  ? static_cast<AbstractDevice *>(ncpsForm->device())
                                                            : nullptr;
        if (!device || device->interfaceDriver() != sender())
            return;
    }
    // Taken now: a reply may still land while a dialog is being closed.
    writeCutOff = writeCutOff || (llsForm && ui->mainMenuStack->currentWidget() == llsForm && llsForm->isWriting());
    if (closeModalFirst([this, errorMSG] { onInterfaceError(errorMSG); }))
        return;
    // Back at the list the user must still learn that the sensor was cut off in the middle.
    QString port;
    const bool writing = std::exchange(writeCutOff, false);
    if (ui->stackedWidget->currentIndex() == 1) {
        QWidget *form = ui->mainMenuStack->currentWidget();
        AbstractDevice *device = form == llsForm && llsForm ? static_cast<AbstractDevice *>(llsForm->device())
            : form == ncpsForm && ncpsForm                  ? static_cast<AbstractDevice *>(ncpsForm->device())
                                                            : nullptr;
        if (device && device->interfaceDriver())
            port = device->interfaceDriver()->name();
    }
    on_navigationButton_clicked();
    // Only a write under way can have been left incomplete; polling only reads.
    if (!port.isEmpty() && writing)
        select->showNotice(tr("The sensor on %1 did not answer. A command could not be sent to it (write time-out), "
                              "so a setting being written may be incomplete. Check its cable and power, then select it again.")
                               .arg(port));
    else if (!port.isEmpty())
        select->showNotice(tr("The sensor on %1 did not answer. A command could not be sent to it (write time-out). "
                              "Check its cable and power, then select it again.")
                               .arg(port));
    startScan();
}

void MainWindow::onSensorLost(const QString &message)
{
    if (closeModalFirst([this, message] { onSensorLost(message); }))
        return;
    qCDebug(lcUi).noquote() << "Sensor lost:" << message;
    on_navigationButton_clicked();
    select->showNotice(tr("%1 Check its cable and power, then select it again.").arg(message));
    if (!isScanning())
        startScan();
}

// A dialog a form opened runs its own event loop, and is the form's child: deleting the form (a
// rescan does) would delete the dialog under its loop and the form under the handler waiting on
// it. Such a dialog is closed (as if cancelled) and the caller runs again once its loop has ended.
bool MainWindow::closeModalFirst(const std::function<void()> &again)
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return false;
    qCDebug(lcUi) << "Closing" << modal->metaObject()->className() << "before leaving the sensor";
    if (auto *dialog = qobject_cast<QDialog *>(modal))
        dialog->reject();
    else
        modal->close();
    QTimer::singleShot(50, this, again);
    return true;
}

// The desktop may have no PDF viewer or browser (a bare workshop PC): then the user at least learns
// where the document or the site is.
void MainWindow::on_helpButton_clicked()
{
    const QString path = QFileInfo(QString::fromLatin1(HelpFileName)).absoluteFilePath();
    if (!QFileInfo::exists(path) || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::information(this, tr("Help"),
                                 tr("The help document could not be opened: it is missing, or this desktop has no program "
                                    "for PDF files. The document is:\n\n%1")
                                     .arg(QDir::toNativeSeparators(path)));
}

void MainWindow::on_visitButton_clicked()
{
    if (!QDesktopServices::openUrl(QUrl(QString::fromLatin1(WebAddress))))
        QMessageBox::information(this, tr("Web site"),
                                 tr("The web site could not be opened: this desktop has no web browser set up. The address "
                                    "is:\n\n%1")
                                     .arg(QString::fromLatin1(WebAddress)));
}

void MainWindow::on_aboutButton_clicked()
{
    QMessageBox::about(this, tr("About Pellora"),
                       tr("<h3>Pellora %1</h3>"
                          "<p>Sensor configuration software for liquid level sensors and position sensors "
                          "on serial ports.</p>"
                          "<p>Find the sensors attached to this computer, read a sensor's configuration, watch "
                          "its live level and output, change its settings and keep them as files.</p>"
                          "<p>© 2026 Quenby Sensors</p>")
                           .arg(QCoreApplication::applicationVersion()));
}
