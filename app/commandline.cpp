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

#include <cstdlib>
#include <cstring>
#include <memory>

namespace CommandLine {

bool needsNoWindow(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        for (const char *option : {"--list", "--help", "-h", "--help-all", "--version", "-v", "-?"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
        for (const char *option : {"--apply", "--backup", "--check"})
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
    QCommandLineOption check{QStringLiteral("check"),
                             QCoreApplication::translate("CommandLine", "Read every level sensor found, all at once, and compare it with FILE "
                                                                        "(.conf or .fpc). Writes nothing to any sensor. Opens no window."),
                             QStringLiteral("FILE")};
    QCommandLineOption report{QStringLiteral("report"),
                              QCoreApplication::translate("CommandLine", "With --apply, --backup or --check: also write what each port got "
                                                                         "to REPORT.csv, one row a port."),
                              QStringLiteral("REPORT.csv")};
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
        parser.addOptions({trace, list, ports, apply, backup, check, report, verbose});
    }
};

}

namespace {

// The usage error itself: a core application, which needs no display, names the program.
int refuse(int argc, char *argv[], const QString &why, const Parser &p)
{
    QCoreApplication app(argc, argv);
    QTextStream(stderr) << "pellora: " << why << "\n\n" << p.parser.helpText() << Qt::flush;
    return 2;
}

}

int usageError(int argc, char *argv[])
{
    // Qt's own options (-platform, -style ...) take one dash and are the toolkit's to judge, with
    // the word after them; ours take two. A mistyped one must not reach a toolkit that needs a
    // display to complain, and a word that belongs to no option is a mistake too: a script whose
    // variable came out empty must not have its words taken for something else.
    QStringList arguments{QStringLiteral("pellora")};
    QString stray;
    QString qtOption;
    bool afterQtOption = false;
    for (int i = 1; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        const bool ours = argument.startsWith(QLatin1String("--"));
        const bool valueOfOurs = i > 1 && arguments.last().startsWith(QLatin1String("--")) && !arguments.last().contains(QLatin1Char('='))
            && QStringList{"--trace", "--ports", "--apply", "--backup", "--check", "--report"}.contains(arguments.last());
        if (ours || valueOfOurs) {
            arguments << argument;
            afterQtOption = false;
        } else if (argument.startsWith(QLatin1Char('-'))) {
            afterQtOption = true;
            if (qtOption.isEmpty())
                qtOption = argument;
        } else if (afterQtOption) {
            afterQtOption = false;
        } else if (stray.isEmpty()) {
            stray = argument;
        }
    }
    Parser p;
    if (!p.parser.parse(arguments))
        return refuse(argc, argv, p.parser.errorText(), p);
    if (!stray.isEmpty())
        return refuse(argc, argv, QStringLiteral("\"%1\" belongs to no option").arg(stray), p);
    for (const QCommandLineOption *option : {&p.trace, &p.ports, &p.apply, &p.backup, &p.check, &p.report}) {
        const QString name = QStringLiteral("--") + option->names().constFirst();
        if (!p.parser.isSet(*option))
            continue;
        const QString value = p.parser.value(*option);
        if (value.startsWith(QLatin1Char('-')))
            return refuse(argc, argv, QStringLiteral("%1 needs a value, not the option %2").arg(name, value), p);
        if (option == &p.ports && value.simplified().remove(QLatin1Char(',')).remove(QLatin1Char(' ')).isEmpty())
            return refuse(argc, argv, QStringLiteral("--ports needs at least one port; without it every port is searched"), p);
    }
    const int modes = int(p.parser.isSet(p.list)) + int(p.parser.isSet(p.apply)) + int(p.parser.isSet(p.backup)) + int(p.parser.isSet(p.check));
    if (modes > 1)
        return refuse(argc, argv, QStringLiteral("choose one of --list, --apply, --backup and --check"), p);
    if (p.parser.isSet(p.report) && (modes == 0 || p.parser.isSet(p.list)))
        return refuse(argc, argv, QStringLiteral("--report goes with --apply, --backup or --check"), p);
    // The toolkit's one-dash options belong to the window, which these modes never open.
    if (!qtOption.isEmpty() && needsNoWindow(argc, argv))
        return refuse(argc, argv, QStringLiteral("%1 is not an option of pellora's (options take two dashes)").arg(qtOption), p);
    return -1;
}

bool displayAvailable(int argc, char *argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(name))
            return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0)
            return true;
    return false;
#else
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    return true;
#endif
}

Options parse(QCoreApplication &app)
{
    Parser p;
    // What the toolkit left of the arguments: a mistake here is a usage error too (exit 2).
    if (!p.parser.parse(app.arguments())) {
        QTextStream(stderr) << "pellora: " << p.parser.errorText() << "\n\n" << p.parser.helpText() << Qt::flush;
        std::exit(2);
    }
    p.parser.process(app);
    Options options;
    options.trace = p.parser.value(p.trace);
    options.list = p.parser.isSet(p.list);
    options.verbose = p.parser.isSet(p.verbose);
    options.apply = p.parser.value(p.apply);
    options.check = p.parser.value(p.check);
    options.report = p.parser.value(p.report);
    options.backup = p.parser.value(p.backup);
    options.mode = p.parser.isSet(p.apply) ? Options::Apply
        : p.parser.isSet(p.backup)         ? Options::Backup
        : p.parser.isSet(p.check)          ? Options::Check
                                           : Options::List;
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
        return BatchRun(BenchTask::Apply, options.apply, options.report).run();
    if (options.mode == Options::Backup)
        return BatchRun(BenchTask::Backup, options.backup, options.report).run();
    if (options.mode == Options::Check)
        return BatchRun(BenchTask::Check, options.check, options.report).run();
    return list();
}

}
