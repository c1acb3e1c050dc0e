#include "messagelog.h"

#include <QMutex>

namespace {
QMutex mutex;
QStringList captured;

void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QMutexLocker lock(&mutex);
    captured.append(message);
}
}

MessageLog::MessageLog()
{
    clear();
    m_previous = qInstallMessageHandler(capture);
}

MessageLog::~MessageLog()
{
    qInstallMessageHandler(m_previous);
}

QStringList MessageLog::lines() const
{
    QMutexLocker lock(&mutex);
    return captured;
}

bool MessageLog::contains(const QString &text) const
{
    QMutexLocker lock(&mutex);
    for (const QString &line : qAsConst(captured))
        if (line.contains(text))
            return true;
    return false;
}

void MessageLog::clear()
{
    QMutexLocker lock(&mutex);
    captured.clear();
}
