// The activator picture: value mapping, value rules and signals, bubble placement, font scaling,
// and what the paint puts on a rendered image.
#include "ncps/activatorwidget.h"

#include <QLabel>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QtTest>

namespace {

const QColor MinimumColour("#0FA752");
const QColor MaximumColour("#2F6FBA");

bool isRed(QRgb p)
{
    return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60;
}

// Text is antialiased, so pixels are told apart by their dominant channel; the picture is grey.
bool isGreenish(QRgb p)
{
    return qGreen(p) > qRed(p) + 40 && qGreen(p) > qBlue(p) + 20;
}

bool isBluish(QRgb p)
{
    return qBlue(p) > qRed(p) + 40 && qBlue(p) > qGreen(p) + 20;
}

// Columns (first, last) holding matching pixels inside the rows [top, bottom); (-1, -1) if none.
template<typename Match>
QPair<int, int> columnSpan(const QImage &image, int top, int bottom, Match match)
{
    int first = -1;
    int last = -1;
    for (int y = qMax(0, top); y < qMin(image.height(), bottom); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(image.pixel(x, y))) {
                if (first < 0 || x < first)
                    first = x;
                last = qMax(last, x);
            }
    return {first, last};
}

template<typename Match>
int countPixels(const QImage &image, int top, int bottom, Match match)
{
    int n = 0;
    for (int y = qMax(0, top); y < qMin(image.height(), bottom); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += match(image.pixel(x, y)) ? 1 : 0;
    return n;
}

QImage render(ActivatorWidget &widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void hideBubbles(ActivatorWidget &widget)
{
    for (auto type : {ActivatorWidget::MinimumBubble, ActivatorWidget::MaximumBubble, ActivatorWidget::ActivatorBubble})
        widget.setBubbleVisible(type, false);
}

}

class TestActivatorWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void valueToPixel();
    void valueAndRangeRules();
    void bubbleValueRulesAndFollowing();
    void bubbleImageSwitchesNearEdges();
    void labelFontScalesWithHeight();
    void activatorLineOnImage();
    void markersOnImageAndInsideWidget();
    void noActivatorTextOnImage();
    void oneValueRangePaintsInTheMiddle();
};

void TestActivatorWidget::initTestCase()
{
    qRegisterMetaType<ActivatorWidget::BubbleType>();
}

void TestActivatorWidget::valueToPixel()
{
    ActivatorWidget widget;
    QVERIFY(widget.renderer()->isValid());
    widget.resize(500, 120);
    QCOMPARE(widget.valueToPixel(0), 30);
    QCOMPARE(widget.valueToPixel(100), 470);
    QCOMPARE(widget.valueToPixel(50), 250);
    widget.setRange(-15800, 15800);
    QCOMPARE(widget.valueToPixel(-15800), 30);
    QCOMPARE(widget.valueToPixel(15800), 470);
    QCOMPARE(widget.valueToPixel(0), 250);
}

void TestActivatorWidget::valueAndRangeRules()
{
    ActivatorWidget widget;
    QSignalSpy changed(&widget, &ActivatorWidget::valueChanged);

    widget.setValue(150);
    QCOMPARE(widget.value(), 100);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 100);

    // Out of range again, and limited to what it already is: nothing changes, nothing is sent.
    widget.setValue(150);
    widget.setValue(100);
    QCOMPARE(changed.count(), 1);

    widget.setValue(-7);
    QCOMPARE(widget.value(), 0);
    widget.setValue(-8);
    QCOMPARE(changed.count(), 2);

    // A maximum below the minimum collapses the range onto the minimum; the value follows.
    widget.setRange(10, 5);
    QCOMPARE(widget.minimum(), 10);
    QCOMPARE(widget.maximum(), 10);
    QCOMPARE(widget.value(), 10);
    QCOMPARE(changed.count(), 3);
    widget.setValue(3);
    widget.setRange(-15800, 15800);
    QCOMPARE(changed.count(), 3);
}

