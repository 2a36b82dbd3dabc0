#pragma once

#include <QFrame>

#include <functional>

class QLabel;

// The keys of the window, listed over the picture: shown and hidden by "?",
// hidden by Esc or a click anywhere in the program (the click still does
// what it does there).
class KeyHelp : public QFrame
{
    Q_OBJECT

public:
    // area: where it may lie, in the parent's coordinates; watched: the
    // widgets whose moves and resizes change that area.
    KeyHelp(QWidget *parent, std::function<QRect()> area, const QList<QWidget *> &watched);

    void toggle();
    // The texts in the current language.
    void retranslate();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void place();
    void arrange(int columns);

    std::function<QRect()> mArea;
    QList<QWidget *> mWatched;
    QList<QLabel *> mLabels; // the key, then what it does, row after row
};
