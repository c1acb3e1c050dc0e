// pellora-makehelp: turns the help text (Markdown) into the PDF delivered beside the program.
//   pellora-makehelp input.md output.pdf
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: pellora-makehelp input.md output.pdf\n");
        return 2;
    }
    QFile input(QString::fromLocal8Bit(argv[1]));
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "pellora-makehelp: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument document;
    document.setDefaultStyleSheet(QStringLiteral("h1 { color: #002b52; } h2 { color: #002b52; }"));
    document.setMarkdown(QString::fromUtf8(input.readAll()));

    QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
    writer.setTitle(QStringLiteral("Pellora Help"));
    writer.setCreator(QStringLiteral("Pellora"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
    document.print(&writer);
    return 0;
}
