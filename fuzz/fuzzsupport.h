#ifndef FUZZSUPPORT_H
#define FUZZSUPPORT_H

// Shared by the fuzz targets: a Qt application object, a driver that answers every request with
// the fuzzer's bytes, and a scratch file for the parsers that read files.
#include "device/abstractinterfacedriver.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication *app = new QCoreApplication(argc, argv);
    (void)app;
    qputenv("QT_LOGGING_RULES", "*.debug=false");
}

// Every request gets the same reply: the fuzzer's input.
class ReplyDriver : public AbstractInterfaceDriver
{
public:
    explicit ReplyDriver(const QByteArray &reply) : reply(reply) { m_type = QStringLiteral("serialport"); m_name = QStringLiteral("FUZZ"); }
    bool open() override { return true; }
    void close() override {}
    bool sendRequest(const QByteArray &, QByteArray &response) override
    {
        response = reply;
        return true;
    }
    QString type() const override { return m_type; }
    QString name() const override { return m_name; }
    bool connectErrorHandler(QObject *) override { return false; }
    QByteArray reply;
};

// The input as a file, for the readers that take a path.
inline QString scratchFile(const uint8_t *data, size_t size)
{
    static const QString path = QDir::tempPath() + QStringLiteral("/pellora-fuzz-%1.txt").arg(QCoreApplication::applicationPid());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size));
    return path;
}

#define FUZZ_CHECK(condition)                                                                        \
    do {                                                                                             \
        if (!(condition)) {                                                                          \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);      \
            std::abort();                                                                            \
        }                                                                                            \
    } while (false)

#endif
