#include "app/benchengine.h"

#include "device/abstractdevice.h"
#include "device/abstractinterfacedriver.h"
#include "device/boundedfile.h"
#include "device/deviceidentification.h"
#include "lls/device/llsdevice.h"
#include "lls/device/llssettings.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <pthread.h>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("BenchEngine", text);
}

// "a", "a and b", "a, b and c".
QString listed(const QStringList &items)
{
    if (items.size() < 2)
        return items.value(0);
    return QStringList(items.mid(0, items.size() - 1)).join(QStringLiteral(", ")) + tr(" and ") + items.last();
}

// What a settings file's request sets, as a technician reads it.
QString requestName(const QString &param)
{
    if (param == QLatin1String("measuringRange"))
        return tr("the measuring range");
    if (param == QLatin1String("outputRange"))
        return tr("the output range");
    if (param == QLatin1String("switchOutput"))
        return tr("the switch output");
    return tr("the tank profile");
}

// The workers leave the stop signals to the thread that handles them, so that no exchange is cut
// short by one.
void blockStopSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&set, signal);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

BenchOutcome applySettings(LLSDevice *device, const BenchTask &task, const std::atomic<bool> &stopping)
{
    if (const QString other = task.otherOutput(*device); !other.isEmpty())
        return {BenchOutcome::Refused, other + tr("; nothing was written")};
    const SettingsFile::Sensor sensor = LLSSettings::sensorOf(*device, device->OutputType());
    if (!sensor.industrial())
        return {BenchOutcome::Refused, tr("this sensor has no measuring range, output or switch settings; nothing was written")};
    QString error;
    QVector<SettingsFile::Request> requests = SettingsFile::plan(task.settings(), sensor, &error);
    if (requests.isEmpty())
        return {BenchOutcome::Refused, error + tr("; nothing was written")};
    requests.erase(std::remove_if(requests.begin(), requests.end(),
                                  [](const SettingsFile::Request &r) { return r.param == QLatin1String("loadingFinish"); }),
                   requests.end());
    // The output range goes first, and nothing follows a setting the sensor did not take: a range
    // the sensor refuses (beyond its converter) then leaves it exactly as it was.
    std::stable_partition(requests.begin(), requests.end(), [](const SettingsFile::Request &r) { return r.param == QLatin1String("outputRange"); });

    QStringList notTaken;
    const auto connection = QObject::connect(device, &LLSDevice::NotTaken, device, [&notTaken](const QStringList &s) { notTaken << s; },
                                             Qt::DirectConnection);
    QStringList written;
    QStringList notSent;
    const int writesBefore = device->WritesSent();
    QString cut;  // the request the sensor was lost in
    for (const SettingsFile::Request &request : std::as_const(requests)) {
        if (stopping || device->SensorLost() || !notTaken.isEmpty()) {
            notSent << requestName(request.param);
            continue;
        }
        const int before = device->WritesSent();
        device->SetParam(request.param, request.values);
        if (device->SensorLost())
            cut = device->HalfWritten();
        if (device->WritesSent() > before && cut.isEmpty())
            written << requestName(request.param);
        else if (device->WritesSent() == before && (device->IsStopped() || device->SensorLost()))
            notSent << requestName(request.param);  // a stop or a loss before its first write
    }
    QObject::disconnect(connection);
    const QString rest = notSent.isEmpty() ? QString() : tr("; %1 not sent").arg(listed(notSent));

    if (device->SensorLost())
        return {BenchOutcome::Lost, (cut.isEmpty() ? tr("stopped answering") : tr("stopped answering; %1 may be half written").arg(cut))
                                        + (written.isEmpty() ? QString() : tr("; %1 written").arg(listed(written))) + rest};
    if (!notTaken.isEmpty()) {
        if (device->WritesSent() == writesBefore)
            return {BenchOutcome::Refused, tr("the sensor cannot take %1; nothing was written").arg(listed(notTaken))};
        return {BenchOutcome::Differs, tr("the sensor did not take %1").arg(listed(notTaken)) + rest};
    }
    // What counts is what the sensor holds (as read back after each request): a stop that left
    // nothing the file sets undone changed nothing of its outcome.
    const QStringList wrong = LLSSettings::mismatches(task.settings(), sensor, *device);
    if (!notSent.isEmpty() && !wrong.isEmpty())
        return {BenchOutcome::Stopped, written.isEmpty() ? tr("nothing was written") : tr("%1 written").arg(listed(written)) + rest};
    if (!wrong.isEmpty())
        return {BenchOutcome::Differs, listed(wrong)};
    return {};
}

