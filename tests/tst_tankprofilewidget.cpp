// The tank profile editor: typing, CSV files in and out, the chart, the profiling wizard, sending.
#include "lls/ui/tankprofilehost.h"
#include "lls/ui/tankprofilewidget.h"
#include "modalanswer.h"

#include <QDoubleSpinBox>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QGraphicsView>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableWidget>
#include <QtTest>

namespace {

// The editor with its host, and files chosen without a dialog.
class Editor : public TankProfileWidget, public TankProfileHost
{
public:
    Editor() : TankProfileWidget(this) {}
    int level = 0;
    QString file;
    QList<QStringList> sent;  // levels, outputs of each write

    int levelPercent() const override { return level; }
    void setTankProfile(const QStringList &levels, const QStringList &outputs) override { sent << levels << outputs; }

    QString chooseImportFile() override { return file; }
    QString chooseSaveFile() override { return file; }

    QPushButton *button(const char *name) const { return findChild<QPushButton *>(name); }
    QTableWidget *table() const { return findChild<QTableWidget *>("tableWidget"); }
    int page() const { return findChild<QStackedWidget *>("stackedWidget")->currentIndex(); }
    // SEND TO PROBE and SAVE TO CSV follow one rule: -1 when they part.
    int canSend() const { return button("saveButton")->isEnabled() == button("setTankProfileTable")->isEnabled() ? button("saveButton")->isEnabled() : -1; }
    // "level|output" rows joined by ";"; a red cell ends in "!".
    QString cells() const
    {
        QStringList rows;
        for (int r = 0; r < table()->rowCount(); ++r)
            rows << cell(r, 0) + '|' + cell(r, 1);
        return rows.join(';');
    }
    QString cell(int r, int c) const
    {
        const QTableWidgetItem *item = table()->item(r, c);
        return item ? item->text() + (item->background() == QBrush(Qt::red) ? "!" : "") : QString();
    }
    void type(int row, int column, const QString &text) { table()->setItem(row, column, new QTableWidgetItem(text)); }
    void add(double units, int percent)
    {
        findChild<QDoubleSpinBox *>("unitOfLiquid")->setValue(units);
        level = percent;
        button("addButton")->click();
    }
};

}

class TestTankProfileWidget : public QObject
{
    Q_OBJECT

private slots:
    void typing_data();
    void typing();
    void importing_data();
    void importing();
    void chartPoints();
    void wizard();
    void sending();

private:
    QTemporaryDir dir;
};

void TestTankProfileWidget::typing_data()
{
    QTest::addColumn<QStringList>("edits");  // "row,column=text"
    QTest::addColumn<QString>("cells");
    QTest::addColumn<int>("sendable");
    const QStringList two{"0,0=0", "0,1=0", "1,0=100", "1,1=100"};
    QTest::newRow("a first row grows a blank one") << QStringList{"0,0=0", "0,1=0"} << "0|0;|" << 0;
    QTest::newRow("two valid rows can be sent") << two << "0|0;100|100;|" << 1;
    QTest::newRow("150 is red") << QStringList{"0,0=0", "0,1=0", "1,0=150", "1,1=10"} << "0|0;150!|10;|" << 0;
    QTest::newRow("cleared cell is white, row incomplete") << QStringList{"0,0=0", "0,1=0", "1,0=150", "1,1=10", "1,0="} << "0|0;|10;|" << 0;
    QTest::newRow("words and nan are red") << QStringList{"0,0=abc", "0,1=nan"} << "abc!|nan!;|" << 0;
    QTest::newRow("emptied row above the blank one goes") << two + QStringList{"1,0=", "1,1="} << "0|0;|" << 0;
    QTest::newRow("emptied middle row stays") << two + QStringList{"2,0=50", "2,1=50", "1,0=", "1,1="} << "0|0;|;50|50;|" << 0;
    QTest::newRow("emptying everything leaves one row") << QStringList{"0,0=5", "0,0="} << "|" << 0;
}

void TestTankProfileWidget::typing()
{
    QFETCH(QStringList, edits);
    Editor editor;
    QCOMPARE(editor.canSend(), 0);
    for (const QString &edit : edits)
        editor.type(edit.section(',', 0, 0).toInt(), edit.section(',', 1).section('=', 0, 0).toInt(), edit.section('=', 1));
    QTEST(editor.cells(), "cells");
    QTEST(editor.canSend(), "sendable");
}

