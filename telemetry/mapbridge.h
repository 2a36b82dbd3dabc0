#pragma once

#include <QFunctionPointer>
#include <QObject>
#include <QStringList>

#include <memory>
#include <thread>

class MapEngine;
class QWidget;

// OpenStreetMap's standard tile server. Its usage policy wants the
// identifying user agent and the attribution the page shows, and no bulk use.
constexpr char kMapDefaultTileUrl[] = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";

// Where OpenGL is only a software rasteriser (a virtual display, a machine
// without a GPU driver), the web view is drawn by Qt Quick's software
// renderer: composed by OpenGL, the whole window would go through the
// rasteriser for every video picture. Process set-up: main() calls it once,
// after the application object and before the first MapBridge;
// QT_QUICK_BACKEND, when set, decides (and is how the choice is passed on).
void chooseMapRenderer();
// Before the application object: on a machine without a GPU device OpenGL
// could only be that rasteriser, which the web engine's shared context would
// load into the process at start (Mesa's llvmpipe, some 50 MB of LLVM). The
// program then goes without OpenGL and the map is drawn in software.
// Also lets the web engine, loaded later, share OpenGL with the window.
void avoidSoftwareOpenGl();

// The map view: a web view showing the embedded map page, and the one-way
// road into it. Call texts (mapcalls.h) made before the page has loaded wait
// and run in order once it has. GUI thread only.
class MapBridge : public QObject
{
    Q_OBJECT

public:
    // The view will be a child of viewParent (in its layout, if it has one),
    // made by the first load(). Tiles are cached on disk in a profile of the
    // map's own under the user's cache folder.
    explicit MapBridge(QWidget *viewParent, QObject *parent = nullptr);
    // Deletes the view, unless its parent already has; waits for a load of
    // the web engine's libraries under way.
    ~MapBridge() override;

    // Starts the web engine the first time: its module (and the web
    // engine's libraries) loads on a thread of its own, and the page once
    // it has; without the module the map stays empty, and a warning is
    // logged. Loads the page
    // "qrc:/google_JS_Online/googleMap.html". tileUrl is a
    // tile address with {z}, {x} and {y} (optionally {s}); empty means
    // kMapDefaultTileUrl. Loading again starts a fresh page.
    void load(const QString &tileUrl = QString());

    // Runs a call text in the page and ignores its result; until the page has
    // loaded, keeps it for later: a "mycleanOverlay()" drops every call
    // queued before it, and a position call replaces a queued one of the
    // same function.
    void run(const QString &call);

    // The web view (a QWebEngineView); null until the engine has started.
    QWidget *view() const;
    // Whether load() has been called: the engine started, or failed to.
    bool isStarted() const { return mStarted; }
    bool isLoaded() const;

signals:
    // The user clicked the map at a position; toleranceMeters is how far
    // a few pixels reach at the map's zoom there.
    void sig_Clicked(double latitude, double longitude, double toleranceMeters);

private:
    void createEngine(QFunctionPointer create, const QString &error);
    void slotLoadFinished(bool ok);
    void enqueue(const QString &call);

    QWidget *mViewParent;
    std::unique_ptr<MapEngine> mEngine;
    std::thread mModuleLoad;
    QString mTileUrl; // of the last load()
    bool mStarted = false;
    bool mLoaded = false;
    QStringList mPending; // calls waiting for the page, oldest first
};
