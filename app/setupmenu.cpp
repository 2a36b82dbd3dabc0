#include "setupmenu.h"

#include "settings.h"
#include "velmoraversion.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QIcon>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QMenu>
#include <QTranslator>
#include <QVector>
#include <QWidget>

#include <iterator>

Q_DECLARE_LOGGING_CATEGORY(lcWindow)

namespace {

// Offsets (minutes east of UTC) most drives are in, offered before the rest:
// the Americas, Europe, India, East Asia and Australia.
constexpr int kCommonOffsets[] = {-8 * 60, -7 * 60, -6 * 60, -5 * 60, -3 * 60, 0, 60, 2 * 60,
                                  3 * 60, 5 * 60 + 30, 7 * 60, 8 * 60, 9 * 60, 10 * 60};

// The speeds the menu offers and [ and ] step through.
constexpr double kSpeeds[] = {0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0};

const char kMenuSheet[] =
    "QMenu{color: rgb(255, 255, 255);background-color: rgb(55, 58, 67);}"
    "QMenu::item:selected{background-color: rgb(40,40,50);}"
    "QMenu::item:pressed{background-color: rgb(40,40,50);}"
    "QMenu::right-arrow {image: url(:/image/RightArrowPress.png);}"
    "QMenu::right-arrow::hover {image: url(:/image/RightArrowHover.png);}"
    "QMenu::right-arrow::pressed {image: url(:/image/RightArrowPress.png);}"
    "QMenu::indicator:exclusive:checked {border:none;image: url(:/image/RightArrowPress.png);}";
const char kVersion[] = "Ver: V" VELMORA_VERSION_TEXT;

} // namespace

SetupMenu::SetupMenu(QWidget *window)
    : QObject(window)
    , mLanguage(kDefaultLanguage)
    , mTranslator(new QTranslator(this))
    , mQtTranslator(new QTranslator(this))
    , mWindow(window)
{
    auto action = [window](const char *name, const QString &text) {
        auto *a = new QAction(window);
        a->setObjectName(QLatin1String(name));
        a->setText(text);
        return a;
    };
    // The Chinese name is written in its own script in every language.
    mActionChinese = action("actionchinese", QStringLiteral("中文"));
    mActionEnglish = action("actionEnglise", QStringLiteral("English"));
    mActionJapanese = action("actionJapanese", QString());
    mActionKPH = action("actionKPH", QStringLiteral("km/h"));
    mActionMPH = action("actionMPH", QStringLiteral("MPH"));
    mActionChinese->setCheckable(false);
    for (QAction *checkable : {mActionEnglish, mActionJapanese, mActionKPH, mActionMPH})
        checkable->setCheckable(true);
}

void SetupMenu::build(QMenu *menu, QObject *exitReceiver, const char *exitSlot)
{
    menu->setStyleSheet(QLatin1String(kMenuSheet));
    mMenuSetup = menu->addMenu(QIcon(QStringLiteral(":/image/setup.png")), QString());
    menu->addAction(QLatin1String(kVersion));
    menu->addSeparator();
    mActionExit = menu->addAction(QIcon(QStringLiteral(":/image/PowerRelease.png")), QString());
    connect(mActionExit, SIGNAL(triggered()), exitReceiver, exitSlot);

    mMenuLanguage = mMenuSetup->addMenu(QString());
    auto *languages = new QActionGroup(this);
    languages->setExclusive(true);
    for (QAction *language : {mActionChinese, mActionJapanese, mActionEnglish}) {
        languages->addAction(language);
        mMenuLanguage->addAction(language);
    }
    // Chinese stays in the group but is not offered in the menu.
    mMenuLanguage->removeAction(mActionChinese);

    mMenuUnit = mMenuSetup->addMenu(QString());
    auto *units = new QActionGroup(this);
    units->setExclusive(true);
    for (QAction *unit : {mActionKPH, mActionMPH}) {
        units->addAction(unit);
        mMenuUnit->addAction(unit);
    }

    mMenuTimeZone = mMenuSetup->addMenu(QString());
    auto *zones = new QActionGroup(this);
    zones->setExclusive(true);
    mActionCameraTime = mMenuTimeZone->addAction(QString());
    mActionUtc = mMenuTimeZone->addAction(QString());
    mActionOtherOffset = mMenuTimeZone->addAction(QString());
    for (QAction *zone : {mActionCameraTime, mActionUtc, mActionOtherOffset}) {
        zone->setCheckable(true);
        zones->addAction(zone);
    }
    connect(mActionCameraTime, &QAction::triggered, this, [this] { chooseTimeOffset(TimeOffset::camera()); });
    connect(mActionUtc, &QAction::triggered, this, [this] { chooseTimeOffset(TimeOffset::utc()); });
    connect(mActionOtherOffset, &QAction::triggered, this, &SetupMenu::askFixedOffset);
    mMenuSpeed = mMenuSetup->addMenu(QString());
    auto *speeds = new QActionGroup(this);
    for (double speed : kSpeeds) {
        QAction *entry = mMenuSpeed->addAction(QStringLiteral("%1×").arg(speed));
        entry->setCheckable(true);
        entry->setChecked(speed == 1.0);
        entry->setData(speed);
        speeds->addAction(entry);
        connect(entry, &QAction::triggered, this, [this, speed] { emit sig_SpeedChosen(speed); });
    }
    mActionTrips = mMenuSetup->addAction(QString());
    mActionTrips->setCheckable(true);
    connect(mActionTrips, &QAction::toggled, this, &SetupMenu::chooseTrips);
    retranslate();
}