void TestTankProfileWidget::importing_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("cells");
    QTest::addColumn<int>("sendable");
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("message");  // a part of it; none if empty
    const QString before = "10|20;90|80;|";
    QTest::newRow("three lines") << QByteArray("0,0\n50,30\n100,100\n") << "0|0;50|30;100|100;|" << 1 << 3 << "";
    QTest::newRow("CR LF, texts kept") << QByteArray("0,0\r\n50,30.50\r\n100,100\r\n") << "0|0;50|30.50;100|100;|" << 1 << 3 << "";
    QTest::newRow("last line without a break") << QByteArray("0,0\n50,30\n100,100") << "0|0;50|30;100|100;|" << 1 << 3 << "";
    QTest::newRow("header of words") << QByteArray("Level,Output\n0,0\n100,100\n") << "|;0|0;100|100;|" << 0 << 0 << "";
    QTest::newRow("blank line keeps its row") << QByteArray("0,0\n10,10\n\n50,50\n100,100\n") << "0|0;10|10;|;50|50;100|100;|" << 0 << 2 << "";
    QTest::newRow("out of range is red") << QByteArray("0,0\n150,100\n") << "0|0;150!|100;|" << 0 << 1 << "";
    QTest::newRow("one column") << QByteArray("0\n100\n") << "0|;100|;|" << 0 << 0 << "";
    QTest::newRow("empty") << QByteArray() << "|" << 0 << 0 << "";
    QTest::newRow("text after NUL ignored") << QByteArray("0,0\n100,100\n\0\xff,1\n", 17) << "0|0;100|100;|" << 1 << 2 << "";
    QTest::newRow("128 lines fit") << QByteArray("5,6\n").repeated(128) << QString("5|6;").repeated(128) + "|" << 1 << 128 << "";
    // Too many to send, but a file may hold them: -1 is "saved, not sent".
    QTest::newRow("1000 lines, too many to send") << QByteArray("5,6\n").repeated(1000) << QString("5|6;").repeated(1000) + "|" << -1 << 1000 << "";
    QTest::newRow("1001 lines refused") << QByteArray("5,6\n").repeated(1001) << before << 1 << 2 << "more than 1000 lines";
    QTest::newRow("over 64 KB refused") << QByteArray(64 * 1024 + 1, ' ') << before << 1 << 2 << "larger than 64 KB";
    QTest::newRow("missing file") << QByteArray("missing") << before << 1 << 2 << "could not be opened";
}

void TestTankProfileWidget::importing()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, cells);
    QFETCH(int, points);
    QFETCH(QString, message);
    Editor editor;
    editor.refreshTableView({"10", "90"}, {"20", "80"}, false);
    editor.file = dir.filePath(QTest::currentDataTag());
    QFile out(editor.file);
    QVERIFY(file == "missing" || (out.open(QIODevice::WriteOnly) && out.write(file) == file.size() && out.flush()));
    editor.findChild<QStackedWidget *>("stackedWidget")->setCurrentIndex(0);

    QElapsedTimer clock;
    clock.start();
    const QString shown = answerMessageBoxes([&] { editor.button("importButton")->click(); });
    QVERIFY(clock.elapsed() < 2000);
    QVERIFY2(message.isEmpty() ? shown.isEmpty() : shown.contains(message), qPrintable(shown));
    QCOMPARE(editor.page(), message.isEmpty() ? 2 : 0);
    QCOMPARE(editor.cells(), cells);
    QTEST(editor.canSend(), "sendable");
    const auto chart = editor.findChild<QGraphicsView *>("graphicsView_2")->scene()->items(Qt::AscendingOrder);
    const auto *count = qgraphicsitem_cast<QGraphicsTextItem *>(chart.last());  // drawn last
    QCOMPARE(count->toPlainText(), QString("Total points used: %1 of 128").arg(points));
    QCOMPARE(count->defaultTextColor(), points > 128 ? QColor(Qt::red) : QColor(Qt::white));

    // What can be sent can be saved, as the cells' texts, one line each, and read back.
    editor.file += ".saved";
    if (message.isEmpty() && editor.canSend() == 1) {
        editor.button("saveButton")->click();
        QFile saved(editor.file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(QString(saved.readAll()), cells.chopped(1).replace('|', ',').replace(';', '\n'));
        editor.button("importButton")->click();
        QCOMPARE(editor.cells(), cells);
    }
}

// A 300-pixel scene: margin 39, plot 240, origin y 261. Cells without text are passed over; a bad one ends the points.
void TestTankProfileWidget::chartPoints()
{
    const TankProfileTable::Rows rows{{"0", "0"}, {QString(), "5"}, {"50", "30"}, {"100", "100"}, {"10", "101"}, {"20", "20"}};
    const QVector<QPointF> points{{39, 261}, {159, 189}, {279, 21}};
    QCOMPARE(TankProfileTable::chartPoints(TankProfileTable::chart(300), rows), points);
}

