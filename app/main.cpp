#include "app/commandline.h"
#include "app/mainwindow.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // A mistyped option over SSH is refused here, before a window's toolkit looks for a display.
    if (const int code = CommandLine::usageError(argc, argv); code >= 0)
        return code;
    // Help, version, the port list and the bench modes work without a display: no widget is created for them.
    if (CommandLine::needsNoWindow(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationVersion(QStringLiteral("1.2.5"));
        const CommandLine::Options options = CommandLine::parse(app);
        CommandLine::apply(options);
        return CommandLine::run(options);
    }
    // Without a display the toolkit would abort; the user learns what is missing instead.
    if (!CommandLine::displayAvailable(argc, argv)) {
        std::fprintf(stderr, "pellora: the window needs a display, and none is set (DISPLAY, WAYLAND_DISPLAY); "
                             "--list, --apply and --backup work without one\n");
        return 2;
    }
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Qt 6 always scales.
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
#endif
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral("1.2.5"));
    CommandLine::apply(CommandLine::parse(app));
    MainWindow window;
    window.show();
    return app.exec();
}
