#include "device/serialportdriver.h"

#include "device/logcategories.h"
#include "device/tracelog.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSerialPort>
#include <QSerialPortInfo>
#include <QThread>

#include <unistd.h>

namespace {
const char ExcludedPorts[] = "LPT[1-9][0-9]*";

// A port whose other side is gone (a hung-up terminal, an unplugged adapter) makes the blocking
// waits return at once. Sleeping out the rest of the wait keeps a retry loop, or a form that polls
// without pause, from spinning the worker thread.
void sleepOutRemainder(const QElapsedTimer &clock, int msecs)
{
    const qint64 left = msecs - clock.elapsed();
    if (left > 0)
        QThread::msleep(static_cast<unsigned long>(left));
}

// Qt names a port by its path less "/dev/"; pseudo-terminals and links keep their whole path.
QString locationOf(const QString &portName)
{
    return portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
}
}

SerialPortDriver::SerialPortDriver(QSerialPort *port)
    : port(port)
{
    m_type = QStringLiteral("serialport");
    m_name = port->portName();
}

SerialPortDriver::~SerialPortDriver()
{
    if (port->isOpen())
        port->close();
    delete port;
}

void SerialPortDriver::applyLineSettings(QSerialPort *port)
{
    port->setBaudRate(QSerialPort::Baud19200, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
}

bool SerialPortDriver::isExcludedPortName(const QString &portName)
{
    const QStringList patterns = QString::fromLatin1(ExcludedPorts).split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &pattern : patterns) {
        const QRegularExpression rx(pattern);
        if (rx.isValid() && rx.match(portName).hasMatch())
            return true;
    }
    return false;
}

namespace {
QStringList commandLinePorts;
bool portListSet = false;
}

void SerialPortDriver::setPortList(const QStringList &paths)
{
    commandLinePorts = paths;
    portListSet = true;
}

QVector<AbstractInterfaceDriver *> SerialPortDriver::availableInterfaces()
{
    if (portListSet)
        return withoutDuplicates(interfacesFor(commandLinePorts));
    QVector<AbstractInterfaceDriver *> drivers;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        auto *port = new QSerialPort;
        applyLineSettings(port);
        if (isExcludedPortName(info.portName())) {
            delete port;
            continue;
        }
        port->setPort(info);
        drivers.append(new SerialPortDriver(port));
    }

    // Pseudo-terminals are never listed by the system; they are reached by path.
    return withoutDuplicates(drivers + interfacesFor({}));
}

// One device named twice (by the system and in PELLORA_EXTRA_PORTS, or through a link) would be
// probed and worked by two threads at once: only its first name is kept.
QVector<AbstractInterfaceDriver *> SerialPortDriver::withoutDuplicates(const QVector<AbstractInterfaceDriver *> &drivers)
{
    QVector<AbstractInterfaceDriver *> kept;
    QSet<QString> seen;
    for (AbstractInterfaceDriver *driver : drivers) {
        // Pseudo-terminals have no port info to ask.
        const QString location = locationOf(static_cast<SerialPortDriver *>(driver)->port->portName());
        const QString canonical = QFileInfo(location).canonicalFilePath();
        if (seen.contains(canonical.isEmpty() ? location : canonical)) {
            delete driver;
            continue;
        }
        seen.insert(canonical.isEmpty() ? location : canonical);
        kept.append(driver);
    }
    return kept;
}

QVector<AbstractInterfaceDriver *> SerialPortDriver::interfacesFor(const QStringList &paths)
{
    QVector<AbstractInterfaceDriver *> drivers;
    const QStringList extras = qEnvironmentVariable("PELLORA_EXTRA_PORTS").split(QLatin1Char(','), Qt::SkipEmptyParts);
    const QStringList all = paths + extras;
    for (int i = 0; i < all.size(); ++i) {
        const QString path = all.at(i).trimmed();
        if (path.isEmpty())
            continue;
        auto *port = new QSerialPort;
        applyLineSettings(port);
        port->setPortName(path);
        // An extra port that is not there has not appeared yet (a watched adapter, a link still to
        // come). A port the user named is tried all the same: they hear that it cannot be opened.
        const bool missingExtra = i >= paths.size() && !QFileInfo::exists(locationOf(port->portName()));
        if (missingExtra || isExcludedPortName(port->portName())) {
            delete port;
            continue;
        }
        drivers.append(new SerialPortDriver(port));
    }
    return drivers;
}

