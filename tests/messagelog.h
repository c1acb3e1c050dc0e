#ifndef MESSAGELOG_H
#define MESSAGELOG_H

#include <QStringList>
#include <QtGlobal>

// Captures the Qt debug output while it lives, so tests can check the diagnostic lines.
class MessageLog
{
public:
    MessageLog();
    ~MessageLog();
    QStringList lines() const;
    bool contains(const QString &text) const;
    void clear();

private:
    QtMessageHandler m_previous;
};

#endif
