#include "catchup.h"

#include <QtTest>

#include <algorithm>
#include <functional>

namespace {

constexpr double kPeriod = 1.0 / 30;

// A 30 fps recording played against a clock that is the wall clock, by a
// decoder that takes cost(level) periods for each picture it decodes. One
// picture in four is referred to, one in 30 is a key frame; a shown picture
// takes a tenth of a period more to convert. Times are simulated.
struct Playback
{
    CatchUp policy{kPeriod};
    int64_t nowUs = 0;
    int picture = 0;
    int shown = 0, dropped = 0, dropRun = 0, longestDropRun = 0, levelChanges = 0;
    int64_t lastShownUs = 0, longestGapUs = 0;
    double maxLate = 0.0;
    QVector<bool> tooSlow; // each change of the verdict

    void play(double seconds, const std::function<double(CatchUp::Level)> &cost)
    {
        const int end = picture + int(seconds / kPeriod);
        for (; picture < end; ++picture) {
            const int64_t ptsUs = int64_t(picture * kPeriod * 1e6);
            if (picture % 30 == 0)
                policy.resumeAt(double(nowUs - ptsUs) / 1e6);
            const CatchUp::Level level = policy.level();
            if ((level >= CatchUp::SkipNonRef && picture % 4) || (level == CatchUp::KeyFramesOnly && picture % 30))
                continue; // never decoded
            nowUs += int64_t(cost(level) * kPeriod * 1e6);
            nowUs = std::max(nowUs, ptsUs); // early: waits for the clock
            const double late = double(nowUs - ptsUs) / 1e6;
            maxLate = std::max(maxLate, late);
            const bool show = policy.decide(late, nowUs);
            levelChanges += policy.level() != level;
            if (policy.tooSlow() != (tooSlow.isEmpty() ? false : tooSlow.last()))
                tooSlow.append(policy.tooSlow());
            if (!show) {
                ++dropped;
                longestDropRun = std::max(longestDropRun, ++dropRun);
                continue;
            }
            longestGapUs = std::max(longestGapUs, shown ? nowUs - lastShownUs : 0);
            ++shown;
            dropRun = 0;
            lastShownUs = nowUs;
            nowUs += int64_t(0.1 * kPeriod * 1e6);
        }
    }
};

double fast(CatchUp::Level) { return 0.5; }

} // namespace

class TestCatchUp : public QObject
{
    Q_OBJECT

private slots:
    void keepingUpShowsEveryPicture();
    void slowDecodingDegradesAndRecovers_data();
    void slowDecodingDegradesAndRecovers();
    void borderlineDecoderDoesNotFlap();
};

void TestCatchUp::keepingUpShowsEveryPicture()
{
    // A picture two periods late is not too old to show; one over a quarter
    // of a second late is, as are the next ones while a picture was shown
    // recently. Neither hiccup makes the decoder cheaper or the machine too
    // slow.
    Playback p;
    p.play(10.0, fast);
    p.play(kPeriod, [](CatchUp::Level) { return 3.0; });
    p.play(10.0, fast);
    QCOMPARE(p.dropped, 0);
    p.play(kPeriod, [](CatchUp::Level) { return 10.0; });
    p.play(10.0, fast);
    QVERIFY(p.dropped > 0);
    QVERIFY2(p.longestGapUs <= int64_t(10 * kPeriod * 1e6) + CatchUp::kMaxGapUs,
             qPrintable(QString::number(p.longestGapUs)));
    QCOMPARE(p.levelChanges, 0);
    QVERIFY(p.tooSlow.isEmpty());
}

void TestCatchUp::slowDecodingDegradesAndRecovers_data()
{
    QTest::addColumn<double>("full");      // periods per picture at full quality
    QTest::addColumn<double>("unfiltered"); // without the loop filter
    QTest::addColumn<int>("lowestLevel");
    QTest::addColumn<double>("longestGap"); // s between pictures shown
    QTest::newRow("skipping unreferenced pictures is enough")
        << 1.5 << 1.2 << int(CatchUp::SkipNonRef) << (CatchUp::kMaxGapUs / 1e6 + 1.5 * kPeriod);
    // Slower than real time even on the references alone: on to a key frame
    // ahead of the clock, else the picture slips behind the sound for good.
    // The wait for it, within a key frame interval, is the longest gap.
    QTest::newRow("hopeless") << 6.0 << 5.0 << int(CatchUp::KeyFramesOnly) << 1.0 + 6 * kPeriod;
}

void TestCatchUp::slowDecodingDegradesAndRecovers()
{
    QFETCH(double, full);
    QFETCH(double, unfiltered);
    QFETCH(int, lowestLevel);
    QFETCH(double, longestGap);
    Playback p;
    int deepest = CatchUp::Full;
    for (int second = 0; second < 30; ++second) {
        if (second == 20)
            p.maxLate = 0.0;
        p.play(1.0, [&](CatchUp::Level level) { return level >= CatchUp::SkipLoopFilter ? unfiltered : full; });
        deepest = std::max<int>(deepest, p.policy.level());
    }
    QCOMPARE(deepest, lowestLevel);
    QCOMPARE(p.tooSlow, QVector<bool>{true});
    // Never frozen, and never slipping further and further.
    QVERIFY2(p.longestGapUs <= int64_t(longestGap * 1e6), qPrintable(QString::number(p.longestGapUs)));
    QVERIFY2(p.longestDropRun <= 6, qPrintable(QString::number(p.longestDropRun)));
    QVERIFY2(p.maxLate < 1.0, qPrintable(QString::number(p.maxLate))); // over the last 10 s

    // The machine keeps up again: full quality, and no longer too slow.
    p.play(60.0, fast);
    QCOMPARE(p.policy.level(), CatchUp::Full);
    QCOMPARE(p.tooSlow, (QVector<bool>{true, false}));
}

void TestCatchUp::borderlineDecoderDoesNotFlap()
{
    // Just too slow at full quality: each restore falls behind again, and
    // waits twice as long as the one before; the verdict stays.
    Playback p;
    p.play(60.0, [](CatchUp::Level level) { return level == CatchUp::Full ? 1.1 : 0.9; });
    const int early = p.levelChanges;
    p.play(60.0, [](CatchUp::Level level) { return level == CatchUp::Full ? 1.1 : 0.9; });
    QVERIFY2(p.levelChanges - early <= 4, qPrintable(QStringLiteral("%1 then %2").arg(early).arg(p.levelChanges - early)));
    QCOMPARE(p.tooSlow, QVector<bool>{true});
}

QTEST_APPLESS_MAIN(TestCatchUp)
#include "tst_catchup.moc"
