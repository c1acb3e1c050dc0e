// What one request costs the serial transport on a port that never answers and on a port whose
// other side has hung up: wall time and the CPU time of this process.
//
//   bench_transport [runs, default 3]
#include "device/serialportdriver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include "simprocess.h"
#include <QSerialPort>

#include <cstdio>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

SerialPortDriver *driverFor(const QString &path)
{
    auto *port = new QSerialPort;
    SerialPortDriver::applyLineSettings(port);
    port->setPortName(path);
    return new SerialPortDriver(port);
}

void measure(const char *what, SerialPortDriver *driver)
{
    QByteArray response;
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    const bool answered = driver->sendRequest("A\r", response);
    std::printf("%-14s %5lld ms wall  %.3f s CPU  %s\n", what, clock.elapsed(), cpuSeconds() - cpuBefore,
                answered ? "answered?" : "no answer");
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(1, atoi(argv[1])) : 3;
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    SimProcess sim;
    if (!sim.start({"silent"})) {
        std::fprintf(stderr, "pellora-sim did not start\n");
        return 1;
    }
    const QString silentPort = sim.port(0);

    for (int run = 0; run < runs; ++run) {
        QScopedPointer<SerialPortDriver> silent(driverFor(silentPort));
        silent->open();
        measure("silent port", silent.data());

        int master = -1, slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return 1;
        QScopedPointer<SerialPortDriver> hungUp(driverFor(QString::fromLocal8Bit(name)));
        hungUp->open();
        ::close(slave);
        ::close(master);
        measure("hung-up port", hungUp.data());
    }
    return 0;
}
