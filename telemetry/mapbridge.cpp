#include "mapbridge.h"

#include "mapcalls.h"
#include "velmoraversion.h"

#include <QDesktopServices>
#include <QDir>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QJsonArray>
#include <QLayout>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include <algorithm>
#include <cmath>
#include <utility>

Q_LOGGING_CATEGORY(lcMap, "velmora.map")

namespace {

const char kPageUrl[] = "qrc:/google_JS_Online/googleMap.html";
const char kUserAgent[] = "Velmora_viewer/" VELMORA_VERSION " (dash-camera recording viewer)";
const char kTileUrlScriptName[] = "velmoraTileUrl";

// A safety net for calls other than the window's own, which the coalescing
// in enqueue() keeps to a handful.
constexpr int kMaxPendingCalls = 64;

// The view shows the map page and nothing else: the page is never loaded
// again, so leaving it would lose the map. Links (the attribution) open in
// the user's browser.
class MapPage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (!isMainFrame || url == QUrl(QString::fromLatin1(kPageUrl)))
            return true;
        if (type == NavigationTypeLinkClicked)
            QDesktopServices::openUrl(url);
        return false;
    }
};

} // namespace

// What the page may tell the program, and nothing else: its clicks. The
// page is ours, but what it passes is checked like any outside input.
class MapPageEvents : public QObject
{
    Q_OBJECT

public:
    explicit MapPageEvents(MapBridge *bridge)
        : QObject(bridge)
        , mBridge(bridge)
    {
    }

    Q_INVOKABLE void clicked(double latitude, double longitude, double toleranceMeters)
    {
        if (!std::isfinite(latitude) || !std::isfinite(longitude) || !std::isfinite(toleranceMeters)
            || std::fabs(latitude) > 90.0 || toleranceMeters < 0 || toleranceMeters > kMaxToleranceMeters)
            return;
        emit mBridge->sig_Clicked(latitude, longitude, toleranceMeters);
    }

private:
    // A few pixels at the widest zoom out.
    static constexpr double kMaxToleranceMeters = 1.0e6;
    MapBridge *mBridge;
};

