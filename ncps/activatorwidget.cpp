#include "ncps/activatorwidget.h"

#include "ncps/ncpsresources.h"

#include <QLabel>
#include <QMap>
#include <QPainter>
#include <QPolygonF>
#include <QResizeEvent>
#include <QSvgRenderer>

const QString ActivatorWidget::RightBubbleImage = QStringLiteral(":/resources/resources/activatorwidget/Speech Bubble-R.svg");
const QString ActivatorWidget::LeftBubbleImage = QStringLiteral(":/resources/resources/activatorwidget/Speech Bubble-L.svg");

namespace {

const char *const PictureFile = ":/resources/resources/activatorwidget/Activator-Position-New.svg";
constexpr double LabelPointSize = 9.0;
constexpr double SmallestPointSize = 1.0;  // a collapsed widget must not ask for a zero-size font

struct Bubble
{
    QLabel *label = nullptr;
    QString markerText;
    int value = 0;
    double xAnchor = 0.88;  // fraction of the label's width where its tail sits
    double yAnchor = 0.5;   // fraction of the widget's height where the label's bottom edge sits
};

// The larger bottom border leaves room for the bubble's tail.
void applyBubbleStyle(QLabel *label, const QString &image)
{
    label->setStyleSheet(QStringLiteral("border-image: url(%1) %2 %3 %4 %5;border-top: %2 transparent;"
                                        "border-right: %3 transparent;border-bottom: %4 transparent;"
                                        "border-left: %5 transparent;color: black;padding: 4;")
                             .arg(image)
                             .arg(15)
                             .arg(15)
                             .arg(28)
                             .arg(15));
}

void drawShadowedText(QPainter &painter, const QPen &pen, const QRectF &box, const QString &text)
{
    painter.setPen(QPen(Qt::black));
    painter.drawText(box.translated(0.75, 0.75), Qt::AlignCenter, text);
    painter.setPen(pen);
    painter.drawText(box, Qt::AlignCenter, text);
}

}

class ActivatorWidget::Impl : public QObject
{
public:
    explicit Impl(ActivatorWidget *owner)
        : QObject(owner)
        , owner(owner)
        , caption(ActivatorWidget::tr(""))
        , noActivatorText(ActivatorWidget::tr(" No Activator Present "))
        , activatorPen(QBrush(Qt::red), 1, Qt::DashDotLine)
        , minimumPen(QColor("#0FA752"))
        , minimumBrush(QColor("#0FA752"), Qt::SolidPattern)
        , maximumPen(QColor("#2F6FBA"))
        , maximumBrush(QColor("#2F6FBA"), Qt::SolidPattern)
    {
    }

    int limited(int v) const { return v < minimum ? minimum : qMin(v, maximum); }
    void positionBubble(Bubble &bubble);
    void addBubble(BubbleType type, const QString &text, double xAnchor, double yAnchor);

    ActivatorWidget *owner;
    int minimum = 0;
    int maximum = 100;
    int value = 50;
    QString caption;
    bool activatorVisible = true;
    QString noActivatorText;
    QPen activatorPen;
    QPen minimumPen;
    QBrush minimumBrush;
    QPen maximumPen;
    QBrush maximumBrush;
    QMap<BubbleType, Bubble> bubbles;
    bool bubbleFollowsValue = true;
};

void ActivatorWidget::Impl::addBubble(BubbleType type, const QString &text, double xAnchor, double yAnchor)
{
    Bubble bubble;
    bubble.label = new QLabel(text, owner);
    bubble.label->setFrameStyle(QFrame::NoFrame);
    bubble.label->setAlignment(Qt::AlignCenter);
    applyBubbleStyle(bubble.label, ActivatorWidget::RightBubbleImage);
    bubble.label->adjustSize();
    bubble.xAnchor = xAnchor;
    bubble.yAnchor = yAnchor;
    bubbles.insert(type, bubble);
}

// Puts the bubble's tail at its value; near an edge the bubble turns to open towards the middle.
void ActivatorWidget::Impl::positionBubble(Bubble &bubble)
{
    QLabel *label = bubble.label;
    const int x = owner->valueToPixel(bubble.value);
    const int lw = label->width();
    const int lh = label->height();
    const QRect contents = owner->contentsRect();
    if (x < lw)
        applyBubbleStyle(label, ActivatorWidget::LeftBubbleImage);
    else if (x >= contents.width() - lw)
        applyBubbleStyle(label, ActivatorWidget::RightBubbleImage);
    const double tail = label->styleSheet().contains(ActivatorWidget::LeftBubbleImage) ? 1.0 - bubble.xAnchor : bubble.xAnchor;
    label->move(x - static_cast<int>(lw * tail), qMax(0, static_cast<int>(contents.height() * bubble.yAnchor - lh)));
}

