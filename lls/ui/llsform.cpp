// The level sensor form's frame: construction and wiring, loading, the live display, the device's
// replies, the summary frames and a sensor that stops answering. The setting pages are in
// llsformliquidpages.cpp, llsformoutputpage.cpp, llsformswitchpage.cpp and llsformfiles.cpp.
#include "lls/ui/llsform.h"

#include "device/abstractinterfacedriver.h"
#include "device/logcategories.h"
#include "device/pagehost.h"
#include "device/pollingguard.h"
#include "lls/device/levelarithmetic.h"
#include "lls/device/llsdevice.h"
#include "lls/ui/llsuiresources.h"
#include "lls/ui/probelevelgaugewidget.h"
#include "lls/ui/probeoutputgaugewidget.h"
#include "lls/ui/tankprofilewidget.h"
#include "ui_llsform.h"

#include <QAbstractButton>
#include <QDebug>
#include <QMessageBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSlider>
#include <QMovie>
#include <QScrollArea>
#include <QStyledItemDelegate>
#include <QTimer>

#include <utility>

namespace {

const char DarkFrame[] = "background-color:rgb(102, 102, 102);";
const char LightFrame[] = "background-color:rgb(230, 230, 230);";
const char GreenStatus[] = "background-color: rgb(15, 155, 70);";
const char RedStatus[] = "background-color: rgb(193, 39, 45);";
const char OrangeStatus[] = "background-color: rgb(244, 114, 34);";
const char GreyValue[] = "background-color: rgb(255, 255, 255);qproperty-alignment: AlignCenter;color:grey;";
const char OrangeValue[] = "background-color: rgb(255, 255, 255);qproperty-alignment: AlignCenter;color: rgb(244, 114, 34);";
// The whole form's look (black labels on white), set once its widgets are built.
const char FormStyle[] = "QLabel{\n color:rgb(0, 0, 0);\n}\n\nbackground-color: white;";
// How often a held test output checks that its sensor still answers.
constexpr int TestCheckMs = 1000;
const char OrangeRange[] = "background-color: rgb(255, 255, 255);qproperty-alignment: AlignCenter;color:rgb(244, 114, 34);";

// Status bits that mean the sensor reports an error of its own.
constexpr quint32 ErrorBits = 0x1 | 0x2 | 0x4 | 0x20 | 0x40 | 0x80 | 0x400 | 0x800;
constexpr quint32 SwitchAlarmBit = 0x100;
constexpr quint32 OutsideRangeBit = 0x8;

// The status travels as a float; anything outside 32 bits is no status at all.
quint32 statusBits(float status)
{
    if (!(status >= 0) || status > 4294967295.0f)
        return 0;
    return static_cast<quint32>(static_cast<double>(status));
}

}

LLSForm::LLSForm(PageHost *host, QWidget *parent)
    : QFrame(parent)
    , ui(new Ui::LLSForm)
    , host(host)
{
    if (host)
        m_device = qobject_cast<LLSDevice *>(host->activeDevice());
    setUp();
}

LLSForm::LLSForm(PageHost *host, QWidget *parent, std::nullptr_t)
    : QFrame(parent)
    , ui(new Ui::LLSForm)
    , host(host)
{
    setUp();
}

LLSForm::LLSForm(LLSDevice *device, QWidget *parent)
    : QFrame(parent)
    , ui(new Ui::LLSForm)
    , m_device(device)
{
    setUp();
}

LLSForm::~LLSForm()
{
    // Replaced or discarded without being left: the port still closes, and no test output stays.
    if (!left && started)
        emitDisconnect();
    delete tankProfileWidget;
    delete ui;
}

