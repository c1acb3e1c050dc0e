#ifndef SIMSENSOR_H
#define SIMSENSOR_H

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QtGlobal>

// One emulated sensor. The port feeds it complete commands and sends back what it answers.
class SimSensor
{
public:
    explicit SimSensor(const QJsonObject &description);
    virtual ~SimSensor() = default;

    // Builds the sensor a description asks for ("kind": level, position, silent, bootloader, garbage,
    // script). sourceFile is the description's file, if any, so a sensor can store changes back.
    static SimSensor *create(const QJsonObject &description, const QString &sourceFile, QString *error);

    QString label() const { return m_label; }
    // What the sensor was built from, to build it afresh (a reset).
    QJsonObject description() const { return m_description; }
    QString sourceFile() const { return m_sourceFile; }

    // The reply to one command (the bytes up to and including '\r', or the two bootloader bytes
    // 'U' 0x05). An empty reply is silence.
    virtual QByteArray answer(const QByteArray &command) = 0;

    // How a reply goes out on the wire: explicit pieces sent with chunkGapMs between them. The
    // default cuts by chunkSize (0 = one piece).
    virtual QList<QByteArray> pieces(const QByteArray &reply) const;

    // One line of what the sensor holds, for the state dump (SIGUSR2); empty: nothing to show.
    virtual QByteArray state() const { return {}; }

    // The pause before the reply to a command: answerDelayMs, or the late reply's delay for the
    // first "times" occurrences of its command. Counts the occurrence.
    int delayFor(const QByteArray &command);

    // Whether the sensor takes the next command; false while unplugged, and the command is dropped
    // without being carried out. Counts the command towards an unplugging to come.
    bool take();
    // Answers nothing after that many more commands (0: at once), as if unplugged.
    void unplugAfter(int commands) { m_answersLeft = qMax(0, commands); }
    void plug() { m_answersLeft = -1; }
    bool unplugged() const { return m_answersLeft == 0; }

    // The timing and faults a description may set for any sensor: "answerDelayMs", "paced",
    // "promptApart", "chunkSize", "chunkGapMs", "stalled", "unplugAfter" (commands) and
    // "late": {"command": "G 385", "delayMs": 1700, "times": 1} (times 0: every time).
    int answerDelayMs = 5;
    bool paced = true;        // 19200 baud: about 0.52 ms a byte
    bool promptApart = false; // the closing prompt goes out alone, a moment after the rest
    int chunkSize = 0;
    int chunkGapMs = 0;
    bool stalled = false;     // never lets the program's writes drain (provokes write time-outs)

protected:
    // The usual frame of a level sensor reply: echo, CR LF, CR STX, payload, CR LF, prompt.
    static QByteArray echoOf(const QByteArray &command);

    QJsonObject m_description;
    QString m_label;
    QString m_sourceFile;

private:
    int m_answersLeft = -1;  // commands the sensor still takes before it falls silent (-1: no end)
    bool m_late = false;
    QByteArray m_lateCommand;  // without its CR
    int m_lateDelayMs = 0;
    int m_lateTimes = 1;       // 0: every time
    int m_lateSeen = 0;
};

#endif
