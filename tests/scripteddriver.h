#ifndef SCRIPTEDDRIVER_H
#define SCRIPTEDDRIVER_H

#include "device/abstractinterfacedriver.h"

#include <QByteArrayList>
#include <QHash>
#include <functional>

// An in-process driver for unit tests, on port "SCRIPT1": records every request and answers from a script.
class ScriptedDriver : public AbstractInterfaceDriver
{
    Q_OBJECT
public:
    ~ScriptedDriver() override
    {
        if (destroyedFlag)
            *destroyedFlag = true;
    }

    // Answer to give a request; a request without an answer fails (returns false).
    void setReply(const QByteArray &request, const QByteArray &reply) { m_replies.insert(request, reply); }
    // Or decide per request: returns whether the request succeeds and fills the response.
    std::function<bool(const QByteArray &request, QByteArray &response)> responder;

    bool open() override { return isOpen = true; }
    void close() override
    {
        ++closeCount;
        isOpen = false;
    }
    bool sendRequest(const QByteArray &request, QByteArray &response) override
    {
        requests.append(request);
        if (responder)
            return responder(request, response);
        if (m_replies.contains(request))
            response = m_replies.value(request);
        return m_replies.contains(request);
    }
    QString type() const override { return QStringLiteral("serialport"); }
    QString name() const override { return QStringLiteral("SCRIPT1"); }
    // Its errors are never raised, so nobody needs to hear them.
    bool connectErrorHandler(QObject *) override { return false; }

    QByteArrayList requests;
    bool isOpen = false;
    int closeCount = 0;
    bool *destroyedFlag = nullptr;

private:
    QHash<QByteArray, QByteArray> m_replies;
};

#endif
