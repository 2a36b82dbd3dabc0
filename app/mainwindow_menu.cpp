// The window's side of the title button's menu and the stored settings: the
// language, the speed unit, the sound and position correction.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "controlbarlooks.h"
#include "mymenu.h"
#include "formfilelist.h"
#include "playbacksession.h"
#include "setupmenu.h"
#include "soundcontrol.h"
#include "telemetrypanel.h"
#include "windowframe.h"

#include <QMenu>

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

    int trips = 1;
    mSettings->readInt(QStringLiteral("Setup"), QStringLiteral("playTrips"), trips);
    mMenu->checkTrips(trips != 0);
    mSession->setTrips(trips != 0, [this] { return mFileList->files(); });
    connect(mMenu, &SetupMenu::sig_TimeOffsetChanged, mPanel.get(), &TelemetryPanel::setTimeOffset);
    mMenu->loadTimeOffset(mSettings.get());

    mSound->load(*mSettings);
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
    mFrame->save(*mSettings);
    mSound->save(*mSettings);
}

void MainWindow::setTrips(bool on)
{
    mMenu->checkTrips(on);
    mSession->setTrips(on, [this] { return mFileList->files(); });
    mSettings->writeString(QStringLiteral("Setup"), QStringLiteral("playTrips"), on ? QStringLiteral("1") : QStringLiteral("0"));
}
