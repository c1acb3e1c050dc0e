#include "app/batchrun.h"

#include "app/commandline.h"
#include "device/abstractinterfacedriver.h"
#include "device/boundedfile.h"
#include "device/devicemanager.h"
#include "lls/device/llsdevice.h"
#include "lls/device/llssettings.h"

#include <QCoreApplication>
#include <QFile>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSocketNotifier>
#include <QTextStream>
#include <QThread>

#include <cerrno>
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace {

// SIGINT and SIGTERM only write a byte to this pipe; the event loop stops the sensors.
int stopPipe[2] = {-1, -1};

void passStop(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
    errno = saved;
}

// The workers leave the two signals to the main thread, so that no exchange is cut short by one.
void blockStopSignals(int how)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(how, &set, nullptr);
}

}

BatchRun::BatchRun(Mode mode, const QString &target)
    : m_mode(mode)
    , m_target(target)
{
}

BatchRun::~BatchRun()
{
    delete m_manager;
}

bool BatchRun::readFile(QString *error)
{
    if (m_target.trimmed().isEmpty()) {
        *error = m_mode == Apply ? tr("--apply needs a file") : tr("--backup needs a folder");
        return false;
    }
    if (m_mode == Backup) {
        if (!QDir().mkpath(m_target) || !QFileInfo(m_target).isWritable()) {
            *error = tr("cannot write to the folder %1").arg(m_target);
            return false;
        }
        return true;
    }
    const QString suffix = QFileInfo(m_target).suffix().toLower();
    QByteArray text;
    if (suffix == QLatin1String("conf")) {
        if (readBoundedFile(m_target, SettingsFile::MaxBytes, &text) != BoundedRead::Ok) {
            *error = tr("%1 cannot be read (a settings file is a text file under %2 bytes)").arg(m_target).arg(SettingsFile::MaxBytes);
            return false;
        }
        if (!SettingsFile::checkText(text)) {
            *error = tr("the checksum of %1 does not hold: the file was changed or damaged").arg(m_target);
            return false;
        }
        m_settings = SettingsFile::read(m_target, &m_hasSensorType);
        return true;
    }
    if (suffix == QLatin1String("fpc")) {
        if (readBoundedFile(m_target, FpcFile::MaxBytes, &text) != BoundedRead::Ok) {
            *error = tr("%1 cannot be read (an FPC file is a text file under %2 KB)").arg(m_target).arg(FpcFile::MaxBytes / 1024);
            return false;
        }
        m_fpc = true;
        m_import = FpcFile::parse(text);
        // A line the import would skip is a setting left out on every sensor of the bench.
        if (!m_import.skipped.isEmpty()) {
            *error = tr("%1 has lines that cannot be imported: %2").arg(m_target, m_import.skipped.mid(0, 5).join(QStringLiteral("; ")));
            return false;
        }
        if (!FpcFile::isOwnHeader(m_import.header)) {
            *error = tr("the header of %1 does not say which sensor it is for").arg(m_target);
            return false;
        }
        return true;
    }
    *error = tr("%1 is neither a settings file (.conf) nor an FPC file (.fpc)").arg(m_target);
    return false;
}

// ID, serial and time name a sensor's files; two sensors alike in all three, or a file already
// there, get a number after them.
void BatchRun::chooseNames()
{
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    const QString when = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QSet<QString> taken;
    const QDir dir(m_target);
    for (Job &job : m_jobs) {
        if (!job.device)
            continue;
        QString base = QStringLiteral("%1_%2_%3").arg(job.device->deviceId(), job.device->serialNumber(), when);
        base.replace(unsafe, QStringLiteral("_"));
        QString name = base;
        for (int n = 2; taken.contains(name) || dir.exists(name + QLatin1String(".conf")) || dir.exists(name + QLatin1String(".fpc")); ++n)
            name = QStringLiteral("%1_%2").arg(base).arg(n);
        taken.insert(name);
        job.baseName = name;
    }
}

int BatchRun::run()
{
    QTextStream err(stderr);
    QString error;
    if (!readFile(&error)) {
        err << "pellora: " << error << Qt::endl;
        return 2;
    }
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        QSocketNotifier *notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            char byte;
            [[maybe_unused]] const ssize_t n = ::read(stopPipe[0], &byte, 1);
            stop();
        });
        struct sigaction action = {};
        action.sa_handler = passStop;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }

    m_manager = CommandLine::scan();
    if (!m_manager)
        return 1;
    // A stop asked for during the scan is seen here.
    QCoreApplication::processEvents();
    const QList<AbstractDevice *> &devices = m_manager->devices();
    int next = 0;
    for (const PortReport &report : m_manager->portReports()) {
        Job job;
        job.report = report;
        if (report.outcome == PortReport::Sensor && next < devices.size()) {
            AbstractDevice *device = devices.at(next++);
            job.device = qobject_cast<LLSDevice *>(device);
            if (!job.device)
                job.skipped = tr("%1: skipped (not a level sensor)").arg(device->name());
        }
        m_jobs.append(job);
    }
    if (m_mode == Backup)
        chooseNames();

    QEventLoop loop;
    int running = 0;
    for (Job &job : m_jobs) {
        if (!job.device)
            continue;
        if (m_stopping) {
            job.outcome = {Stopped, tr("not started")};
            continue;
        }
        job.thread = QThread::create([this, &job, home = QThread::currentThread()] {
            blockStopSignals(SIG_BLOCK);
            job.outcome = work(job);
            job.device->moveToThreadWithParts(home);
        });
        job.device->moveToThreadWithParts(job.thread);
        connect(job.thread, &QThread::finished, &loop, [this, &loop, &running] {
            printFinished();
            if (--running == 0)
                loop.quit();
        });
        ++running;
        job.thread->start();
    }
    if (running > 0)
        loop.exec();
    printFinished();
    for (Job &job : m_jobs)
        delete job.thread;
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return summary();
}

