#ifndef MESSAGELOG_H
#define MESSAGELOG_H

#include <QMutex>
#include <QStringList>

// Captures the Qt debug output, of every thread, while it lives, so tests can check the diagnostic lines.
class MessageLog
{
public:
    MessageLog()
    {
        clear();
        m_previous = qInstallMessageHandler(capture);
    }
    ~MessageLog() { qInstallMessageHandler(m_previous); }
    QStringList lines() const
    {
        QMutexLocker lock(&mutex());
        return captured();
    }
    bool contains(const QString &text) const { return !lines().filter(text).isEmpty(); }
    void clear()
    {
        QMutexLocker lock(&mutex());
        captured().clear();
    }

private:
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static QStringList &captured()
    {
        static QStringList c;
        return c;
    }
    static void capture(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        QMutexLocker lock(&mutex());
        captured().append(message);
    }
    QtMessageHandler m_previous;
};

#endif
