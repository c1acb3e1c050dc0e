#ifndef SIMSENSOR_H
#define SIMSENSOR_H

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>

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

    // The reply to one command (the bytes up to and including '\r', or the two bootloader bytes
    // 'U' 0x05). An empty reply is silence.
    virtual QByteArray answer(const QByteArray &command) = 0;

    // How a reply goes out on the wire: explicit pieces sent with chunkGapMs between them. The
    // default cuts by chunkSize (0 = one piece).
    virtual QList<QByteArray> pieces(const QByteArray &reply) const;

    // One line of what the sensor holds, for the state dump (SIGUSR2); empty: nothing to show.
    virtual QByteArray state() const { return {}; }

    int answerDelayMs = 5;
    bool paced = true;     // 19200 baud: about 0.52 ms a byte
    int chunkSize = 0;
    int chunkGapMs = 0;
    bool stalled = false;  // never lets the program's writes drain (provokes write time-outs)
    int unplugAfter = 0;   // answers nothing after this many commands, as if unplugged (0: never)

protected:
    // The usual frame of a level sensor reply: echo, CR LF, CR STX, payload, CR LF, prompt.
    static QByteArray echoOf(const QByteArray &command);

    QJsonObject m_description;
    QString m_label;
    QString m_sourceFile;
};

#endif
