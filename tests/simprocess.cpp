#include "simprocess.h"

#include <QDeadlineTimer>

#include <csignal>

SimProcess::~SimProcess()
{
    stop();
}

QString SimProcess::simulatorPath()
{
    return QStringLiteral(PELLORA_SIM_PATH);
}

QString SimProcess::sensorFile(const QString &name)
{
    return QStringLiteral(PELLORA_SENSOR_DIR) + '/' + name;
}

bool SimProcess::start(const QStringList &arguments, int timeoutMs)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.start(simulatorPath(), arguments);
    if (!m_process.waitForStarted(timeoutMs))
        return false;
    QDeadlineTimer deadline(timeoutMs);
    QByteArray seen;
    while (!deadline.hasExpired()) {
        if (!m_process.canReadLine() && !m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))))
            continue;
        while (m_process.canReadLine()) {
            const QByteArray line = m_process.readLine().trimmed();
            seen += line + '\n';
            if (line.startsWith("PELLORA_EXTRA_PORTS=")) {
                m_ports = QString::fromLocal8Bit(line.mid(20)).split(',', Qt::SkipEmptyParts);
                return true;
            }
        }
        if (m_process.state() != QProcess::Running)
            break;
    }
    qWarning("pellora-sim did not get ready: %s %s", seen.constData(), m_process.readAllStandardError().constData());
    return false;
}

void SimProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    ::kill(static_cast<pid_t>(m_process.processId()), SIGCONT);
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

void SimProcess::stallWrites()
{
    ::kill(static_cast<pid_t>(m_process.processId()), SIGUSR1);
}

void SimProcess::pause()
{
    ::kill(static_cast<pid_t>(m_process.processId()), SIGSTOP);
}

QStringList SimProcess::takeLog()
{
    const QStringList lines = QString::fromLatin1(m_process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    m_log += lines;
    QStringList all = m_log;
    m_log.clear();
    return all;
}

int SimProcess::commandsSeen(const QString &port, int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        m_log += QString::fromLatin1(m_process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        int seen = 0;
        for (const QString &line : qAsConst(m_log))
            if (line.startsWith(port + " <- "))
                ++seen;
        if (seen >= count || deadline.hasExpired())
            return seen;
        m_process.waitForReadyRead(20);
    }
}
