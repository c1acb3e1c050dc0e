#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "device/pagehost.h"

#include <QMainWindow>

#include <functional>

class BenchView;
class DeviceManager;
class LLSForm;
class NCPSForm;
class QThread;
class Select;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow, public PageHost
{
    Q_OBJECT
public:
    static const char *const WebAddress;
    static const char *const HelpFileName;
    // How long after the list shows a level sensor page is built ahead: a click in that time
    // builds its own.
    static constexpr int PrepareDelayMs = 300;
    // The pause between the steps of building a page ahead: input and painting come in between.
    static constexpr int BuildStepPauseMs = 30;
    // The longest a closing window waits for the requests queued for its sensor (a tank profile
    // table takes a few seconds on a live line).
    static constexpr int CloseDrainMs = 8000;

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    DeviceManager *deviceManager() const { return m_deviceManager; }
    void startScan();
    void showDevice(int index);
    void showDeviceHeader(int index);
    // PageHost
    AbstractDevice *activeDevice() const override;
    void setNavigationVisible(bool on) override;
    // The bench view, from the list and back to it.
    void showBench();
    void leaveBench();
    BenchView *benchView() const { return bench; }

    // A scan is running or queued: the device list is being rebuilt on the worker thread.
    bool isScanning() const { return scansOutstanding > 0; }
    Select *selectPage() const { return select; }
    QThread *workerThread() const { return thread; }
    NCPSForm *positionForm() const { return ncpsForm; }
    LLSForm *levelForm() const { return llsForm; }

signals:
    void ScanDevicesSignal();

public slots:
    void onInterfaceError(const QString &errorMSG);
    // A form's sensor stopped answering or its port cannot be opened: back to the list, with a
    // word on what happened, and a new scan. Connected queued: the scan deletes the form.
    void onSensorLost(const QString &message);

private slots:
    void on_navigationButton_clicked();
    void on_visitButton_clicked();
    void on_aboutButton_clicked();
    void on_helpButton_clicked();
    void onScanFinished();
    void onPortsChanged();

private:
    bool closeModalFirst(const std::function<void()> &again);
    bool writeCutOff = false;  // a write time-out hit the level sensor form while it was writing
    void queueScan();
    void discardForms();
    void prepareLevelForm();
    void finishSpareForm();
    void drainWorker(int timeoutMs);
    // The list follows the ports while it (or the bench view) is shown and nothing is worked.
    void updateWatching();

    Ui::MainWindow *ui;
    QThread *thread = nullptr;
    Select *select = nullptr;
    DeviceManager *m_deviceManager = nullptr;
    NCPSForm *ncpsForm = nullptr;
    LLSForm *llsForm = nullptr;
    // A level sensor page built ahead at a quiet moment, so that opening one costs one frame.
    LLSForm *spareLlsForm = nullptr;
    bool portsChangedAway = false;  // the ports changed while a page was open
    int scansOutstanding = 0;
    BenchView *bench = nullptr;
    bool benchRunning = false;
    bool watching = false;
};

#endif
