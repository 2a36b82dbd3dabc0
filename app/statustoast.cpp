#include "statustoast.h"

#include <QAccessible>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QTimer>

namespace {

constexpr int kHoldMs = 2600;        // ms the text stands, long enough to read a path
constexpr int kFadeMs = 400;         // ms of fading out after that
constexpr int kBottomMargin = 72;    // px above the window's bottom: clear of the control bar
constexpr int kSideMargin = 24;      // px kept free at each side of the window

const char kSheet[] = "QLabel{color: rgb(255,255,255); background-color: rgba(30,32,38,220);"
                      "border-radius: 6px; padding: 8px 14px;}";

} // namespace

StatusToast::StatusToast(QWidget *window)
    : QLabel(window)
    , mOpacity(new QGraphicsOpacityEffect(this))
    , mFade(new QPropertyAnimation(mOpacity, "opacity", this))
    , mHold(new QTimer(this))
{
    setObjectName(QStringLiteral("statusToast"));
    setStyleSheet(QLatin1String(kSheet));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(true);
    setAlignment(Qt::AlignCenter);
    // The text is the label's accessible name; the role goes in the description.
    setAccessibleDescription(tr("Status"));
    setGraphicsEffect(mOpacity);
    mFade->setDuration(kFadeMs);
    mFade->setStartValue(1.0);
    mFade->setEndValue(0.0);
    connect(mFade, &QPropertyAnimation::finished, this, &QWidget::hide);
    mHold->setSingleShot(true);
    mHold->setInterval(kHoldMs);
    connect(mHold, &QTimer::timeout, mFade, [this] { mFade->start(); });
    window->installEventFilter(this);
    hide();
}

void StatusToast::showText(const QString &text)
{
    mFade->stop();
    mOpacity->setOpacity(1.0);
    setText(text);
    place();
    show();
    raise();
    mHold->start();
    QAccessibleEvent changed(this, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
}

bool StatusToast::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize && isVisible())
        place();
    return QLabel::eventFilter(watched, event);
}

// Centred over the bottom of the window, as wide as the text needs.
void StatusToast::place()
{
    const QWidget *window = parentWidget();
    const int maxWidth = qMax(1, window->width() - 2 * kSideMargin);
    setMaximumWidth(maxWidth);
    adjustSize();
    const int width = qMin(sizeHint().width(), maxWidth);
    const int height = heightForWidth(width) > 0 ? heightForWidth(width) : sizeHint().height();
    resize(width, height);
    move((window->width() - width) / 2, qMax(0, window->height() - kBottomMargin - height));
}
