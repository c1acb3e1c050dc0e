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

    static bool verbose;         // log every command received on stderr
    static bool reportReplies;   // log how each reply went out: its size and how many writes it took

private:
    void onReadable();
    void logCommand(const QByteArray &command);
    void takeCommands();
    void startNextReply();
    void sendSome();
    void finishReply();

    SimSensor *m_sensor;
    int m_master = -1;
    int m_slave = -1;  // kept open so the master never sees a hang-up while the program is away
    QString m_devicePath;
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_timer = nullptr;
    QByteArray m_input;
    QList<QByteArray> m_pendingCommands;
    QList<QByteArray> m_pieces;  // what is left of the reply being sent
    bool m_replying = false;
    int m_commandsTaken = 0;
    bool m_waitingGap = false;
    QElapsedTimer m_pieceClock;
    QElapsedTimer m_replyClock;  // from the command to the reply's last byte
    qint64 m_pieceSent = 0;
    int m_replyBytes = 0;
    int m_replyWrites = 0;
};

#endif
