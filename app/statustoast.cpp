#include "statustoast.h"

#include <QAccessible>
#include <QEvent>
#include <QFontMetrics>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QTimer>

namespace {

constexpr int kHoldMs = 2600;        // ms the text stands, long enough to read a path
constexpr int kFadeMs = 400;         // ms of fading out after that
constexpr int kTopMargin = 8;        // px below the top of the picture
constexpr int kSideMargin = 24;      // px kept free at each side of the picture
constexpr int kPaddingY = 8;         // px above and below the text

const char kSheet[] = "QLabel{color: rgb(255,255,255); background-color: rgba(30,32,38,220);"
                      "border-radius: 6px; padding: %1px 14px;}";

} // namespace

StatusToast::StatusToast(QWidget *picture)
    : QLabel(picture)
    , mOpacity(new QGraphicsOpacityEffect(this))
    , mFade(new QPropertyAnimation(mOpacity, "opacity", this))
    , mHold(new QTimer(this))
{
    setObjectName(QStringLiteral("statusToast"));
    setStyleSheet(QString::fromLatin1(kSheet).arg(kPaddingY));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
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
    picture->installEventFilter(this);
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

int StatusToast::lineBottom(const QWidget *picture)
{
    return kTopMargin + QFontMetrics(picture->font()).height() + 2 * kPaddingY;
}

// Centred near the top of the picture, clear of the map and the panel: one
// line as wide as the text, wrapped when the picture is narrower.
void StatusToast::place()
{
    const QWidget *picture = parentWidget();
    const int maxWidth = qMax(1, picture->width() - 2 * kSideMargin);
    setWordWrap(false);
    QSize size = sizeHint();
    if (size.width() > maxWidth) {
        setWordWrap(true);
        size = QSize(maxWidth, heightForWidth(maxWidth));
    }
    resize(size);
    move((picture->width() - size.width()) / 2, kTopMargin);
}
