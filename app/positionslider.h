#pragma once

#include <QSlider>

// The position slider: a press puts the handle under the cursor at once and
// it follows the mouse while the button is held. The window decides what a
// position means for playback.
class PositionSlider : public QSlider
{
    Q_OBJECT

public:
    explicit PositionSlider(QWidget *parent = nullptr);
    // The left button went down on the slider and is not up yet.
    bool isHeld() const { return mHeld; }

signals:
    // The value under the cursor when the left button went down, while it
    // moves held, and when it came up.
    void sig_Pressed(int value);
    void sig_Dragged(int value);
    void sig_Released();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    int valueAt(int x) const;

    bool mHeld = false;
};
