#ifndef LLSFORM_H
#define LLSFORM_H

#include "files/settingsfile.h"
#include "lls/device/levelsensordata.h"
#include "device/setparamstruct.h"
#include "lls/ui/tankprofilehost.h"

#include <QFrame>
#include <QPair>
#include <QPointer>
#include <QVector>

#include <functional>

class LLSDevice;
class PageHost;
class PollingGuard;
class ProbeLevelGaugeWidget;
class ProbeOutputGaugeWidget;
class QDoubleSpinBox;
class QKeyEvent;
class QMovie;
class QSlider;
class QTimer;
class TankProfileWidget;

namespace Ui {
class LLSForm;
}

// The page of one liquid level sensor: loads it, shows its live level, output and alarm state,
// and turns the setting pages into parameter-set requests. The device lives on the worker thread:
// the form reads its fields but reaches it only through its signals.
class LLSForm : public QFrame, public TankProfileHost
{
    Q_OBJECT
public:
    // Shows the host's active device.
    LLSForm(PageHost *host, QWidget *parent);
    // Built ahead for the host, without a device: bindDevice() gives it one before start().
    LLSForm(PageHost *host, QWidget *parent, std::nullptr_t);
    // Shows the given device, for hosts other than the main window (tools, tests).
    LLSForm(LLSDevice *device, QWidget *parent);
    ~LLSForm() override;

    // The device of a form built ahead (once; a form never changes its device).
    void bindDevice(LLSDevice *device);
    // A form built ahead finishes in steps, each well under a frame (its look, its tank profile
    // editor, its polish): true while one is left. start() finishes what is left at once.
    bool buildAheadStep();
    // Opens the port and loads the sensor; measurements follow once it is loaded.
    void start();
    bool isPolling() const { return polling; }
    void stopPolling() { polling = false; }
    // Closes the port. The form is left: late replies no longer restart or show anything. A
    // running output test is ended first, so that no test output stays on the sensor.
    void emitDisconnect();
    // The user leaves the form or the window closes: like the navigation button.
    void leave();

    // TankProfileHost
    int levelPercent() const override { return m_levelPercent; }
    void setTankProfile(const QStringList &levels, const QStringList &outputs) override;

    bool eventFilter(QObject *watched, QEvent *event) override;

    // Settings files: whether a file's checksum holds, and sending a file's settings to the sensor.
    bool checkSettingsFile(QString fileName);
    void applySettingsFile(QString fileName);

    // Where the file dialogs ask; tests and tools can answer without a dialog. Empty: cancelled.
    enum class FileDialog { Open, Save };
    std::function<QString(FileDialog kind, const QString &caption, const QString &start, const QString &filter)> fileDialog;
    // The folder the settings dialogs start in: "config" beside the program, or the home folder
    // when the program's folder cannot be written to.
    static QString settingsFolder();
    static QString programFolder();

    // The NMEA liquid code of the entry whose name the liquid list shows.
    int nmeaLiquidCode() const;
    LLSDevice *device() const;
    // The tank profile editor, built on first use if the form has not built it yet.
    TankProfileWidget *editor();
    ProbeLevelGaugeWidget *levelGaugeWidget() const { return levelGauge; }
    ProbeOutputGaugeWidget *outputGaugeWidget() const { return outputGauge; }
    bool isLoadingFile() const { return loadingFile; }
    // A fixed output is (or may be) held on the sensor by a slider test.
    bool isOutputTestRunning() const { return outputTestRunning; }
    // A parameter-set request has been sent and not yet answered.
    bool isWriting() const { return unansweredRequests > 0; }

signals:
    void ReadParameter();
    void ReadMeasurement();
    void Connect();
    void Disconnect();
    void SetParam(QString param, SetParamStruct a_setParamStruct);
    // The sensor stopped answering, or its port cannot be opened; the form has stopped.
    void SensorLost(QString message);
    // While a test output is held and nothing else is asked: is the sensor still there?
    void CheckAnswering();

public slots:
    void updateFromDevice();
    void onDataUpdate(LevelSensorData a_levelSensorData);
    void onLoadingMessage(QString msg);
    void OnParamSet(QString param, SetParamStruct a_setParamStruct);

private slots:
    void on_setLiquidType_clicked();
    void on_liquidList_activated(int index);
    void on_setMeasuringRange_clicked();
    void on_setOutputRange_clicked();
    void on_setSwitchOutput_clicked();
    void on_measuringRangeMin_valueChanged(int arg1);
    void on_measuringRangeMax_valueChanged(int arg1);
    void on_outputSelection_activated(int index);
    void on_minOutputRange_valueChanged(double arg1);
    void on_maxOutputRange_valueChanged(double arg1);
    void on_loadSettingsButton_clicked();
    void on_warningLevel_valueChanged(int arg1);
    void on_warningHysteresis_valueChanged(int arg1);
    void on_switchAlarm_activated(int index);
    void on_saveSettings_clicked();
    void on_compareFileButton_clicked();
    void on_tankProfileSetupButton_clicked();
    void on_checkBox_toggled(bool checked);
    void on_setToolBox_currentChanged(int index);
    void on_emptyOutputSlider_sliderPressed();
    void on_emptyOutputSlider_sliderReleased();
    void on_emptyOutputSlider_valueChanged(int value);
    void on_fullOutputSlider_sliderPressed();
    void on_fullOutputSlider_valueChanged(int value);
    void on_fullOutputSlider_sliderReleased();
    void on_sensorNumber_valueChanged(int arg1);
    void on_CancelOutputRange_clicked();
    void on_invertedOutputCheckBox_toggled(bool checked);
    void on_midpointOutputSlider_sliderPressed();
    void on_midpointOutputSlider_valueChanged(int value);
    void on_midpointOutputSlider_sliderReleased();
    void on_midpointOutputRange_valueChanged(double arg1);
    void on_importFPC_clicked();
    void on_exportFPC_clicked();

private:
    void connectDevice();
    void applyLook();
    // Frame (llsform.cpp)
    void setUp();
    void initView();
    void setSetButtonsDisabled(bool b);
    void colourSummaryFrames(int dark);
    bool sliderKey(QObject *watched, QKeyEvent *event);
    void requestMeasurement();
    void sendRequest(const QString &param, const SetParamStruct &s);
    void onCommunicationFailed(const QString &request, const QString &message, bool portLost);
    void onRetryDue();
    void onLost(const QString &message);
    void showNoAnswer();
    void checkTestSensor();
    void onAnswering(bool answered);
    bool isIndustrial() const;

