// The real map page in a web view, offline: what the call texts leave on the
// map, read back from the page, including calls made before it had loaded.

#include "logcapture.h"
#include "mapbridge.h"
#include "mapcalls.h"
#include "telemetrypick.h"
#include "waitfor.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

namespace {

// Fails at once, so no test waits for or reaches a network.
const QString kUnreachableTiles = QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png");
constexpr int kPageTimeoutMs = 30000;

// "layers" lists what is on the map: route lines, end markers, the moving
// marker ("car"), each as "lat lng" with 6 decimals.
const char kStateScript[] = R"((function () {
  function p(ll) { return ll.lat.toFixed(6) + " " + ll.lng.toFixed(6); }
  var lines = [], markers = [], car = [], iconsShown = true;
  map.eachLayer(function (l) {
    if (l instanceof L.Polyline) lines.push("line " + l.getLatLngs().map(p).join(", "));
    if (!(l instanceof L.Marker)) return;
    (l === movemarker ? car : markers).push((l === movemarker ? "car " : "marker ") + p(l.getLatLng()));
    iconsShown = iconsShown && l._icon.complete && l._icon.naturalWidth > 0;
  });
  var c = map.getCenter();
  return JSON.stringify({ layers: lines.concat(markers, car).join(" | "), zoom: map.getZoom(),
    lat: c.lat, lng: c.lng, iconsShown: iconsShown, userAgent: navigator.userAgent,
    scale: !!document.querySelector(".leaflet-control-scale"),
    attribution: document.querySelector(".leaflet-control-attribution").textContent,
    tile: (document.querySelector(".leaflet-tile") || {}).src });
})())";

} // namespace

class TestMapPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { mPageErrors.reset(); }
    void init();
    void cleanup();
    void callsBeforeLoadRunInOrder();
    void routes_data();
    void routes();
    void clickNearTheRouteReachesTheProgram();
    void bridgeGoneWhileTheEngineLoads();

private:
    QJsonObject pageState();
    QWebEngineView *webView() const { return qobject_cast<QWebEngineView *>(mBridge->view()); }

    // Uncaught exceptions in the page arrive as "js" warnings.
    std::unique_ptr<LogCapture> mPageErrors;
    std::unique_ptr<QWidget> mFrame;
    MapBridge *mBridge = nullptr;
};

void TestMapPage::initTestCase()
{
    // The tile cache in the build tree, not the user's; emptied, as the web
    // engine may still write to it after the last test.
    const QString cacheHome = QCoreApplication::applicationDirPath() + QStringLiteral("/tst_mappage-cache");
    QVERIFY(QDir(cacheHome).removeRecursively());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome));
    mPageErrors = std::make_unique<LogCapture>("js");
}

void TestMapPage::init()
{
    mFrame = std::make_unique<QWidget>();
    mFrame->resize(319, 491);
    mBridge = new MapBridge(mFrame.get(), mFrame.get());
    mFrame->show();
    mPageErrors->take();
}

void TestMapPage::cleanup()
{
    mFrame.reset();
}

QJsonObject TestMapPage::pageState()
{
    auto result = std::make_shared<QString>();
    webView()->page()->runJavaScript(QString::fromLatin1(kStateScript),
                                           [result](const QVariant &value) { *result = value.toString(); });
    waitFor([&] { return !result->isEmpty(); }, kPageTimeoutMs);
    return QJsonDocument::fromJson(result->toUtf8()).object();
}

void TestMapPage::callsBeforeLoadRunInOrder()
{
    // As on the first file: the cleaning comes before any route.
    mBridge->run(mapCleanCall());
    mBridge->run(mapShowArrayCall({121.5, 121.51}, {31.0, 31.01}));
    mBridge->run(mapShowAddressCall(121.5, 31.0));
    mBridge->run(mapCleanCall());
    mBridge->run(mapShowArrayCall({139.7, 139.7005, 139.7031}, {35.658, 35.6585, 35.6597}));
    mBridge->run(mapShowAddressCall(139.702, 35.659));
    mBridge->load(kUnreachableTiles);
    mBridge->run(mapPanToAddressCall(139.702, 35.659));
    QVERIFY(!mBridge->isLoaded());
    QVERIFY(waitFor([&] { return mBridge->isLoaded(); }, kPageTimeoutMs));

    QJsonObject state = pageState();
    QCOMPARE(state["layers"].toString(),
             QStringLiteral("line 35.658000 139.700000, 35.658500 139.700500, 35.659700 139.703100 | "
                            "marker 35.658000 139.700000 | marker 35.659700 139.703100 | car 35.659000 139.702000"));
    QCOMPARE(state["zoom"].toInt(), 16);
    QVERIFY2(mPageErrors->lines().isEmpty(), qPrintable(mPageErrors->text()));

    // The pan is animated and ends on whole pixels: within two at zoom 16.
    QVERIFY(waitFor([&] {
        state = pageState();
        return qAbs(state["lat"].toDouble() - 35.659) < 4e-5 && qAbs(state["lng"].toDouble() - 139.702) < 4e-5
            && state["iconsShown"].toBool();
    }, kPageTimeoutMs));

    // Offline the map still draws, with its scale, from the address given.
    QVERIFY(state["tile"].toString().startsWith(QLatin1String("http://127.0.0.1:9/16/")));
    QVERIFY(state["scale"].toBool());
    QVERIFY(state["attribution"].toString().contains(QStringLiteral("© OpenStreetMap contributors")));
    QVERIFY(state["userAgent"].toString().startsWith(QLatin1String("Velmora_viewer/")));
}

