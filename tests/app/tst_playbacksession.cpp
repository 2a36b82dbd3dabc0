#include "clips.h"
#include "drive.h"
#include "openplayer.h"
#include "playbacksession.h"
#include "waitfor.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Playback without the window: opens that never wait, one state, natural
// ends, drives.
class TestPlaybackSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void openSupersedeFailAndEnd();
    void reportsOfAnEarlierFileAreIgnored();
    void spareTakesOverOnItsFirstPicture();
    void driveEndsOnceAndSeeksAcrossParts();
    void followerMovesWithTheMain();

private:
    QString path(const QString &name) const { return mDir.filePath(name); }

    QTemporaryDir mDir;
    QStringList mDrive;
};

void TestPlaybackSession::initTestCase()
{
    QVERIFY(mDir.isValid());
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    QVERIFY(initPlayback());
    QString error;
    QVERIFY2(clips::make(path(QStringLiteral("clip.mp4")), 1.0, 160, 120, 1, &error), qPrintable(error));
    QVERIFY2(clips::make(path(QStringLiteral("four.mp4")), 4.0, 160, 120, 0, &error), qPrintable(error));
    QFile junk(path(QStringLiteral("junk.mp4")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    mDrive = clips::makeDrive(mDir.path(), 3, 2, &error);
    QVERIFY2(mDrive.size() == 3, qPrintable(error));
}

// The user's path through one file: an open superseded before its first
// picture leaves nothing on screen; a file that fails says so; the end
// stops, and play starts the file again.
void TestPlaybackSession::openSupersedeFailAndEnd()
{
    PlaybackSession session([] { return false; });
    QList<PlaybackSession::State> states;
    QList<quint64> pictures;
    connect(&session, &PlaybackSession::sig_StateChanged, this, [&](PlaybackSession::State s) { states << s; });
    connect(&session, &PlaybackSession::sig_GetOneFrame, this,
            [&](const QImage &image) { pictures << image.text(QStringLiteral("serial")).toULongLong(); });
    QSignalSpy failed(&session, &PlaybackSession::sig_OpenFailed);
    QSignalSpy ended(&session, &PlaybackSession::sig_Ended);

    session.player()->setExtraDecodeTime(200); // the first open is still waiting for its picture
    session.open(mDrive[0], true);
    QCOMPARE(session.state(), PlaybackSession::Opening);
    QCOMPARE(session.playState(), int(PlaybackSession::Stopped));
    session.player()->setExtraDecodeTime(0);
    session.open(path(QStringLiteral("clip.mp4")), false);
    QVERIFY(waitFor([&] { return session.state() == PlaybackSession::Paused; }));
    QCOMPARE(states.count(PlaybackSession::Paused), 1);
    QTest::qWait(300); // anything the superseded open still had on its way
    QVERIFY(!pictures.isEmpty());
    for (quint64 serial : pictures)
        QCOMPARE(serial, session.serial());

    session.open(path(QStringLiteral("junk.mp4")), true);
    QVERIFY(waitFor([&] { return session.state() == PlaybackSession::Failed; }));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toString(), path(QStringLiteral("junk.mp4")));
    QVERIFY(session.stopped());

    // Space while opening decides whether it plays once open.
    session.setFilePath(path(QStringLiteral("clip.mp4")));
    session.open(session.filePath(), false);
    session.playPause();
    QVERIFY(waitFor([&] { return ended.count() == 1; }));
    QCOMPARE(session.state(), PlaybackSession::Stopped);
    session.togglePlay(); // again from the start
    QVERIFY(waitFor([&] { return session.state() == PlaybackSession::Playing; }));
    QVERIFY(session.position() < 0.9);
}

// Reports the previous file queued before it was stopped arrive after the
// next one opened: its end, its GPS track, a late picture.
void TestPlaybackSession::reportsOfAnEarlierFileAreIgnored()
{
    PlaybackSession session([] { return false; });
    QSignalSpy tracks(&session, &PlaybackSession::sig_TrackReady);
    QSignalSpy pictures(&session, &PlaybackSession::sig_GetOneFrame);
    QSignalSpy fileEnds(&session, &PlaybackSession::sig_FileEnded);
    session.open(path(QStringLiteral("clip.mp4")), false);
    QVERIFY(waitFor([&] { return session.state() == PlaybackSession::Paused && tracks.count() == 1; }));
    const quint64 earlier = session.serial() - 1;
    const int shown = pictures.count();

    emit session.player()->sig_PlayStopNormally(earlier);
    emit session.player()->sig_GetGpsData(GpsData{std::make_shared<GpsTrack>(), 1, earlier});
    QImage late(16, 16, QImage::Format_RGB32);
    late.setText(QStringLiteral("serial"), QString::number(earlier));
    emit session.player()->sig_GetOneFrame(late);
    QCOMPARE(session.state(), PlaybackSession::Paused);
    QCOMPARE(tracks.count(), 1);
    QCOMPARE(pictures.count(), shown);
    QCOMPARE(fileEnds.count(), 0);

    emit session.player()->sig_PlayStopNormally(session.serial()); // the open file's own end is taken
    QCOMPARE(session.state(), PlaybackSession::Stopped);
    QCOMPARE(fileEnds.count(), 1);
}

// The drive's next part waits paused on its first picture, with its track:
// the take-over hands both over at once and keeps the other player as spare.
void TestPlaybackSession::spareTakesOverOnItsFirstPicture()
{
    VideoPlayer main;
    VideoPlayer spare;
    Drive drive(&spare, [] { return true; });
    QSignalSpy found(&drive, &Drive::sig_Found);
    QSignalSpy settled(&drive, &Drive::sig_NextSettled);
    drive.setEnabled(true, [this] { return mDrive; });
    QVERIFY(openAndWait(main, mDrive[1]));
    drive.scan(mDrive[1]);
    QVERIFY(found.wait(10000));
    QCOMPARE(drive.trip().partCount(), 3);
    QCOMPARE(drive.part(), 1);
    QCOMPARE(drive.offsetUs(), drive.trip().offsetUs(1));

    QImage picture;
    GpsData track;
    QVERIFY(!drive.takeOver(2, &main, &picture, &track)); // nothing waits yet
    main.setVolume(7);
    drive.prepareNext(main);
    QVERIFY(drive.preparing());
    QVERIFY(settled.wait(10000));
    QVERIFY(waitFor([&] { return spare.state() == VideoPlayer::Pause; }));
    QTest::qWait(200); // its track's pass
    QVERIFY(!drive.takeOver(1, &main, &picture, &track)); // only the part it holds
    VideoPlayer *next = drive.takeOver(2, &main, &picture, &track);
    QCOMPARE(next, &spare);
    QCOMPARE(drive.spare(), &main);
    QCOMPARE(drive.part(), 2);
    QCOMPARE(spare.volume(), 7);
    QCOMPARE(picture.text(QStringLiteral("serial")).toULongLong(), spare.serial());
    QCOMPARE(picture.text(QStringLiteral("pts")).toDouble(), 0.0);
    QVERIFY(track.track && track.track->count() == 2);
    QVERIFY(!drive.takeOver(2, &spare, &picture, &track)); // taken once
}

// Through the session: the parts follow each other by themselves, the end
// comes once at the drive's end, and seeks cross parts either way.
void TestPlaybackSession::driveEndsOnceAndSeeksAcrossParts()
{
    PlaybackSession session([] { return false; });
    session.setTrips(true, [this] { return mDrive; });
    QStringList files;
    connect(&session, &PlaybackSession::sig_TotalTimeChanged, this, [&] {
        if (files.isEmpty() || files.last() != session.filePath())
            files << session.filePath();
    });
    QSignalSpy found(&session, &PlaybackSession::sig_TripFound);
    QSignalSpy fileEnds(&session, &PlaybackSession::sig_FileEnded);
    QSignalSpy ended(&session, &PlaybackSession::sig_Ended);
    session.setFilePath(mDrive[0]);
    session.open(mDrive[0], false);
    QVERIFY(found.wait(10000));
    QCOMPARE(session.length(), qint64(6000000));
    session.play();
    QVERIFY(waitFor([&] { return ended.count() == 1; }, 30000));
    QCOMPARE(files, mDrive);
    QCOMPARE(fileEnds.count(), 3);
    QCOMPARE(session.state(), PlaybackSession::Stopped);
    QTest::qWait(300);
    QCOMPARE(ended.count(), 1);

    // Play again from the drive's start; a seek into the third part, then back.
    session.togglePlay();
    QVERIFY(waitFor([&] { return session.state() == PlaybackSession::Playing; }));
    QCOMPARE(session.filePath(), mDrive[0]);
    QVERIFY(session.inTrip());
    session.seek(4500000);
    QCOMPARE(session.filePath(), mDrive[2]);
    QVERIFY(waitFor([&] { return session.state() == PlaybackSession::Playing && !session.seekWaiting(); }));
    QVERIFY(session.position() >= 4.4 && session.position() < 6.0);
    session.stop();
    QCOMPARE(session.state(), PlaybackSession::Stopped);
    session.seek(500000); // stopped: nothing moves
    QCOMPARE(session.state(), PlaybackSession::Stopped);
}

// Another picture of the same moment: it seeks, steps, plays at the
// speed and pauses with the main one.
void TestPlaybackSession::followerMovesWithTheMain()
{
    PlaybackSession session([] { return false; });
    QList<double> shown; // the follower's pictures
    connect(&session, &PlaybackSession::sig_FollowerPicture, this,
            [&](int, const QImage &image) { shown << image.text(QStringLiteral("pts")).toDouble(); });
    const auto showing = [&](double pts) { return !shown.isEmpty() && qAbs(shown.last() - pts) < 0.005; };
    session.open(path(QStringLiteral("four.mp4")), false);
    QVERIFY(waitFor([&] { return session.state() == PlaybackSession::Paused; }));
    QCOMPARE(session.addFollower(path(QStringLiteral("four.mp4")), 0.48), 0); // its 0 at the main's 0.48 s
    QVERIFY(waitFor([&] { return showing(0.0); }));
    session.seek(2000000);
    QVERIFY(waitFor([&] { return showing(1.52); }));
    session.stepFrame(1);
    QVERIFY(waitFor([&] { return showing(1.56); }));

    session.setSpeed(2.0);
    session.play();
    QVERIFY(waitFor([&] { return !shown.isEmpty() && shown.last() > 2.0; }));
    session.playPause();
    QVERIFY(waitFor([&] { return session.state() == PlaybackSession::Paused; }));
    QTest::qWait(100); // a picture on its way
    const int count = shown.size();
    const double main = session.filePosition();
    QTest::qWait(300);
    QCOMPARE(shown.size(), count); // it stands with the main one
    QVERIFY(shown.last() <= main - 0.48 + 0.001);
    // A new open leaves it behind.
    session.open(path(QStringLiteral("clip.mp4")), false);
    QCOMPARE(session.followerCount(), 0);
}

QTEST_GUILESS_MAIN(TestPlaybackSession)
#include "tst_playbacksession.moc"
