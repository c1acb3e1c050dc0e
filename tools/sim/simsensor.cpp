#include "simsensor.h"

#include "simlevelsensor.h"
#include "simpositionsensor.h"

#include <QJsonArray>
#include <QRandomGenerator>

namespace {

// Never answers.
class SilentSensor : public SimSensor
{
public:
    using SimSensor::SimSensor;
    QByteArray answer(const QByteArray &) override { return {}; }
};

// A sensor waiting in its bootloader: bytes without a prompt to anything, and a banner holding
// '*' and ending in the prompt to the bootloader's wake-up bytes.
class BootloaderSensor : public SimSensor
{
public:
    using SimSensor::SimSensor;
    QByteArray answer(const QByteArray &command) override
    {
        if (command == QByteArray("U\x05", 2))
            return "\r\n*BOOT v2.1*\r\n>";
        return "\x11?";
    }
};

// Line noise: random bytes that never form a reply.
class GarbageSensor : public SimSensor
{
public:
    using SimSensor::SimSensor;
    QByteArray answer(const QByteArray &) override
    {
        QByteArray noise;
        const int length = 5 + QRandomGenerator::global()->bounded(40);
        for (int i = 0; i < length; ++i) {
            char c = static_cast<char>(QRandomGenerator::global()->bounded(256));
            if (c == '>')
                c = '<';
            noise.append(c);
        }
        return noise;
    }
};

// Fixed replies to fixed commands, for exercising the transport:
// {"kind":"script","replies":[{"command":"X\r","reply":"...","pieces":["..",".."]}]}
class ScriptSensor : public SimSensor
{
public:
    explicit ScriptSensor(const QJsonObject &description) : SimSensor(description)
    {
        const QJsonArray replies = description.value("replies").toArray();
        for (const QJsonValue &value : replies) {
            const QJsonObject o = value.toObject();
            Entry e;
            e.command = o.value("command").toString().toLatin1();
            const QJsonArray pieces = o.value("pieces").toArray();
            for (const QJsonValue &p : pieces)
                e.pieces.append(p.toString().toLatin1());
            e.reply = o.contains("reply") ? o.value("reply").toString().toLatin1() : e.pieces.join();
            m_entries.append(e);
        }
    }
    QByteArray answer(const QByteArray &command) override
    {
        for (const Entry &e : m_entries)
            if (e.command == command)
                return e.reply;
        return {};
    }
    QList<QByteArray> pieces(const QByteArray &reply) const override
    {
        for (const Entry &e : m_entries)
            if (e.reply == reply && !e.pieces.isEmpty())
                return e.pieces;
        return SimSensor::pieces(reply);
    }

private:
    struct Entry
    {
        QByteArray command;
        QByteArray reply;
        QList<QByteArray> pieces;
    };
    QList<Entry> m_entries;
};

}

SimSensor::SimSensor(const QJsonObject &description)
    : m_description(description)
{
    m_label = description.value("name").toString(description.value("kind").toString());
    answerDelayMs = description.value("answerDelayMs").toInt(answerDelayMs);
    paced = description.value("paced").toBool(paced);
    chunkSize = description.value("chunkSize").toInt(chunkSize);
    chunkGapMs = description.value("chunkGapMs").toInt(chunkGapMs);
    promptApart = description.value("promptApart").toBool(promptApart);
    stalled = description.value("stalled").toBool(stalled);
    const int unplugAfterCommands = description.value("unplugAfter").toInt();
    if (unplugAfterCommands > 0)
        unplugAfter(unplugAfterCommands);
    const QJsonObject late = description.value("late").toObject();
    if (late.contains("command")) {
        m_late = true;
        m_lateCommand = late.value("command").toString().toLatin1();
        m_lateDelayMs = qMax(0, late.value("delayMs").toInt());
        m_lateTimes = qMax(0, late.value("times").toInt(1));
    }
}

int SimSensor::delayFor(const QByteArray &command)
{
    QByteArray text = command;
    if (text.endsWith('\r'))
        text.chop(1);
    if (m_late && text == m_lateCommand && (m_lateTimes == 0 || m_lateSeen < m_lateTimes)) {
        ++m_lateSeen;
        return m_lateDelayMs;
    }
    return answerDelayMs;
}

bool SimSensor::take()
{
    if (m_answersLeft == 0)
        return false;
    if (m_answersLeft > 0)
        --m_answersLeft;
    return true;
}

SimSensor *SimSensor::create(const QJsonObject &description, const QString &sourceFile, QString *error)
{
    const QString kind = description.value("kind").toString();
    SimSensor *sensor = nullptr;
    if (kind == "level")
        sensor = new SimLevelSensor(description);
    else if (kind == "position")
        sensor = new SimPositionSensor(description);
    else if (kind == "silent" || kind == "stalled")
        sensor = new SilentSensor(description);
    else if (kind == "bootloader")
        sensor = new BootloaderSensor(description);
    else if (kind == "garbage")
        sensor = new GarbageSensor(description);
    else if (kind == "script")
        sensor = new ScriptSensor(description);
    if (!sensor) {
        if (error)
            *error = QStringLiteral("unknown sensor kind \"%1\"").arg(kind);
        return nullptr;
    }
    if (kind == "stalled")
        sensor->stalled = true;
    sensor->m_sourceFile = sourceFile;
    return sensor;
}

QList<QByteArray> SimSensor::pieces(const QByteArray &reply) const
{
    if (chunkSize <= 0 || reply.size() <= chunkSize)
        return {reply};
    QList<QByteArray> out;
    for (int i = 0; i < reply.size(); i += chunkSize)
        out.append(reply.mid(i, chunkSize));
    return out;
}

QByteArray SimSensor::echoOf(const QByteArray &command)
{
    QByteArray echo = command;
    while (echo.endsWith('\r'))
        echo.chop(1);
    return echo;
}
