#include "mymsgwidget.h"
#include "ui_mymsgwidget.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPushButton>

namespace {

constexpr int kNamesShown = 3;  // the popup's fixed size holds about this many names
constexpr int kNameWidth = 150; // px of a name inside the 280 px popup, before its reason

const char kOkSheet[] = "QPushButton{color: rgb(255, 255, 255);background-color: rgb(58, 102, 169);border: none;"
                        "padding: 4px 18px;}QPushButton:hover{background-color: rgb(0, 150, 255);}";

QString failureText(const QString &name, ProbeProblem problem)
{
    switch (problem) {
    case ProbeProblem::Missing:
        return QCoreApplication::translate("mymsgwidget", "%1: file not found").arg(name);
    case ProbeProblem::NotARecording:
        return QCoreApplication::translate("mymsgwidget", "%1: not a recording").arg(name);
    case ProbeProblem::NoPictures:
        return QCoreApplication::translate("mymsgwidget", "%1: no pictures to show").arg(name);
    case ProbeProblem::NoDecoder:
        return QCoreApplication::translate("mymsgwidget", "%1: no decoder for its pictures").arg(name);
    case ProbeProblem::None:
        break;
    }
    return QCoreApplication::translate("mymsgwidget", "Cannot play %1").arg(name);
}

} // namespace

mymsgwidget::mymsgwidget(QWidget *parent)
    : QWidget(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , ui(new Ui::mymsgwidget)
{
    ui->setupUi(this);
    // File names are shown as they are, never as markup.
    ui->label->setTextFormat(Qt::PlainText);
    ui->label->setWordWrap(true);
    mOk = new QPushButton(this);
    mOk->setObjectName(QStringLiteral("pushButtonOk"));
    mOk->setStyleSheet(QLatin1String(kOkSheet));
    mOk->setDefault(true);
    ui->gridLayout->addWidget(mOk, ui->gridLayout->rowCount(), 0, 1, ui->gridLayout->columnCount(), Qt::AlignHCenter);
    connect(mOk, &QPushButton::clicked, this, &QWidget::hide);
    retranslateUi();
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

void mymsgwidget::showCannotPlay(const QString &name, ProbeProblem problem)
{
    // Camera names are short; anything else is cut in the middle to fit.
    mCannotPlay.append({QFontMetrics(ui->label->font()).elidedText(name, Qt::ElideMiddle, kNameWidth), problem});
    showCannotPlayText();
    showOver();
}

void mymsgwidget::showOver()
{
    if (QWidget *over = parentWidget())
        move(over->frameGeometry().center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    show();
    raise();
    activateWindow();
    mOk->setFocus();
}

void mymsgwidget::showCannotPlayText()
{
    QStringList lines;
    for (int i = 0; i < mCannotPlay.size() && i < kNamesShown; ++i)
        lines.append(failureText(mCannotPlay.at(i).name, mCannotPlay.at(i).problem));
    if (mCannotPlay.size() > kNamesShown)
        lines.append(QCoreApplication::translate("mymsgwidget", "and %n more", nullptr,
                                                 mCannotPlay.size() - kNamesShown));
    ui->label->setText(lines.join(QLatin1Char('\n')));
}

void mymsgwidget::retranslateUi()
{
    mOk->setText(tr("OK"));
    mOk->setAccessibleName(mOk->text());
    mOk->setToolTip(tr("Close this message (Esc)"));
    if (mCannotPlay.isEmpty())
        ui->label->setText(tr("File not exist !"));
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

void mymsgwidget::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        hide();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
