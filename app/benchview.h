#ifndef BENCHVIEW_H
#define BENCHVIEW_H

#include "app/benchtask.h"
#include "device/portreport.h"

#include <QFrame>
#include <QMap>
#include <QPointer>

#include <functional>

class AbstractDevice;
class BenchEngine;
class MainWindow;

namespace Ui {
class BenchView;
}

// The window's face of the bench engine: every port in port order, a check box for each level
// sensor, and for the checked ones Apply a file, Back up, Compare and Stop, with each row's
// progress and outcome in the command line's words, a summary, and a report to save.
class BenchView : public QFrame
{
    Q_OBJECT
public:
    explicit BenchView(MainWindow *mainWindow);
    ~BenchView() override;

    // The ports as the window lists them now; each row keeps its check and its last outcome, unless
    // they come from a new search (another sensor may be on the port now).
    void showPorts(const QVector<PortReport> &reports, const QList<AbstractDevice *> &devices, bool newSearch = false);
    bool isRunning() const { return m_running; }
    // Stops a run and waits for its sensors (the window is closing).
    void stopAndWait();

    // Where the file dialogs ask; tests answer without a dialog. Empty: cancelled.
    enum class Dialog { OpenFile, Folder, SaveReport };
    std::function<QString(Dialog kind, const QString &caption)> fileDialog;

    QString summary() const;
    // A row's outcome text as shown ("applied", "differs: output range" ...), by port.
    QString outcome(const QString &port) const;

signals:
    void runningChanged(bool running);

private slots:
    void on_applyButton_clicked();
    void on_backupButton_clicked();
    void on_compareButton_clicked();
    void on_stopButton_clicked();
    void on_reportButton_clicked();
    void on_backButton_clicked();

private:
    void run(BenchTask::Mode mode, const QString &target);
    void onProgress(int job, int percent);
    void onJobFinished(int job);
    void onFinished();
    void fillRow(int row);
    void updateButtons();
    QVector<int> checkedRows() const;
    QString ask(Dialog kind, const QString &caption);

    Ui::BenchView *ui;
    MainWindow *mainWindow;
    QVector<PortReport> m_reports;
    QList<AbstractDevice *> m_devices;
    QVector<AbstractDevice *> m_rowDevice;  // by row: the level sensor, or null
    QMap<QString, bool> m_checked;           // by port, kept across refreshes
    QMap<QString, QString> m_outcomes;       // by port: the last run's words
    BenchEngine *m_engine = nullptr;         // the last run's, kept for its report
    BenchTask::Mode m_mode = BenchTask::Apply;
    bool m_running = false;
};

#endif
