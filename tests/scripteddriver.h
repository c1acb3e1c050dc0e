#ifndef SCRIPTEDDRIVER_H
#define SCRIPTEDDRIVER_H

#include "device/abstractinterfacedriver.h"

#include <QByteArrayList>
#include <QHash>
#include <functional>

// An in-process driver for unit tests: records every request and answers from a script.
class ScriptedDriver : public AbstractInterfaceDriver
{
    Q_OBJECT
public:
    explicit ScriptedDriver(const QString &portName = QStringLiteral("SCRIPT1"));

    // Answer to give a request; a request without an answer fails (returns false).
    void setReply(const QByteArray &request, const QByteArray &reply);
    // Or decide per request: returns whether the request succeeds and fills the response.
    std::function<bool(const QByteArray &request, QByteArray &response)> responder;

    bool open() override;
    void close() override;
    bool sendRequest(const QByteArray &request, QByteArray &response) override;
    QString type() const override { return m_type; }
    QString name() const override { return m_name; }
    bool connectErrorHandler(QObject *receiver) override;
    QString openError() const override { return refuseOpen; }

    QByteArrayList requests;
    QString refuseOpen;  // when set, open() fails with this reason
    bool isOpen = false;
    int openCount = 0;
    int closeCount = 0;
    bool *destroyedFlag = nullptr;
    ~ScriptedDriver() override;

signals:
    void Error(QString errorMSG);

private:
    QHash<QByteArray, QByteArray> m_replies;
};

#endif
