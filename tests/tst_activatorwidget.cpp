// The activator picture: value mapping, value rules and signals, bubble placement, font scaling,
// and what the paint puts on a rendered image.
#include "ncps/activatorwidget.h"

#include <QLabel>
#include <QSignalSpy>
#include <QSvgRenderer>
#include <QtTest>

#include <functional>

namespace {

const QColor MinimumColour("#0FA752");
const QColor MaximumColour("#2F6FBA");
const ActivatorWidget::BubbleType AllBubbles[] = {ActivatorWidget::MinimumBubble, ActivatorWidget::MaximumBubble,
                                                  ActivatorWidget::ActivatorBubble};

// Text is antialiased, so pixels are told apart by their dominant channel; the picture is grey.
bool isRed(QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; }
bool isGreenish(QRgb p) { return qGreen(p) > qRed(p) + 40 && qGreen(p) > qBlue(p) + 20; }
bool isBluish(QRgb p) { return qBlue(p) > qRed(p) + 40 && qBlue(p) > qGreen(p) + 20; }

// The matching pixels inside the rows [top, bottom): how many, and their first and last column (-1 if none).
struct Span
{
    int count = 0, first = -1, last = -1;
    int width() const { return last - first; }
    int centre() const { return (first + last) / 2; }
};

Span scan(const QImage &image, int top, int bottom, const std::function<bool(QRgb)> &match)
{
    Span s;
    for (int y = qMax(0, top); y < qMin(image.height(), bottom); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (match(image.pixel(x, y))) {
                ++s.count;
                s.first = s.first < 0 ? x : qMin(s.first, x);
                s.last = qMax(s.last, x);
            }
    return s;
}

QImage render(ActivatorWidget &widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A widget of the given size with the bubble labels hidden, so only the paint shows.
void prepare(ActivatorWidget &widget, int w, int h)
{
    widget.resize(w, h);
    for (auto type : AllBubbles)
        widget.setBubbleVisible(type, false);
}

}

class TestActivatorWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<ActivatorWidget::BubbleType>(); }
    void valueAndBubbleRules();
    void bubbleLabelsPlaceAndScale();
    void activatorLineOrWarningOnImage();
    void markersOnImageAndInsideWidget();
};

void TestActivatorWidget::valueAndBubbleRules()
{
    ActivatorWidget widget;
    QSignalSpy changed(&widget, &ActivatorWidget::valueChanged);
    QSignalSpy bubbleChanged(&widget, &ActivatorWidget::bubbleValueChanged);

    // Limited to the range; the activator bubble follows.
    widget.setValue(150);
    QCOMPARE(widget.value(), 100);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 100);
    QCOMPARE(bubbleChanged.count(), 1);
    QCOMPARE(bubbleChanged.at(0).at(0).value<ActivatorWidget::BubbleType>(), ActivatorWidget::ActivatorBubble);
    QCOMPARE(bubbleChanged.at(0).at(1).toInt(), 100);

    // Out of range again, and limited to what it already is: nothing changes, nothing is sent.
    widget.setValue(150);
    widget.setValue(100);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(bubbleChanged.count(), 1);

    // Moving the activator bubble moves the value, once.
    widget.setBubbleValue(ActivatorWidget::ActivatorBubble, 20);
    QCOMPARE(widget.value(), 20);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(bubbleChanged.count(), 2);

    // Marker bubbles are limited like the value, and leave the value alone.
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

    // A maximum below the minimum collapses the range onto the minimum; the value follows.
    widget.setRange(10, 5);
    QCOMPARE(widget.minimum(), 10);
    QCOMPARE(widget.maximum(), 10);
    QCOMPARE(widget.value(), 10);
    QCOMPARE(changed.count(), 4);
    widget.setValue(3);
    widget.setRange(-15800, 15800);
    QCOMPARE(changed.count(), 4);
}

void TestActivatorWidget::bubbleLabelsPlaceAndScale()
{
    ActivatorWidget widget;
    const int pictureHeight = widget.renderer()->defaultSize().height();
    QVERIFY(pictureHeight > 0 && pictureHeight % 4 == 0);
    widget.resize(500, 200);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
    QLabel *label = widget.bubbleLabel(ActivatorWidget::ActivatorBubble);
    const int lw = label->width();
    QVERIFY(lw > 30 && lw < 250);

    // 500 pixels wide, 6 % margins. Near an edge the bubble opens towards the middle; in between it
    // keeps its image. The tail sits at 88 % of the R image's width, 12 % of the L image's.
    const struct { int value, pixel; bool left; } steps[] = {{0, 30, true}, {50, 250, true}, {100, 470, false}, {50, 250, false}};
    for (const auto &step : steps) {
        widget.setValue(step.value);
        QCOMPARE(widget.valueToPixel(step.value), step.pixel);
        QVERIFY(label->styleSheet().contains(step.left ? ActivatorWidget::LeftBubbleImage : ActivatorWidget::RightBubbleImage));
        QCOMPARE(label->x(), step.pixel - static_cast<int>(lw * (step.left ? 1 - 0.88 : 0.88)));
        // The activator bubble's bottom edge at 40 % of the height, the markers' at 51 %.
        QCOMPARE(label->geometry().bottom() + 1, 80);
    }
    QLabel *minimumLabel = widget.bubbleLabel(ActivatorWidget::MinimumBubble);
    widget.setBubbleValue(ActivatorWidget::MinimumBubble, 60);
    QCOMPARE(minimumLabel->geometry().bottom() + 1, 102);

    // The labels' font: 9 points at the picture's height, scaled down below it, never up.
    widget.resize(600, pictureHeight / 2);
    QCoreApplication::processEvents();
    for (auto type : AllBubbles)
        QCOMPARE(widget.bubbleLabel(type)->font().pointSizeF(), 4.5);
    const int smallWidth = label->width();
    widget.resize(600, pictureHeight * 2);
    QCoreApplication::processEvents();
    QCOMPARE(label->font().pointSizeF(), 9.0);
    QVERIFY(label->width() > smallWidth);  // fitted to its text again
    // Collapsed to nothing: still a usable font, no zero-size request.
    widget.resize(600, 0);
    QCoreApplication::processEvents();
    QVERIFY(label->font().pointSizeF() > 0);
}