// The entries are translated with the window's texts.
void SetupMenu::retranslate()
{
    if (!mMenuSetup)
        return;
    mMenuSetup->setTitle(QCoreApplication::translate("MainWindow", "Setup"));
    mActionExit->setText(QCoreApplication::translate("MainWindow", "Exit"));
    mMenuLanguage->setTitle(QCoreApplication::translate("MainWindow", "Language"));
    mActionJapanese->setText(QCoreApplication::translate("MainWindow", "Japan"));
    mMenuUnit->setTitle(QCoreApplication::translate("MainWindow", "Unit"));
    mMenuTimeZone->setTitle(tr("Time zone"));
    mActionCameraTime->setText(tr("Camera time"));
    mActionUtc->setText(tr("UTC"));
    mActionTrips->setText(tr("Play a drive as one"));
    mMenuSpeed->setTitle(tr("Playback speed"));
    showTimeOffset();
}

void SetupMenu::checkSpeed(double speed)
{
    for (QAction *entry : mMenuSpeed->actions())
        entry->setChecked(qFuzzyCompare(entry->data().toDouble(), speed));
}

double SetupMenu::nextSpeed(double current, int direction)
{
    if (direction > 0) {
        for (double speed : kSpeeds) {
            if (speed > current + 1e-9)
                return speed;
        }
    } else {
        for (auto it = std::rbegin(kSpeeds); it != std::rend(kSpeeds); ++it) {
            if (*it < current - 1e-9)
                return *it;
        }
    }
    return current;
}

void SetupMenu::checkTrips(bool on)
{
    const QSignalBlocker quiet(mActionTrips);
    mActionTrips->setChecked(on);
}

