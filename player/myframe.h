#pragma once

#include <QFrame>
#include <QImage>

// The video surface: paints the current picture centred, aspect kept, with
// black bars, optionally mirrored left to right.
class MyFrame : public QFrame
{
    Q_OBJECT

public:
    explicit MyFrame(QWidget *parent = nullptr);

    Q_INVOKABLE void slotGetImage(QImage image);
    Q_INVOKABLE void setMirror(bool state);
    Q_INVOKABLE bool getMirror() const;

    QImage image() const { return mImage; }

signals:
    // The surface's new size, so that pictures can be converted to fit it.
    void sizeChanged(QSize size);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QImage mImage;
    bool mMirror = false;
    QString mSerial;           // the open whose pictures arrive
    bool mFirstOfOpen = false; // its first picture waits for its paint
};