void LLSForm::setUp()
{
    ensureLlsUiResources();
    ui->setupUi(this);
    // The form's own style sheet comes after its widgets: set first, it would be worked out again
    // for every page the layouts move under it, which costs building a page more than twice. A
    // page built ahead takes it in a step of its own (buildAheadStep).
    if (m_device || !host)
        applyLook();
    guard = new PollingGuard(this);
    connect(guard, &PollingGuard::retryDue, this, &LLSForm::onRetryDue);
    connect(guard, &PollingGuard::lost, this, &LLSForm::onLost);
    // Polling stops while a test holds the output; a sensor unplugged then must still be noticed.
    testWatch = new QTimer(this);
    testWatch->setInterval(TestCheckMs);
    connect(testWatch, &QTimer::timeout, this, &LLSForm::checkTestSensor);

    LLSDevice::RegisterMetaTypes();
    if (m_device)
        connectDevice();

    for (QWidget *frame : {ui->liquidTypeFrame, ui->measurementRangeFrame, ui->outputRangeFrame, ui->switchOutputFrame})
        frame->installEventFilter(this);
    for (QWidget *slider : {ui->emptyOutputSlider, ui->midpointOutputSlider, ui->fullOutputSlider})
        slider->installEventFilter(this);
    ui->outputTestNote->hide();
    // Drawn as a list, not as menu items: the list's own colours (comboStyle) then show which row
    // is highlighted.
    ui->outputSelection->setItemDelegate(new QStyledItemDelegate(ui->outputSelection));
    // Each page scrolls inside the tool box; a screen reader names the scroll area after its page.
    for (int i = 0; i < ui->setToolBox->count(); ++i)
        if (auto *area = qobject_cast<QScrollArea *>(ui->setToolBox->widget(i)->parentWidget()->parentWidget()))
            area->setAccessibleName(ui->setToolBox->itemText(i).trimmed());
    // The page titles centre themselves with leading spaces; narrow spaces keep them from being
    // cut short in the tool box's width.
    for (QAbstractButton *tab : ui->setToolBox->findChildren<QAbstractButton *>(QString(), Qt::FindDirectChildrenOnly)) {
        QFont font = tab->font();
        font.setPointSize(8);
        font.setBold(true);
        font.setWordSpacing(-1.2);
        tab->setFont(font);
    }
    // The editor is a window of its own and costs as much to build as a third of this form: it is
    // built once the form is up, so that opening a sensor never holds the window for both.
    if (m_device || !host)
        QTimer::singleShot(0, this, [this] { editor(); });
}

bool LLSForm::buildAheadStep()
{
    switch (aheadStep++) {
    case 0:
        applyLook();
        return true;
    case 1:
        editor();
        return true;
    case 2:
        ensurePolished();
        return false;
    default:
        return false;
    }
}

void LLSForm::applyLook()
{
    if (!styleSheet().isEmpty())
        return;
    setStyleSheet(QString::fromLatin1(FormStyle));
}

void LLSForm::bindDevice(LLSDevice *device)
{
    if (m_device || !device)
        return;
    m_device = device;
    connectDevice();
}

// Automatic connections: queued, since the device lives on the worker thread.
void LLSForm::connectDevice()
{
    LLSDevice *d = m_device.data();
    connect(d, &LLSDevice::ParamSet, this, &LLSForm::OnParamSet);
    connect(d, &LLSDevice::NotTaken, this, [this](const QStringList &settings) { notTakenReport = settings; });
    connect(d, &LLSDevice::LoadingMessage, this, &LLSForm::onLoadingMessage);
    connect(this, &LLSForm::ReadMeasurement, d, &LLSDevice::ReadMeasurement);
    connect(d, &LLSDevice::ParameterUpdate, this, &LLSForm::updateFromDevice);
    connect(this, &LLSForm::ReadParameter, d, &LLSDevice::ReadParameter);
    connect(d, &LLSDevice::dataUpdate, this, &LLSForm::onDataUpdate);
    connect(this, &LLSForm::Connect, d, &LLSDevice::open);
    connect(this, &LLSForm::Disconnect, d, &LLSDevice::close);
    connect(this, &LLSForm::SetParam, d, &LLSDevice::SetParam);
    connect(d, &AbstractDevice::CommunicationFailed, this, &LLSForm::onCommunicationFailed);
    connect(this, &LLSForm::CheckAnswering, d, &LLSDevice::CheckAnswering);
    connect(d, &LLSDevice::Answering, this, &LLSForm::onAnswering);
}

TankProfileWidget *LLSForm::editor()
{
    if (!tankProfileWidget)
        tankProfileWidget = new TankProfileWidget(this);
    return tankProfileWidget;
}