namespace {

// The call's function name: the text before its "(".
QStringRef functionName(const QString &call)
{
    return call.leftRef(call.indexOf(QLatin1Char('(')));
}

// The GL_RENDERER text of the default OpenGL, or an empty text without one.
QString glRenderer()
{
    QOpenGLContext context;
    QOffscreenSurface surface;
    surface.setFormat(context.format());
    surface.create();
    if (!context.create() || !surface.isValid() || !context.makeCurrent(&surface))
        return QString();
    const auto *text = reinterpret_cast<const char *>(context.functions()->glGetString(GL_RENDERER));
    const QString renderer = QString::fromLatin1(text ? text : "");
    context.doneCurrent();
    return renderer;
}

// The GL_RENDERER texts of software rasterisers.
bool isSoftwareGlRenderer(const QString &renderer)
{
    for (const char *software : {"llvmpipe", "softpipe", "Software Rasterizer", "SWR", "Microsoft Basic Render Driver"}) {
        if (renderer.contains(QLatin1String(software), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

} // namespace

void avoidSoftwareOpenGl()
{
#ifdef Q_OS_LINUX
    if (!qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") || !qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        return;
    const QStringList devices = QDir(QStringLiteral("/dev/dri")).entryList({QStringLiteral("renderD*"), QStringLiteral("card*")}, QDir::System);
    if (!devices.isEmpty())
        return;
    qCDebug(lcMap) << "no GPU device: no OpenGL, the map is drawn in software";
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
#endif
}

void chooseMapRenderer()
{
    if (!qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") || QQuickWindow::sceneGraphBackend() == QLatin1String("software"))
        return;
    const QString renderer = glRenderer();
    const bool software = renderer.isEmpty() || isSoftwareGlRenderer(renderer);
    qCDebug(lcMap) << "OpenGL renderer:" << (renderer.isEmpty() ? QStringLiteral("none") : renderer)
                   << (software ? "- the map is drawn in software" : "- the map is drawn with OpenGL");
    if (software)
        QQuickWindow::setSceneGraphBackend(QSGRendererInterface::Software);
}

// Outside any namespace, as the resource's init function requires.
static void initMapResources()
{
    Q_INIT_RESOURCE(mappage);
}

MapBridge::MapBridge(QWidget *viewParent, QObject *parent)
    : QObject(parent)
    , mViewParent(viewParent)
{
}

// The web engine starts with the first view: its processes and the page's
// load wait for the first load().
void MapBridge::createView()
{
    initMapResources();

    mProfile = new QWebEngineProfile(QStringLiteral("map"), this);
    const QString cacheRoot = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (!cacheRoot.isEmpty()) {
        const QString path = cacheRoot + QStringLiteral("/map");
        mProfile->setPersistentStoragePath(path);
        mProfile->setCachePath(path);
    }
    // Tiles seen once show again without a network, and spare the tile server.
    mProfile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    mProfile->setHttpUserAgent(QString::fromLatin1(kUserAgent));

    mView = new QWebEngineView(mViewParent);
    // Its Reload would lose the route.
    mView->setContextMenuPolicy(Qt::NoContextMenu);
    auto *page = new MapPage(mProfile, mView);
    mView->setPage(page);
    mChannel = new QWebChannel(this);
    mEvents = new MapPageEvents(this);
    mChannel->registerObject(QStringLiteral("velmora"), mEvents);
    page->setWebChannel(mChannel);
    connect(page, &QWebEnginePage::loadFinished, this, &MapBridge::slotLoadFinished);
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                qCWarning(lcMap) << "map page process ended:" << status << exitCode;
            });
    if (!mViewParent)
        return;
    if (mViewParent->layout())
        mViewParent->layout()->addWidget(mView);
    else
        mView->resize(mViewParent->size());
    mView->show();
}

MapBridge::~MapBridge()
{
    // The page must go before the profile it was made with.
    delete mView;
}

void MapBridge::load(const QString &tileUrl)
{
    if (!mView)
        createView();
    QWebEnginePage *page = mView->page();
    const QString url = tileUrl.isEmpty() ? QString::fromLatin1(kMapDefaultTileUrl) : tileUrl;
    // Quoted as the one element of a JSON array, whatever characters it holds.
    const QString quoted = QString::fromUtf8(QJsonDocument(QJsonArray{url}).toJson(QJsonDocument::Compact));

    QWebEngineScript script;
    script.setName(QString::fromLatin1(kTileUrlScriptName));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setSourceCode(QStringLiteral("window.velmoraTileUrl = %1[0];").arg(quoted));
    QWebEngineScriptCollection &scripts = page->scripts();
    for (const QWebEngineScript &old : scripts.findScripts(script.name()))
        scripts.remove(old);
    scripts.insert(script);

    mLoaded = false;
    page->load(QUrl(QString::fromLatin1(kPageUrl)));
}

void MapBridge::run(const QString &call)
{
    if (mLoaded && mView)
        mView->page()->runJavaScript(call);
    else
        enqueue(call);
}

QWebEngineView *MapBridge::view() const
{
    return mView;
}

bool MapBridge::isLoaded() const
{
    return mLoaded;
}

void MapBridge::slotLoadFinished(bool ok)
{
    if (!ok) {
        // Once loaded, this is a refused navigation away: the map is still there.
        // Before, the calls are kept for a later load(); enqueue() bounds them.
        if (!mLoaded)
            qCWarning(lcMap) << "map page load failed:" << mPending.size() << "calls waiting";
        return;
    }
    mLoaded = true;
    qCDebug(lcMap) << "map page loaded:" << mView->page()->url().toString();
    const QStringList pending = std::exchange(mPending, {});
    for (const QString &call : pending)
        mView->page()->runJavaScript(call);
}

void MapBridge::enqueue(const QString &call)
{
    const QStringRef name = functionName(call);
    if (call == mapCleanCall()) {
        // A new route follows; the marker and the pan follow at the next tick.
        mPending.clear();
    } else if (name == QLatin1String("showAddress") || name == QLatin1String("panToAddress")
               || name == QLatin1String("showPlayed")) {
        // Only the newest marker position and pan target are seen.
        mPending.erase(std::remove_if(mPending.begin(), mPending.end(),
                                      [&](const QString &queued) { return functionName(queued) == name; }),
                       mPending.end());
    }
    mPending.append(call);
    if (mPending.size() > kMaxPendingCalls) {
        qCWarning(lcMap) << "map page not ready, dropped:" << mPending.first();
        mPending.removeFirst();
    }
}

#include "mapbridge.moc"
