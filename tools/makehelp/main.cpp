// pellora-makehelp: turns the help text (Markdown, with pictures) into the PDF delivered beside
// the program.
//   pellora-makehelp input.md output.pdf
// Pictures are named relative to the text; each is drawn at most as wide as the page.
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QUrl>
#include <cstdio>

namespace {

// The width a picture takes in the document's own units (a point each, on an A4 page less its
// margins): screenshots are wider than the page.
constexpr double PictureWidth = 440;

// Scales every picture to the page; false when one cannot be read (the PDF would show a hole).
bool fitPictures(QTextDocument &document, const QString &folder)
{
    bool all = true;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (!fragment.charFormat().isImageFormat())
                continue;
            QTextImageFormat image = fragment.charFormat().toImageFormat();
            const QImage picture(QFileInfo(folder + QLatin1Char('/') + image.name()).absoluteFilePath());
            if (picture.isNull()) {
                std::fprintf(stderr, "pellora-makehelp: cannot read the picture %s\n", qPrintable(image.name()));
                all = false;
                continue;
            }
            const double width = qMin<double>(PictureWidth, picture.width());
            image.setWidth(width);
            image.setHeight(width * picture.height() / picture.width());
            QTextCursor cursor(&document);
            cursor.setPosition(fragment.position());
            cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
            cursor.setCharFormat(image);
        }
    }
    return all;
}

}

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
    const QString folder = QFileInfo(input).absolutePath();
    QTextDocument document;
    document.setDefaultStyleSheet(QStringLiteral("h1 { color: #002b52; } h2 { color: #002b52; }"));
    document.setMetaInformation(QTextDocument::DocumentUrl, QUrl::fromLocalFile(folder + QLatin1Char('/')).toString());
    document.setMarkdown(QString::fromUtf8(input.readAll()));
    if (!fitPictures(document, folder))
        return 1;

    QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
    writer.setTitle(QStringLiteral("Pellora Help"));
    writer.setCreator(QStringLiteral("Pellora"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(18, 18, 18, 18), QPageLayout::Millimeter);
    document.print(&writer);
    return 0;
}