void TestMapPage::routes_data()
{
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("layers");
    QTest::addColumn<int>("zoom");
    QTest::addColumn<QPointF>("center"); // x longitude, y latitude

    const QString clean = mapCleanCall();
    const QString routeA = mapShowArrayCall({139.7, 139.71}, {35.658, 35.66});

    QTest::newRow("cleaning before any route") << QStringList{clean} << QString() << 8
                                               << QPointF(139.813008, 35.681885);
    QTest::newRow("one point") << QStringList{clean, mapShowArrayCall({-0.1276}, {51.5072})}
                               << QStringLiteral("line 51.507200 -0.127600 | marker 51.507200 -0.127600 | "
                                                 "marker 51.507200 -0.127600")
                               << 16 << QPointF(-0.1276, 51.5072);
    QTest::newRow("second route replaces the first")
        << QStringList{clean, routeA, clean, mapShowArrayCall({-58.38, -58.37, -58.36}, {-34.6, -34.59, -34.58})}
        << QStringLiteral("line -34.600000 -58.380000, -34.590000 -58.370000, -34.580000 -58.360000 | "
                          "marker -34.600000 -58.380000 | marker -34.580000 -58.360000")
        << 16 << QPointF(-58.38, -34.6);
    QTest::newRow("the last recording's marker goes with its route")
        << QStringList{clean, routeA, mapShowAddressCall(139.705, 35.659), clean}
        << QString() << 16 << QPointF(139.7, 35.658);
}

void TestMapPage::routes()
{
    QFETCH(QStringList, calls);
    QFETCH(QString, layers);
    QFETCH(int, zoom);
    QFETCH(QPointF, center);

    mBridge->load(kUnreachableTiles);
    QVERIFY(waitFor([&] { return mBridge->isLoaded(); }, kPageTimeoutMs));
    for (const QString &call : calls)
        mBridge->run(call);
    const QJsonObject state = pageState();
    QVERIFY2(mPageErrors->lines().isEmpty(), qPrintable(mPageErrors->text()));
    QCOMPARE(state["layers"].toString(), layers);
    QCOMPARE(state["zoom"].toInt(), zoom);
    QCOMPARE(state["lat"].toDouble(), center.y());
    QCOMPARE(state["lng"].toDouble(), center.x());
}

void TestMapPage::clickNearTheRouteReachesTheProgram()
{
    mBridge->load(kUnreachableTiles);
    QVERIFY(waitFor([&] { return mBridge->isLoaded(); }, kPageTimeoutMs));
    const QVector<RoutePoint> route{{35.658, 139.7, 0}, {35.66, 139.71, 1}};
    mBridge->run(mapCleanCall());
    mBridge->run(mapShowArrayCall({139.7, 139.71}, {35.658, 35.66}));
    QVERIFY(pageState()["zoom"].toInt() == 16);

    // A click a few pixels beside the route's first point, which the page
    // centred, over its start marker too.
    QList<QVariantList> clicks;
    connect(mBridge, &MapBridge::sig_Clicked, this,
            [&](double lat, double lng, double tolerance) { clicks.append({lat, lng, tolerance}); });
    QWidget *input = webView()->focusProxy();
    QVERIFY(input);
    const QPoint centre = webView()->rect().center();
    QVERIFY(waitFor([&] {
        QTest::mouseClick(input, Qt::LeftButton, {}, centre + QPoint(4, 3));
        return waitFor([&] { return !clicks.isEmpty(); }, 500);
    }, kPageTimeoutMs));
    const QVariantList click = clicks.first();
    // At zoom 16 a pixel is about 1.95 m there: twelve reach about 23 m.
    QVERIFY(qAbs(click[2].toDouble() - 23.4) < 1.0);
    QCOMPARE(nearestRoutePoint(route, click[0].toDouble(), click[1].toDouble(), click[2].toDouble()), 0);
    QVERIFY2(mPageErrors->lines().isEmpty(), qPrintable(mPageErrors->text()));
}

// The web engine's libraries load on a thread of their own; a bridge that
// goes meanwhile waits for it and is never called back.
void TestMapPage::bridgeGoneWhileTheEngineLoads()
{
    mBridge->run(mapCleanCall());
    mBridge->load(kUnreachableTiles);
    QVERIFY(mBridge->isStarted() && !mBridge->view());
    mFrame.reset();
    QTest::qWait(500);
    mFrame = std::make_unique<QWidget>();
    mBridge = new MapBridge(mFrame.get(), mFrame.get());
    mBridge->load(kUnreachableTiles);
    QVERIFY(waitFor([&] { return mBridge->isLoaded(); }, kPageTimeoutMs));
}

QTEST_MAIN(TestMapPage)
#include "tst_mappage.moc"
