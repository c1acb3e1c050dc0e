#ifndef MESSAGELOG_H
#define MESSAGELOG_H

#include <QMutex>
#include <QStringList>

// Captures the Qt debug output, of every thread, while it lives, so tests can check the diagnostic lines.
class MessageLog
{
public:
    MessageLog() : m_start(all().size()), m_previous(qInstallMessageHandler(capture)) {}
    ~MessageLog() { qInstallMessageHandler(m_previous); }
    QStringList lines() const { return all().mid(m_start); }
    bool contains(const QString &text) const { return !lines().filter(text).isEmpty(); }

private:
    // Every line captured by any log so far, after appending one if given.
    static QStringList all(const QString *append = nullptr)
    {
        static QMutex mutex;
        static QStringList captured;
        QMutexLocker lock(&mutex);
        if (append)
            captured.append(*append);
        return captured;
    }
    static void capture(QtMsgType, const QMessageLogContext &, const QString &message) { all(&message); }
    int m_start;
    QtMessageHandler m_previous;
};

#endif
