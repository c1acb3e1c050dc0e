#include "app/benchreport.h"

#include "app/benchengine.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

namespace BenchReport {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("BenchReport", text);
}

// A field as a spreadsheet reads it back: quoted when it holds a separator, a quote or a line
// break. A text from a sensor or a file that starts like a formula is kept as text.
QByteArray field(QString value)
{
    if (!value.isEmpty() && QStringLiteral("=+-@\t\r").contains(value.at(0)))
        value.prepend(QLatin1Char('\''));
    QByteArray bytes = value.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r'))
        bytes = '"' + bytes.replace("\"", "\"\"") + '"';
    return bytes;
}

QByteArray sha1Of(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&file);
    return hash.result().toHex();
}

QString action(BenchTask::Mode mode)
{
    return mode == BenchTask::Apply ? tr("apply") : mode == BenchTask::Backup ? tr("backup") : tr("check");
}

}

QByteArray text(const BenchEngine &engine)
{
    const BenchTask &task = engine.task();
    QByteArray out = "\xEF\xBB\xBF";
    const QStringList header{tr("Date and time"), tr("Port"), tr("Sensor"), tr("ID"), tr("Firmware"), tr("Serial"), tr("Description"),
                             tr("Action"), tr("File"), tr("File SHA-1"), tr("Outcome"), tr("Details")};
    QByteArrayList cells;
    for (const QString &h : header)
        cells << field(h);
    out += cells.join(',') + "\r\n";
    const QString fileHash = task.mode() == BenchTask::Backup ? QString() : QString::fromLatin1(task.sha1());
    for (const BenchEngine::Job &job : engine.jobs()) {
        // Only the record kept in the job is read: the device may be gone since the run.
        const bool level = job.device;
        QString files = task.mode() == BenchTask::Backup ? QString() : QFileInfo(task.target()).fileName();
        QString hashes = fileHash;
        if (job.chosen && task.mode() == BenchTask::Backup && job.outcome.kind == BenchOutcome::Done) {
            QStringList names, sums;
            for (const char *suffix : {".conf", ".fpc"}) {
                const QString path = QDir(task.target()).filePath(job.baseName + QLatin1String(suffix));
                if (QFileInfo::exists(path)) {
                    names << QFileInfo(path).fileName();
                    sums << QString::fromLatin1(sha1Of(path));
                }
            }
            files = names.join(QLatin1Char(' '));
            hashes = sums.join(QLatin1Char(' '));
        }
        QString outcome;
        QString details;
        if (!job.chosen) {
            outcome = !level ? tr("skipped") : job.report.gone ? tr("gone") : tr("not chosen");
            details = level ? QString() : job.skipped.isEmpty() ? job.report.text() : job.skipped;
            files.clear();
            hashes.clear();
        } else {
            static const char *const words[] = {"", "refused", "differs", "lost", "stopped"};
            outcome = job.outcome.kind != BenchOutcome::Done ? tr(words[job.outcome.kind])
                : task.mode() == BenchTask::Apply          ? tr("applied")
                : task.mode() == BenchTask::Backup         ? tr("saved")
                                                           : tr("matches");
            if (job.outcome.leftUnlocked)
                outcome += tr(", left unlocked");
            details = job.outcome.text;
        }
        const QStringList row{job.ended.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), job.report.port, job.name, job.id, job.firmware,
                              job.serial, job.description, action(task.mode()), files, hashes, outcome, details};
        cells.clear();
        for (const QString &value : row)
            cells << field(value);
        out += cells.join(',') + "\r\n";
    }
    return out;
}

bool write(const QString &path, const BenchEngine &engine, QString *error)
{
    const QByteArray bytes = text(engine);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = tr("the report could not be written to %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

}
