#include "ncps/ncpsform.h"

#include "device/pagehost.h"
#include "device/abstractinterfacedriver.h"
#include "device/devicemanager.h"
#include "device/logcategories.h"
#include "device/pollingguard.h"
#include "ncps/activatorwidget.h"
#include "ncps/ncpsdevice.h"
#include "ncps/ncpsresources.h"
#include "ui_ncpsform.h"

#include <QDebug>
#include <QLayout>
#include <QVBoxLayout>

NCPSForm::NCPSForm(PageHost *host, QWidget *parent)
    : QFrame(parent)
    , ui(new Ui::NCPSForm)
    , host(host)
{
    if (host)
        m_device = qobject_cast<NCPSDevice *>(host->activeDevice());
    setUp();
}

NCPSForm::NCPSForm(NCPSDevice *device, QWidget *parent)
    : QFrame(parent)
    , ui(new Ui::NCPSForm)
    , m_device(device)
{
    setUp();
}

NCPSForm::~NCPSForm()
{
    // Replaced before the last reply came back: that reply would have closed the port.
    if (portOpen)
        closePort();
    delete ui;
}

void NCPSForm::closePort()
{
    portOpen = false;
    emit Disconnect();
}

void NCPSForm::setUp()
{
    ensureNcpsResources();
    ui->setupUi(this);
    guard = new PollingGuard(this);
    connect(guard, &PollingGuard::retryDue, this, &NCPSForm::onRetryDue);
    connect(guard, &PollingGuard::lost, this, &NCPSForm::onLost);
    activator = new ActivatorWidget;
    activator->setAccessibleName(tr("Activator position"));
    activatorText = tr("Activator Position\n%1 V");

    QLayout *area = ui->activatorsWidgetArea->layout();
    if (!area)
        area = new QVBoxLayout(ui->activatorsWidgetArea);
    area->addWidget(activator);
    area->setContentsMargins(0, 30, 0, 30);

    activator->setCaption(tr(""));
    ui->tabWidget->setCurrentIndex(0);
    activator->setBubbleVisible(ActivatorWidget::MinimumBubble, false);
    activator->setBubbleVisible(ActivatorWidget::MaximumBubble, false);
    activator->setBubbleVisible(ActivatorWidget::ActivatorBubble, false);
    activator->setActivatorVisible(false);

    // The form description carries pages for settings this program cannot write; they go.
    for (QWidget *page : {ui->outputModeTab, ui->outputScalingTab, ui->configurationTab, ui->proximityTab, ui->resetTab}) {
        ui->tabWidget->removeTab(ui->tabWidget->indexOf(page));
        delete page;
    }
    ui->outputModeTab = ui->outputScalingTab = ui->configurationTab = ui->proximityTab = ui->resetTab = nullptr;
    ui->tabWidget->setCurrentWidget(ui->outputLevelsTab);
    ui->tabWidget->setAccessibleName(tr("Sensor settings"));

    NCPSDevice::registerMetaTypes();
    if (!m_device) {
        qCDebug(lcUi) << "NCPSForm: no position sensor to show";
        return;
    }
    // Automatic connections: queued, since the device lives on the worker thread.
    connect(this, &NCPSForm::ReadParameter, m_device.data(), &NCPSDevice::ReadParameter);
    connect(m_device.data(), &NCPSDevice::ParameterUpdate, this, &NCPSForm::onParameterUpdate);
    connect(this, &NCPSForm::ReadMeasurement, m_device.data(), &NCPSDevice::ReadMeasurement);
    connect(m_device.data(), &NCPSDevice::MeasurementUpdate, this, &NCPSForm::onMeasurementUpdate);
    connect(this, &NCPSForm::Connect, m_device.data(), &NCPSDevice::open);
    connect(this, &NCPSForm::Disconnect, m_device.data(), &NCPSDevice::close);
    connect(m_device.data(), &AbstractDevice::CommunicationFailed, this, &NCPSForm::onCommunicationFailed);
}

NCPSDevice *NCPSForm::device() const
{
    return m_device.data();
}

void NCPSForm::start()
{
    awaitingParameters = true;
    portOpen = true;
    emit Connect();
    emit ReadParameter();
}

bool NCPSForm::isPolling() const
{
    return polling || awaitingParameters;
}

void NCPSForm::stopPolling()
{
    polling = false;
    awaitingParameters = false;
    // Waiting to retry, no request is under way whose reply would close the port.
    if (guard->retryPending()) {
        guard->cancel();
        closePort();
    }
}