BenchOutcome applyFpc(LLSDevice *device, const BenchTask &task, const std::atomic<bool> &stopping)
{
    const int before = device->WritesSent();
    device->ImportFPC(task.fpc());
    const QString report = device->FileReport();
    if (device->SensorLost()) {
        const QString half = device->HalfWritten();
        return {BenchOutcome::Lost, half.isEmpty() ? tr("every register was written; it stopped answering while they were checked")
                                                   : tr("stopped answering; %1 may be half written. %2").arg(half, report)};
    }
    if (stopping && !report.isEmpty())
        return {BenchOutcome::Stopped, device->WritesSent() == before ? tr("nothing was written") : report};
    if (!report.isEmpty())
        return {BenchOutcome::Differs, report};
    return {};
}

// What the sensor holds against the file, read only.
BenchOutcome compare(LLSDevice *device, const BenchTask &task, const std::atomic<bool> &stopping)
{
    if (task.isFpc()) {
        const QString report = device->CompareFPC(task.fpc());
        if (stopping && !report.isEmpty())
            return {BenchOutcome::Stopped, report};
        return report.isEmpty() ? BenchOutcome{} : BenchOutcome{BenchOutcome::Differs, report};
    }
    if (const QString other = task.otherOutput(*device); !other.isEmpty())
        return {BenchOutcome::Refused, other};
    const SettingsFile::Sensor sensor = LLSSettings::sensorOf(*device, device->OutputType());
    if (!sensor.industrial())
        return {BenchOutcome::Refused, tr("this sensor has no measuring range, output or switch settings")};
    const QStringList wrong = LLSSettings::mismatches(task.settings(), sensor, *device);
    return wrong.isEmpty() ? BenchOutcome{} : BenchOutcome{BenchOutcome::Differs, listed(wrong)};
}

BenchOutcome backup(LLSDevice *device, const QString &folder, const QString &baseName, const std::atomic<bool> &stopping)
{
    const QString conf = QDir(folder).filePath(baseName + QLatin1String(".conf"));
    const QString fpc = QDir(folder).filePath(baseName + QLatin1String(".fpc"));
    // A plain sensor has none of a settings file's settings: its backup is its registers alone.
    const bool withSettings = LLSSettings::sensorOf(*device, device->OutputType()).industrial();
    auto removeBoth = [&] {
        QFile::remove(conf);
        QFile::remove(fpc);
    };
    if (withSettings) {
        // As the window's Save Settings: a file that a load would refuse is no backup.
        QString error = LLSSettings::saveRefusal(*device, device->OutputType());
        if (!error.isEmpty() || !SettingsFile::save(conf, LLSSettings::valuesOf(*device, device->OutputType()), &error)) {
            removeBoth();
            return {BenchOutcome::Refused, tr("the settings were not saved: %1").arg(error)};
        }
    } else {
        QFile::remove(conf);
    }
    device->ExportFPC(fpc);
    // Both files or neither: a backup that is half there would be taken for a whole one.
    QByteArray text;
    const bool fpcWhole = device->FileReport().isEmpty() && readBoundedFile(fpc, FpcFile::MaxBytes, &text) == BoundedRead::Ok
        && FpcFile::parse(text).skipped.isEmpty();
    if (stopping || !fpcWhole) {
        removeBoth();
        if (stopping)
            return {BenchOutcome::Stopped, tr("nothing was saved")};
        const QString why = device->FileReport().isEmpty() ? tr("%1 does not read back as it was written").arg(fpc) : device->FileReport();
        // A register that did not answer is a sensor going, not a file refused.
        return {device->SensorLost() || device->LastExchangeFailed() ? BenchOutcome::Lost : BenchOutcome::Refused, why + tr("; nothing was saved")};
    }
    return {BenchOutcome::Done, withSettings ? tr("saved %1.conf, %1.fpc").arg(baseName)
                                             : tr("saved %1.fpc (a plain sensor has no settings file)").arg(baseName)};
}

}