void BatchRun::stop()
{
    if (m_stopping.exchange(true))
        return;
    QTextStream(stderr) << "pellora: stopping every sensor after its current exchange" << Qt::endl;
    for (const Job &job : std::as_const(m_jobs))
        if (job.device && job.thread && job.thread->isRunning())
            job.device->Stop();
}

BatchRun::Outcome BatchRun::work(Job &job)
{
    LLSDevice *device = job.device;
    bool read = false;
    connect(device, &LLSDevice::ParameterUpdate, device, [&read] { read = true; }, Qt::DirectConnection);
    Outcome outcome;
    if (m_stopping) {
        outcome = {Stopped, tr("not started")};
    } else if (const QString other = otherSensor(device); !other.isEmpty()) {
        outcome = {Refused, other};
    } else if (!device->open()) {
        outcome = {Lost, tr("the port could not be opened")};
    } else {
        // open() lifts any earlier stop: one asked for meanwhile must hold.
        if (m_stopping)
            device->Stop();
        device->ReadParameter();
        if (m_stopping)
            outcome = {Stopped, tr("stopped while reading the sensor; nothing was written")};
        else if (!read)
            outcome = {Lost, tr("stopped answering while it was being read; nothing was written")};
        else if (m_mode == Backup)
            outcome = backup(device, job.baseName);
        else
            outcome = m_fpc ? applyFpc(device) : applySettings(device);
        device->close();
    }
    disconnect(device, &LLSDevice::ParameterUpdate, device, nullptr);
    return outcome;
}

// A file made for another kind of sensor is refused before the sensor is read: its registers
// mean other things there.
QString BatchRun::otherSensor(const LLSDevice *device) const
{
    if (m_mode == Backup)
        return {};
    const QString id = m_fpc ? FpcFile::headerField(m_import.header, 1) : m_settings.value(QStringLiteral("sensorType/Serial"));
    const QString firmware = m_fpc ? device->firmwareVersion() : m_settings.value(QStringLiteral("sensorType/Firmware"));
    if (id == device->deviceId() && firmware == device->firmwareVersion())
        return {};
    return m_fpc ? tr("the file is for sensor ID %1, this one is %2").arg(id, device->deviceId())
                 : tr("the file is for sensor ID %1, firmware %2; this one is ID %3, firmware %4")
                       .arg(id, firmware, device->deviceId(), device->firmwareVersion());
}

BatchRun::Outcome BatchRun::applySettings(LLSDevice *device)
{
    if (!SettingsFile::matchesSensor(m_settings, m_hasSensorType, device->deviceId(), device->firmwareVersion(), device->OutputType()))
        return {Refused, tr("the file is for a sensor with a %1 output, this one has %2")
                             .arg(m_settings.value(QStringLiteral("sensorType/ProductType")), device->OutputType())};
    const SettingsFile::Sensor sensor = LLSSettings::sensorOf(*device, device->OutputType());
    if (!sensor.industrial())
        return {Refused, tr("this sensor has no measuring range, output or switch settings")};
    QString error;
    const QVector<SettingsFile::Request> requests = SettingsFile::plan(m_settings, sensor, &error);
    if (requests.isEmpty())
        return {Refused, error};
    // The output range goes first, and nothing follows a setting the sensor did not take: a range
    // the sensor refuses (beyond its converter) then leaves it exactly as it was.
    QVector<SettingsFile::Request> ordered = requests;
    std::stable_partition(ordered.begin(), ordered.end(), [](const SettingsFile::Request &r) { return r.param == QLatin1String("outputRange"); });
    QStringList notTaken;
    const auto connection = connect(device, &LLSDevice::NotTaken, device, [&notTaken](const QStringList &s) { notTaken << s; }, Qt::DirectConnection);
    int sent = 0;
    for (const SettingsFile::Request &request : std::as_const(ordered)) {
        if (m_stopping || device->SensorLost() || !notTaken.isEmpty())
            break;
        device->SetParam(request.param, request.values);
        ++sent;
    }
    disconnect(connection);
    if (!notTaken.isEmpty() && sent < ordered.size())
        notTaken << tr("(the rest of the file was not sent)");
    Outcome outcome = afterWrites(device, notTaken);
    if (outcome.kind == Done) {
        const QStringList wrong = LLSSettings::mismatches(m_settings, sensor, *device);
        if (!wrong.isEmpty())
            outcome = {Differs, wrong.join(QStringLiteral(", "))};
    }
    return outcome;
}

