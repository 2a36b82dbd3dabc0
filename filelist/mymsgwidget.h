#pragma once

#include <QStringList>
#include <QWidget>

namespace Ui {
class mymsgwidget;
}

// The message popup: a small application-modal window with one centred
// line ("File not exist !" at first). Its close button only hides it; it
// is made once and reused.
class mymsgwidget : public QWidget
{
    Q_OBJECT

public:
    explicit mymsgwidget(QWidget *parent = nullptr);
    ~mymsgwidget() override;

    void setMessage(const QString &text);
    QString message() const;
    // Shows "Cannot play <name>"; names that fail while the popup is still
    // open are added to it, so that a folder with several broken files
    // names them all (the first few, then a count).
    void showCannotPlay(const QString &name);
    void retranslateUi();

protected:
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void showCannotPlayText();

    Ui::mymsgwidget *ui;
    QStringList mCannotPlay; // names shown since the popup opened
};
