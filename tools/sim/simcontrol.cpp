#include "simcontrol.h"

#include "simport.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <unistd.h>

SimControl::SimControl(const QList<SimPort *> &ports, QObject *parent)
    : QObject(parent)
    , m_ports(ports)
{
}

void SimControl::listen(int fd)
{
    m_fd = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SimControl::onReadable);
}

void SimControl::stopListening()
{
    m_notifier->setEnabled(false);
    m_notifier->deleteLater();
    m_notifier = nullptr;
}

void SimControl::onReadable()
{
    // One read a wake-up: the descriptor stays blocking, as it may be shared with a shell.
    char buffer[1024];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n > 0)
        m_input.append(buffer, static_cast<int>(n));
    else
        m_input.append('\n');  // a last line without its end still counts
    for (int end = m_input.indexOf('\n'); end >= 0; end = m_input.indexOf('\n')) {
        const QByteArray line = m_input.left(end).trimmed();
        m_input.remove(0, end + 1);
        if (line.isEmpty())
            continue;
        const QString error = run(line);
        if (error.isEmpty())
            std::fprintf(stderr, "CONTROL ok\n");
        else
            std::fprintf(stderr, "CONTROL error %s\n", qPrintable(error));
        std::fflush(stderr);
    }
    if (n <= 0)
        stopListening();
}

QString SimControl::run(const QByteArray &line)
{
    const QStringList words = QString::fromLocal8Bit(line).split(' ', Qt::SkipEmptyParts);
    const QString verb = words.value(0);
    const int wordsWanted = verb == "unplug" ? 3 : 2;
    if (verb != "reset" && verb != "unplug" && verb != "plug")
        return QStringLiteral("unknown command \"%1\"").arg(verb);
    if (words.size() != wordsWanted)
        return verb == "unplug" ? QStringLiteral("usage: unplug PATH N") : QStringLiteral("usage: %1 PATH").arg(verb);
    SimPort *port = nullptr;
    for (SimPort *p : std::as_const(m_ports))
        if (p->devicePath() == words.at(1))
            port = p;
    if (!port)
        return QStringLiteral("no sensor on %1").arg(words.at(1));

    if (verb == "reset") {
        QString error;
        return port->reset(&error) ? QString() : error;
    }
    if (verb == "plug") {
        port->plug();
        return {};
    }
    bool ok = false;
    const int commands = words.at(2).toInt(&ok);
    if (!ok || commands < 0)
        return QStringLiteral("not a count of commands: %1").arg(words.at(2));
    port->unplugAfter(commands);
    return {};
}
