#ifndef LOGCATEGORIES_H
#define LOGCATEGORIES_H

#include <QLoggingCategory>

// The program's diagnostics: quiet unless turned on, with --verbose or for instance
// QT_LOGGING_RULES="pellora.wire.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcWire)    // pellora.wire: the exchanges on a port and how they failed
Q_DECLARE_LOGGING_CATEGORY(lcDevice)  // pellora.device: the catalogue, identification, loads, writes, files
Q_DECLARE_LOGGING_CATEGORY(lcUi)      // pellora.ui: the window and the sensor pages

#endif