LLSDevice *LLSForm::device() const
{
    return m_device.data();
}

bool LLSForm::isIndustrial() const
{
    const QString type = m_device ? m_device->deviceType() : QString();
    return type == QLatin1String("ILS") || type == QLatin1String("Murkwell");
}

void LLSForm::start()
{
    applyLook();
    initView();
    started = true;
    emit Connect();
    polling = true;
    if (host)
        host->setNavigationVisible(false);
    emit ReadParameter();
}

void LLSForm::initView()
{
    ui->stackedWidget->setCurrentIndex(0);
    loadingMovie = new QMovie(QStringLiteral(":/resources/resources/loading-icon.gif"), QByteArray(), this);
    ui->loadingLogo->setMovie(loadingMovie);
    loadingMovie->start();

    ui->alertMSG->hide();
    ui->alertMSGDetails->hide();
    ui->sensorDescription->clear();
    ui->setToolBox->setCurrentIndex(0);
    ui->liquidTypeFrame->setStyleSheet(QString::fromLatin1(DarkFrame));

    levelGauge = new ProbeLevelGaugeWidget(this);
    levelGauge->setAccessibleName(tr("Liquid level gauge, percent"));
    ui->levelGaugeArea->layout()->addWidget(levelGauge);
    if (isIndustrial()) {
        outputGauge = new ProbeOutputGaugeWidget(this);
        outputGauge->setAccessibleName(tr("Output level gauge"));
        ui->outputGaugeArea->layout()->addWidget(outputGauge);
        return;
    }
    // A plain sensor keeps the liquid and load/save pages and the level column only.
    for (const char *name : {"setMeasuringRangePage", "setOutputRangePage", "SetSwitchOutputPage"}) {
        QWidget *page = ui->setToolBox->findChild<QWidget *>(QLatin1String(name));
        const int index = ui->setToolBox->indexOf(page);
        if (page)
            page->hide();
        if (index >= 0)
            ui->setToolBox->removeItem(index);
    }
    ui->switchOutputFrame->hide();
    ui->outputRangeFrame->hide();
    ui->outputLevelFrame->hide();
}

void LLSForm::updateFromDevice()
{
    if (left || !m_device)
        return;
    LLSDevice *d = m_device.data();
    if (!d->HasSwitchOutput()) {
        QWidget *page = ui->setToolBox->findChild<QWidget *>(QStringLiteral("SetSwitchOutputPage"));
        const int index = ui->setToolBox->indexOf(page);
        if (index >= 0) {
            page->hide();
            ui->setToolBox->removeItem(index);
        }
        ui->switchOutputFrame->hide();
    }
    if (!d->HasTankProfileOption())
        ui->tankProfileFrame->hide();
    if (host)
        host->setNavigationVisible(true);

    // Filling the pages is the program's doing: none of it may reach the sensor.
    filling = true;
    formOutputType = d->OutputType();
    fillLiquidPage();
    if (isIndustrial()) {
        fillMeasuringRangePage();
        fillOutputPage();
        if (d->HasSwitchOutput())
            fillSwitchPage();
    }
    filling = false;

    ui->sensorDescription->clear();
    ui->sensorDescription->setText(d->ProbeDescription());
    ui->stackedWidget->setCurrentIndex(1);
    if (loadingMovie)
        loadingMovie->stop();
    loaded = true;
    requestMeasurement();
}

void LLSForm::onLoadingMessage(QString msg)
{
    if (left)
        return;
    if (msg == QLatin1String("ready")) {
        ui->loadSettingsLabel->setText(QStringLiteral("Settings Loaded"));
        ui->loadSettingsLabel->hide();
    } else {
        ui->loadSettingsLabel->setText(msg);
    }
}

