#ifndef SIMPROCESS_H
#define SIMPROCESS_H

#include <QProcess>
#include <QStringList>

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
    // Commands the simulator logged so far (start it with --verbose), as "path <- command" lines.
    QStringList takeLog();
    // Waits until the log holds at least count commands for the port, or the time is up.
    int commandsSeen(const QString &port, int count = 0, int timeoutMs = 0);
    static QString sensorFile(const QString &name);
    static QString simulatorPath();

private:
    QProcess m_process;
    QStringList m_ports;
    QStringList m_log;
};

#endif
