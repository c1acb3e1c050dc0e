#ifndef SIMPROCESS_H
#define SIMPROCESS_H

#include <QMap>
#include <QProcess>
#include <QStringList>

// A level sensor's state as the simulator dumps it: its lock, measuring mode, the fixed output it
// holds (-1: none) and every register that is not zero.
struct SimBank
{
    bool locked = false;
    bool measuring = false;
    int fixed = -1;
    QMap<int, quint32> registers;

    // Whether a register holds part of a liquid's name or the description.
    static bool holdsText(int r) { return (r >= 85 && r < 485 && (r - 85) % 40 < 10) || r >= 1984; }
    // The name or description that starts at first, without the padding a sensor or an import put after it.
    QString text(int first) const;
};

// Runs pellora-sim for a test: start() waits for its ready line, the destructor stops it.
class SimProcess
{
public:
    ~SimProcess();
    bool start(const QStringList &arguments = {}, int timeoutMs = 10000);
    void stop();
    // Stops the simulator in its tracks (SIGSTOP): its ports stay, but nothing answers until stop().
    void pause();
    // From now on the program's writes to the simulator's ports time out (SIGUSR1).
    void stallWrites();
    QStringList ports() const { return m_ports; }
    QString port(int i) const { return m_ports.value(i); }
    QString extraPorts() const { return m_ports.join(','); }
    // The sensors' names, in port order.
    QStringList labels() const { return m_labels; }
    // What the simulator logged on stderr so far: commands ("path <- command", with --verbose) and
    // reply reports (--report-replies). With quietMs, reads on until it has been quiet that long.
    QStringList takeLog(int quietMs = 0);
    // Waits until the log holds at least count commands for the port, or the time is up.
    int commandsSeen(const QString &port, int count = 0, int timeoutMs = 0);
    // Every level sensor's state by port (SIGUSR2); empty when the dump does not come in time. The
    // command log read meanwhile is kept for takeLog().
    QMap<QString, SimBank> banks(int timeoutMs = 5000);
    // Gives the simulator an order on its stdin ("reset PATH", "unplug PATH N", "plug PATH") and
    // waits until it has taken effect; false when it is refused or the answer does not come in
    // time. The command log read meanwhile is kept for takeLog().
    bool control(const QString &line, int timeoutMs = 5000);
    static QString sensorFile(const QString &name);
    static QString simulatorPath();

private:
    QStringList readErrorLines();

    QProcess m_process;
    QByteArray m_partial;  // the start of a stderr line whose end has not come yet
    QStringList m_ports;
    QStringList m_labels;
    QStringList m_log;
    // Orders given and answers read so far: an answer that comes after its wait gave up is not
    // taken for the next order's.
    int m_controlsSent = 0;
    int m_controlsAnswered = 0;
    QString m_controlAnswer;  // the answer to the order being waited for
};

#endif