BenchEngine::BenchEngine(const BenchTask &task, QObject *parent)
    : QObject(parent)
    , m_task(task)
{
}

BenchEngine::~BenchEngine()
{
    // A device still on its way to its thread belongs to that thread once the move has run there:
    // the thread must run (it ends at once, "not started", and moves the device home) before it goes.
    m_stopping = true;
    while (m_moving > 0)
        QThread::msleep(5);
    for (Job &job : m_jobs) {
        if (job.thread) {
            if (!job.thread->isFinished() && !job.thread->isRunning())
                job.thread->start();
            job.thread->wait();
            delete job.thread;
        }
    }
}

BenchOutcome BenchEngine::work(LLSDevice *device, const BenchTask &task, const QString &baseName, const std::atomic<bool> &stopping,
                               const std::function<void(int)> &progress)
{
    auto report = [&progress](int percent) {
        if (progress)
            progress(percent);
    };
    const bool check = task.mode() == BenchTask::Check;
    const QString nothing = check ? QString() : task.mode() == BenchTask::Backup ? tr("; nothing was saved") : tr("; nothing was written");
    if (stopping)
        return {BenchOutcome::Stopped, tr("not started")};
    // A file made for another kind of sensor is refused before the sensor is read: its registers
    // mean other things there.
    if (const QString other = task.otherSensor(*device); !other.isEmpty())
        return {BenchOutcome::Refused, other + nothing};
    if (!device->open())
        return {BenchOutcome::Lost, tr("the port could not be opened")};
    // The sensor on a port may have been swapped since the search (an adapter left plugged in):
    // it says who it is again before anything is read or written.
    QByteArray reply;
    DeviceIdentity identity;
    const bool answered = device->interfaceDriver()->sendRequest(QByteArrayLiteral("ID\r"), reply);
    if (!answered || !parseLevelSensorId(identity, reply)) {
        device->close();
        return {BenchOutcome::Lost, tr("it did not say who it is") + nothing};
    }
    if (identity.deviceId != device->deviceId() || identity.firmwareVersion != device->firmwareVersion()) {
        device->close();
        return {BenchOutcome::Refused, tr("another sensor answers on this port now (ID %1, firmware %2); search again").arg(identity.deviceId, identity.firmwareVersion)
                                           + nothing};
    }
    // open() lifts any earlier stop: one asked for meanwhile must hold.
    if (stopping)
        device->Stop();
    bool read = false;
    int names = 0;
    // The load's own messages say how far it has come: the liquid names are most of it.
    const auto loading = connect(device, &LLSDevice::LoadingMessage, device, [&](const QString &message) {
        report(qMin(35, 5 + (message.startsWith(QLatin1String("Reading Liquid Names")) ? ++names : 20 + names / 2)));
    }, Qt::DirectConnection);
    const auto loaded = connect(device, &LLSDevice::ParameterUpdate, device, [&read] { read = true; }, Qt::DirectConnection);
    // A comparison writes nothing, not even the command that ends a test output.
    device->ReadSettings(!check);
    disconnect(loading);
    disconnect(loaded);
    report(40);
    // The file's part: 40 to 95 %.
    const auto working = connect(device, &LLSDevice::Progress, device, [&](int done, int total) {
        report(40 + 55 * done / qMax(1, total));
    }, Qt::DirectConnection);
    BenchOutcome outcome;
    if (stopping)
        outcome = {BenchOutcome::Stopped, tr("stopped while reading the sensor") + nothing};
    else if (!read)
        outcome = {BenchOutcome::Lost, tr("stopped answering while it was being read") + nothing};
    // A register that did not answer reads as 0: nothing is decided, written or saved on that.
    else if (device->LoadIncomplete())
        outcome = {BenchOutcome::Lost, tr("some registers did not answer while it was being read") + nothing};
    else if (task.mode() == BenchTask::Backup)
        outcome = backup(device, task.target(), baseName, stopping);
    else if (check)
        outcome = compare(device, task, stopping);
    else
        outcome = task.isFpc() ? applyFpc(device, task, stopping) : applySettings(device, task, stopping);
    disconnect(working);
    device->close();
    report(100);
    outcome.leftUnlocked = device->LeftUnlocked();
    // A line that died on the way out (its last failures were the check and the lock) is a lost
    // sensor, whatever the check made of the values it could not read.
    const bool gone = device->SensorLost() || outcome.leftUnlocked;
    if (gone && (outcome.kind == BenchOutcome::Differs || outcome.kind == BenchOutcome::Stopped)) {
        const QString half = device->HalfWritten();
        outcome = {BenchOutcome::Lost, (half.isEmpty() ? tr("stopped answering") : tr("stopped answering; %1 may be half written").arg(half))
                                           + tr(" (before that: %1)").arg(outcome.text),
                   true};
    }
    return outcome;
}

