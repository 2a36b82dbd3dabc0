#include "timetext.h"

#include <QtTest>

class TestTimeText : public QObject
{
    Q_OBJECT

private slots:
    void format_data();
    void format();
};

void TestTimeText::format_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << QStringLiteral("00:00:00");
    QTest::newRow("1 h 15 min 9 s") << qint64(4509) << QStringLiteral("01:15:09");
    QTest::newRow("last second of an hour") << qint64(3599) << QStringLiteral("00:59:59");
    QTest::newRow("99 hours") << qint64(99 * 3600 + 61) << QStringLiteral("99:01:01");
    // Hours are cut to their last two digits.
    QTest::newRow("100 hours") << qint64(100 * 3600 + 5) << QStringLiteral("00:00:05");
    QTest::newRow("123 hours") << qint64(123 * 3600) << QStringLiteral("23:00:00");
    QTest::newRow("negative") << qint64(-7) << QStringLiteral("00:00:00");
}

void TestTimeText::format()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(timeText(seconds), text);
}

QTEST_GUILESS_MAIN(TestTimeText)
#include "tst_timetext.moc"