void TestActivatorWidget::bubbleValueRulesAndFollowing()
{
    ActivatorWidget widget;
    QSignalSpy bubbleChanged(&widget, &ActivatorWidget::bubbleValueChanged);
    QSignalSpy changed(&widget, &ActivatorWidget::valueChanged);

    // The activator bubble moves with the value.
    widget.setValue(70);
    QCOMPARE(widget.bubbleValue(ActivatorWidget::ActivatorBubble), 70);
    QCOMPARE(bubbleChanged.count(), 1);
    QCOMPARE(bubbleChanged.at(0).at(0).value<ActivatorWidget::BubbleType>(), ActivatorWidget::ActivatorBubble);
    QCOMPARE(bubbleChanged.at(0).at(1).toInt(), 70);

    // ...and moving the bubble moves the value, once.
    widget.setBubbleValue(ActivatorWidget::ActivatorBubble, 20);
    QCOMPARE(widget.value(), 20);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(bubbleChanged.count(), 2);

    // Marker bubbles are limited to the range like the value, and leave the value alone.
    widget.setBubbleValue(ActivatorWidget::MaximumBubble, 500);
    widget.setBubbleValue(ActivatorWidget::MaximumBubble, 500);
    QCOMPARE(widget.bubbleValue(ActivatorWidget::MaximumBubble), 100);
    QCOMPARE(bubbleChanged.count(), 3);
    QCOMPARE(widget.value(), 20);

    // Not following: the value moves alone until following is switched back on.
    widget.setBubbleFollowsValue(false);
    widget.setValue(90);
    QCOMPARE(widget.bubbleValue(ActivatorWidget::ActivatorBubble), 20);
    widget.setBubbleFollowsValue(true);
    QCOMPARE(widget.bubbleValue(ActivatorWidget::ActivatorBubble), 90);
}

void TestActivatorWidget::bubbleImageSwitchesNearEdges()
{
    ActivatorWidget widget;
    widget.resize(500, 200);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QLabel *label = widget.bubbleLabel(ActivatorWidget::ActivatorBubble);
    const int lw = label->width();
    QVERIFY(lw > 30 && lw < 250);

    // Near the left edge: the L image, and the label reaches out to the right of its point.
    widget.setValue(0);
    QVERIFY(label->styleSheet().contains(ActivatorWidget::LeftBubbleImage));
    QCOMPARE(label->x(), 30 - static_cast<int>(lw * (1 - 0.88)));
    QVERIFY(label->geometry().right() > 30 + lw / 2);
    QCOMPARE(label->geometry().bottom() + 1, qMax(label->height(), static_cast<int>(200 * 0.4)));

    // The middle keeps whatever image the label has.
    widget.setValue(50);
    QVERIFY(label->styleSheet().contains(ActivatorWidget::LeftBubbleImage));
    QCOMPARE(label->x(), 250 - static_cast<int>(lw * (1 - 0.88)));

    // Near the right edge: the R image, extending to the left.
    widget.setValue(100);
    QVERIFY(label->styleSheet().contains(ActivatorWidget::RightBubbleImage));
    QVERIFY(!label->styleSheet().contains(ActivatorWidget::LeftBubbleImage));
    QCOMPARE(label->x(), 470 - static_cast<int>(lw * 0.88));
    QVERIFY(label->geometry().right() <= 500);
    widget.setValue(50);
    QVERIFY(label->styleSheet().contains(ActivatorWidget::RightBubbleImage));
    QCOMPARE(label->x(), 250 - static_cast<int>(lw * 0.88));

    // Marker bubbles sit lower (their bottom edge at 51 % of the height).
    QLabel *minimumLabel = widget.bubbleLabel(ActivatorWidget::MinimumBubble);
    widget.setBubbleValue(ActivatorWidget::MinimumBubble, 60);
    QCOMPARE(minimumLabel->y(), qMax(0, static_cast<int>(200 * 0.51 - minimumLabel->height())));
}

