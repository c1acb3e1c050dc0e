#ifndef NCPSFORM_H
#define NCPSFORM_H

#include "ncps/ncpsmeasurement.h"
#include "ncps/ncpsparameter.h"

#include <QFrame>
#include <QPointer>

class ActivatorWidget;
class PageHost;
class NCPSDevice;
class PollingGuard;

namespace Ui {
class NCPSForm;
}

// The live view of one position sensor: reads its parameters once, then polls its measurements
// for as long as it is shown. Writes nothing to the sensor.
class NCPSForm : public QFrame
{
    Q_OBJECT
public:
    // Shows the host's active device.
    // Shows the host's active device.
    NCPSForm(PageHost *host, QWidget *parent);
    // Shows the given device, for hosts other than the main window (benches, documentation).
    NCPSForm(NCPSDevice *device, QWidget *parent);
    ~NCPSForm() override;

    // Opens the port and asks for the parameters; their arrival starts the measurement loop.
    void start();
    // True from start() until stopPolling(): the loop is running or about to start.
    bool isPolling() const;
    // Ends the loop after the reply under way; the port is closed after it. Safe to call at any time.
    void stopPolling();

    void onParameterUpdate(NCPSParameter parameter);
    void onMeasurementUpdate(NCPSMeasurement measurement);
    // The device found no sensor for a request: show it, wait and ask again, or give up.
    void onCommunicationFailed(const QString &request, const QString &message, bool portLost);

    ActivatorWidget *activatorWidget() const { return activator; }
    NCPSDevice *device() const;

    PollingGuard *pollingGuard() const { return guard; }

signals:
    void ReadParameter();
    void ReadMeasurement();
    void Connect();
    void Disconnect();
    // The sensor stopped answering, or its port cannot be opened; the form has stopped and closed it.
    void SensorLost(QString message);

private:
    void setUp();
    void closePort();
    void onRetryDue();
    void onLost(const QString &message);
    void showNoAnswer();

    Ui::NCPSForm *ui;
    PageHost *host = nullptr;
    ActivatorWidget *activator = nullptr;
    // Guarded: a reply queued before a rescan deleted the device must not reach it.
    QPointer<NCPSDevice> m_device;
    int activatorMinimum = 0;
    int lowerRaw = 0;
    int upperRaw = 0;
    double lowerVolts = 0.0;
    double upperVolts = 0.0;
    bool polling = false;
    // start() was called and the parameters have not arrived yet.
    bool awaitingParameters = false;
    // Connect was sent and Disconnect not yet: a form deleted in between still closes the port.
    bool portOpen = false;
    QString activatorText;
    PollingGuard *guard = nullptr;
};

#endif