bool SerialPortDriver::open()
{
    if (port->isOpen()) {
        qCDebug(lcWire).noquote() << "Port " + m_name + " already open! (Check if it have been closed properly previously!)";
        return true;
    }
    return port->open(QIODevice::ReadWrite);
}

void SerialPortDriver::close()
{
    port->close();
}

bool SerialPortDriver::waitForReadyRead(int msecs)
{
    QElapsedTimer clock;
    clock.start();
    if (port->waitForReadyRead(msecs))
        return true;
    sleepOutRemainder(clock, msecs);
    return false;
}

bool SerialPortDriver::waitForBytesWritten(int msecs)
{
    QElapsedTimer clock;
    clock.start();
    if (port->waitForBytesWritten(msecs))
        return true;
    sleepOutRemainder(clock, msecs);
    return false;
}

bool SerialPortDriver::sendRequest(const QByteArray &request, QByteArray &response)
{
    return exchange(request, response, MaxAttempts);
}

bool SerialPortDriver::sendRequestWithAttempts(const QByteArray &request, QByteArray &response, int attempts)
{
    return exchange(request, response, qBound(1, attempts, MaxAttempts));
}

namespace {

// Every reply to a command (the text up to its CR) begins with the command itself. The bootloader's
// wake-up bytes are no such command, and their answer carries no echo.
QByteArray echoOf(const QByteArray &request)
{
    return request.endsWith('\r') ? request : QByteArray();
}

// Whether data is, or may still become, the reply to the command with this echo.
bool couldBeReplyTo(const QByteArray &data, const QByteArray &echo)
{
    const int n = qMin(data.size(), echo.size());
    return data.left(n) == echo.left(n);
}

// A reply that came after its request's wait arrives during a later exchange. Whole replies that
// are not this request's are dropped from the front, so that they are never taken for its answer;
// returns the bytes dropped.
QByteArray dropOtherReplies(QByteArray &data, const QByteArray &echo)
{
    QByteArray dropped;
    while (!data.isEmpty() && !couldBeReplyTo(data, echo)) {
        const int prompt = data.indexOf('>');
        if (prompt < 0)
            break;  // its end is still to come, or it is noise
        dropped += data.left(prompt + 1);
        data.remove(0, prompt + 1);
    }
    return dropped;
}

}

