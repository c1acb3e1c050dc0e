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
//
// --fast sends replies unpaced with the closing prompt apart, a millisecond after the rest, and
// no answer delay unless one is asked for: the program sees the prompt at once, so an exchange
// takes a millisecond or two. --late "COMMAND=MS" or "COMMAND=MSxN" answers the first N (default
// 1, 0: every) occurrences of COMMAND (without its CR) only after MS ms, on every sensor whose
// description has no "late" of its own; replies go out in turn, so the ones after it wait too.
//
// stdin takes orders, one a line, each answered on stderr by "CONTROL ok" or "CONTROL error
// <why>" once it has taken effect: "reset PATH" (the sensor on that port back as its description
// made it), "unplug PATH N" (it answers nothing after N more commands, 0: at once), "plug PATH"
// (it answers again). The end of stdin only ends the listening.
#include "simcontrol.h"
#include "simport.h"
#include "simsensor.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
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

// "COMMAND=MS" or "COMMAND=MSxN" as a description's "late"; empty when the text is neither.
QJsonObject lateReply(const QString &text)
{
    static const QRegularExpression form("^(.+)=(\\d+)(?:x(\\d+))?$");
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return {};
    return {{"command", match.captured(1)},
            {"delayMs", match.captured(2).toInt()},
            {"times", match.captured(3).isEmpty() ? 1 : match.captured(3).toInt()}};
}

}

int main(int argc, char *argv[])
{
    // Before anything opens a descriptor: with stdin closed, the first one opened would take its
    // number, and the orders would be read from it.
    const bool haveStdin = ::fcntl(STDIN_FILENO, F_GETFD) != -1;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("pellora-sim");

    QCommandLineParser parser;
    parser.setApplicationDescription("Emulated Pellora sensors on pseudo-terminals.\n\n"
                                     "Orders on stdin, one a line, each answered on stderr by \"CONTROL ok\" or \"CONTROL error <why>\":\n"
                                     "  reset PATH      the sensor on that port back as its description made it\n"
                                     "  unplug PATH N   it answers nothing after N more commands (0: at once)\n"
                                     "  plug PATH       it answers again");
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
    QCommandLineOption fast("fast", "Send replies at once, the closing prompt a millisecond after the rest, and no answer delay unless one is given.");
    QCommandLineOption late("late", "Answer the first N (default 1, 0: every) occurrences of COMMAND only after MS ms, on sensors whose description has no \"late\".",
                            "COMMAND=MS[xN]");
    parser.addOptions({verbose, noPacing, fast, answerDelay, chunkSize, chunkGap, late, sensorsDir, writeBack, reportReplies});
    parser.process(app);
    const QJsonObject lateDefault = parser.isSet(late) ? lateReply(parser.value(late)) : QJsonObject();
    if (parser.isSet(late) && lateDefault.isEmpty()) {
        QTextStream(stderr) << "pellora-sim: --late wants COMMAND=MS or COMMAND=MSxN, not " << parser.value(late) << Qt::endl;
        return 2;
    }

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
        if (parser.isSet(noPacing) || parser.isSet(fast))
            description.insert("paced", false);
        if (parser.isSet(fast)) {
            description.insert("promptApart", true);
            if (!description.contains("answerDelayMs"))
                description.insert("answerDelayMs", 0);
        }
        if (!lateDefault.isEmpty() && !description.contains("late"))
            description.insert("late", lateDefault);
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
    if (haveStdin) {
        // Started in the background of a terminal, a read of it would stop the simulator; ignored,
        // the read fails and the listening ends.
        std::signal(SIGTTIN, SIG_IGN);
        (new SimControl(ports, &app))->listen(STDIN_FILENO);
    }
    out << "PELLORA_EXTRA_PORTS=" << paths.join(',') << Qt::endl;
    out.flush();

    return app.exec();
}
