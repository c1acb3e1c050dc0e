#ifndef BATCHRUN_H
#define BATCHRUN_H

#include "app/benchtask.h"

#include <QObject>
#include <QString>

class BenchEngine;
class DeviceManager;

// --apply FILE, --backup DIR and --check FILE, the command line's face of the bench engine: one line per port,
// in port order as soon as a port and every one before it are done, then a summary and an exit
// code. Needs no display.
class BatchRun : public QObject
{
    Q_OBJECT
public:
    // report: a CSV file of what each port got, written at the end (empty: none).
    BatchRun(BenchTask::Mode mode, const QString &target, const QString &report = {});
    ~BatchRun() override;

    // 0 when every level sensor found was applied (or saved), checked and locked again; 1 when any
    // was refused, differs, was lost, stopped or left unlocked, or none was found; 2 when the file
    // or folder cannot be used.
    int run();

private:
    void printFinished();
    int summary();

    BenchTask::Mode m_mode;
    QString m_target;
    QString m_report;
    DeviceManager *m_manager = nullptr;
    BenchEngine *m_engine = nullptr;
    int m_printed = 0;
    bool m_stopAsked = false;
};

#endif
