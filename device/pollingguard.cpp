#include "device/pollingguard.h"

#include "device/logcategories.h"

#include <QDebug>

PollingGuard::PollingGuard(QObject *parent)
    : QObject(parent)
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(RetryDelayMs);
    connect(&m_retry, &QTimer::timeout, this, &PollingGuard::retryDue);
}

void PollingGuard::succeeded()
{
    m_failures = 0;
}

bool PollingGuard::failed(const QString &message)
{
    if (m_lost)
        return false;
    ++m_failures;
    qCDebug(lcDevice).noquote() << message << QStringLiteral("(%1 of %2)").arg(m_failures).arg(MaxFailures);
    if (m_failures >= MaxFailures) {
        portLost(message);
        return false;
    }
    m_retry.start();
    return true;
}

void PollingGuard::portLost(const QString &message)
{
    if (m_lost)
        return;
    m_lost = true;
    m_retry.stop();
    emit lost(message);
}

void PollingGuard::cancel()
{
    m_retry.stop();
}
