#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral("1.2.5"));
    MainWindow window;
    window.show();
    return app.exec();
}