    // Liquid type and measuring range pages (llsformliquidpages.cpp)
    void fillLiquidPage();
    int liquidReferenceIndex() const;
    void fillMeasuringRangePage();
    int sensorRangeMinimum() const;
    int sensorRangeMaximum() const;

    // Output range page (llsformoutputpage.cpp)
    void fillOutputPage();
    void showOutputValues(float e, float f);
    void showOutputValues(float e, float m, float f);
    void updateOutputButtons();
    void setOutputEditorsEnabled(bool on);
    float outputToSend(const QDoubleSpinBox *box, float sensorValue, int sensorCount) const;
    void startOutputTest(QSlider *slider, bool *dragging, const QString &param);
    void moveOutputTest(QSlider *slider, bool dragging, int value);
    void endOutputTest(QSlider *slider, bool *dragging);
    void setOutputBox(QSlider *slider, int position);
    void updateSupplyNote(double full);
    void sendOutputCancel();
    void setOutputTestRunning(bool running);
    float matchedEmpty(float shown) const;
    float matchedFull(float shown) const;

    // Load/save page (llsformfiles.cpp)
    QString askFileName(FileDialog kind, const QString &caption, const QString &start, const QString &filter);
    void setFileButtonsEnabled(bool on);
    void finishSettingsLoad();
    void reportFileResult(const QString &operation);

    // Switch output page (llsformswitchpage.cpp)
    void fillSwitchPage();
    void applySwitchRule();
    int sensorWarningLevel() const;
    int sensorHysteresis() const;

    Ui::LLSForm *ui;
    PageHost *host = nullptr;
    ProbeLevelGaugeWidget *levelGauge = nullptr;
    ProbeOutputGaugeWidget *outputGauge = nullptr;
    // Guarded: a reply queued before a rescan deleted the device must not reach it.
    QPointer<LLSDevice> m_device;
    TankProfileWidget *tankProfileWidget = nullptr;
    QVector<QPair<QString, int>> nmeaLiquids;
    bool polling = false;
    bool loadingFile = false;
    bool fixOutputPending = false;
    bool emptyDragging = false;
    bool fullDragging = false;
    bool midpointDragging = false;
    int lastFixedCount = 0;
    int outputDecimals = 0;
    int m_levelPercent = 0;
    float outputLowerLimit = 0;
    float outputUpperLimit = 0;
    int outputSteps = 1023;
    bool outputInvertedCopy = false;
    QString formOutputType;

    // Beyond the fields above: what keeps the loop and the sensor honest.
    QMovie *loadingMovie = nullptr;
    PollingGuard *guard = nullptr;
    bool started = false;             // start() opened the port
    int aheadStep = 0;                // the next step of a form built ahead
    bool loaded = false;              // the first load has arrived
    bool left = false;                // the user left: nothing more is shown or asked
    bool measurementInFlight = false;  // at most one measurement request is outstanding
    bool outputTestRunning = false;   // a slider test may hold the sensor's output
    bool tableSending = false;        // the editor's table is being written
    QTimer *testWatch = nullptr;      // while a test holds the output: a light check now and then
    bool checkInFlight = false;
    int unansweredRequests = 0;       // parameter-set requests sent, not yet answered
    QStringList notTakenReport;       // the device's report on the request answered next
    bool filling = false;             // the pages are being filled: no change is a user's
    bool filledInversion = false;     // the sensor's own inversion: as filled, or as the user ticked it
    bool askedInversion = false;      // the inversion last asked of the sensor
    bool choosingPreset = false;      // a preset's inversion is being put in the box
    SettingsFile::Values appliedFile; // the settings file being applied, to check what took
};

#endif
