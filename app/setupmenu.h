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

    // The choices kept in the settings (language, unit, drives, time
    // zone): read and announced through the signals below; from then on
    // each choice is stored there and announced. A time zone text that is
    // no choice is the camera's rule.
    void load(Settings *settings);
    TimeOffset timeOffset() const { return mTimeOffset; }
    // A language entry; stored when it changed the language.
    void chooseLanguage(int language);
    void chooseUnit(bool mph);
    void chooseTrips(bool on);

signals:
    void sig_UnitChosen(bool mph);
    void sig_TripsToggled(bool on);
    void sig_SpeedChosen(double speed);
    void sig_TimeOffsetChanged(TimeOffset offset);

private:
    void store(const char *group, const char *key, const QString &value);
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
