#ifndef SELECT_H
#define SELECT_H

#include "device/portreport.h"

#include <QFrame>
#include <QTimer>
#include <QVector>

class MainWindow;

namespace Ui {
class Select;
}

// The first page: a busy bar while a scan runs, then the list of sensors found.
class Select : public QFrame
{
    Q_OBJECT
public:
    explicit Select(MainWindow *mainWindow);
    ~Select() override;

    void showSearching();
    void fillDeviceList();
    // A line under the list about what became of the last sensor (lost, port unusable); it stays
    // until the user selects or searches again.
    void showNotice(const QString &text);
    QString notice() const;
    // How far the search has come, "Searching 30 ports (12 answered)", on the searching page and
    // after the fallback alike.
    void showProgress(int answered, int count, const QString &port);
    // What became of every port, under the list; a hint when a port lacked permission.
    void showPortReports(const QVector<PortReport> &reports);
    QString progressText() const;
    QString portDetails() const;
    QString permissionHint() const;
    // True from showSearching() until the next fillDeviceList(): the list shown may be stale and
    // the device list is being rebuilt on the worker thread, so nothing may be selected from it.
    bool isListStale() const { return listStale; }

public slots:
    void onDeviceIndexChanged(int index);

private slots:
    void on_selectButton_clicked();
    void on_benchButton_clicked();
    void on_refreshDevicesButton_clicked();
    void onSearchTimeout();

private:
    QTimer timer;
    Ui::Select *ui;
    MainWindow *mainWindow;
    bool listStale = true;
    QVector<bool> gone;  // by device: its port went away since the search
    QString chosenPort;  // the port of the sensor chosen in the list: kept when the list is rebuilt
};

#endif
