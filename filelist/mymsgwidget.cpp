#include "mymsgwidget.h"
#include "ui_mymsgwidget.h"

#include <QCoreApplication>
#include <QFontMetrics>

namespace {

constexpr int kNamesShown = 3;  // the popup's fixed size holds about this many names
constexpr int kNameWidth = 200;  // px of a name inside the 280 px popup, after "Cannot play "

} // namespace

mymsgwidget::mymsgwidget(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::mymsgwidget)
{
    ui->setupUi(this);
    // File names are shown as they are, never as markup.
    ui->label->setTextFormat(Qt::PlainText);
    setWindowFlags(Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_ShowModal, true);
}

mymsgwidget::~mymsgwidget()
{
    delete ui;
}

void mymsgwidget::setMessage(const QString &text)
{
    mCannotPlay.clear();
    ui->label->setText(text);
}

QString mymsgwidget::message() const
{
    return ui->label->text();
}

void mymsgwidget::showCannotPlay(const QString &name)
{
    // Camera names are short; anything else is cut in the middle to fit.
    mCannotPlay.append(QFontMetrics(ui->label->font()).elidedText(name, Qt::ElideMiddle, kNameWidth));
    showCannotPlayText();
    show();
    raise();
}

void mymsgwidget::showCannotPlayText()
{
    QStringList lines;
    for (int i = 0; i < mCannotPlay.size() && i < kNamesShown; ++i)
        lines.append(QCoreApplication::translate("mymsgwidget", "Cannot play %1").arg(mCannotPlay.at(i)));
    if (mCannotPlay.size() > kNamesShown)
        lines.append(QCoreApplication::translate("mymsgwidget", "and %n more", nullptr,
                                                 mCannotPlay.size() - kNamesShown));
    ui->label->setText(lines.join(QLatin1Char('\n')));
}

void mymsgwidget::retranslateUi()
{
    if (mCannotPlay.isEmpty())
        ui->label->setText(QCoreApplication::translate("mymsgwidget", "File not exist !"));
    else
        showCannotPlayText();
}

void mymsgwidget::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        retranslateUi();
    QWidget::changeEvent(event);
}

void mymsgwidget::hideEvent(QHideEvent *event)
{
    mCannotPlay.clear();
    QWidget::hideEvent(event);
}
