// The call texts for the map page: number formats that JavaScript reads back
// exactly, in any locale.

#include "mapcalls.h"
#include "maplinks.h"

#include <QtTest>

class TestMapCalls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void showArray_data();
    void showArray();
    void position_data();
    void position();
    void onlyTheAttributionLeavesThePage();
};

// A decimal comma in a call text would break the page's arguments.
void TestMapCalls::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
}

void TestMapCalls::showArray_data()
{
    QTest::addColumn<QVector<double>>("longitudes");
    QTest::addColumn<QVector<double>>("latitudes");
    QTest::addColumn<QString>("call");

    // The track stores single precision; the window widens it to double.
    QTest::newRow("stored floats")
        << QVector<double>{121.5f, 121.50866f} << QVector<double>{31.0f, 31.28867f}
        << QStringLiteral(R"(showarray("[121.5,121.50865936279297]","[31,31.28866958618164]","%3"))");
    QTest::newRow("shortest round trip, exponent, integral")
        << QVector<double>{0.1 + 0.2, 180} << QVector<double>{1e-7, -90}
        << QStringLiteral(R"(showarray("[0.30000000000000004,180]","[1e-07,-90]","%3"))");
}

void TestMapCalls::showArray()
{
    QFETCH(QVector<double>, longitudes);
    QFETCH(QVector<double>, latitudes);
    QFETCH(QString, call);
    QCOMPARE(mapShowArrayCall(longitudes, latitudes), call);
}

void TestMapCalls::position_data()
{
    QTest::addColumn<double>("longitude");
    QTest::addColumn<double>("latitude");
    QTest::addColumn<QString>("arguments");

    QTest::newRow("southern latitude") << 139.75 << -33.5 << QStringLiteral("(139.750000,-33.500000)");
    QTest::newRow("stored float, rounded") << double(121.50866f) << double(31.28867f)
                                           << QStringLiteral("(121.508659,31.288670)");
    QTest::newRow("small western longitude") << -0.1276 << 51.5072 << QStringLiteral("(-0.127600,51.507200)");
    QTest::newRow("origin") << 0.0 << 0.0 << QStringLiteral("(0.000000,0.000000)");
}

void TestMapCalls::position()
{
    QFETCH(double, longitude);
    QFETCH(double, latitude);
    QFETCH(QString, arguments);
    QCOMPARE(mapShowAddressCall(longitude, latitude), QStringLiteral("showAddress") + arguments);
    QCOMPARE(mapPanToAddressCall(longitude, latitude), QStringLiteral("panToAddress") + arguments);
}

// The page's own links all pass, and nothing else a page could make does:
// no local file, no plain http, no look-alike host or address.
void TestMapCalls::onlyTheAttributionLeavesThePage()
{
    QFile page(QStringLiteral(VELMORA_MAP_PAGE));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    QRegularExpressionMatchIterator links = QRegularExpression(QStringLiteral("<a [^>]*href=\"([^\"]+)\"")).globalMatch(html);
    int shown = 0;
    for (; links.hasNext(); ++shown)
        QVERIFY(mapLinkMayLeave(QUrl(links.next().captured(1))));
    QCOMPARE(shown, 1);

    QVERIFY(mapLinkMayLeave(QUrl(QStringLiteral("https://www.openstreetmap.org/copyright/"))));
    for (const char *refused :
         {"file:///etc/passwd", "file:///usr/share/applications/org.velmora.Viewer.desktop",
          "http://www.openstreetmap.org/copyright", "https://www.openstreetmap.org/", "https://tile.openstreetmap.org/0/0/0.png",
          "https://www.openstreetmap.org.example.com/copyright", "https://someone@www.openstreetmap.org/copyright",
          "https://www.openstreetmap.org:8443/copyright", "https://www.openstreetmap.org/copyright?x=1",
          "javascript:alert(1)", "data:text/html,x", "qrc:/google_JS_Online/googleMap.html", "mailto:a@b.c", ""})
        QVERIFY2(!mapLinkMayLeave(QUrl(QLatin1String(refused))), refused);
}

QTEST_APPLESS_MAIN(TestMapCalls)
#include "tst_mapcalls.moc"
