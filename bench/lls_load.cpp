// Loads every default level sensor from pellora-sim at 19200-baud pacing and compares the wall
// time of each load with the floor the line, the sensor and the transport set:
//
//   floor = sum over the exchanges of (request + reply bytes) * 10 bits / 19200 baud
//           + the simulator's answer delay
//           + 50 ms for every reply that reached the program in one piece (the transport's quiet wait)
//
// The simulator reports how it sent each reply (--report-replies): a reply that went out in one
// write reaches the program in one piece and is counted with its quiet wait. The strict ratio
// leaves the request bytes out of the floor, since a pseudo-terminal takes them at once.
//
// The simulator also reports how long each reply took it, from the command to the last byte: what
// the wall time holds beyond that and the quiet waits is the program's own share (with the
// pseudo-terminal's), given per exchange.
//
//   bench_lls_load [answer delay ms, default 5] [--trace FILE]
//
// With --trace every exchange is also written to FILE, as pellora --trace does: the difference
// between the two runs is what the trace costs.
#include "device/devicecatalogue.h"
#include "device/deviceidentification.h"
#include "device/serialportdriver.h"
#include "device/tracelog.h"
#include "lls/device/llsdevice.h"
#include "simprocess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr double MsPerByte = 10.0 * 1000.0 / 19200.0;
constexpr double QuietWaitMs = 50.0;

// Passes every request to the real transport and notes its size and duration.
class TimingDriver : public AbstractInterfaceDriver
{
public:
    explicit TimingDriver(SerialPortDriver *inner) : m_inner(inner)
    {
        m_type = inner->type();
        m_name = inner->name();
    }
    ~TimingDriver() override { delete m_inner; }

    struct Exchange
    {
        int requestBytes;
        int replyBytes;
        double ms;
        bool ok;
    };
    QVector<Exchange> exchanges;
    bool recording = false;

    bool open() override { return m_inner->open(); }
    void close() override { m_inner->close(); }
    bool sendRequest(const QByteArray &request, QByteArray &response) override
    {
        QElapsedTimer clock;
        clock.start();
        const bool ok = m_inner->sendRequest(request, response);
        if (recording)
            exchanges.append({static_cast<int>(request.size()), static_cast<int>(response.size()), clock.nsecsElapsed() / 1e6, ok});
        return ok;
    }
    QString type() const override { return m_type; }
    QString name() const override { return m_name; }
    bool connectErrorHandler(QObject *receiver) override { return m_inner->connectErrorHandler(receiver); }

private:
    SerialPortDriver *m_inner;
};

}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);  // the catalogue reports failures in a message box
    QTextStream out(stdout);
    const QStringList args = app.arguments();
    const int answerDelayMs = args.size() > 1 && !args.at(1).startsWith("--") ? args.at(1).toInt() : 5;
    const int traceIndex = args.indexOf("--trace");
    if (traceIndex > 0) {
        QString error;
        if (!TraceLog::open(args.value(traceIndex + 1), &error)) {
            std::fprintf(stderr, "cannot write the trace: %s\n", qPrintable(error));
            return 1;
        }
    }

    DeviceCatalogue catalogue;
    if (!catalogue.load(QStringLiteral(PELLORA_CATALOGUE_PATH)))
        return 1;

    const QDir sensors(QStringLiteral(PELLORA_SENSOR_DIR));
    QStringList arguments{"--answer-delay", QString::number(answerDelayMs)};
    for (const QString &file : sensors.entryList({"0*.json"}, QDir::Files, QDir::Name)) {
        QFile f(sensors.filePath(file));
        if (f.open(QIODevice::ReadOnly) && f.readAll().contains("\"level\""))
            arguments << sensors.filePath(file);
    }

    SimProcess sim;
    if (!sim.start(QStringList{"--report-replies"} + arguments)) {
        std::fprintf(stderr, "pellora-sim did not start\n");
        return 1;
    }
    const QStringList ports = sim.ports();
    const QStringList labels = sim.labels();

    out << "Level sensor load at 19200 baud, answer delay " << answerDelayMs << " ms" << (traceIndex > 0 ? ", traced" : "") << "\n\n";
    // The pseudo-terminal takes the program's requests at once, unpaced: the last column leaves
    // the request bytes out of the floor, so the program's own time cannot hide in them.
    out << "| Sensor | Exchanges | Quiet waits | Wall time (ms) | Floor (ms) | Ratio | Ratio without request time | Simulator's time (ms) | Program's time per exchange (ms) |\n";
    out << "|---|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    double worst = 0;
    for (int i = 0; i < ports.size(); ++i) {
        auto *port = new QSerialPort;
        SerialPortDriver::applyLineSettings(port);
        port->setPortName(ports.at(i));
        auto *driver = new TimingDriver(new SerialPortDriver(port));
        if (!driver->open()) {
            delete driver;
            continue;
        }
        QByteArray response;
        const bool result = driver->sendRequest("ID\r", response);
        auto *device = qobject_cast<LLSDevice *>(createDevice(driver, result, response, catalogue));
        if (!device) {
            delete driver;
            continue;
        }

        sim.takeLog(100);  // the identification's reply
        driver->recording = true;
        QElapsedTimer clock;
        clock.start();
        device->ReadParameter();
        const double wallMs = clock.nsecsElapsed() / 1e6;
        driver->recording = false;

        // How the simulator sent each of the load's replies.
        int quietWaits = 0;
        double simulatorMs = 0;
        const QString tag = ports.at(i) + " -> ";
        for (const QString &line : sim.takeLog(200)) {
            if (!line.startsWith(tag))
                continue;
            quietWaits += line.contains(" in 1 writes ");
            simulatorMs += line.mid(line.lastIndexOf(" over ") + 6).split(' ').value(0).toDouble();
        }
        const double programMs = (wallMs - simulatorMs - quietWaits * QuietWaitMs) / qMax(1, driver->exchanges.size());

        double floorMs = quietWaits * QuietWaitMs;
        double requestLineMs = 0;
        for (const TimingDriver::Exchange &e : std::as_const(driver->exchanges)) {
            floorMs += (e.requestBytes + e.replyBytes) * MsPerByte + answerDelayMs;
            requestLineMs += e.requestBytes * MsPerByte;
        }
        const double ratio = wallMs / floorMs;
        const double strictRatio = wallMs / (floorMs - requestLineMs);
        worst = qMax(worst, strictRatio);
        out << "| " << labels.value(i) << " | " << driver->exchanges.size() << " | " << quietWaits << " | "
            << QString::number(wallMs, 'f', 0) << " | " << QString::number(floorMs, 'f', 0) << " | "
            << QString::number(ratio, 'f', 3) << " | " << QString::number(strictRatio, 'f', 3) << " | "
            << QString::number(simulatorMs, 'f', 0) << " | " << QString::number(programMs, 'f', 2) << " |\n";
        out.flush();
        device->close();
        delete device;
    }
    out << "\nWorst ratio without request time " << QString::number(worst, 'f', 3)
        << (worst < 1.05 ? " (under 1.05)" : " (NOT under 1.05)") << "\n";
    sim.stop();
    return worst < 1.05 ? 0 : 1;
}
