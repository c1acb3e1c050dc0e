#include "simprocess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

#include <csignal>

QString SimBank::text(int first) const
{
    QByteArray bytes;
    for (int r = first; r < first + 10; ++r)
        bytes += QByteArray::fromHex(QByteArray::number(registers.value(r), 16).rightJustified(8, '0'));
    return QString::fromLatin1(bytes).remove(QRegularExpression("[ \\x00]+$"));
}

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
            if (!line.startsWith("PELLORA_EXTRA_PORTS=")) {
                m_labels << QString::fromLocal8Bit(line).section(" on ", 0, 0);
            } else {
                m_ports = QString::fromLocal8Bit(line.mid(20)).split(',', Qt::SkipEmptyParts);
                // Nothing more comes on stdout: waits are for the log and the dumps.
                m_process.setReadChannel(QProcess::StandardError);
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

QStringList SimProcess::readErrorLines()
{
    m_partial += m_process.readAllStandardError();
    const int end = m_partial.lastIndexOf('\n');
    if (end < 0)
        return {};
    QStringList lines = QString::fromLatin1(m_partial.left(end)).split('\n', Qt::SkipEmptyParts);
    m_partial.remove(0, end + 1);
    // Answers to orders are no part of the log.
    for (auto it = lines.begin(); it != lines.end();) {
        if (!it->startsWith("CONTROL ")) {
            ++it;
            continue;
        }
        if (++m_controlsAnswered == m_controlsSent)
            m_controlAnswer = it->mid(8);
        it = lines.erase(it);
    }
    return lines;
}

bool SimProcess::control(const QString &line, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    ++m_controlsSent;
    m_controlAnswer.clear();
    m_process.write(line.toUtf8() + '\n');
    for (;;) {
        m_log += readErrorLines();
        if (m_controlsAnswered >= m_controlsSent)
            break;
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            qWarning("pellora-sim did not answer \"%s\"", qPrintable(line));
            return false;
        }
        m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
    if (m_controlAnswer != "ok")
        qWarning("pellora-sim refused \"%s\": %s", qPrintable(line), qPrintable(m_controlAnswer));
    return m_controlAnswer == "ok";
}

QStringList SimProcess::takeLog(int quietMs)
{
    m_log += readErrorLines();
    while (quietMs > 0 && m_process.waitForReadyRead(quietMs))
        m_log += readErrorLines();
    QStringList all = m_log;
    m_log.clear();
    return all;
}

int SimProcess::commandsSeen(const QString &port, int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        m_log += readErrorLines();
        int seen = 0;
        for (const QString &line : std::as_const(m_log))
            if (line.startsWith(port + " <- "))
                ++seen;
        if (seen >= count || deadline.hasExpired())
            return seen;
        m_process.waitForReadyRead(20);
    }
}

QMap<QString, SimBank> SimProcess::banks(int timeoutMs)
{
    ::kill(static_cast<pid_t>(m_process.processId()), SIGUSR2);
    QMap<QString, SimBank> banks;
    QDeadlineTimer deadline(timeoutMs);
    bool ended = false;
    for (;;) {
        for (const QString &line : readErrorLines()) {
            if (ended || !line.startsWith("BANK ")) {
                m_log << line;
                continue;
            }
            const QStringList fields = line.split(' ');
            if (fields.at(1) == "END") {
                ended = true;
                continue;
            }
            SimBank &bank = banks[fields.at(1)];
            for (const QString &field : fields.mid(2)) {
                const QString key = field.section('=', 0, 0);
                const QString value = field.section('=', 1);
                if (key == "locked")
                    bank.locked = value == "1";
                else if (key == "measuring")
                    bank.measuring = value == "1";
                else if (key == "fixed")
                    bank.fixed = value.toInt();
                else
                    bank.registers.insert(key.toInt(), value.toUInt(nullptr, 16));
            }
        }
        if (ended)
            return banks;
        if (deadline.hasExpired())
            return {};
        m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
    }
}
