#include "app/commandline.h"

#include "app/batchrun.h"

#include "device/abstractdevice.h"
#include "device/abstractinterfacedriver.h"
#include "device/devicecatalogue.h"
#include "device/devicemanager.h"
#include "device/serialportdriver.h"
#include "device/tracelog.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

#include <cstring>
#include <memory>

namespace CommandLine {

bool needsNoWindow(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"--list", "--help", "-h", "--help-all", "--version", "-v", "-?"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
        for (const char *option : {"--apply", "--backup"})
            if (std::strncmp(argv[i], option, std::strlen(option)) == 0)
                return true;
    }
    return false;
}

namespace {

struct Parser
{
    QCommandLineParser parser;
    QCommandLineOption help{QStringList{QStringLiteral("h"), QStringLiteral("help")}};
    QCommandLineOption trace{QStringLiteral("trace"), QCoreApplication::translate("CommandLine", "Append every exchange with a sensor to FILE."),
                             QStringLiteral("FILE")};
    QCommandLineOption list{QStringLiteral("list"),
                            QCoreApplication::translate("CommandLine", "Search the ports, print what was found on each, and exit "
                                                                       "(0 when a sensor was found, 1 otherwise). Opens no window.")};
    QCommandLineOption ports{QStringLiteral("ports"),
                             QCoreApplication::translate("CommandLine", "Search only these ports (comma-separated device paths, "
                                                                        "as in PELLORA_EXTRA_PORTS) and PELLORA_EXTRA_PORTS."),
                             QStringLiteral("LIST")};
    QCommandLineOption verbose{QStringLiteral("verbose"),
                               QCoreApplication::translate("CommandLine", "Print the program's diagnostics on stderr (the exchanges on each port, "
                                                                          "the loads and writes, the window's). QT_LOGGING_RULES picks among them.")};
    QCommandLineOption apply{QStringLiteral("apply"),
                             QCoreApplication::translate("CommandLine", "Write FILE (a settings file, .conf, or an FPC file, .fpc) to every "
                                                                        "level sensor found, all at once, and check each. Opens no window."),
                             QStringLiteral("FILE")};
    QCommandLineOption backup{QStringLiteral("backup"),
                              QCoreApplication::translate("CommandLine", "Save every level sensor's settings file and FPC file into DIR, "
                                                                         "all at once. Opens no window."),
                              QStringLiteral("DIR")};

    Parser()
    {
        parser.setApplicationDescription(QCoreApplication::translate(
            "CommandLine", "Configures liquid level sensors and position sensors on serial ports."));
        help = parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({trace, list, ports, apply, backup, verbose});
    }
};

}

int usageError(int argc, char *argv[])
{
    // Qt's own options (-platform, -style ...) take one dash and are the toolkit's to judge; ours
    // take two, and a mistyped one must not reach a toolkit that needs a display to complain.
    QStringList arguments{QStringLiteral("pellora")};
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (argument.startsWith(QLatin1String("--")) || (i > 1 && arguments.last().startsWith(QLatin1String("--")) && !argument.startsWith('-')))
            arguments << argument;
    }
    Parser p;
    if (p.parser.parse(arguments)) {
        if (int(p.parser.isSet(p.list)) + int(p.parser.isSet(p.apply)) + int(p.parser.isSet(p.backup)) <= 1)
            return -1;
        QCoreApplication app(argc, argv);
        QTextStream(stderr) << "pellora: choose one of --list, --apply and --backup\n\n" << p.parser.helpText() << Qt::flush;
        return 2;
    }
    // The usage names the program: a core application, which needs no display, knows it.
    QCoreApplication app(argc, argv);
    QTextStream(stderr) << "pellora: " << p.parser.errorText() << "\n\n" << p.parser.helpText() << Qt::flush;
    return 2;
}

Options parse(QCoreApplication &app)
{
    Parser p;
    p.parser.process(app);
    Options options;
    options.trace = p.parser.value(p.trace);
    options.list = p.parser.isSet(p.list);
    options.verbose = p.parser.isSet(p.verbose);
    options.apply = p.parser.value(p.apply);
    options.backup = p.parser.value(p.backup);
    options.mode = p.parser.isSet(p.apply) ? Options::Apply : p.parser.isSet(p.backup) ? Options::Backup : Options::List;
    if (p.parser.isSet(p.ports))
        options.ports = p.parser.value(p.ports).split(QLatin1Char(','), Qt::SkipEmptyParts);
    return options;
}

void apply(const Options &options)
{
    // The environment's rules still win: they can narrow --verbose down to one category.
    if (options.verbose)
        QLoggingCategory::setFilterRules(QStringLiteral("pellora.*.debug=true"));
    if (!options.trace.isEmpty()) {
        QString error;
        if (!TraceLog::open(options.trace, &error))
            QTextStream(stderr) << QCoreApplication::translate("CommandLine", "pellora: cannot write the trace to %1: %2; going on without it")
                                       .arg(options.trace, error)
                                << Qt::endl;
    }
    if (!options.ports.isEmpty())
        SerialPortDriver::setPortList(options.ports);
}

DeviceManager *scan()
{
    const QString path = DeviceCatalogue::defaultPath();
    const QString failure = DeviceCatalogue::failure(path);
    if (!failure.isEmpty()) {
        QTextStream(stderr) << "pellora: " << failure << " (" << path << ')' << Qt::endl;
        return nullptr;
    }
    auto *catalogue = new DeviceCatalogue;
    catalogue->readEntries(path);
    auto *manager = new DeviceManager(nullptr, catalogue);
    manager->scanDevices();
    return manager;
}

int list()
{
    const std::unique_ptr<DeviceManager> manager(scan());
    if (!manager)
        return 1;
    QTextStream out(stdout);
    const QList<AbstractDevice *> &devices = manager->devices();
    int next = 0;
    for (const PortReport &report : manager->portReports()) {
        if (report.outcome == PortReport::Sensor && next < devices.size()) {
            const AbstractDevice *d = devices.at(next++);
            out << report.port << ": " << d->name() << " (type " << d->deviceType() << ", ID " << d->deviceId() << ", firmware "
                << d->firmwareVersion() << ", serial " << d->serialNumber() << ')' << Qt::endl;
        } else {
            out << report.text() << Qt::endl;
        }
    }
    return devices.isEmpty() ? 1 : 0;
}

int run(const Options &options)
{
    if (options.mode == Options::Apply)
        return BatchRun(BatchRun::Apply, options.apply).run();
    if (options.mode == Options::Backup)
        return BatchRun(BatchRun::Backup, options.backup).run();
    return list();
}

}
