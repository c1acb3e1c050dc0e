#include "app/batchrun.h"

#include "app/benchengine.h"
#include "app/benchreport.h"
#include "app/commandline.h"
#include "device/devicemanager.h"
#include "lls/device/llsdevice.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The stop signals only write a byte to this pipe; the event loop stops the sensors.
int stopPipe[2] = {-1, -1};

void passStop(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
    errno = saved;
}

// Ctrl+C, a kill, a dropped SSH session (SIGHUP) and Ctrl+\ all stop the bench the same way:
// after the writes under way, with every sensor locked again and a report of what was done.
const int StopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

}

BatchRun::BatchRun(BenchTask::Mode mode, const QString &target, const QString &report)
    : m_mode(mode)
    , m_target(target)
    , m_report(report)
{
}



BatchRun::~BatchRun()
{
    delete m_engine;
    delete m_manager;
}

int BatchRun::run()
{
    BenchTask task;
    QString error;
    if (!task.prepare(m_mode, m_target, &error)) {
        QTextStream(stderr) << "pellora: " << error << Qt::endl;
        return 2;
    }
    // A report that could not be written is known before any sensor is touched.
    const QFileInfo report(m_report);
    if (!m_report.isEmpty() && (report.isDir() || !QFileInfo(report.absolutePath()).isWritable())) {
        QTextStream(stderr) << "pellora: " << tr("the report cannot be written to %1").arg(m_report) << Qt::endl;
        return 2;
    }
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        auto *notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            char byte;
            [[maybe_unused]] const ssize_t n = ::read(stopPipe[0], &byte, 1);
            if (!m_stopAsked)
                QTextStream(stderr) << "pellora: stopping every sensor after the settings it is writing" << Qt::endl;
            m_stopAsked = true;
            if (m_engine)
                m_engine->stop();
        });
        struct sigaction action = {};
        action.sa_handler = passStop;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (int signal : StopSignals)
            sigaction(signal, &action, nullptr);
    }
    // A terminal or pipe that went away with the session must not end the run between two writes.
    std::signal(SIGPIPE, SIG_IGN);

    m_manager = CommandLine::scan();
    if (!m_manager)
        return 1;
    m_engine = new BenchEngine(task);
    // A stop asked for during the scan is seen before any sensor is started.
    QCoreApplication::processEvents();
    if (m_stopAsked)
        m_engine->stop();
    QEventLoop loop;
    connect(m_engine, &BenchEngine::jobFinished, this, [this] { printFinished(); });
    connect(m_engine, &BenchEngine::finished, &loop, &QEventLoop::quit);
    m_engine->start(m_manager->portReports(), m_manager->devices());
    loop.exec();
    printFinished();
    // The report is written once every sensor is done; a report that cannot be written fails the run.
    bool reported = true;
    if (!m_report.isEmpty()) {
        QString error;
        reported = BenchReport::write(m_report, *m_engine, &error);
        if (!reported)
            QTextStream(stderr) << "pellora: " << error << Qt::endl;
    }
    for (int signal : StopSignals)
        std::signal(signal, SIG_DFL);
    const int code = summary();
    return code == 0 && !reported ? 1 : code;
}

// Lines go out in port order as soon as a port and every port before it are done.
void BatchRun::printFinished()
{
    QTextStream out(stdout);
    const QVector<BenchEngine::Job> &jobs = m_engine->jobs();
    for (; m_printed < jobs.size(); ++m_printed) {
        const BenchEngine::Job &job = jobs.at(m_printed);
        if (!job.finished)
            return;
        if (!job.device) {
            out << (job.skipped.isEmpty() ? job.report.text() + tr(": skipped") : job.report.port + QLatin1String(": ") + job.skipped) << Qt::endl;
            continue;
        }
        const LLSDevice *d = job.device;
        out << job.report.port << ": " << d->name() << " (ID " << d->deviceId() << ", serial " << d->serialNumber() << "): "
            << m_engine->outcomeText(job) << Qt::endl;
    }
}

int BatchRun::summary()
{
    QTextStream(stdout) << m_engine->summary() << Qt::endl;
    // A run the user stopped ends with 1 even when every sensor got there first.
    return m_engine->allDone() && !m_stopAsked ? 0 : 1;
}