bool SerialPortDriver::exchange(const QByteArray &request, QByteArray &response, int maxAttempts)
{
    // The window is closing and waits for this thread: a long run of requests (a load, a scan)
    // ends at once instead of costing its waits one by one. A single attempt still goes: the
    // lock that closing sends.
    if (maxAttempts > 1 && QThread::currentThread()->isInterruptionRequested())
        return false;
    if (!port->isOpen()) {
        if (request == "ID\r")
            return false;
        qCDebug(lcWire) << "";
        qCDebug(lcWire) << QString("msg (on " + m_name + ")[") + QString::fromLatin1(request) + "]";
        qCDebug(lcWire) << "Port closed!";
        TraceLog::record(m_name, "->", request, "port closed");
        return false;
    }

    const QByteArray echo = echoOf(request);
    int attempts = 0;
    bool received = false;
    for (;;) {
        ++attempts;
        // Whatever is still waiting belongs to an earlier request: it must not answer this one.
        port->clear(QSerialPort::Input);
        const QByteArray leftOver = port->readAll();
        if (!leftOver.isEmpty())
            TraceLog::record(m_name, "<-", leftOver, "dropped");
        port->write(request.constData(), request.size());
        if (!waitForBytesWritten(WriteTimeoutMs)) {
            qCDebug(lcWire) << "Wait write request timeout:" << WriteTimeoutMs << m_name
                     << " Bytes waiting to be written: " << port->bytesToWrite();
            // Unsent bytes would go out late, ahead of every later command, should the line recover.
            port->clear(QSerialPort::Output);
            TraceLog::record(m_name, "->", request, "write time-out");
            emit Error(QStringLiteral("writeRequestTimeout"));
        } else {
            TraceLog::record(m_name, "->", request, "sent");
            QElapsedTimer sinceWrite;
            sinceWrite.start();
            if (!waitForReadyRead(FirstByteTimeoutMs)) {
                TraceLog::record(m_name, "<-", QByteArray(), "time-out");
            } else {
                QByteArray data = port->readAll();
                QByteArray dropped = dropOtherReplies(data, echo);
                QElapsedTimer replyClock;
                replyClock.start();
                // Until this request's reply has begun, its first byte is still awaited.
                auto nextWait = [&] { return data.isEmpty() ? int(qMax<qint64>(0, FirstByteTimeoutMs - sinceWrite.elapsed())) : GapTimeoutMs; };
                for (int wait = nextWait(); wait > 0 && waitForReadyRead(wait); wait = nextWait()) {
                    data.append(port->readAll());
                    dropped += dropOtherReplies(data, echo);
                    if (!data.isEmpty() && couldBeReplyTo(data, echo) && data.endsWith('>'))
                        break;
                    if (data.size() > MaxReplyBytes) {
                        qCDebug(lcWire) << "responseData.size()>500: " << data.size();
                        qCDebug(lcWire) << QString("msg (on " + m_name + ")[") + QString::fromLatin1(request) + "]";
                        qCDebug(lcWire) << "response: " << response;
                        TraceLog::record(m_name, "<-", data, "too long");
                        return false;
                    }
                    // A line that trickles bytes without ever prompting would otherwise hold the
                    // worker until the size guard trips (22 s at one byte per 45 ms).
                    if (replyClock.hasExpired(ReplyDeadlineMs)) {
                        qCDebug(lcWire) << "Reply still incomplete after" << ReplyDeadlineMs << "ms on" << m_name << ":"
                                 << data.size() << "bytes; request abandoned";
                        TraceLog::record(m_name, "<-", data, "abandoned");
                        return false;
                    }
                }
                if (!dropped.isEmpty())
                    TraceLog::record(m_name, "<-", dropped, "not its reply");
                const bool own = data.startsWith(echo);
                if (own && (data.endsWith('>') || request == "Z 0\r")) {
                    TraceLog::record(m_name, "<-", data, "reply");
                    response = data;
                    return true;
                }
                // Bytes came, but no reply to this request: the caller's buffer stays as it was.
                received = true;
                if (data.isEmpty())
                    TraceLog::record(m_name, "<-", QByteArray(), "time-out");
                else
                    TraceLog::record(m_name, "<-", data, own ? "incomplete" : "not its reply");
            }
        }
        // A closing window waits for this thread: no further attempt once it has asked.
        if (attempts >= maxAttempts || QThread::currentThread()->isInterruptionRequested())
            return received;
    }
}

QString SerialPortDriver::openError() const
{
    return port->error() == QSerialPort::NoError ? QString() : port->errorString();
}

// The system reports a missing permission and a port held by another program alike; whether
// this user could open the device file at all tells them apart.
void SerialPortDriver::moveToThreadWithPort(QThread *thread)
{
    port->moveToThread(thread);
    moveToThread(thread);
}

PortReport::Outcome SerialPortDriver::openFailure() const
{
    if (port->error() != QSerialPort::PermissionError)
        return PortReport::CannotOpen;
    const QString path = locationOf(port->portName());
    return ::access(QFile::encodeName(path).constData(), R_OK | W_OK) == 0 ? PortReport::Busy : PortReport::PermissionDenied;
}

QString SerialPortDriver::type() const
{
    return m_type;
}

QString SerialPortDriver::name() const
{
    return m_name;
}

bool SerialPortDriver::connectErrorHandler(QObject *receiver)
{
    if (!receiver)
        return false;
    return static_cast<bool>(QObject::connect(this, SIGNAL(Error(QString)), receiver,
                                              SLOT(onInterfaceError(QString)), Qt::AutoConnection));
}