void TestActivatorWidget::activatorLineOrWarningOnImage()
{
    ActivatorWidget widget;
    prepare(widget, 500, 200);
    widget.setValue(25);

    // A dash-dot line in the value's column from 2/5 to 3/5 of the height, and nothing else red.
    QImage image = render(widget);
    Span red = scan(image, 0, 200, isRed);
    QVERIFY(red.count > 20);
    QCOMPARE(red.first, 140);
    QCOMPARE(red.last, 140);
    QCOMPARE(scan(image, 80, 121, isRed).count, red.count);

    // No activator: the warning centred across the width around 2/5 of the height, no line.
    widget.setActivatorVisible(false);
    image = render(widget);
    red = scan(image, 0, 200, isRed);
    QVERIFY(red.width() > 60);
    QVERIFY(qAbs(red.centre() - 250) <= 3);
    QCOMPARE(scan(image, 40, 120, isRed).count, red.count);
    widget.setNoActivatorText(QString());
    QCOMPARE(scan(render(widget), 0, 200, isRed).count, 0);

    // A one-value range paints the line in the middle.
    widget.setActivatorVisible(true);
    widget.setRange(10, 10);
    QCOMPARE(widget.valueToPixel(-100000), 250);
    red = scan(render(widget), 0, 200, isRed);
    QVERIFY(red.count > 20);
    QCOMPARE(red.first, 250);
    QCOMPARE(red.last, 250);
}

void TestActivatorWidget::markersOnImageAndInsideWidget()
{
    ActivatorWidget widget;
    prepare(widget, 600, 240);
    widget.setActivatorVisible(false);
    widget.setNoActivatorText(QString());
    widget.setBubbleValue(ActivatorWidget::MinimumBubble, 30);
    widget.setBubbleValue(ActivatorWidget::MaximumBubble, 70);
    const int mid = static_cast<int>(0.505 * 240);  // 121
    // The minimum's text above its triangle, the maximum's below; neither colour elsewhere.
    auto minimumText = [&](const QImage &image) { return scan(image, 0, mid - 10, isGreenish); };
    auto maximumText = [&](const QImage &image) { return scan(image, mid + 11, 240, isBluish); };

    // Without marker texts, no markers.
    QImage image = render(widget);
    QCOMPARE(scan(image, 0, 240, [](QRgb p) { return isGreenish(p) || isBluish(p); }).count, 0);

    widget.setMarkerText(ActivatorWidget::MinimumBubble, "Current Minimum Position\n1.00 V");
    widget.setMarkerText(ActivatorWidget::MaximumBubble, "Current Maximum Position\n4.00 V");
    image = render(widget);
    const int xMin = widget.valueToPixel(30);
    const int xMax = widget.valueToPixel(70);

    // Triangles: the minimum's above the mid-line, tip down; the maximum's below, tip up.
    QCOMPARE(image.pixelColor(xMin, mid - 5), MinimumColour);
    QCOMPARE(image.pixelColor(xMin + 4, mid - 9), MinimumColour);
    QVERIFY(image.pixelColor(xMin + 4, mid - 2) != MinimumColour);
    QCOMPARE(image.pixelColor(xMax, mid + 5), MaximumColour);
    QCOMPARE(image.pixelColor(xMax - 4, mid + 9), MaximumColour);
    QVERIFY(image.pixelColor(xMax - 4, mid + 2) != MaximumColour);

    // Texts centred on their triangles.
    const Span minMiddle = minimumText(image);
    const Span maxMiddle = maximumText(image);
    QVERIFY(minMiddle.count > 50 && maxMiddle.count > 50);
    QCOMPARE(scan(image, mid + 1, 240, isGreenish).count + scan(image, 0, mid, isBluish).count, 0);
    QVERIFY(qAbs(minMiddle.centre() - xMin) < 15);
    QVERIFY(qAbs(maxMiddle.centre() - xMax) < 15);

    // At the edges the texts are pushed inside: the whole text is still drawn.
    widget.setBubbleValue(ActivatorWidget::MinimumBubble, 0);
    widget.setBubbleValue(ActivatorWidget::MaximumBubble, 100);
    image = render(widget);
    const Span minLeft = minimumText(image);
    const Span maxRight = maximumText(image);
    QVERIFY(minLeft.first >= 0 && minLeft.first < widget.valueToPixel(0));
    QCOMPARE(minLeft.width(), minMiddle.width());
    QVERIFY(maxRight.last < 600 && maxRight.last > widget.valueToPixel(100));
    QCOMPARE(maxRight.width(), maxMiddle.width());
}

QTEST_MAIN(TestActivatorWidget)
#include "tst_activatorwidget.moc"
