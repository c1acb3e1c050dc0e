#ifndef MESSAGELOG_H
#define MESSAGELOG_H

#include <QLoggingCategory>
#include <QMutex>
#include <QStringList>

// Turns the program's diagnostics on and captures them, of every thread, while it lives, so tests
// can check the diagnostic lines.
class MessageLog
{
public:
    MessageLog() : m_start(all().size()), m_previous(qInstallMessageHandler(capture))
    {
        QLoggingCategory::setFilterRules(QStringLiteral("pellora.*.debug=true"));
    }
    ~MessageLog()
    {
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(m_previous);
    }
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
