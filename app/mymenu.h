#pragma once

#include <QToolButton>

class QMenu;

// The title-bar button: the whole button, not only its arrow, opens its menu.
class mymenu : public QToolButton
{
    Q_OBJECT

public:
    explicit mymenu(QWidget *parent = nullptr);
    QMenu *getMenu() const { return mMenu; }

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QMenu *mMenu;
};