// The language's entry checked and its file in the translator; false when
// the file cannot be read (the translator is then empty).
bool SetupMenu::loadLanguage(int language)
{
    mLanguage = language;
    (language == Chinese ? mActionChinese : language == Japanese ? mActionJapanese : mActionEnglish)->setChecked(true);
    const QString file = QDir(translationsFolder()).filePath(translationFile(language));
    const bool loaded = mTranslator->load(file);
    qCDebug(lcWindow) << (loaded ? "translation loaded:" : "translation not loaded:") << file;
    // Qt's dialogs (the add dialog) speak the same language: Debian's
    // translations of Qt; English needs none.
    const char *qtFile = language == Chinese ? "qtbase_zh_CN" : language == Japanese ? "qtbase_ja" : nullptr;
    if (!qtFile || !mQtTranslator->load(QLatin1String(qtFile), QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        mQtTranslator->load(QString()); // empty: Qt's own English
    return loaded;
}

void SetupMenu::applyLanguage(int language)
{
    loadLanguage(language);
    // An empty translator leaves the program's own (English) texts.
    for (QTranslator *translator : {mQtTranslator, mTranslator}) {
        QCoreApplication::removeTranslator(translator);
        QCoreApplication::installTranslator(translator);
    }
}

bool SetupMenu::switchLanguage(int language)
{
    if (mLanguage == language)
        return false;
    loadLanguage(language);
    QCoreApplication::removeTranslator(mQtTranslator);
    QCoreApplication::installTranslator(mQtTranslator);
    QCoreApplication::removeTranslator(mTranslator);
    // Installing announces the change to every window, unless the file was
    // missing: then the program's own texts come back all the same.
    if (!QCoreApplication::installTranslator(mTranslator)) {
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(qApp, &change);
    }
    // The windows re-translate now, not at the next turn of the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
    return true;
}

bool SetupMenu::mphChecked() const
{
    return mActionMPH->isChecked();
}

void SetupMenu::checkUnit(bool mph)
{
    (mph ? mActionMPH : mActionKPH)->setChecked(true);
}

void SetupMenu::load(Settings *settings)
{
    mSettings = settings;
    int language = kDefaultLanguage;
    settings->readInt(QStringLiteral("menu"), QStringLiteral("language"), language);
    applyLanguage(languageFromSetting(language));
    int unit = 0;
    const bool mph = settings->readInt(QStringLiteral("Setup"), QStringLiteral("Unit"), unit) && unit != 0;
    checkUnit(mph);
    emit sig_UnitChosen(mph);
    int trips = 1;
    settings->readInt(QStringLiteral("Setup"), QStringLiteral("playTrips"), trips);
    checkTrips(trips != 0);
    emit sig_TripsToggled(trips != 0);
    QString stored;
    settings->readString(QStringLiteral("Setup"), QStringLiteral("TimeZone"), stored);
    mTimeOffset = TimeOffset::fromSetting(stored);
    showTimeOffset();
    emit sig_TimeOffsetChanged(mTimeOffset);
}

void SetupMenu::store(const char *group, const char *key, const QString &value)
{
    if (mSettings)
        mSettings->writeString(QLatin1String(group), QLatin1String(key), value);
}

void SetupMenu::chooseLanguage(int language)
{
    if (switchLanguage(language))
        store("menu", "language", QString::number(language));
}

void SetupMenu::chooseUnit(bool mph)
{
    checkUnit(mph);
    store("Setup", "Unit", mph ? QStringLiteral("1") : QStringLiteral("0"));
    emit sig_UnitChosen(mph);
}

void SetupMenu::chooseTrips(bool on)
{
    checkTrips(on);
    store("Setup", "playTrips", on ? QStringLiteral("1") : QStringLiteral("0"));
    emit sig_TripsToggled(on);
}

void SetupMenu::chooseTimeOffset(TimeOffset offset)
{
    const bool changed = offset != mTimeOffset;
    mTimeOffset = offset;
    showTimeOffset();
    if (!changed)
        return;
    store("Setup", "TimeZone", offset.toText());
    emit sig_TimeOffsetChanged(offset);
}

// Every offset in use, from -12:00 to +14:00 by quarter hours, the common
// ones first; the one in force, else this computer's own, is selected.
void SetupMenu::askFixedOffset()
{
    QVector<int> order(std::begin(kCommonOffsets), std::end(kCommonOffsets));
    for (int minutes = TimeOffset::kMinMinutes; minutes <= TimeOffset::kMaxMinutes; minutes += TimeOffset::kStepMinutes) {
        if (!order.contains(minutes))
            order << minutes;
    }
    QStringList offsets;
    for (int minutes : qAsConst(order))
        offsets << QStringLiteral("UTC") + offsetText(minutes);
    const int current = mTimeOffset.mode == TimeOffset::Mode::Fixed
                            ? mTimeOffset.minutes
                            : TimeOffset::fixed(QDateTime::currentDateTime().offsetFromUtc() / 60).minutes;
    QInputDialog dialog(mWindow);
    dialog.setWindowTitle(tr("Time zone"));
    dialog.setLabelText(tr("Show dates and times at:"));
    dialog.setComboBoxItems(offsets);
    dialog.setComboBoxEditable(false);
    if (auto *box = dialog.findChild<QComboBox *>())
        box->insertSeparator(int(std::size(kCommonOffsets)));
    dialog.setTextValue(offsets.at(order.indexOf(current)));
    const bool ok = dialog.exec() == QDialog::Accepted;
    const int at = offsets.indexOf(dialog.textValue());
    if (ok && at >= 0)
        chooseTimeOffset(TimeOffset::fixed(order.at(at)));
    else
        showTimeOffset(); // cancelled: the check goes back to the choice in force
}

// The checked entry is the choice in force; the other offset names its own.
void SetupMenu::showTimeOffset()
{
    if (!mMenuTimeZone)
        return;
    const bool fixed = mTimeOffset.mode == TimeOffset::Mode::Fixed;
    (fixed ? mActionOtherOffset
           : mTimeOffset.mode == TimeOffset::Mode::Utc ? mActionUtc : mActionCameraTime)->setChecked(true);
    mActionOtherOffset->setText(fixed ? tr("Other offset (UTC%1)…").arg(offsetText(mTimeOffset.minutes))
                                      : tr("Other offset…"));
}
