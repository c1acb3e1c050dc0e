#ifndef POLLINGGUARD_H
#define POLLINGGUARD_H

#include "device/serialportdriver.h"

#include <QObject>
#include <QTimer>

// How a form's request loop treats a sensor that stops answering; both sensor families use it.
// A request on a closed or dead port can fail at once, so after a failure the next request waits
// as long as a silent exchange would have taken. After MaxFailures failures in a row, or at once
// when the port cannot be opened, the sensor counts as lost.
class PollingGuard : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxFailures = 3;
    static constexpr int RetryDelayMs = SerialPortDriver::SilentRequestMs;

    explicit PollingGuard(QObject *parent = nullptr);

    // A usable reply: the failures start counting again.
    void succeeded();
    // A failed exchange. True while the loop should go on: retryDue follows after the delay.
    // False once the sensor counts as lost: lost has been emitted.
    bool failed(const QString &message);
    // The port cannot be used at all.
    void portLost(const QString &message);
    // No retry is to come (the form is left or replaced); the count is kept.
    void cancel();

    int failures() const { return m_failures; }
    bool isLost() const { return m_lost; }
    bool retryPending() const { return m_retry.isActive(); }

signals:
    void retryDue();
    void lost(QString message);

private:
    QTimer m_retry;
    int m_failures = 0;
    bool m_lost = false;
};

#endif
