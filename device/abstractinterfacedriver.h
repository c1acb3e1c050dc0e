#ifndef ABSTRACTINTERFACEDRIVER_H
#define ABSTRACTINTERFACEDRIVER_H

#include "device/portreport.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// A byte transport to one sensor: writes a command, gathers the reply up to the prompt '>'.
class AbstractInterfaceDriver : public QObject
{
    Q_OBJECT
public:
    AbstractInterfaceDriver() : QObject(nullptr) {}
    ~AbstractInterfaceDriver() override = default;

    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool sendRequest(const QByteArray &request, QByteArray &response) = 0;
    // The same with at most this many attempts: on the way out (the lock as a port closes, a
    // window closing), a dead line must cost one or two waits, not three.
    virtual bool sendRequestWithAttempts(const QByteArray &request, QByteArray &response, int attempts)
    {
        Q_UNUSED(attempts)
        return sendRequest(request, response);
    }
    virtual QString type() const = 0;
    virtual QString name() const = 0;
    // Connects the driver's Error(QString) signal to receiver's onInterfaceError(const QString &) slot.
    virtual bool connectErrorHandler(QObject *receiver) = 0;
    // Why the last open() failed, in the system's words; empty when it did not.
    virtual QString openError() const { return QString(); }
    // The same as one of the scan report's outcomes (PermissionDenied, Busy or CannotOpen).
    virtual PortReport::Outcome openFailure() const { return PortReport::CannotOpen; }
    // Moves the driver, and whatever port object it works, to another thread: a scan probes each
    // port on a thread of its own. Called from the driver's current thread, with the port closed.
    virtual void moveToThreadWithPort(QThread *thread) { moveToThread(thread); }

protected:
    QString m_type;
    QString m_name;
};

#endif
