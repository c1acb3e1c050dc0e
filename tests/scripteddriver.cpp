#include "scripteddriver.h"

ScriptedDriver::ScriptedDriver(const QString &portName)
{
    m_type = QStringLiteral("serialport");
    m_name = portName;
}

ScriptedDriver::~ScriptedDriver()
{
    if (destroyedFlag)
        *destroyedFlag = true;
}

void ScriptedDriver::setReply(const QByteArray &request, const QByteArray &reply)
{
    m_replies.insert(request, reply);
}

bool ScriptedDriver::open()
{
    ++openCount;
    isOpen = refuseOpen.isEmpty();
    return isOpen;
}

void ScriptedDriver::close()
{
    ++closeCount;
    isOpen = false;
}

bool ScriptedDriver::sendRequest(const QByteArray &request, QByteArray &response)
{
    requests.append(request);
    if (responder)
        return responder(request, response);
    auto it = m_replies.constFind(request);
    if (it == m_replies.constEnd())
        return false;
    response = it.value();
    return true;
}

bool ScriptedDriver::connectErrorHandler(QObject *receiver)
{
    return static_cast<bool>(connect(this, SIGNAL(Error(QString)), receiver, SLOT(onInterfaceError(QString))));
}
