// pellora-sim: emulated sensors on pseudo-terminals.
//
//   pellora-sim [options] [SENSOR ...]
//
// SENSOR is a sensor description file (.json), a description written inline ('{"kind":...}'), or
// one of the kinds silent, bootloader, garbage, stalled. SIGUSR1 stalls every port's writes from
// then on (write time-outs on demand); SIGUSR2 prints every level sensor's state on stderr, a
// "BANK path ..." line per port and then "BANK END". Without any, every description in the
// default sensor folder is used, in file name order. Each sensor gets its own pseudo-terminal; the
// program prints one line per sensor and then the ready line PELLORA_EXTRA_PORTS=path,path,...
#include "simport.h"
#include "simsensor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

void quitOnSignal(int)
{
    _exit(0);
}

// SIGUSR1 stalls every port's writes, for tests of write time-outs at a chosen moment; SIGUSR2
// asks for the sensors' state, for tests that check what a sensor holds without a port of their
// own. The handlers only write the signal number to a pipe; the event loop does the rest.
int signalPipe[2] = {-1, -1};
void passSignal(int signal)
{
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void dumpState(const QList<SimPort *> &ports)
{
    for (SimPort *port : ports) {
        const QByteArray state = port->sensor()->state();
        if (!state.isEmpty())
            std::fprintf(stderr, "BANK %s %s\n", qPrintable(port->devicePath()), state.constData());
    }
    std::fprintf(stderr, "BANK END\n");
    std::fflush(stderr);
}

bool readDescription(const QString &argument, QJsonObject *description, QString *sourceFile, QString *error)
{
    QByteArray text;
    if (argument.trimmed().startsWith('{')) {
        text = argument.toUtf8();
    } else if (argument.endsWith(".json") || QFile::exists(argument)) {
        QFile file(argument);
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1").arg(argument);
            return false;
        }
        text = file.readAll();
        *sourceFile = QFileInfo(file).absoluteFilePath();
    } else {
        *description = QJsonObject{{"kind", argument}, {"name", argument}};
        return true;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (!document.isObject()) {
        *error = QStringLiteral("%1: %2").arg(argument, parseError.errorString());
        return false;
    }
    *description = document.object();
    return true;
}

}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("pellora-sim");

    QCommandLineParser parser;
    parser.setApplicationDescription("Emulated Pellora sensors on pseudo-terminals.");
    parser.addHelpOption();
    parser.addPositionalArgument("sensor", "Sensor description (.json file, inline JSON, or silent|bootloader|garbage|stalled).", "[sensor...]");
    QCommandLineOption noPacing("no-pacing", "Send replies at once instead of at 19200 baud.");
    QCommandLineOption answerDelay("answer-delay", "Delay before each reply, ms (default 5).", "ms");
    QCommandLineOption chunkSize("chunk-size", "Split replies into pieces of this many bytes.", "bytes");
    QCommandLineOption chunkGap("chunk-gap", "Pause between reply pieces, ms.", "ms");
    QCommandLineOption sensorsDir("sensors-dir", "Folder of the default sensor descriptions.", "dir", PELLORA_SENSOR_DIR);
    QCommandLineOption verbose("verbose", "Log every command received on stderr.");
    QCommandLineOption writeBack("write-back", "Store register writes back into the sensor description files.");
    QCommandLineOption reportReplies("report-replies", "Log on stderr how each reply went out (bytes, number of writes, time from the command).");
    parser.addOptions({verbose, noPacing, answerDelay, chunkSize, chunkGap, sensorsDir, writeBack, reportReplies});
    parser.process(app);

    SimPort::verbose = parser.isSet(verbose);
    SimPort::reportReplies = parser.isSet(reportReplies);
    QStringList arguments = parser.positionalArguments();
    if (arguments.isEmpty()) {
        const QDir dir(parser.value(sensorsDir));
        for (const QString &file : dir.entryList({"*.json"}, QDir::Files, QDir::Name))
            arguments.append(dir.filePath(file));
    }

    QTextStream out(stdout);
    QTextStream err(stderr);
    QList<SimPort *> ports;
    QStringList paths;
    for (const QString &argument : std::as_const(arguments)) {
        QJsonObject description;
        QString sourceFile;
        QString error;
        if (!readDescription(argument, &description, &sourceFile, &error)) {
            err << "pellora-sim: " << error << Qt::endl;
            return 2;
        }
        if (parser.isSet(answerDelay) && !description.contains("answerDelayMs"))
            description.insert("answerDelayMs", parser.value(answerDelay).toInt());
        if (parser.isSet(chunkSize) && !description.contains("chunkSize"))
            description.insert("chunkSize", parser.value(chunkSize).toInt());
        if (parser.isSet(chunkGap) && !description.contains("chunkGapMs"))
            description.insert("chunkGapMs", parser.value(chunkGap).toInt());
        if (parser.isSet(noPacing))
            description.insert("paced", false);
        if (!parser.isSet(writeBack))
            sourceFile.clear();
        SimSensor *sensor = SimSensor::create(description, sourceFile, &error);
        if (!sensor) {
            err << "pellora-sim: " << argument << ": " << error << Qt::endl;
            return 2;
        }
        auto *port = new SimPort(sensor, &app);
        if (!port->open(&error)) {
            err << "pellora-sim: " << error << Qt::endl;
            return 1;
        }
        ports.append(port);
        paths.append(port->devicePath());
        out << sensor->label() << " on " << port->devicePath() << Qt::endl;
    }
    // The handlers are in place before the ready line: a client may signal as soon as it reads it.
    std::signal(SIGINT, quitOnSignal);
    std::signal(SIGTERM, quitOnSignal);
    if (::pipe(signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, [&ports] {
            char byte = 0;
            if (::read(signalPipe[0], &byte, 1) != 1)
                return;
            if (byte == SIGUSR2) {
                dumpState(ports);
                return;
            }
            for (SimPort *port : std::as_const(ports))
                port->stallWrites();
        });
        std::signal(SIGUSR1, passSignal);
        std::signal(SIGUSR2, passSignal);
    }
    out << "PELLORA_EXTRA_PORTS=" << paths.join(',') << Qt::endl;
    out.flush();

    return app.exec();
}