void TestActivatorWidget::labelFontScalesWithHeight()
{
    ActivatorWidget widget;
    const int pictureHeight = widget.renderer()->defaultSize().height();
    QVERIFY(pictureHeight > 0 && pictureHeight % 4 == 0);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));

    widget.resize(600, pictureHeight / 2);
    QCoreApplication::processEvents();
    for (auto type : {ActivatorWidget::MinimumBubble, ActivatorWidget::MaximumBubble, ActivatorWidget::ActivatorBubble})
        QCOMPARE(widget.bubbleLabel(type)->font().pointSizeF(), 4.5);
    const QSize small = widget.bubbleLabel(ActivatorWidget::ActivatorBubble)->size();

    widget.resize(600, pictureHeight * 2);
    QCoreApplication::processEvents();
    QCOMPARE(widget.bubbleLabel(ActivatorWidget::ActivatorBubble)->font().pointSizeF(), 9.0);
    // The label is fitted to its text again.
    QVERIFY(widget.bubbleLabel(ActivatorWidget::ActivatorBubble)->width() > small.width());

    // Collapsed to nothing: still a usable font, no zero-size request.
    widget.resize(600, 0);
    QCoreApplication::processEvents();
    QVERIFY(widget.bubbleLabel(ActivatorWidget::ActivatorBubble)->font().pointSizeF() > 0);
}

void TestActivatorWidget::activatorLineOnImage()
{
    ActivatorWidget widget;
    widget.resize(500, 200);
    hideBubbles(widget);
    widget.setValue(25);
    const QImage image = render(widget);
    const int x = widget.valueToPixel(25);
    QCOMPARE(x, 140);

    // A dash-dot line in the column of the value, from 2/5 to 3/5 of the height and nowhere else.
    QVERIFY(countPixels(image, 80, 121, isRed) > 20);
    const auto span = columnSpan(image, 0, 200, isRed);
    QCOMPARE(span.first, x);
    QCOMPARE(span.second, x);
    QCOMPARE(countPixels(image, 0, 80, isRed), 0);
    QCOMPARE(countPixels(image, 121, 200, isRed), 0);

    widget.setActivatorVisible(false);
    widget.setNoActivatorText(QString());
    QCOMPARE(countPixels(render(widget), 0, 200, isRed), 0);
}