void TestTankProfileWidget::wizard()
{
    Editor editor;
    auto *units = editor.findChild<QDoubleSpinBox *>("unitOfLiquid");
    editor.button("wizardButton")->click();
    QCOMPARE(editor.page(), 1);
    QVERIFY(!editor.button("backWizardButton")->isEnabled());
    const struct { double units; int level; double unitsAfter; const char *cells; bool complete; } steps[] = {
        {0, 0, 1, "0|0;|", false},
        {10, 42, 11, "0|0;42|100;|", true},
        {5, 50, 5, "0|0;42|100;|", true},  // not more than before: ignored
        {20, 80, 21, "0|0;42|50;80|100;|", true},
        {80, 90, 81, "0|0;42|13;80|25;90|100;|", true},  // 12.5 % rounds up
    };
    for (const auto &step : steps) {
        editor.add(step.units, step.level);
        QCOMPARE(units->value(), step.unitsAfter);
        QCOMPARE(editor.cells(), step.cells);
        QVERIFY(editor.button("backWizardButton")->isEnabled());
        QCOMPARE(editor.button("completeButton")->isEnabled(), step.complete);
    }
    editor.button("backWizardButton")->click();
    QCOMPARE(editor.cells(), "0|0;42|50;80|100;|");
    QCOMPARE(units->value(), 80.0);

    // The sensor's limit: 128 points, then ADD waits until BACK.
    editor.button("clearWizardButton")->click();
    QCOMPARE(editor.cells(), "|");
    for (int i = 0; i < 128; ++i)
        editor.button("addButton")->click();
    QVERIFY(!editor.button("addButton")->isEnabled());
    QCOMPARE(editor.table()->rowCount(), 129);
    editor.button("backWizardButton")->click();
    QVERIFY(editor.button("addButton")->isEnabled());

    // Leaving the wizard asks first; No stays.
    answerMessageBoxesWith({QMessageBox::No}, [&] { editor.button("newButton")->click(); });
    QCOMPARE(editor.page(), 1);
    answerMessageBoxesWith({QMessageBox::Yes}, [&] { editor.button("newButton")->click(); });
    QCOMPARE(editor.page(), 0);
}

void TestTankProfileWidget::sending()
{
    Editor editor;
    editor.refreshTableView({"0", "50", "100"}, {"0", "30", "100"}, false);
    QCOMPARE(editor.page(), 2);
    QCOMPARE(answerMessageBoxesWith({QMessageBox::Yes}, [&] { editor.button("setTankProfileTable")->click(); }),
             QStringList{"Send tank profile to probe and enable tank profiling now?"});
    QCOMPARE(editor.page(), 3);
    QCOMPARE(editor.sent, (QList<QStringList>{{"0", "50", "100"}, {"0", "30", "100"}}));
    const char *const locked[] = {"setTankProfileTable", "clearTableButton", "newButton", "importButton", "saveButton"};
    auto enabled = [&] { QString s; for (const char *name : locked) s += QChar('0' + editor.button(name)->isEnabled()); return s; };
    QCOMPARE(enabled(), "00000");
    editor.showTablePage();
    QCOMPARE(editor.page(), 2);
    QCOMPARE(enabled(), "11111");
    // A folder that is not there cannot be written to: the user is told, nothing is created.
    editor.file = dir.filePath("no such folder/saved.csv");
    QVERIFY(answerMessageBoxes([&] { editor.button("saveButton")->click(); }).contains("could not be saved"));
    QVERIFY(!QFileInfo::exists(editor.file));
    QCOMPARE(editor.canSend(), 1);

    // COMPLETE asks, and SEND TO PROBE asks again.
    editor.sent.clear();
    editor.button("wizardButton")->click();
    editor.add(0, 0);
    editor.add(10, 40);
    QCOMPARE(answerMessageBoxesWith({QMessageBox::Yes, QMessageBox::No}, [&] { editor.button("completeButton")->click(); }).size(), 2);
    QCOMPARE(editor.page(), 2);
    QVERIFY(editor.sent.isEmpty());
    answerMessageBoxesWith({QMessageBox::Yes}, [&] { editor.button("completeButton")->click(); });
    QCOMPARE(editor.sent, (QList<QStringList>{{"0", "40"}, {"0", "100"}}));

    // EDIT TABLE shows the sensor's table again; unequal lists leave the table empty.
    editor.button("tableButton")->click();
    QCOMPARE(editor.cells(), "0|0;50|30;100|100;|");
    QLoggingCategory::setFilterRules("pellora.ui.debug=true");
    QTest::ignoreMessage(QtDebugMsg, "TankProfileWidget::refreshTableView: size not equal!!!");
    editor.refreshTableView({"0", "100"}, {"0"}, false);
    QCOMPARE(editor.cells(), "|");

    // As a window of its own, Escape closes it as its close button would.
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QTest::keyClick(&editor, Qt::Key_Escape);
    QVERIFY(!editor.isVisible());
}

QTEST_MAIN(TestTankProfileWidget)
#include "tst_tankprofilewidget.moc"
