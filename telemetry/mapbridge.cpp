#include "mapbridge.h"

#include "mapcalls.h"
#include "mapengine.h"
#include "modules.h"
#include "velmoraversion.h"

#include <QCoreApplication>
#include <QDir>
#include <QLoggingCategory>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPointer>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcMap, "velmora.map")

namespace {

const char kUserAgent[] = "Velmora_viewer/" VELMORA_VERSION " (dash-camera recording viewer)";

// A safety net for calls other than the window's own, which the coalescing
// in enqueue() keeps to a handful.
constexpr int kMaxPendingCalls = 64;

// Read by Qt Quick when the web view makes its first window.
void useSoftwareSceneGraph()
{
    qputenv("QT_QUICK_BACKEND", "software");
}

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
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
#ifdef Q_OS_LINUX
    if (!qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND") || !qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        return;
    const QStringList devices = QDir(QStringLiteral("/dev/dri")).entryList({QStringLiteral("renderD*"), QStringLiteral("card*")}, QDir::System);
    if (!devices.isEmpty())
        return;
    qCDebug(lcMap) << "no GPU device: no OpenGL, the map is drawn in software";
    qputenv("QT_XCB_GL_INTEGRATION", "none");
    useSoftwareSceneGraph();
#endif
}

void chooseMapRenderer()
{
    if (!qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        return;
    const QString renderer = glRenderer();
    const bool software = renderer.isEmpty() || isSoftwareGlRenderer(renderer);
    qCDebug(lcMap) << "OpenGL renderer:" << (renderer.isEmpty() ? QStringLiteral("none") : renderer)
                   << (software ? "- the map is drawn in software" : "- the map is drawn with OpenGL");
    if (software)
        useSoftwareSceneGraph();
}

MapBridge::MapBridge(QWidget *viewParent, QObject *parent)
    : QObject(parent)
    , mViewParent(viewParent)
{
}

MapBridge::~MapBridge()
{
    if (mModuleLoad.joinable())
        mModuleLoad.join();
}

void MapBridge::createEngine(QFunctionPointer create, const QString &error)
{
    mModuleLoad.join(); // it has posted this as its last act
    if (!create) {
        qCWarning(lcMap) << "no map: its web engine module did not load:" << error;
        return;
    }
    const QString cacheRoot = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    const QPointer<MapBridge> self(this);
    MapEngine::Events events;
    events.loadFinished = [self](bool ok) {
        if (self)
            self->slotLoadFinished(ok);
    };
    events.clicked = [self](double latitude, double longitude, double toleranceMeters) {
        if (self)
            emit self->sig_Clicked(latitude, longitude, toleranceMeters);
    };
    mEngine.reset(reinterpret_cast<CreateMapEngine>(create)(
        mViewParent, QString::fromLatin1(kUserAgent), cacheRoot.isEmpty() ? QString() : cacheRoot + QStringLiteral("/map"),
        std::move(events)));
    if (mEngine)
        mEngine->load(mTileUrl);
}

void MapBridge::load(const QString &tileUrl)
{
    mTileUrl = tileUrl.isEmpty() ? QString::fromLatin1(kMapDefaultTileUrl) : tileUrl;
    mLoaded = false;
    if (mEngine) {
        mEngine->load(mTileUrl);
        return;
    }
    if (mStarted)
        return; // the module is on its way, or missing
    mStarted = true;
    // The web engine's libraries are some 130 MB to read and relocate: from
    // a slow disk that takes a while, which the window must not wait for.
    mModuleLoad = std::thread([self = QPointer<MapBridge>(this)]() mutable {
        QString error;
        const QFunctionPointer create = moduleFunction(QStringLiteral("velmora_mapview"), VELMORA_MAP_ENGINE_ENTRY, &error);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self = std::move(self), create, error] {
                if (self)
                    self->createEngine(create, error);
            },
            Qt::QueuedConnection);
    });
}

void MapBridge::run(const QString &call)
{
    if (mLoaded && mEngine)
        mEngine->run(call);
    else
        enqueue(call);
}

QWidget *MapBridge::view() const
{
    return mEngine ? mEngine->view() : nullptr;
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
    qCDebug(lcMap) << "map page loaded:" << mEngine->pageUrl();
    const QStringList pending = std::exchange(mPending, {});
    for (const QString &call : pending)
        mEngine->run(call);
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

