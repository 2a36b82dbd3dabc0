// Built only with ThreadSanitizer. The player's threads all start inside Qt
// or SDL, so a suppression that names either library hides every race in
// them. Each case runs a deliberate race in a child process that uses the
// project's suppressions, and expects the report to come through.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <SDL.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

constexpr int kChildTimeoutMs = 60000;    // a hung child fails the case instead of blocking the suite
constexpr int kCallbackTimeoutMs = 20000; // the dummy driver calls back at once; this only bounds a hang
constexpr int kNoCallback = 3;            // child exit status: the device never called back
constexpr int kSetupFailed = 4;           // child exit status: SDL would not start

// Written by two threads with nothing between them: the race to be reported.
// Read once both are done, so that the compiler keeps the writes.
int gShared = 0;
// Only says the callback has run; relaxed, so it orders nothing for the checker.
std::atomic<int> gCallbacks{0};

void qthreadWrites()
{
    gShared = 2;
}

class RacingThread : public QThread
{
protected:
    void run() override { qthreadWrites(); }
};

int qthreadRace()
{
    RacingThread thread;
    thread.start(); // orders what came before it, not the write after it
    gShared = 1;
    thread.wait();
    return gShared > 0 ? 0 : 1;
}

void audioCallbackWrites(void *, Uint8 *stream, int len)
{
    std::memset(stream, 0, size_t(len));
    gShared = 2;
    gCallbacks.fetch_add(1, std::memory_order_relaxed);
}

int sdlAudioRace()
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0)
        return kSetupFailed;
    SDL_AudioSpec want{};
    want.freq = 48000;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = audioCallbackWrites;
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    if (device == 0)
        return kSetupFailed;
    // Unpausing takes the device lock, which the callback takes too: the
    // racing write must come after it, or the lock would order the two.
    SDL_PauseAudioDevice(device, 0);
    gShared = 1;
    QElapsedTimer timer;
    timer.start();
    while (gCallbacks.load(std::memory_order_relaxed) == 0 && timer.elapsed() < kCallbackTimeoutMs)
        std::this_thread::yield();
    const bool called = gCallbacks.load(std::memory_order_relaxed) > 0;
    SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    if (!called)
        return kNoCallback;
    return gShared > 0 ? 0 : 1;
}

} // namespace

class TestTsanSuppressions : public QObject
{
    Q_OBJECT

private slots:
    void deliberateRaceIsReported_data();
    void deliberateRaceIsReported();
};

void TestTsanSuppressions::deliberateRaceIsReported_data()
{
    QTest::addColumn<QString>("race");
    QTest::addColumn<QString>("racingFunction");
    QTest::newRow("QThread::run against the main thread") << QStringLiteral("qthread") << QStringLiteral("qthreadWrites");
    QTest::newRow("SDL audio callback against the main thread") << QStringLiteral("sdl-audio")
                                                                << QStringLiteral("audioCallbackWrites");
}

void TestTsanSuppressions::deliberateRaceIsReported()
{
    QFETCH(QString, race);
    QFETCH(QString, racingFunction);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    env.insert(QStringLiteral("TSAN_OPTIONS"),
               QStringLiteral("halt_on_error=0:exitcode=66:report_signal_unsafe=0:suppressions=" VELMORA_TSAN_SUPPRESSIONS));
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--race"), race});
    QVERIFY2(child.waitForFinished(kChildTimeoutMs), qPrintable(child.errorString()));
    const QString report = QString::fromLocal8Bit(child.readAllStandardError());

    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(child.exitCode() != kNoCallback && child.exitCode() != kSetupFailed, qPrintable(report));
    QVERIFY2(report.contains(QLatin1String("WARNING: ThreadSanitizer: data race")), qPrintable(report));
    // The one on gShared, with the racing function named.
    QVERIFY2(report.contains(QLatin1String("gShared")) && report.contains(racingFunction)
                 && report.contains(QLatin1String("tst_tsansuppressions.cpp")),
             qPrintable(report));
    QCOMPARE(child.exitCode(), 66); // TSan's status for a run that reported
}

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--race") == 0) {
        if (std::strcmp(argv[2], "qthread") == 0)
            return qthreadRace();
        if (std::strcmp(argv[2], "sdl-audio") == 0)
            return sdlAudioRace();
        return 2;
    }
    QCoreApplication app(argc, argv);
    TestTsanSuppressions test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tsansuppressions.moc"
