// The window's side of the title button's menu and the stored settings: the
// language, the speed unit, the sound and position correction.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "controlbarlooks.h"
#include "mymenu.h"
#include "setupmenu.h"
#include "telemetrypanel.h"
#include "windowchrome.h"
#include "windowframe.h"

#include <QMenu>

namespace {

constexpr int kDefaultVolume = 128; // the player's top; the slider shows 100

} // namespace

QMenu *MainWindow::setupMenu() const
{
    return ui->toolButton->getMenu();
}

int MainWindow::language() const
{
    return mMenu->language();
}

void MainWindow::loadSettings()
{
    int language = kDefaultLanguage;
    mSettings->readInt(QStringLiteral("menu"), QStringLiteral("language"), language);
    mMenu->applyLanguage(languageFromSetting(language));
    retranslate();

    int unit = 0;
    const bool mph = mSettings->readInt(QStringLiteral("Setup"), QStringLiteral("Unit"), unit) && unit != 0;
    mMenu->checkUnit(mph);
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
    showFixGpsLook(ui->pushButton, mPanel->fixGpsData());
}

void MainWindow::switchLanguage(int language)
{
    if (mMenu->switchLanguage(language))
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
    mMenu->retranslate();
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
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("windowRect"), rectText(mFrame->normalGeometry()));
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("windowScreen"), screen()->name());
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("windowMaximized"),
                           mFrame->isMaximized() ? QStringLiteral("1") : QStringLiteral("0"));
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("volume"),
                           QString::number(ui->horizontalSliderVolume->value()));
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("Silent"),
                           mIsMuted ? QStringLiteral("0") : QStringLiteral("1"));
}