void BenchEngine::start(const QVector<PortReport> &reports, const QList<AbstractDevice *> &devices, const QVector<int> &chosen)
{
    int next = 0;
    for (int r = 0; r < reports.size(); ++r) {
        Job job;
        job.report = reports.at(r);
        if (job.report.outcome == PortReport::Sensor && next < devices.size()) {
            AbstractDevice *device = devices.at(next++);
            job.device = qobject_cast<LLSDevice *>(device);
            if (!job.device)
                job.skipped = tr("%1: skipped (not a level sensor)").arg(device->name());
            job.name = device->name();
            job.id = device->deviceId();
            job.firmware = device->firmwareVersion();
            job.serial = device->serialNumber();
        }
        job.chosen = job.device && !job.report.gone && (chosen.isEmpty() || chosen.contains(r));
        job.finished = !job.chosen;
        job.ended = QDateTime::currentDateTime();
        if (job.device)
            job.description = job.device->ProbeDescription();
        m_jobs.append(job);
    }
    if (m_task.mode() == BenchTask::Backup)
        claimNames();

    for (int i = 0; i < m_jobs.size(); ++i) {
        Job &job = m_jobs[i];
        if (job.finished)
            continue;
        if (job.baseName.isEmpty() && m_task.mode() == BenchTask::Backup) {
            job.outcome = {BenchOutcome::Refused, tr("no file name could be claimed in %1").arg(m_task.target())};
            job.finished = true;
            continue;
        }
        LLSDevice *device = job.device;
        QThread *home = device->thread();
        const QString baseName = job.baseName;
        BenchOutcome *outcome = &job.outcome;
        job.thread = QThread::create([this, i, device, baseName, outcome, home] {
            blockStopSignals();
            int shown = -1;
            *outcome = work(device, m_task, baseName, m_stopping, [this, i, &shown](int percent) {
                if (percent != shown)
                    emit progress(i, shown = percent);
            });
            // The names claimed for a backup that did not happen go with it.
            if (m_task.mode() == BenchTask::Backup && outcome->kind != BenchOutcome::Done) {
                QFile::remove(QDir(m_task.target()).filePath(baseName + QLatin1String(".conf")));
                QFile::remove(QDir(m_task.target()).filePath(baseName + QLatin1String(".fpc")));
            }
            device->moveToThreadWithParts(home);
        });
        connect(job.thread, &QThread::finished, this, [this, i] { onThreadFinished(i); });
        ++m_running;
        QThread *thread = job.thread;
        if (home == QThread::currentThread()) {
            device->moveToThreadWithParts(thread);
            thread->start();
        } else {
            // Only the device's own thread may move it: asked there, the thread starts once it has.
            ++m_moving;
            QMetaObject::invokeMethod(device, [this, device, thread] {
                device->moveToThreadWithParts(thread);
                QMetaObject::invokeMethod(this, [thread] { thread->start(); }, Qt::QueuedConnection);
                --m_moving;
            }, Qt::QueuedConnection);
        }
    }
    // Ports without a chosen level sensor are done at once; the faces hear of them in order with the rest.
    for (int i = 0; i < m_jobs.size(); ++i)
        if (m_jobs.at(i).finished)
            QMetaObject::invokeMethod(this, [this, i] { emit jobFinished(i); }, Qt::QueuedConnection);
    if (m_running == 0)
        QMetaObject::invokeMethod(this, &BenchEngine::finished, Qt::QueuedConnection);
}

