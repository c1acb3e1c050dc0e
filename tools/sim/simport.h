#ifndef SIMPORT_H
#define SIMPORT_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;
class SimSensor;

// One pseudo-terminal with one sensor behind it: frames the program's bytes into commands and
// sends the sensor's replies back with the sensor's timing.
class SimPort : public QObject
{
    Q_OBJECT
public:
    SimPort(SimSensor *sensor, QObject *parent = nullptr);
    ~SimPort() override;

    bool open(QString *error);
    // From now on the program's writes to this port cannot drain (as a line whose far end stopped
    // reading): they time out.
    void stallWrites();
    QString devicePath() const { return m_devicePath; }
    SimSensor *sensor() const { return m_sensor; }

    // The sensor as its description made it, and the port with nothing left to answer: what the
    // program wrote before is forgotten, a reply on its way is cut.
    bool reset(QString *error);
    // The sensor answers nothing after that many more commands; with 0 a reply on its way is cut too.
    void unplugAfter(int commands);
    void plug();

    static bool verbose;         // log every command received on stderr
    static bool reportReplies;   // log how each reply went out: its size and how many writes it took

private:
    void onReadable();
    void logCommand(const QByteArray &command);
    void takeCommands();
    void startNextReply();
    void sendSome();
    void finishReply();
    void dropReply();

    struct Piece
    {
        QByteArray bytes;
        int gapMs;  // the pause before it; the answer delay for the first
    };

    SimSensor *m_sensor;
    int m_master = -1;
    int m_slave = -1;  // kept open so the master never sees a hang-up while the program is away
    QString m_devicePath;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_timer = nullptr;
    QByteArray m_input;
    QList<QByteArray> m_pendingCommands;
    QList<Piece> m_pieces;  // what is left of the reply being sent
    bool m_replying = false;
    bool m_waitingGap = false;
    QElapsedTimer m_pieceClock;
    QElapsedTimer m_replyClock;  // from the command to the reply's last byte
    qint64 m_pieceSent = 0;
    int m_replyBytes = 0;
    int m_replyWrites = 0;
};

#endif
