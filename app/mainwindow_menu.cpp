// The title button's menu, the stored settings, the language and the speed
// unit.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "mymenu.h"
#include "telemetrypanel.h"
#include "velmoraversion.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QMenu>
#include <QTranslator>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

const char kMenuSheet[] =
    "QMenu{color: rgb(255, 255, 255);background-color: rgb(55, 58, 67);}"
    "QMenu::item:selected{background-color: rgb(40,40,50);}"
    "QMenu::item:pressed{background-color: rgb(40,40,50);}"
    "QMenu::right-arrow {image: url(:/image/RightArrowPress.png);}"
    "QMenu::right-arrow::hover {image: url(:/image/RightArrowHover.png);}"
    "QMenu::right-arrow::pressed {image: url(:/image/RightArrowPress.png);}"
    "QMenu::indicator:exclusive:checked {border:none;image: url(:/image/RightArrowPress.png);}";
const char kVersion[] = "Ver: V" VELMORA_VERSION_TEXT;
constexpr int kDefaultVolume = 128; // the player's top; the slider shows 100

} // namespace

// Made before the form, so that the form connects them by name.
void MainWindow::createMenuActions()
{
    auto action = [this](const char *name) {
        auto *a = new QAction(this);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    mActionChinese = action("actionchinese");
    // The Chinese name is written in its own script in every language.
    mActionChinese->setText(QStringLiteral("中文"));
    mActionEnglish = action("actionEnglise");
    mActionEnglish->setText(QStringLiteral("English"));
    mActionJapanese = action("actionJapanese");
    mActionKPH = action("actionKPH");
    mActionKPH->setText(QStringLiteral("km/h"));
    mActionMPH = action("actionMPH");
    mActionMPH->setText(QStringLiteral("MPH"));
}

void MainWindow::buildMenu()
{
    QMenu *menu = ui->toolButton->getMenu();
    menu->setStyleSheet(QLatin1String(kMenuSheet));
    mMenuSetup = menu->addMenu(QIcon(QStringLiteral(":/image/setup.png")), tr("Setup"));
    mActionVersion = menu->addAction(QLatin1String(kVersion));
    menu->addSeparator();
    mActionExit = menu->addAction(QIcon(QStringLiteral(":/image/PowerRelease.png")), tr("Exit"));
    connect(mActionExit, &QAction::triggered, this, &MainWindow::on_pushButtonClose_clicked);

    mMenuLanguage = mMenuSetup->addMenu(tr("Language"));
    mLanguageGroup = new QActionGroup(this);
    mLanguageGroup->setExclusive(true);
    mActionJapanese->setText(tr("Japan"));
    for (QAction *language : {mActionChinese, mActionJapanese, mActionEnglish}) {
        mLanguageGroup->addAction(language);
        mMenuLanguage->addAction(language);
    }
    // Chinese stays in the group but is not offered in the menu.
    mMenuLanguage->removeAction(mActionChinese);

    mMenuUnit = mMenuSetup->addMenu(tr("Unit"));
    mUnitGroup = new QActionGroup(this);
    mUnitGroup->setExclusive(true);
    for (QAction *unit : {mActionKPH, mActionMPH}) {
        mUnitGroup->addAction(unit);
        mMenuUnit->addAction(unit);
    }
}

QMenu *MainWindow::setupMenu() const
{
    return ui->toolButton->getMenu();
}

void MainWindow::loadSettings()
{
    int language = kDefaultLanguage;
    mSettings->readInt(QStringLiteral("menu"), QStringLiteral("language"), language);
    applyLanguage(languageFromSetting(language));

    mActionKPH->setCheckable(true);
    mActionMPH->setCheckable(true);
    int unit = 0;
    const bool mph = mSettings->readInt(QStringLiteral("Setup"), QStringLiteral("Unit"), unit) && unit != 0;
    (mph ? mActionMPH : mActionKPH)->setChecked(true);
    mPanel->setSpeedInMph(mph, false, 0);

    // The slider shows what fits its 0..100; the value read, held to the
    // player's scale, is what the sound plays at and comes back after a mute.
    int volume = kDefaultVolume;
    mSettings->readInt(QStringLiteral("Setup"), QStringLiteral("volume"), volume);
    volume = qBound(0, volume, kDefaultVolume);
    ui->horizontalSliderVolume->setValue(volume);
    mVolumePre = volume;

    int sound = 1;
    mSettings->readInt(QStringLiteral("Setup"), QStringLiteral("Silent"), sound);
    mIsMuted = sound == 0;
    mPlayer->setVolume(mIsMuted ? 0 : mVolumePre);
    showStateTexts();

    int fix = 0;
    if (mSettings->readInt(QStringLiteral("Setup"), QStringLiteral("fixgpsdata"), fix))
        mPanel->setFixGpsData(fix != 0);
    showFixGpsImages(mPanel->fixGpsData());
}

// The language's entry checked and its file in the translator; false when
// the file cannot be read (the translator is then empty).
bool MainWindow::loadLanguage(int language)
{
    mLanguage = language;
    (language == Chinese ? mActionChinese : language == Japanese ? mActionJapanese : mActionEnglish)->setChecked(true);
    const QString file = QDir(translationsFolder()).filePath(translationFile(language));
    const bool loaded = mTranslator->load(file);
    qCDebug(lcWindow) << (loaded ? "translation loaded:" : "translation not loaded:") << file;
    return loaded;
}

// At start-up: the stored language, whether or not its file is there.
void MainWindow::applyLanguage(int language)
{
    mActionChinese->setCheckable(false);
    mActionEnglish->setCheckable(true);
    mActionJapanese->setCheckable(true);
    if (!mTranslator)
        mTranslator = new QTranslator(this);
    loadLanguage(language);
    // An empty translator leaves the program's own (English) texts.
    QCoreApplication::removeTranslator(mTranslator);
    QCoreApplication::installTranslator(mTranslator);
    retranslate();
}

// A language entry of the menu: every window changes at once.
void MainWindow::switchLanguage(int language)
{
    if (mLanguage == language)
        return;
    loadLanguage(language);
    QCoreApplication::removeTranslator(mTranslator);
    // Installing announces the change to every window, unless the file was
    // missing: then the program's own texts come back all the same.
    if (!QCoreApplication::installTranslator(mTranslator)) {
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(qApp, &change);
    }
    // The windows re-translate now, not at the next turn of the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    mSettings->writeString(QStringLiteral("menu"), QStringLiteral("language"), QString::number(language));
}

void MainWindow::on_actionchinese_triggered()
{
    switchLanguage(Chinese);
}

void MainWindow::on_actionEnglise_triggered()
{
    switchLanguage(English);
}

void MainWindow::on_actionJapanese_triggered()
{
    switchLanguage(Japanese);
}

// Every text of the window in the current language: the form's, the menu's,
// the chart's and those that follow a state.
void MainWindow::retranslate()
{
    ui->retranslateUi(this);
    mMenuSetup->setTitle(tr("Setup"));
    mActionExit->setText(tr("Exit"));
    mMenuLanguage->setTitle(tr("Language"));
    mActionJapanese->setText(tr("Japan"));
    mMenuUnit->setTitle(tr("Unit"));
    mPanel->retranslate();
    showStateTexts();
}

void MainWindow::on_actionKPH_triggered()
{
    setSpeedInMph(false);
}

void MainWindow::on_actionMPH_triggered()
{
    setSpeedInMph(true);
}

void MainWindow::saveOnExit()
{
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("volume"),
                           QString::number(ui->horizontalSliderVolume->value()));
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("Silent"),
                           mIsMuted ? QStringLiteral("0") : QStringLiteral("1"));
}