void TestActivatorWidget::markersOnImageAndInsideWidget()
{
    ActivatorWidget widget;
    widget.resize(600, 240);
    hideBubbles(widget);
    widget.setActivatorVisible(false);
    widget.setNoActivatorText(QString());
    widget.setBubbleValue(ActivatorWidget::MinimumBubble, 30);
    widget.setBubbleValue(ActivatorWidget::MaximumBubble, 70);

    // Without marker texts, no markers.
    QImage image = render(widget);
    QCOMPARE(countPixels(image, 0, 240, isGreenish), 0);
    QCOMPARE(countPixels(image, 0, 240, isBluish), 0);

    widget.setMarkerText(ActivatorWidget::MinimumBubble, "Current Minimum Position\n1.00 V");
    widget.setMarkerText(ActivatorWidget::MaximumBubble, "Current Maximum Position\n4.00 V");
    image = render(widget);
    const int mid = static_cast<int>(0.505 * 240);  // 121
    const int xMin = widget.valueToPixel(30);
    const int xMax = widget.valueToPixel(70);

    // Triangles: the minimum's above the mid-line, tip down; the maximum's below, tip up.
    QCOMPARE(image.pixelColor(xMin, mid - 5), MinimumColour);
    QCOMPARE(image.pixelColor(xMin + 4, mid - 9), MinimumColour);
    QVERIFY(image.pixelColor(xMin + 4, mid - 2) != MinimumColour);
    QCOMPARE(image.pixelColor(xMax, mid + 5), MaximumColour);
    QCOMPARE(image.pixelColor(xMax - 4, mid + 9), MaximumColour);
    QVERIFY(image.pixelColor(xMax - 4, mid + 2) != MaximumColour);

    // Texts: the minimum's above its triangle, the maximum's below its triangle, centred on them.
    QVERIFY(countPixels(image, 0, mid - 10, isGreenish) > 50);
    QCOMPARE(countPixels(image, mid + 1, 240, isGreenish), 0);
    QVERIFY(countPixels(image, mid + 11, 240, isBluish) > 50);
    QCOMPARE(countPixels(image, 0, mid, isBluish), 0);
    const auto minText = columnSpan(image, 0, mid - 10, isGreenish);
    QVERIFY(qAbs((minText.first + minText.second) / 2 - xMin) < 15);
    const auto maxText = columnSpan(image, mid + 11, 240, isBluish);
    QVERIFY(qAbs((maxText.first + maxText.second) / 2 - xMax) < 15);

    widget.setBubbleValue(ActivatorWidget::MinimumBubble, 50);
    widget.setBubbleValue(ActivatorWidget::MaximumBubble, 50);
    image = render(widget);
    const auto minMiddle = columnSpan(image, 0, mid - 10, isGreenish);
    const auto maxMiddle = columnSpan(image, mid + 11, 240, isBluish);

    // At the edges the texts are pushed inside: the whole text is still drawn.
    widget.setBubbleValue(ActivatorWidget::MinimumBubble, 0);
    widget.setBubbleValue(ActivatorWidget::MaximumBubble, 100);
    image = render(widget);
    const auto minLeft = columnSpan(image, 0, mid - 10, isGreenish);
    const auto maxRight = columnSpan(image, mid + 11, 240, isBluish);
    QVERIFY(minLeft.first >= 0 && minLeft.first < minMiddle.first);
    QCOMPARE(minLeft.second - minLeft.first, minMiddle.second - minMiddle.first);
    QVERIFY(maxRight.second < 600 && maxRight.second > maxMiddle.second);
    QCOMPARE(maxRight.second - maxRight.first, maxMiddle.second - maxMiddle.first);

    widget.setBubbleValue(ActivatorWidget::MinimumBubble, 100);
    widget.setBubbleValue(ActivatorWidget::MaximumBubble, 0);
    image = render(widget);
    const auto minRight = columnSpan(image, 0, mid - 10, isGreenish);
    const auto maxLeft = columnSpan(image, mid + 11, 240, isBluish);
    QCOMPARE(minRight.second - minRight.first, minMiddle.second - minMiddle.first);
    QCOMPARE(maxLeft.second - maxLeft.first, maxMiddle.second - maxMiddle.first);
}

void TestActivatorWidget::noActivatorTextOnImage()
{
    ActivatorWidget widget;
    widget.resize(600, 240);
    hideBubbles(widget);
    widget.setValue(0);
    widget.setActivatorVisible(false);
    const QImage image = render(widget);

    // Red text centred across the width around 2/5 of the height, no line at the value.
    const auto span = columnSpan(image, 0, 240, isRed);
    QVERIFY(span.first > 0);
    QVERIFY(span.second - span.first > 60);
    QVERIFY(qAbs((span.first + span.second) / 2 - 300) <= 3);
    QCOMPARE(countPixels(image, 0, 240 / 5, isRed), 0);
    QCOMPARE(countPixels(image, 240 * 3 / 5, 240, isRed), 0);
    for (int y = 0; y < 240; ++y)
        QVERIFY(!isRed(image.pixel(widget.valueToPixel(0), y)));
}

void TestActivatorWidget::oneValueRangePaintsInTheMiddle()
{
    ActivatorWidget widget;
    widget.resize(500, 200);
    hideBubbles(widget);
    widget.setRange(10, 10);
    widget.setMarkerText(ActivatorWidget::MinimumBubble, "Current Minimum Position\n1.00 V");
    widget.setBubbleValue(ActivatorWidget::MinimumBubble, 10);
    QCOMPARE(widget.valueToPixel(10), 250);
    QCOMPARE(widget.valueToPixel(-100000), 250);

    const QImage image = render(widget);
    const auto line = columnSpan(image, 0, 200, isRed);
    QCOMPARE(line.first, 250);
    QCOMPARE(line.second, 250);
    QCOMPARE(image.pixelColor(250, static_cast<int>(0.505 * 200) - 5), MinimumColour);
}

QTEST_MAIN(TestActivatorWidget)
#include "tst_activatorwidget.moc"
