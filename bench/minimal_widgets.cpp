// The yardstick for memory: a Qt widgets program with one label. Prints its peak resident memory
// (VmHWM) after a second of showing the label, for comparison with the program's own.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Pellora"));
    label.show();
    QTimer::singleShot(1000, &app, &QApplication::quit);
    app.exec();
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                std::printf("minimal widgets program: peak resident memory %.1f MB\n", line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0);
    return 0;
}
