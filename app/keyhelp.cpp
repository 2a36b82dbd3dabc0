#include "keyhelp.h"

#include "playbackkeys.h"

#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>

KeyHelp::KeyHelp(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("keyHelp"));
    setStyleSheet(QStringLiteral("#keyHelp { background: rgba(0, 0, 0, 200); border-radius: 6px; }"
                                 "QLabel { color: white; }"));
    setFocusPolicy(Qt::StrongFocus);
    new QGridLayout(this);
    hide();
    retranslate();
}

void KeyHelp::retranslate()
{
    setAccessibleName(tr("Keys"));
    auto *grid = static_cast<QGridLayout *>(layout());
    while (QLayoutItem *item = grid->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    int row = 0;
    for (const QString &line : PlaybackKeys::helpLines()) {
        const QString key = line.section(QLatin1Char('\t'), 0, 0);
        const QString what = line.section(QLatin1Char('\t'), 1);
        auto *keyLabel = new QLabel(key, this);
        auto *whatLabel = new QLabel(what, this);
        for (QLabel *label : {keyLabel, whatLabel})
            label->setTextFormat(Qt::PlainText);
        keyLabel->setStyleSheet(QStringLiteral("font-weight: bold;"));
        // Each row is read as one: the key, then what it does.
        whatLabel->setAccessibleName(key + QStringLiteral(": ") + what);
        grid->addWidget(keyLabel, row, 0);
        grid->addWidget(whatLabel, row, 1);
        ++row;
    }
    adjustSize();
    if (isVisible())
        placeOverParent();
}

void KeyHelp::toggle()
{
    if (isVisible()) {
        hide();
        return;
    }
    adjustSize();
    placeOverParent();
    show();
    raise();
}

void KeyHelp::placeOverParent()
{
    const QRect area = parentWidget()->rect();
    QRect placed(QPoint(), sizeHint().boundedTo(area.size()));
    placed.moveCenter(area.center());
    setGeometry(placed);
}

void KeyHelp::mousePressEvent(QMouseEvent *event)
{
    hide();
    QFrame::mousePressEvent(event);
}

void KeyHelp::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QFrame::keyPressEvent(event);
}

void KeyHelp::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QFrame::changeEvent(event);
}
