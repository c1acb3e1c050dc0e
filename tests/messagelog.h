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
    MessageLog() : m_start(all().size()), m_previous(qInstallMessageHandler(capture)), m_previousFilter(QLoggingCategory::installFilter(enable))
    {
        if (m_previousFilter != enable)
            chained() = m_previousFilter;
    }
    ~MessageLog()
    {
        QLoggingCategory::installFilter(m_previousFilter);
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
    // Whatever the rules or the environment say of the rest, the program's own lines are on.
    static QLoggingCategory::CategoryFilter &chained()
    {
        static QLoggingCategory::CategoryFilter filter = nullptr;
        return filter;
    }
    static void enable(QLoggingCategory *category)
    {
        if (chained())
            chained()(category);
        if (qstrncmp(category->categoryName(), "pellora.", 8) == 0)
            category->setEnabled(QtDebugMsg, true);
    }
    int m_start;
    QtMessageHandler m_previous;
    QLoggingCategory::CategoryFilter m_previousFilter;
};

#endif
