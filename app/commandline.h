#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include <QString>
#include <QStringList>

class DeviceManager;
class QCoreApplication;

// The program's command line: --help, --version, --trace FILE, --list, --apply FILE, --backup DIR,
// --check FILE, --report REPORT.csv,
// --ports LIST and --verbose.
namespace CommandLine {

struct Options
{
    QString trace;
    QStringList ports;  // empty: the system's ports
    bool list = false;
    bool verbose = false;  // --verbose: every diagnostic category on
    QString apply;   // --apply FILE
    QString check;   // --check FILE
    QString report;  // --report REPORT.csv
    QString backup;  // --backup DIR
    // What a run without a window does (an empty FILE or DIR is still that mode, and refused there).
    enum Mode { List, Apply, Backup, Check } mode = List;
};

// Whether the arguments ask for something that needs no window (help, version, list, apply,
// backup), so that
// it works where no display is available.
bool needsNoWindow(int argc, char *argv[]);

// Checks the program's own (double-dash) options before anything needs a display: -1 when they
// parse, else 2 after printing the error and the usage on stderr.
int usageError(int argc, char *argv[]);

// Whether a window could be shown: on X11 and Wayland desktops some display must be named
// (DISPLAY, WAYLAND_DISPLAY, QT_QPA_PLATFORM or -platform); elsewhere there always is one.
bool displayAvailable(int argc, char *argv[]);

// Parses the application's arguments; --help and --version print and exit here.
Options parse(QCoreApplication &app);

// Applies --verbose, --trace (a file that cannot be opened is reported on stderr; the program goes
// on) and --ports (only those ports, plus PELLORA_EXTRA_PORTS).
void apply(const Options &options);

// Scans as the window does, after checking the catalogue; null, with the reason on stderr, when
// the catalogue cannot be read. The caller owns the manager.
DeviceManager *scan();

// Runs the mode the options name: --apply, --backup or --list.
int run(const Options &options);

// --list: scans as the window does, prints one line per sensor and per port that failed. 0 when
// a sensor was found, 1 when none was or the catalogue could not be read.
int list();

}

#endif