ActivatorWidget::ActivatorWidget(QWidget *parent)
    : QSvgWidget(parent)
{
    ensureNcpsResources();
    load(QString::fromLatin1(PictureFile));
    d = new Impl(this);
    d->addBubble(MinimumBubble, tr("Current Minimum Position"), 0.88, 0.51);
    d->addBubble(MaximumBubble, tr("Current Maximum Position"), 0.88, 0.51);
    d->addBubble(ActivatorBubble, tr("Activator Position"), 0.88, 0.4);
}

ActivatorWidget::~ActivatorWidget() = default;

int ActivatorWidget::minimum() const
{
    return d->minimum;
}

int ActivatorWidget::maximum() const
{
    return d->maximum;
}

int ActivatorWidget::value() const
{
    return d->value;
}

void ActivatorWidget::setRange(int minimum, int maximum)
{
    const int newMaximum = maximum < minimum ? minimum : maximum;
    if (minimum == d->minimum && newMaximum == d->maximum)
        return;
    d->minimum = minimum;
    d->maximum = newMaximum;
    update();
    setValue(d->value);
    // Labels sit where their values map to, and the mapping has changed.
    for (Bubble &bubble : d->bubbles)
        d->positionBubble(bubble);
}

void ActivatorWidget::setValue(int a_value)
{
    // Comparing after limiting also covers the first check: the value is always inside the range,
    // so an out-of-range request that limits to the current value changes nothing and emits nothing.
    const int newValue = d->limited(a_value);
    if (newValue == d->value)
        return;
    d->value = newValue;
    if (d->bubbleFollowsValue)
        setBubbleValue(ActivatorBubble, newValue);
    update();
    emit valueChanged(newValue);
}

void ActivatorWidget::setActivatorVisible(bool visible)
{
    if (visible == d->activatorVisible)
        return;
    d->activatorVisible = visible;
    update();
}

bool ActivatorWidget::activatorVisible() const
{
    return d->activatorVisible;
}

void ActivatorWidget::setCaption(const QString &caption)
{
    d->caption = caption;
    update();
}

QString ActivatorWidget::caption() const
{
    return d->caption;
}

void ActivatorWidget::setNoActivatorText(const QString &text)
{
    d->noActivatorText = text;
    update();
}

QString ActivatorWidget::noActivatorText() const
{
    return d->noActivatorText;
}

void ActivatorWidget::setBubbleVisible(BubbleType type, bool visible)
{
    if (d->bubbles.contains(type))
        d->bubbles[type].label->setVisible(visible);
}

bool ActivatorWidget::isBubbleVisible(BubbleType type) const
{
    // What setBubbleVisible asked for, whether or not the widget itself is on screen.
    return d->bubbles.contains(type) && !d->bubbles[type].label->isHidden();
}

void ActivatorWidget::setBubbleValue(BubbleType type, int value)
{
    if (!d->bubbles.contains(type))
        return;
    Bubble &bubble = d->bubbles[type];
    const int newValue = d->limited(value);
    if (value == bubble.value || newValue == bubble.value)
        return;
    bubble.value = newValue;
    if (type == ActivatorBubble && d->bubbleFollowsValue)
        setValue(newValue);
    d->positionBubble(bubble);
    update();
    emit bubbleValueChanged(type, newValue);
}

int ActivatorWidget::bubbleValue(BubbleType type) const
{
    return d->bubbles.value(type).value;
}

void ActivatorWidget::setBubbleLabelText(BubbleType type, const QString &text)
{
    if (!d->bubbles.contains(type))
        return;
    QLabel *label = d->bubbles[type].label;
    label->setText(text);
    label->adjustSize();
    update();
}

QString ActivatorWidget::bubbleLabelText(BubbleType type) const
{
    const Bubble bubble = d->bubbles.value(type);
    return bubble.label ? bubble.label->text() : QString();
}

void ActivatorWidget::setMarkerText(BubbleType type, const QString &text)
{
    if (!d->bubbles.contains(type))
        return;
    d->bubbles[type].markerText = text;
    update();
}

