#ifndef BENCHTASK_H
#define BENCHTASK_H

#include "files/fpcfile.h"
#include "files/settingsfile.h"

#include <QString>

class LLSDevice;

// What a bench run does to every level sensor, with its file read and checked whole before any
// port is opened: the same registers then reach every sensor, whatever happens to the file
// meanwhile.
class BenchTask
{
public:
    enum Mode { Apply, Backup, Check };

    // Reads and checks FILE (Apply, Check), or makes the folder DIR (Backup). False with a message
    // a technician can act on when it cannot be used.
    bool prepare(Mode mode, const QString &target, QString *error);

    Mode mode() const { return m_mode; }
    QString target() const { return m_target; }
    bool isFpc() const { return m_fpc; }
    const SettingsFile::Values &settings() const { return m_settings; }
    const FpcFile::Import &fpc() const { return m_import; }
    // The SHA-1 of the file's bytes as they were checked (hex), for the report.
    QByteArray sha1() const { return m_sha1; }

    // Why the file is not for this sensor: another ID or firmware (known from the scan), or, once
    // the sensor is read, another output for a settings file. Empty when it is; a backup fits
    // every sensor.
    QString otherSensor(const LLSDevice &device) const;
    QString otherOutput(const LLSDevice &device) const;

private:
    bool readSettings(const QByteArray &text, QString *error);
    bool readFpc(const QByteArray &text, QString *error);

    Mode m_mode = Apply;
    QString m_target;
    bool m_fpc = false;
    SettingsFile::Values m_settings;
    FpcFile::Import m_import;
    QByteArray m_sha1;
};

#endif
