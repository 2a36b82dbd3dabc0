// The map's web engine, built as a module of its own (see mapengine.h).

#include "mapengine.h"
#include "maplinks.h"

#include <QDesktopServices>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLayout>
#include <QLoggingCategory>
#include <QPointer>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include <cmath>

Q_LOGGING_CATEGORY(lcMapEngine, "velmora.map")

namespace {

const char kPageUrl[] = "qrc:/google_JS_Online/googleMap.html";
const char kTileUrlScriptName[] = "velmoraTileUrl";

// The view shows the map page and nothing else: the page is never loaded
// again, so leaving it would lose the map. The attribution link opens in
// the user's browser (mapLinkMayLeave); no other link or window leaves it.
class MapPage : public QWebEnginePage
{
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        if (!isMainFrame || url == QUrl(QString::fromLatin1(kPageUrl)))
            return true;
        if (type == NavigationTypeLinkClicked && mapLinkMayLeave(url))
            QDesktopServices::openUrl(url);
        else
            qCDebug(lcMapEngine) << "navigation dropped:" << type << url.toDisplayString();
        return false;
    }

    QWebEnginePage *createWindow(WebWindowType type) override
    {
        qCDebug(lcMapEngine) << "new window dropped:" << type;
        return nullptr;
    }
};

} // namespace

// What the page may tell the program, and nothing else: its clicks. The
// page is ours, but what it passes is checked like any outside input.
class MapPageEvents : public QObject
{
    Q_OBJECT

public:
    explicit MapPageEvents(std::function<void(double, double, double)> clicked)
        : mClicked(std::move(clicked))
    {
    }

    Q_INVOKABLE void clicked(double latitude, double longitude, double toleranceMeters)
    {
        if (!std::isfinite(latitude) || !std::isfinite(longitude) || !std::isfinite(toleranceMeters)
            || std::fabs(latitude) > 90.0 || toleranceMeters < 0 || toleranceMeters > kMaxToleranceMeters)
            return;
        if (mClicked)
            mClicked(latitude, longitude, toleranceMeters);
    }

private:
    // A few pixels at the widest zoom out.
    static constexpr double kMaxToleranceMeters = 1.0e6;
    std::function<void(double, double, double)> mClicked;
};

namespace {

class WebMapEngine final : public MapEngine
{
public:
    WebMapEngine(QWidget *viewParent, const QString &userAgent, const QString &cacheFolder, Events events)
        : mEvents(std::move(events))
        , mProfile(new QWebEngineProfile(QStringLiteral("map")))
        , mChannel(new QWebChannel)
        , mPageEvents(new MapPageEvents(mEvents.clicked))
    {
        if (!cacheFolder.isEmpty()) {
            mProfile->setPersistentStoragePath(cacheFolder);
            mProfile->setCachePath(cacheFolder);
        }
        // Tiles seen once show again without a network, and spare the tile server.
        mProfile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
        mProfile->setHttpUserAgent(userAgent);

        mView = new QWebEngineView(viewParent);
        // Its Reload would lose the route.
        mView->setContextMenuPolicy(Qt::NoContextMenu);
        auto *page = new MapPage(mProfile, mView);
        mView->setPage(page);
        mChannel->registerObject(QStringLiteral("velmora"), mPageEvents);
        page->setWebChannel(mChannel);
        QObject::connect(page, &QWebEnginePage::loadFinished, mChannel, [this](bool ok) {
            if (mEvents.loadFinished)
                mEvents.loadFinished(ok);
        });
        QObject::connect(page, &QWebEnginePage::renderProcessTerminated, mChannel,
                         [](QWebEnginePage::RenderProcessTerminationStatus status, int exitCode) {
                             qCWarning(lcMapEngine) << "map page process ended:" << status << exitCode;
                         });
        if (!viewParent)
            return;
        if (viewParent->layout())
            viewParent->layout()->addWidget(mView);
        else
            mView->resize(viewParent->size());
        mView->show();
    }

    ~WebMapEngine() override
    {
        // The page must go before the profile it was made with, and no
        // report may reach a bridge that is going.
        delete mView;
        delete mChannel;
        delete mPageEvents;
        delete mProfile;
    }

    QWidget *view() const override { return mView; }

    void load(const QString &tileUrl) override
    {
        if (!mView)
            return;
        QWebEnginePage *page = mView->page();
        // Quoted as the one element of a JSON array, whatever characters it holds.
        const QString quoted = QString::fromUtf8(QJsonDocument(QJsonArray{tileUrl}).toJson(QJsonDocument::Compact));
        QWebEngineScript script;
        script.setName(QString::fromLatin1(kTileUrlScriptName));
        script.setInjectionPoint(QWebEngineScript::DocumentCreation);
        script.setWorldId(QWebEngineScript::MainWorld);
        script.setSourceCode(QStringLiteral("window.velmoraTileUrl = %1[0];").arg(quoted));
        QWebEngineScriptCollection &scripts = page->scripts();
        for (const QWebEngineScript &old : scripts.findScripts(script.name()))
            scripts.remove(old);
        scripts.insert(script);
        page->load(QUrl(QString::fromLatin1(kPageUrl)));
    }

    void run(const QString &script) override
    {
        if (mView)
            mView->page()->runJavaScript(script);
    }

    QString pageUrl() const override { return mView ? mView->page()->url().toString() : QString(); }

private:
    Events mEvents;
    QWebEngineProfile *mProfile;
    QWebChannel *mChannel;
    MapPageEvents *mPageEvents;
    QPointer<QWebEngineView> mView;
};

} // namespace

// Outside any namespace, as the resource's init function requires.
static void initMapResources()
{
    Q_INIT_RESOURCE(mappage);
}

extern "C" Q_DECL_EXPORT MapEngine *velmora_create_map_engine_v1(QWidget *viewParent, const QString &userAgent,
                                                                 const QString &cacheFolder, MapEngine::Events events)
{
    initMapResources();
    return new WebMapEngine(viewParent, userAgent, cacheFolder, std::move(events));
}

#include "mapengine_web.moc"