void LLSForm::onDataUpdate(LevelSensorData a_levelSensorData)
{
    if (left || !m_device)
        return;
    measurementInFlight = false;
    const LevelSensorData &data = a_levelSensorData;
    LLSDevice *d = m_device.data();
    if (data.readError) {
        // Nothing unread is shown as a reading; the next request waits as a silent one would have.
        showNoAnswer();
        guard->failed(tr("The sensor on %1 gave no readable measurement.").arg(d->interfaceDriver()->name()));
        return;
    }
    guard->succeeded();
    ui->alertMSG->hide();
    ui->alertMSGDetails->hide();
    ui->statusColorLabel->setStyleSheet(QString::fromLatin1(GreenStatus));

    const quint32 s = statusBits(data.status);
    if ((s & 0x3FFFF) & ErrorBits) {
        ui->statusColorLabel->setStyleSheet(QString::fromLatin1(RedStatus));
        ui->alertMSG->setText(QStringLiteral("ERROR "));
        ui->alertMSG->setStyleSheet(QStringLiteral("color: rgb(193, 39, 45);"));
        ui->alertMSG->show();
        ui->alertMSGDetails->setText(QStringLiteral("(") + QString::number(s, 2) + QStringLiteral(") - Contact Quenby for help."));
        ui->alertMSGDetails->show();
        ui->outputLevelValueLabel->setText(QStringLiteral("?"));
        requestMeasurement();
        return;
    }

    float p = data.level;
    if (p > 100) {
        qCDebug(lcUi) << "level>100 !!!!";
        p = 100;
    } else if (p < 0) {
        qCDebug(lcUi) << "level<0 !!!!";
        p = 0;
    }
    m_levelPercent = LevelArithmetic::roundHalfUp(p);
    levelGauge->setValue(p);
    ui->liquidLevelValueLabel->setText(QString::number(m_levelPercent) + QStringLiteral(" %"));

    if (isIndustrial()) {
        const float e = d->OutputRangeMinValue();
        const float f = d->OutputRangeMaxValue();
        if (formOutputType == QLatin1String("resistive")) {
            // An empty range has no share to show.
            const int q = f == e ? 0 : LevelArithmetic::roundHalfUp((data.output - e) / (f - e) * 100);
            outputGauge->setValue(q);
            ui->outputLevelValueLabel->setText(QString::number(q, 'f', outputDecimals) + QStringLiteral(" %"));
        } else {
            outputGauge->setValue(data.output);
            ui->outputLevelValueLabel->setText(QString::number(data.output, 'f', outputDecimals) + ' ' + d->OutputUnit());
        }

        if ((s & SwitchAlarmBit) && d->HasSwitchOutput()) {
            ui->alertMSG->setText(d->HysteresisAbove() ? QStringLiteral("EMPTY ALARM") : QStringLiteral("FULL ALARM"));
            ui->statusColorLabel->setStyleSheet(QString::fromLatin1(OrangeStatus));
            ui->alertMSG->setStyleSheet(QStringLiteral("color: rgb(244, 114, 34);"));
            ui->alertMSG->show();
            ui->alertMSGDetails->hide();
            ui->liquidLevelValueLabel->setStyleSheet(QString::fromLatin1(OrangeValue));
        } else {
            ui->liquidLevelValueLabel->setStyleSheet(QString::fromLatin1(GreyValue));
        }
        ui->measurementRangeLabel->setStyleSheet(QString::fromLatin1((s & OutsideRangeBit) ? OrangeRange : GreyValue));
    }
    requestMeasurement();
}

// Each answered measurement asks for the next while polling holds; never two at a time.
void LLSForm::requestMeasurement()
{
    if (!polling || left || !loaded || measurementInFlight || guard->isLost() || guard->retryPending())
        return;
    measurementInFlight = true;
    emit ReadMeasurement();
}

void LLSForm::sendRequest(const QString &param, const SetParamStruct &s)
{
    ++unansweredRequests;
    emit SetParam(param, s);
}

