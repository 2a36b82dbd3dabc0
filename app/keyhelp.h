#pragma once

#include <QFrame>

// The keys of the window, listed over the picture: shown and hidden by "?",
// hidden by a click or Esc too.
class KeyHelp : public QFrame
{
    Q_OBJECT

public:
    explicit KeyHelp(QWidget *parent);

    void toggle();
    // The texts in the current language.
    void retranslate();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void placeOverParent();
};