BatchRun::Outcome BatchRun::applyFpc(LLSDevice *device)
{
    SetParamStruct s;
    s.text = m_target;
    device->SetParam(QStringLiteral("importFPC"), s);
    Outcome outcome = afterWrites(device, {});
    if (outcome.kind == Done && !device->FileReport().isEmpty())
        outcome = {Differs, device->FileReport()};
    return outcome;
}

BatchRun::Outcome BatchRun::afterWrites(LLSDevice *device, const QStringList &notTaken) const
{
    if (m_stopping)
        return {Stopped, tr("part of the file may have been written")};
    if (device->SensorLost())
        return {Lost, tr("stopped answering; part of the file may have been written")};
    if (!notTaken.isEmpty())
        return {Differs, notTaken.join(QStringLiteral(", "))};
    return {};
}

BatchRun::Outcome BatchRun::backup(LLSDevice *device, const QString &baseName)
{
    const QString conf = QDir(m_target).filePath(baseName + QLatin1String(".conf"));
    const QString fpc = QDir(m_target).filePath(baseName + QLatin1String(".fpc"));
    // As the window's Save Settings: a file that a load would refuse is no backup.
    QString error = LLSSettings::saveRefusal(*device, device->OutputType());
    if (!error.isEmpty() || !SettingsFile::save(conf, LLSSettings::valuesOf(*device, device->OutputType()), &error))
        return {Refused, tr("the settings were not saved: %1").arg(error)};
    SetParamStruct s;
    s.text = fpc;
    device->SetParam(QStringLiteral("exportFPC"), s);
    // Both files or neither: a backup that is half there would be taken for a whole one.
    QByteArray text;
    const bool fpcWhole = device->FileReport().isEmpty() && readBoundedFile(fpc, FpcFile::MaxBytes, &text) == BoundedRead::Ok
        && FpcFile::parse(text).skipped.isEmpty();
    if (m_stopping || !fpcWhole) {
        QFile::remove(conf);
        QFile::remove(fpc);
        if (m_stopping)
            return {Stopped, tr("nothing was saved")};
        const QString why = device->FileReport().isEmpty() ? tr("%1 does not read back as it was written").arg(fpc) : device->FileReport();
        return {device->SensorLost() ? Lost : Refused, why};
    }
    return {Done, tr("saved %1.conf, %1.fpc").arg(baseName)};
}

// Lines go out in port order as soon as a port and every port before it are done.
void BatchRun::printFinished()
{
    QTextStream out(stdout);
    static const char *const words[] = {"", "refused", "differs", "lost", "stopped"};
    for (; m_printed < m_jobs.size(); ++m_printed) {
        const Job &job = m_jobs.at(m_printed);
        if (job.thread && !job.thread->isFinished())
            return;
        if (!job.device) {
            out << (job.skipped.isEmpty() ? job.report.text() + tr(": skipped") : job.report.port + QLatin1String(": ") + job.skipped) << Qt::endl;
            continue;
        }
        const LLSDevice *d = job.device;
        out << job.report.port << ": " << d->name() << " (ID " << d->deviceId() << ", serial " << d->serialNumber() << "): ";
        if (job.outcome.kind == Done)
            out << (m_mode == Apply ? tr("applied") : job.outcome.text) << Qt::endl;
        else
            out << words[job.outcome.kind] << ": " << job.outcome.text << Qt::endl;
    }
}

int BatchRun::summary()
{
    int counts[5] = {};
    int sensors = 0;
    int skipped = 0;
    for (const Job &job : std::as_const(m_jobs)) {
        if (job.device) {
            ++sensors;
            ++counts[job.outcome.kind];
        } else {
            ++skipped;
        }
    }
    QTextStream(stdout) << tr("%1 level %2: %3 %4, %5 refused, %6 differ, %7 lost, %8 stopped; %9 skipped")
                               .arg(sensors)
                               .arg(sensors == 1 ? tr("sensor") : tr("sensors"))
                               .arg(counts[Done])
                               .arg(m_mode == Apply ? tr("applied") : tr("saved"))
                               .arg(counts[Refused])
                               .arg(counts[Differs])
                               .arg(counts[Lost])
                               .arg(counts[Stopped])
                               .arg(skipped == 1 ? tr("1 port") : tr("%1 ports").arg(skipped))
                        << Qt::endl;
    return sensors > 0 && counts[Done] == sensors && !m_stopping ? 0 : 1;
}
