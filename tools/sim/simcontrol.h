#ifndef SIMCONTROL_H
#define SIMCONTROL_H

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QSocketNotifier;
class SimPort;

// Orders for the sensors, one a line on a file descriptor (the simulator's stdin), so that a test
// can play a fault at the moment it chooses. Each line is answered on stderr by one line,
// "CONTROL ok" or "CONTROL error <why>", once it has taken effect:
//   reset PATH      the sensor on that port back as its description made it
//   unplug PATH N   it answers nothing after N more commands (0: at once)
//   plug PATH       it answers again
// At the end of the input the simulator goes on; it only stops listening.
class SimControl : public QObject
{
public:
    SimControl(const QList<SimPort *> &ports, QObject *parent = nullptr);
    void listen(int fd);

private:
    void onReadable();
    void stopListening();
    // Empty when done, otherwise why not.
    QString run(const QByteArray &line);

    QList<SimPort *> m_ports;
    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_input;
};

#endif
