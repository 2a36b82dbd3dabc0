#pragma once

#include "timeoffset.h"

#include <QObject>

class QAction;
class QActionGroup;
class QMenu;
class Settings;
class QTranslator;
class QWidget;

// The title button's menu (Setup with Language, Unit and Time zone, the version, Exit)
// and the language the program speaks. Its actions carry the object names
// the window's slots are connected by, so it is made before the form.
class SetupMenu : public QObject
{
    Q_OBJECT

public:
    explicit SetupMenu(QWidget *window);

    // Fills the title button's menu; exit is what Exit triggers.
    void build(QMenu *menu, QObject *exitReceiver, const char *exitSlot);

    // At start: the language's entry checked and its translation installed,
    // whether or not its file is there.
    void applyLanguage(int language);
    // A language entry: every window changes at once. False when it was
    // the language already.
    bool switchLanguage(int language);
    int language() const { return mLanguage; }
    // The entries' texts in the current language.
    void retranslate();

    bool mphChecked() const;
    void checkUnit(bool mph);
    // Whether consecutive files of one drive play as one.
    void checkTrips(bool on);
    // The playback speed's entry.
    void checkSpeed(double speed);
    // The speed of the menu's next entry up (direction > 0) or down from
    // current; current itself at either end.
    static double nextSpeed(double current, int direction);

    // The clock the date and time are shown in: read from the settings
    // (a text that is no choice is the camera's rule), announced, and from
    // then on each choice of the Time zone menu is stored there and announced.
    void loadTimeOffset(Settings *settings);
    TimeOffset timeOffset() const { return mTimeOffset; }

signals:
    void sig_TripsToggled(bool on);
    void sig_SpeedChosen(double speed);
    void sig_TimeOffsetChanged(TimeOffset offset);

private:
    bool loadLanguage(int language);
    void chooseTimeOffset(TimeOffset offset);
    void askFixedOffset();
    void showTimeOffset();

    int mLanguage;                       // 0 Chinese, 1 English, 2 Japanese
    QTranslator *mTranslator;            // the one translator of every language
    QTranslator *mQtTranslator;          // Qt's own texts (its dialogs) in that language
    QMenu *mMenuSetup = nullptr;
    QMenu *mMenuLanguage = nullptr;
    QMenu *mMenuUnit = nullptr;
    QAction *mActionExit = nullptr;
    QAction *mActionChinese;             // in the language group, not in the menu
    QAction *mActionEnglish;
    QAction *mActionJapanese;
    QAction *mActionKPH;
    QAction *mActionMPH;
    QAction *mActionTrips = nullptr;
    QMenu *mMenuSpeed = nullptr;
    QWidget *mWindow;                    // the other offset's dialog opens over it
    QMenu *mMenuTimeZone = nullptr;
    QAction *mActionCameraTime = nullptr;
    QAction *mActionUtc = nullptr;
    QAction *mActionOtherOffset = nullptr;
    TimeOffset mTimeOffset;
    Settings *mSettings = nullptr;       // the window's, where a choice is stored
};
