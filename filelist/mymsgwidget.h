#pragma once

#include "recordingprobe.h"

#include <QStringList>
#include <QWidget>

class QPushButton;

namespace Ui {
class mymsgwidget;
}

// The message popup: a small window over the main window (transient for
// it, never modal) with a centred text and an OK button; Escape, Enter or
// OK close it. It is made once and reused.
class mymsgwidget : public QWidget
{
    Q_OBJECT

public:
    // parent: the window it shows over; it is a window of its own.
    explicit mymsgwidget(QWidget *parent = nullptr);
    ~mymsgwidget() override;

    void setMessage(const QString &text);
    QString message() const;
    // Shows "<name>: <what is wrong>"; names that fail while the popup is
    // still open are added to it, so that a folder with several broken
    // files names them all (the first few, then a count). Unknown: the
    // player could not play it ("Cannot play <name>").
    void showCannotPlay(const QString &name, ProbeProblem problem = ProbeProblem::None);
    // Shows the popup over its window, with the keyboard.
    void showOver();
    void retranslateUi();

protected:
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Failure
    {
        QString name;
        ProbeProblem problem;
    };
    void showCannotPlayText();

    Ui::mymsgwidget *ui;
    QPushButton *mOk;
    QList<Failure> mCannotPlay; // names shown since the popup opened
};
