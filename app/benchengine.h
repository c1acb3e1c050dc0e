#ifndef BENCHENGINE_H
#define BENCHENGINE_H

#include "app/benchtask.h"
#include "device/portreport.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>

class AbstractDevice;
class LLSDevice;
class QThread;

// What became of one level sensor of a bench run.
struct BenchOutcome
{
    enum Kind { Done, Refused, Differs, Lost, Stopped };
    Kind kind = Done;
    QString text;               // why, for every kind but Done; the files saved, for a backup
    bool leftUnlocked = false;  // it could not be locked again: it answers any command on its line

    bool ok() const { return kind == Done && !leftUnlocked; }
};

// Works every level sensor a scan found, each on a thread of its own, with the window's own load,
// writes, files and checks, and reports each sensor's end; the faces (the command line, the
// window) only show it. Lives on the thread that starts it.
class BenchEngine : public QObject
{
    Q_OBJECT
public:
    struct Job
    {
        PortReport report;
        LLSDevice *device = nullptr;  // null: a port that is skipped
        QString skipped;              // why, for a sensor that is not a level sensor
        QString baseName;             // a backup's files, without suffix
        QThread *thread = nullptr;
        bool chosen = false;          // worked in this run (a level sensor the face chose)
        BenchOutcome outcome;
        bool finished = false;
        QDateTime ended;              // when its work ended (or the run started, for a port skipped)
        // The sensor as the run knew it, kept: a later search deletes the device, not the record.
        QString name, id, firmware, serial, description;
    };

    explicit BenchEngine(const BenchTask &task, QObject *parent = nullptr);
    ~BenchEngine() override;

    // Starts the level sensors among the scan's devices (all, or the chosen ports' by their index
    // in reports), each on a thread of its own; returns at once. The devices may live on another
    // thread (the window's worker), idle: they are moved from there and back. progress() and
    // jobFinished() follow for each, then finished().
    void start(const QVector<PortReport> &reports, const QList<AbstractDevice *> &devices, const QVector<int> &chosen = {});
    // Every sensor stops after the writes under way that belong together, and is locked again.
    void stop();
    bool isStopping() const { return m_stopping; }
    const QVector<Job> &jobs() const { return m_jobs; }
    const BenchTask &task() const { return m_task; }
    // A worked sensor's end in the words both faces show: "applied", "saved NAME", "matches",
    // "refused: why" ..., and "; left unlocked: ..." when it could not be locked again.
    QString outcomeText(const Job &job) const;
    // "4 level sensors: 1 applied, 3 refused, 0 differ, 0 lost, 0 stopped; 2 ports skipped" and
    // what was left unlocked or could not be opened.
    QString summary() const;
    // Every level sensor found was worked, got there and was locked again, and every port could
    // be opened.
    bool allDone() const;

    // One sensor on the calling thread: what start() runs on each sensor's own thread. Opens,
    // reads, works and closes the sensor.
    static BenchOutcome work(LLSDevice *device, const BenchTask &task, const QString &baseName, const std::atomic<bool> &stopping,
                             const std::function<void(int)> &progress = {});

signals:
    // How far a sensor's work has come, 0 to 100; emitted from its thread, received queued.
    void progress(int job, int percent);
    void jobFinished(int job);
    void finished();

private:
    void claimNames();
    void onThreadFinished(int job);
    static void keepIdentity(Job &job);

    BenchTask m_task;
    QVector<Job> m_jobs;
    int m_running = 0;
    std::atomic<int> m_moving{0};  // devices still to be moved onto their job's thread
    std::atomic<bool> m_stopping{false};
};

#endif
