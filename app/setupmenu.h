#pragma once

#include <QObject>

class QAction;
class QActionGroup;
class QMenu;
class QTranslator;
class QWidget;

// The title button's menu (Setup with Language and Unit, the version, Exit)
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

signals:
    void sig_TripsToggled(bool on);

private:
    bool loadLanguage(int language);

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
};
