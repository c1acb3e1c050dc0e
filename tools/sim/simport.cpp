#include "simport.h"

#include "simsensor.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cstdio>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
constexpr double BytesPerMs = 1.92;  // 19200 baud, 10 bits a byte
const QByteArray BootloaderWake("U\x05", 2);
// With the prompt apart, the pause before it: long enough to reach the program as a read of its own.
constexpr int PromptGapMs = 1;
}

SimPort::SimPort(SimSensor *sensor, QObject *parent)
    : QObject(parent)
    , m_sensor(sensor)
{
}

SimPort::~SimPort()
{
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
    delete m_sensor;
}

bool SimPort::open(QString *error)
{
    char name[256] = {};
    struct termios raw;
    ::memset(&raw, 0, sizeof raw);
    cfmakeraw(&raw);
    cfsetispeed(&raw, B19200);
    cfsetospeed(&raw, B19200);
    if (::openpty(&m_master, &m_slave, name, &raw, nullptr) != 0) {
        if (error)
            *error = QStringLiteral("openpty failed: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    m_devicePath = QString::fromLocal8Bit(name);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    if (m_sensor->stalled) {
        // Stop the terminal's output towards us: the program's writes cannot drain.
        ::tcflow(m_slave, TCOOFF);
    }

    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SimPort::onReadable);
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &SimPort::sendSome);
    return true;
}

void SimPort::stallWrites()
{
    if (m_slave >= 0)
        ::tcflow(m_slave, TCOOFF);
}

void SimPort::onReadable()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            m_input.append(buffer, static_cast<int>(n));
            continue;
        }
        break;
    }
    takeCommands();
}

void SimPort::takeCommands()
{
    for (;;) {
        if (m_input.startsWith(BootloaderWake)) {
            m_pendingCommands.append(BootloaderWake);
            logCommand(BootloaderWake);
            m_input.remove(0, BootloaderWake.size());
            continue;
        }
        const int cr = m_input.indexOf('\r');
        if (cr < 0)
            break;
        m_pendingCommands.append(m_input.left(cr + 1));
        logCommand(m_input.left(cr + 1));
        m_input.remove(0, cr + 1);
    }
    if (m_input.size() > 4096)  // noise without an end: forget it
        m_input.clear();
    if (!m_replying)
        startNextReply();
}

void SimPort::startNextReply()
{
    while (!m_pendingCommands.isEmpty()) {
        const QByteArray command = m_pendingCommands.takeFirst();
        if (!m_sensor->take())
            continue;
        const int delayMs = m_sensor->delayFor(command);
        const QByteArray reply = m_sensor->answer(command);
        if (reply.isEmpty())
            continue;
        m_pieces.clear();
        for (const QByteArray &bytes : m_sensor->pieces(reply))
            m_pieces.append({bytes, m_pieces.isEmpty() ? qMax(0, delayMs) : m_sensor->chunkGapMs});
        Piece &last = m_pieces.last();
        if (m_sensor->promptApart && last.bytes.size() > 1 && last.bytes.endsWith('>')) {
            last.bytes.chop(1);
            m_pieces.append({">", PromptGapMs});
        }
        m_replying = true;
        m_replyBytes = reply.size();
        m_replyWrites = 0;
        m_waitingGap = true;
        m_pieceSent = 0;
        m_replyClock.start();
        m_timer->start(m_pieces.first().gapMs);
        return;
    }
    m_replying = false;
}

void SimPort::dropReply()
{
    m_timer->stop();
    m_pieces.clear();
    m_replying = false;
}

bool SimPort::reset(QString *error)
{
    SimSensor *fresh = SimSensor::create(m_sensor->description(), m_sensor->sourceFile(), error);
    if (!fresh)
        return false;
    dropReply();
    m_input.clear();
    m_pendingCommands.clear();
    delete m_sensor;
    m_sensor = fresh;
    return true;
}

void SimPort::unplugAfter(int commands)
{
    m_sensor->unplugAfter(commands);
    if (m_sensor->unplugged())
        dropReply();
    if (!m_replying)
        startNextReply();
}

void SimPort::plug()
{
    m_sensor->plug();
}

void SimPort::finishReply()
{
    m_timer->stop();
    if (reportReplies) {
        // A reply that went out in one write reaches the program in one piece; the time is the
        // sensor's own share of the exchange, answer delay included.
        std::fprintf(stderr, "%s -> %d bytes in %d writes over %.3f ms\n", qPrintable(m_devicePath), m_replyBytes, m_replyWrites,
                     m_replyClock.nsecsElapsed() / 1e6);
        std::fflush(stderr);
    }
    startNextReply();
}

void SimPort::sendSome()
{
    if (m_pieces.isEmpty()) {
        finishReply();
        return;
    }
    if (m_waitingGap) {
        m_waitingGap = false;
        m_pieceClock.start();
        m_pieceSent = 0;
    }
    QByteArray &piece = m_pieces.first().bytes;
    qint64 allowed = piece.size();
    if (m_sensor->paced)
        allowed = qMin<qint64>(piece.size(), static_cast<qint64>(m_pieceClock.elapsed() * BytesPerMs) + 1 - m_pieceSent);
    if (allowed > 0) {
        const ssize_t n = ::write(m_master, piece.constData(), static_cast<size_t>(allowed));
        if (n > 0) {
            piece.remove(0, static_cast<int>(n));
            m_pieceSent += n;
            ++m_replyWrites;
        }
    }
    if (piece.isEmpty()) {
        m_pieces.removeFirst();
        if (m_pieces.isEmpty()) {
            finishReply();
            return;
        }
        m_waitingGap = true;
        if (m_pieces.first().gapMs > 0) {
            m_timer->start(m_pieces.first().gapMs);
            return;
        }
    }
    m_timer->start(m_sensor->paced ? 1 : 0);
}

bool SimPort::verbose = false;
bool SimPort::reportReplies = false;

void SimPort::logCommand(const QByteArray &command)
{
    if (!verbose)
        return;
    // One line per command on stderr, for tests and for watching a session by eye.
    QByteArray shown;
    for (char c : command) {
        if (c == '\r')
            shown += "\\r";
        else if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e)
            shown += "\\x" + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
        else
            shown += c;
    }
    std::fprintf(stderr, "%s <- %s\n", qPrintable(m_devicePath), shown.constData());
    std::fflush(stderr);
}