void LLSForm::OnParamSet(QString param, SetParamStruct a_setParamStruct)
{
    unansweredRequests = qMax(0, unansweredRequests - 1);
    if (left || !m_device)
        return;
    const SetParamStruct &s = a_setParamStruct;
    if (tableSending && param == QLatin1String("tankProfile,tankProfileEnable")) {
        tableSending = false;
        setFileButtonsEnabled(true);
        editor()->showTablePage();
    }
    if (loadingFile) {
        // A settings file is judged as a whole when its last request is answered.
        notTakenReport.clear();
        if (param != QLatin1String("loadingFinish"))
            return;
        setSetButtonsDisabled(true);
        ui->loadSettingsButton->setEnabled(!tableSending);
        loadingFile = false;
        updateFromDevice();
        polling = true;
        requestMeasurement();
        finishSettingsLoad();
        return;
    }

    polling = true;
    const QStringList parts = param.split(QLatin1Char(','));
    const QStringList notTaken = std::exchange(notTakenReport, QStringList());
    for (const QString &part : parts) {
        if (part == QLatin1String("liquidType") || part == QLatin1String("NMEAliquidType")) {
            ui->setLiquidType->setEnabled(true);
            updateFromDevice();
        } else if (part == QLatin1String("measuringRange")) {
            ui->setMeasuringRange->setEnabled(true);
            updateFromDevice();
        } else if (part == QLatin1String("outputRange")) {
            ui->setOutputRange->setEnabled(true);
            updateFromDevice();
        } else if (part == QLatin1String("switchOutput")) {
            ui->setSwitchOutput->setEnabled(true);
            updateFromDevice();
        } else if (part == QLatin1String("tankProfile")) {
            editor()->showTablePage();
            updateFromDevice();
            // The sensor keeps its own table when it refuses one: say so rather than let the
            // user believe the new table is in.
            if (m_device->TankProfileLevels() != s.profileLevels || m_device->TankProfileOutputs() != s.profileOutputs)
                QMessageBox::warning(tankProfileWidget->isVisible() ? static_cast<QWidget *>(tankProfileWidget) : this,
                                     tr("Tank profile not sent"),
                                     tr("The sensor did not take the tank profile: it holds at most 128 points, "
                                        "each from 0 to 100 %. Its table is unchanged."));
        } else if (part == QLatin1String("tankProfileEnable")) {
            // Alone it answers the range page's SET with the tank profile ticked: that page, and
            // the polling its SET paused, come back as for a range.
            if (parts.size() == 1) {
                ui->setMeasuringRange->setEnabled(true);
                updateFromDevice();
            }
        } else if (part == QLatin1String("invertOutput") || part == QLatin1String("resetMidpoint")) {
        } else if (part == QLatin1String("setFixOutputValue")) {
            fixOutputPending = false;
            lastFixedCount = LevelArithmetic::truncate(s.value1);
        } else if (part == QLatin1String("disableFixOutput")) {
            fixOutputPending = false;
        } else if (part == QLatin1String("exportFPC")) {
            setFileButtonsEnabled(true);
            reportFileResult(part);
        } else if (part == QLatin1String("importFPC")) {
            emit ReadParameter();
            setFileButtonsEnabled(true);
            reportFileResult(part);
        } else {
            qCDebug(lcUi) << "LLSForm::OnParamSet: unrecognized parameter:" << param;
        }
    }
    // The page shows what the sensor holds; the user must also learn that it is not what was set.
    if (!notTaken.isEmpty())
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             tr("The sensor did not take %1. The page shows what it holds now.").arg(notTaken.join(tr(" and "))));
}

void LLSForm::setSetButtonsDisabled(bool b)
{
    for (QWidget *button : {ui->setLiquidType, ui->setMeasuringRange, ui->setOutputRange, ui->setSwitchOutput})
        button->setDisabled(b);
    // A Cancel pressed meanwhile would write the range as it was before the write under way, and a
    // test started meanwhile would be undone by it. The reply's refresh enables them again.
    if (b) {
        ui->CancelOutputRange->setEnabled(false);
        for (QWidget *editor : std::initializer_list<QWidget *>{ui->emptyOutputSlider, ui->midpointOutputSlider, ui->fullOutputSlider,
                                                               ui->invertedOutputCheckBox})
            editor->setEnabled(false);
    }
}

void LLSForm::colourSummaryFrames(int dark)
{
    const QList<QWidget *> frames{ui->liquidTypeFrame, ui->measurementRangeFrame, ui->outputRangeFrame, ui->switchOutputFrame};
    for (int i = 0; i < frames.size(); ++i)
        frames.at(i)->setStyleSheet(QString::fromLatin1(i == dark ? DarkFrame : LightFrame));
}

