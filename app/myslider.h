#pragma once

#include <QSlider>

// The volume slider: a click sets the value under the cursor at once.
class myslider : public QSlider
{
    Q_OBJECT

public:
    explicit myslider(QWidget *parent = nullptr);

signals:
    void mySliderClicked(int value);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};