QString ActivatorWidget::markerText(BubbleType type) const
{
    return d->bubbles.value(type).markerText;
}

void ActivatorWidget::setBubbleFollowsValue(bool follows)
{
    d->bubbleFollowsValue = follows;
    if (follows)
        setBubbleValue(ActivatorBubble, d->value);
    update();
}

bool ActivatorWidget::bubbleFollowsValue() const
{
    return d->bubbleFollowsValue;
}

int ActivatorWidget::valueToPixel(int value) const
{
    const double w = contentsRect().width();
    const double margin = 0.06 * w;
    if (d->maximum == d->minimum)
        return static_cast<int>(w / 2);
    const double fraction = (static_cast<double>(value) - d->minimum) / (static_cast<double>(d->maximum) - d->minimum);
    return static_cast<int>((w - 2 * margin) * fraction + margin);
}

QLabel *ActivatorWidget::bubbleLabel(BubbleType type) const
{
    return d->bubbles.value(type).label;
}

void ActivatorWidget::resizeEvent(QResizeEvent *event)
{
    QSvgWidget::resizeEvent(event);
    const int pictureHeight = renderer()->defaultSize().height();
    const float scale = pictureHeight > 0 ? static_cast<float>(height()) / pictureHeight : 1.0f;
    const double pointSize = scale <= 1.0f ? qMax(SmallestPointSize, LabelPointSize * scale) : LabelPointSize;
    for (Bubble &bubble : d->bubbles) {
        QFont font = bubble.label->font();
        font.setPointSizeF(pointSize);
        bubble.label->setFont(font);
        bubble.label->adjustSize();
        d->positionBubble(bubble);
    }
}

void ActivatorWidget::paintEvent(QPaintEvent *event)
{
    QSvgWidget::paintEvent(event);

    QPainter painter(this);
    const int w = width();
    const int h = height();

    painter.setPen(QPen(Qt::white));
    painter.drawText(QPoint(w / 15, static_cast<int>(h * 3.2 * 0.25)), d->caption);

    struct Marker
    {
        BubbleType type;
        const QPen &pen;
        const QBrush &brush;
        int direction;  // the minimum's triangle points down from above the mid-line, the maximum's up from below
    };
    const Marker markers[] = {{MinimumBubble, d->minimumPen, d->minimumBrush, -1},
                              {MaximumBubble, d->maximumPen, d->maximumBrush, +1}};
    for (const Marker &marker : markers) {
        const Bubble &bubble = d->bubbles[marker.type];
        if (bubble.markerText.isEmpty())
            continue;
        const int x = valueToPixel(bubble.value);
        const double y = 0.505 * h;
        const double dy = 10.0 * marker.direction;
        const QPolygonF triangle({QPointF(x, y), QPointF(x + 5, y + dy), QPointF(x - 5, y + dy)});
        painter.setPen(marker.pen);
        painter.setBrush(marker.brush);
        painter.drawPolygon(triangle, Qt::OddEvenFill);
        painter.setBrush(Qt::NoBrush);

        painter.setFont(bubble.label->font());
        const QRect r = painter.fontMetrics().boundingRect(bubble.markerText);
        const int lines = bubble.markerText.count(QLatin1Char('\n')) + 1;
        const double boxHeight = static_cast<double>(r.height()) * lines;
        double left = x - r.width() / 2 + r.x();
        if (left < 0)
            left = 0;
        else if (left + r.width() >= w)
            left = w - r.width();
        const double top = marker.direction < 0 ? y + r.y() - boxHeight : y + r.y() + boxHeight;
        drawShadowedText(painter, marker.pen, QRectF(left, top, r.width(), boxHeight), bubble.markerText);
    }

    if (d->activatorVisible) {
        const int x = valueToPixel(d->value);
        painter.setPen(d->activatorPen);
        painter.drawLine(x, (2 * h) / 5, x, (3 * h) / 5);
    } else {
        painter.setFont(d->bubbles[ActivatorBubble].label->font());
        const QRect r = painter.fontMetrics().boundingRect(d->noActivatorText);
        const int lines = d->noActivatorText.count(QLatin1Char('\n')) + 1;
        const QRectF box((w - r.width()) * 0.5 + r.x(), (2 * h) / 5 + r.y(), r.width(), static_cast<double>(r.height()) * lines);
        drawShadowedText(painter, d->activatorPen, box, d->noActivatorText);
    }
}