void NCPSForm::onParameterUpdate(NCPSParameter parameter)
{
    if (!m_device)
        return;
    guard->succeeded();
    activator->setRange(m_device->rawMinimum(), m_device->rawMaximum());
    activatorMinimum = parameter.activator_min;

    lowerVolts = m_device->countsToVolts(parameter.output_lower, true);
    lowerRaw = m_device->rawPositionOfOutput(parameter.output_lower);
    activator->setMarkerText(ActivatorWidget::MinimumBubble,
                             tr("Current Minimum Position\n%1 V").arg(QString::number(lowerVolts, 'f', 2)));
    activator->setBubbleValue(ActivatorWidget::MinimumBubble, lowerRaw);

    upperVolts = m_device->countsToVolts(parameter.output_upper, true);
    upperRaw = m_device->rawPositionOfOutput(parameter.output_upper);
    activator->setMarkerText(ActivatorWidget::MaximumBubble,
                             tr("Current Maximum Position\n%1 V").arg(QString::number(upperVolts, 'f', 2)));
    activator->setBubbleValue(ActivatorWidget::MaximumBubble, upperRaw);

    const double voltsMaximum = m_device->voltsMaximum();
    ui->bottomOutputLimitSpin->setMaximum(voltsMaximum);
    ui->bottomOutputLimitSpin->setValue(lowerVolts);
    ui->topOutputLimitSpin->setMaximum(voltsMaximum);
    ui->topOutputLimitSpin->setValue(upperVolts);
    ui->dropoutLevelSpin->setMaximum(voltsMaximum);
    ui->dropoutLevelSpin->setValue(m_device->countsToVolts(parameter.output_noact, true));
    ui->activatorResponseSpin->setValue(parameter.activator_min);

    if (awaitingParameters) {
        awaitingParameters = false;
        polling = true;
        emit ReadMeasurement();
    } else if (!polling) {
        // Left before the parameters came: no loop to end, so close the port here.
        closePort();
    }
}

void NCPSForm::onMeasurementUpdate(NCPSMeasurement measurement)
{
    // Before this form's parameters arrive, a measurement can only be the last reply to the form
    // this one replaced: taking it would close this form's port or start a second request chain.
    if (!m_device || awaitingParameters)
        return;
    guard->succeeded();
    QString text = activatorText.arg(QString::number(m_device->countsToVolts(measurement.position, true), 'f', 2));
    ui->activatorLevelEdit->setText(QString::number(measurement.activator));

    activator->setAccessibleDescription(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    if (measurement.activator < activatorMinimum) {
        text.replace(tr("Activator Position"), tr(" No Activator Present "));
        activator->setAccessibleDescription(tr("No activator present"));
        activator->setNoActivatorText(text);
        activator->setBubbleVisible(ActivatorWidget::ActivatorBubble, false);
        activator->setActivatorVisible(false);
    } else {
        activator->setBubbleLabelText(ActivatorWidget::ActivatorBubble, text);
        activator->setValue(measurement.raw_position);
        activator->setBubbleVisible(ActivatorWidget::ActivatorBubble, true);
        activator->setActivatorVisible(true);
    }

    // No timer: each reply asks for the next, so the serial round trip sets the rate.
    if (polling)
        emit ReadMeasurement();
    else
        closePort();
}

void NCPSForm::onCommunicationFailed(const QString &request, const QString &message, bool portLost)
{
    if (!m_device || guard->isLost())
        return;
    // While this form waits for its parameters, a failed measurement can only belong to the form
    // it replaced.
    if (awaitingParameters && request == QLatin1String("MLIST"))
        return;
    if (!polling && !awaitingParameters) {
        // The failed reply was the last one under way when the user left.
        closePort();
        return;
    }
    showNoAnswer();
    if (portLost)
        guard->portLost(message);
    else
        guard->failed(message);
}

void NCPSForm::onRetryDue()
{
    if (awaitingParameters)
        emit ReadParameter();
    else if (polling)
        emit ReadMeasurement();
}

void NCPSForm::onLost(const QString &message)
{
    polling = false;
    awaitingParameters = false;
    if (portOpen)
        closePort();
    emit SensorLost(message);
}

// Nothing unread may look like a live reading: the activator, its bubble and its level go.
void NCPSForm::showNoAnswer()
{
    const QString port = m_device->interfaceDriver() ? m_device->interfaceDriver()->name() : QString();
    activator->setNoActivatorText(tr(" No Answer From Sensor \n%1").arg(port));
    activator->setAccessibleDescription(tr("No answer from the sensor on %1").arg(port));
    activator->setBubbleVisible(ActivatorWidget::ActivatorBubble, false);
    activator->setActivatorVisible(false);
    ui->activatorLevelEdit->setText(QStringLiteral("-"));
}
