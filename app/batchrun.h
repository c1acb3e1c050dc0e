#ifndef BATCHRUN_H
#define BATCHRUN_H

#include "device/portreport.h"
#include "files/fpcfile.h"
#include "files/settingsfile.h"

#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>

class DeviceManager;
class LLSDevice;
class QThread;

// --apply FILE and --backup DIR: every level sensor a scan finds is worked at the same time, one
// thread each, with the window's own load, writes and files. One line per port, in port order,
// then a summary. Needs no display.
class BatchRun : public QObject
{
    Q_OBJECT
public:
    enum Mode { Apply, Backup };
    BatchRun(Mode mode, const QString &target);
    ~BatchRun() override;

    // 0 when every level sensor found was applied (or saved) and verified; 1 when any was
    // refused, differs, was lost or stopped, or none was found; 2 when the file cannot be used.
    int run();

private:
    enum Kind { Done, Refused, Differs, Lost, Stopped };
    struct Outcome
    {
        Kind kind = Done;
        QString text;
    };
    struct Job
    {
        PortReport report;
        LLSDevice *device = nullptr;  // null: a port that is listed as skipped
        QString skipped;              // why, for a sensor that is not a level sensor
        QString baseName;             // --backup: the files' name without suffix
        QThread *thread = nullptr;
        Outcome outcome;
    };

    bool readFile(QString *error);
    void chooseNames();
    Outcome work(Job &job);  // on the job's own thread
    QString otherSensor(const LLSDevice *device) const;
    Outcome applySettings(LLSDevice *device);
    Outcome applyFpc(LLSDevice *device);
    Outcome backup(LLSDevice *device, const QString &baseName);
    Outcome afterWrites(LLSDevice *device, const QStringList &notTaken) const;
    void printFinished();
    int summary();
    void stop();

    Mode m_mode;
    QString m_target;
    bool m_fpc = false;
    SettingsFile::Values m_settings;
    bool m_hasSensorType = false;
    FpcFile::Import m_import;
    DeviceManager *m_manager = nullptr;
    QVector<Job> m_jobs;
    int m_printed = 0;
    std::atomic<bool> m_stopping{false};
};

#endif