bool LLSForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress)
        return sliderKey(watched, static_cast<QKeyEvent *>(event));
    if (event->type() != QEvent::MouseButtonPress)
        return false;
    const QList<QObject *> frames{ui->liquidTypeFrame, ui->measurementRangeFrame, ui->outputRangeFrame, ui->switchOutputFrame};
    const int index = frames.indexOf(watched);
    if (index < 0)
        return false;
    ui->setToolBox->setCurrentIndex(index);
    colourSummaryFrames(index);
    return true;
}

// The output sliders take no steps of their own, so that only a drag starts a test. From the
// keyboard, each arrow or page key is a short drag: press, move, release.
bool LLSForm::sliderKey(QObject *watched, QKeyEvent *event)
{
    auto *slider = qobject_cast<QSlider *>(watched);
    if (!slider || !slider->isEnabled()
        || (slider != ui->emptyOutputSlider && slider != ui->midpointOutputSlider && slider != ui->fullOutputSlider))
        return false;
    int step = 0;
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Up:
        step = 1;
        break;
    case Qt::Key_Left:
    case Qt::Key_Down:
        step = -1;
        break;
    case Qt::Key_PageUp:
        step = 10;
        break;
    case Qt::Key_PageDown:
        step = -10;
        break;
    default:
        return false;
    }
    slider->setSliderDown(true);
    slider->setSliderPosition(slider->sliderPosition() + step);
    slider->setSliderDown(false);
    return true;
}

void LLSForm::on_setToolBox_currentChanged(int index)
{
    if (index >= 0 && index <= 3)
        colourSummaryFrames(index);
    // A test output is only held while its page is in view.
    if (outputTestRunning && ui->setToolBox->widget(index) != ui->setOutputRangePage)
        on_CancelOutputRange_clicked();
}

void LLSForm::emitDisconnect()
{
    if (outputTestRunning)
        sendOutputCancel();
    left = true;
    polling = false;
    guard->cancel();
    emit Disconnect();
}

void LLSForm::leave()
{
    if (isPolling())
        stopPolling();
    emitDisconnect();
}

void LLSForm::onCommunicationFailed(const QString &request, const QString &message, bool portLost)
{
    Q_UNUSED(request)
    if (left || guard->isLost())
        return;
    showNoAnswer();
    // A port that cannot be opened, a load or a write that lost the sensor part-way: nothing the
    // form shows can be trusted, and nothing may be offered for SET.
    Q_UNUSED(portLost)
    guard->portLost(message);
}

void LLSForm::onRetryDue()
{
    requestMeasurement();
}

void LLSForm::onLost(const QString &message)
{
    polling = false;
    if (!left) {
        left = true;
        emit Disconnect();
    }
    emit SensorLost(message);
}

void LLSForm::checkTestSensor()
{
    if (!outputTestRunning || left || measurementInFlight || checkInFlight || unansweredRequests > 0 || guard->isLost())
        return;
    checkInFlight = true;
    emit CheckAnswering();
}

void LLSForm::onAnswering(bool answered)
{
    checkInFlight = false;
    if (left || !m_device)
        return;
    if (answered) {
        guard->succeeded();
        ui->alertMSG->hide();
        ui->alertMSGDetails->hide();
        ui->statusColorLabel->setStyleSheet(QString::fromLatin1(GreenStatus));
        return;
    }
    // As for a measurement that went unanswered: said at once, given up after the guard's count.
    showNoAnswer();
    guard->failed(tr("The sensor on %1 did not answer during the output test.").arg(m_device->interfaceDriver()->name()));
}

void LLSForm::showNoAnswer()
{
    const QString port = m_device && m_device->interfaceDriver() ? m_device->interfaceDriver()->name() : QString();
    ui->statusColorLabel->setStyleSheet(QString::fromLatin1(RedStatus));
    ui->alertMSG->setText(tr("NO ANSWER "));
    ui->alertMSG->setStyleSheet(QStringLiteral("color: rgb(193, 39, 45);"));
    ui->alertMSG->show();
    ui->alertMSGDetails->setText(tr("(%1) - Check the sensor's cable and power.").arg(port));
    ui->alertMSGDetails->show();
    ui->liquidLevelValueLabel->setText(QStringLiteral("?"));
    ui->outputLevelValueLabel->setText(QStringLiteral("?"));
}