QString BenchEngine::outcomeText(const Job &job) const
{
    static const char *const words[] = {"", "refused", "differs", "lost", "stopped"};
    QString text;
    if (job.outcome.kind != BenchOutcome::Done)
        text = tr(words[job.outcome.kind]) + QLatin1String(": ") + job.outcome.text;
    else
        text = m_task.mode() == BenchTask::Apply ? tr("applied") : m_task.mode() == BenchTask::Backup ? job.outcome.text : tr("matches");
    if (job.outcome.leftUnlocked)
        text += tr("; left unlocked: it did not answer the lock, and takes any command on its line until it is locked");
    return text;
}

QString BenchEngine::summary() const
{
    int counts[5] = {};
    int sensors = 0;
    int skipped = 0;
    int unlocked = 0;
    int unusable = 0;  // a port that could not be opened may hold a sensor nobody worked
    for (const Job &job : m_jobs) {
        if (job.chosen) {
            ++sensors;
            ++counts[job.outcome.kind];
            unlocked += job.outcome.leftUnlocked ? 1 : 0;
        } else if (!job.device) {
            ++skipped;
            unusable += job.report.portUnusable() ? 1 : 0;
        }
    }
    const BenchTask::Mode mode = m_task.mode();
    QString text = tr("%1 level %2: %3 %4, %5 refused, %6 differ, %7 lost, %8 stopped; %9 skipped")
                       .arg(sensors)
                       .arg(sensors == 1 ? tr("sensor") : tr("sensors"))
                       .arg(counts[BenchOutcome::Done])
                       .arg(mode == BenchTask::Apply ? tr("applied") : mode == BenchTask::Backup ? tr("saved") : tr("match"))
                       .arg(counts[BenchOutcome::Refused])
                       .arg(counts[BenchOutcome::Differs])
                       .arg(counts[BenchOutcome::Lost])
                       .arg(counts[BenchOutcome::Stopped])
                       .arg(skipped == 1 ? tr("1 port") : tr("%1 ports").arg(skipped));
    if (unlocked > 0)
        text += tr("; %1 left unlocked").arg(unlocked);
    if (unusable > 0)
        text += unusable == 1 ? tr("; 1 port could not be opened") : tr("; %1 ports could not be opened").arg(unusable);
    return text;
}

bool BenchEngine::allDone() const
{
    bool any = false;
    for (const Job &job : m_jobs) {
        if (job.chosen && !job.outcome.ok())
            return false;
        if (!job.device && job.report.portUnusable())
            return false;
        any = any || job.chosen;
    }
    return any;
}

void BenchEngine::keepIdentity(Job &job)
{
    const LLSDevice *d = job.device;
    job.name = d->name();
    job.id = d->deviceId();
    job.firmware = d->firmwareVersion();
    job.serial = d->serialNumber();
    job.description = d->ProbeDescription();
}

void BenchEngine::onThreadFinished(int job)
{
    m_jobs[job].finished = true;
    m_jobs[job].ended = QDateTime::currentDateTime();
    keepIdentity(m_jobs[job]);  // read now: it has just been read from the sensor
    emit jobFinished(job);
    if (--m_running == 0)
        emit finished();
}

void BenchEngine::stop()
{
    if (m_stopping.exchange(true))
        return;
    for (const Job &job : std::as_const(m_jobs))
        if (job.device && job.thread && job.thread->isRunning())
            job.device->Stop();
}

// ID, port and time name a sensor's files (a level sensor's serial is always 000000). Each name
// is claimed by creating both files, each only if it does not exist: another run into the same
// folder in the same second takes the next number, never the same files.
void BenchEngine::claimNames()
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    const QString when = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    const QDir dir(m_task.target());
    for (Job &job : m_jobs) {
        if (!job.chosen)
            continue;
        QString base = QStringLiteral("%1_%2_%3").arg(job.device->deviceId(), job.report.port, when);
        base.replace(unsafe, QStringLiteral("_"));
        for (int n = 1; n < 1000 && job.baseName.isEmpty(); ++n) {
            const QString name = n == 1 ? base : QStringLiteral("%1_%2").arg(base).arg(n);
            QFile conf(dir.filePath(name + QLatin1String(".conf")));
            if (!conf.open(QIODevice::WriteOnly | QIODevice::NewOnly))
                continue;
            QFile fpc(dir.filePath(name + QLatin1String(".fpc")));
            if (!fpc.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                conf.remove();
                continue;
            }
            job.baseName = name;
        }
    }
}
