#ifndef ACTIVATORWIDGET_H
#define ACTIVATORWIDGET_H

#include <QSvgWidget>

class QLabel;

// A picture of a position sensor with the activator's position (a dash-dot line and a speech
// bubble) and two limit markers drawn over it. Values map onto the middle 88 % of the width.
class ActivatorWidget : public QSvgWidget
{
    Q_OBJECT
public:
    enum BubbleType { MinimumBubble = 0, MaximumBubble = 1, ActivatorBubble = 2 };
    Q_ENUM(BubbleType)

    explicit ActivatorWidget(QWidget *parent = nullptr);
    ~ActivatorWidget() override;

    int minimum() const;
    int maximum() const;
    int value() const;
    // A second argument below the first gives the one-value range minimum ... minimum.
    void setRange(int minimum, int maximum);

    void setActivatorVisible(bool visible);
    bool activatorVisible() const;
    void setCaption(const QString &caption);
    QString caption() const;
    void setNoActivatorText(const QString &text);
    QString noActivatorText() const;

    void setBubbleVisible(BubbleType type, bool visible);
    bool isBubbleVisible(BubbleType type) const;
    void setBubbleValue(BubbleType type, int value);
    int bubbleValue(BubbleType type) const;
    void setBubbleLabelText(BubbleType type, const QString &text);
    QString bubbleLabelText(BubbleType type) const;
    void setMarkerText(BubbleType type, const QString &text);
    QString markerText(BubbleType type) const;
    void setBubbleFollowsValue(bool follows);
    bool bubbleFollowsValue() const;

    // Horizontal pixel of a value; a one-value range puts everything in the middle.
    int valueToPixel(int value) const;
    QLabel *bubbleLabel(BubbleType type) const;

    static const QString RightBubbleImage;
    static const QString LeftBubbleImage;

public slots:
    void setValue(int a_value);

signals:
    void valueChanged(int a_value);
    void bubbleValueChanged(ActivatorWidget::BubbleType a_type, int a_value);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    class Impl;
    Impl *d;
};

#endif
