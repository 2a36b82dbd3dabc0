#include "keyhelp.h"

#include "playbackkeys.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>

namespace {

constexpr int kMaxColumns = 4; // of key rows side by side on a short picture
constexpr int kColumnGap = 12;  // px between a key and its text, and between columns
constexpr int kRowGap = 3;      // px between two rows
// Of the window's type size, tried in turn when the list does not fit the picture.
constexpr double kTypeScales[] = {1.0, 0.85, 0.7};

} // namespace

KeyHelp::KeyHelp(QWidget *parent, std::function<QRect()> area, const QList<QWidget *> &watched)
    : QFrame(parent)
    , mArea(std::move(area))
    , mWatched(watched)
{
    setObjectName(QStringLiteral("keyHelp"));
    // Its labels sit on its own dark glass, not on the window's black.
    setStyleSheet(QStringLiteral("#keyHelp { background: rgba(0, 0, 0, 200); border-radius: 6px; }"
                                 "QLabel { color: white; background: transparent; }"));
    for (QWidget *widget : watched)
        widget->installEventFilter(this);
    hide();
    retranslate();
}

void KeyHelp::retranslate()
{
    setAccessibleName(tr("Keys"));
    qDeleteAll(mLabels);
    mLabels.clear();
    for (const QString &line : PlaybackKeys::helpLines()) {
        const QString key = line.section(QLatin1Char('\t'), 0, 0);
        const QString what = line.section(QLatin1Char('\t'), 1);
        auto *keyLabel = new QLabel(key, this);
        auto *whatLabel = new QLabel(what, this);
        for (QLabel *label : {keyLabel, whatLabel})
            label->setTextFormat(Qt::PlainText);
        // Each row is read as one: the key, then what it does.
        whatLabel->setAccessibleName(key + QStringLiteral(": ") + what);
        mLabels << keyLabel << whatLabel;
    }
    if (isVisible())
        place();
}

void KeyHelp::toggle()
{
    if (isVisible()) {
        hide();
        return;
    }
    place();
    show();
    raise();
}

// The rows run down column after column, key beside what it does.
void KeyHelp::arrange(int columns)
{
    // A grid keeps its rows once made: each arrangement gets a new one.
    delete layout();
    auto *grid = new QGridLayout(this);
    grid->setHorizontalSpacing(kColumnGap);
    grid->setVerticalSpacing(kRowGap);
    const int rows = mLabels.size() / 2;
    const int perColumn = (rows + columns - 1) / columns;
    for (int i = 0; i < rows; ++i) {
        grid->addWidget(mLabels[2 * i], i % perColumn, 2 * (i / perColumn));
        grid->addWidget(mLabels[2 * i + 1], i % perColumn, 2 * (i / perColumn) + 1);
    }
}

// Centred in its area, in as many columns as a short picture needs, in a
// smaller type when even that does not fit; cut at the area's edges only
// when the smallest does not.
void KeyHelp::place()
{
    const QRect area = mArea();
    const QFont window = parentWidget()->font();
    bool fits = false;
    for (const double scale : kTypeScales) {
        QFont type = window;
        if (window.pointSizeF() > 0)
            type.setPointSizeF(window.pointSizeF() * scale);
        else
            type.setPixelSize(qRound(window.pixelSize() * scale));
        // On each label: one a style sheet has polished keeps its first font.
        for (int i = 0; i < mLabels.size(); ++i) {
            type.setBold(i % 2 == 0); // the key
            mLabels[i]->setFont(type);
        }
        for (int columns = 1; columns <= kMaxColumns && !fits; ++columns) {
            arrange(columns);
            const QSize need = layout()->sizeHint();
            if (need.height() > area.height())
                continue;
            fits = need.width() <= area.width();
            break; // more columns would only be wider
        }
        if (fits)
            break;
    }
    QRect placed(QPoint(), layout()->sizeHint().boundedTo(area.size()));
    placed.moveCenter(area.center());
    setGeometry(placed);
}

bool KeyHelp::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::Resize || type == QEvent::Move) && mWatched.contains(qobject_cast<QWidget *>(watched))) {
        if (isVisible())
            place();
        return false;
    }
    // A dialog or a menu open over the window keeps its own Esc and clicks.
    if (!watched->isWidgetType() || QApplication::activeModalWidget() || QApplication::activePopupWidget())
        return false;
    if (type == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        hide();
        return true; // the list goes first; full screen stays
    }
    if (type == QEvent::MouseButtonPress)
        hide();
    return false;
}

// Esc and clicks are watched only while it shows.
void KeyHelp::showEvent(QShowEvent *event)
{
    qApp->installEventFilter(this);
    QFrame::showEvent(event);
}

void KeyHelp::hideEvent(QHideEvent *event)
{
    qApp->removeEventFilter(this);
    QFrame::hideEvent(event);
}

void KeyHelp::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslate();
    QFrame::changeEvent(event);
}
