// The MP4 box walker and the transport-stream type probe, on synthetic files
// built box by box: well-formed layouts, the handler flag, the diagnostics
// and every kind of damage a recording cut short or corrupted can show.

#include "files.h"
#include "gpsfixture.h"
#include "gpspayload.h"
#include "logcapture.h"
#include "mp4gpsreader.h"
#include "testsupport.h"
#include "watchdog.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <memory>
#include <unistd.h>

using namespace fixture;
using testsupport::isZeroRecord;
using testsupport::newTrack;

Q_DECLARE_METATYPE(QVector<fixture::CameraRecord>)

namespace {

constexpr int kFree = -1; // the outcome is the reader's choice; only safety is checked
constexpr int kWalkBoundMs = 10000; // a malformed file must never make a reader spin

QByteArray be64(quint64 value)
{
    return be32(quint32(value >> 32)) + be32(quint32(value));
}

QByteArray ftypBox()
{
    return box("ftyp", QByteArray("isom") + be32(0x200) + QByteArray("isomiso2mp41"));
}

QVector<CameraRecord> drive(int records, char status = 'A', CheckKind check = CheckKind::Valid, int firstValid = 0)
{
    DriveSpec spec;
    spec.records = records;
    spec.status = status;
    spec.check = check;
    spec.firstValidCheck = firstValid;
    return makeDrive(spec);
}

// ftyp, then an mdat holding one record block per payload; moov comes after.
struct Layout
{
    QByteArray head;
    QVector<quint32> offsets;
};

Layout blocksInMdat(const QVector<QByteArray> &payloads, bool largeMdat = false)
{
    Layout layout;
    const QByteArray ftyp = ftypBox();
    QByteArray blocks;
    for (const QByteArray &payload : payloads)
        blocks += recordBlock(payload);
    const QByteArray mdat = largeMdat ? be32(1) + QByteArray("mdat") + be64(quint64(16 + blocks.size())) + blocks
                                      : box("mdat", blocks);
    layout.head = ftyp + mdat;
    const int first = ftyp.size() + (largeMdat ? 16 : 8);
    for (int i = 0; i < payloads.size(); ++i)
        layout.offsets.append(quint32(first + i * kRecordBlockSize));
    return layout;
}

// A "gps " box with the table given byte for byte.
QByteArray gpsBoxWithTable(quint32 gpsNum, const QByteArray &table)
{
    return box("gps ", be32(1) + be32(gpsNum) + table);
}

QByteArray mvhd()
{
    return box("mvhd", QByteArray(100, '\0'));
}

QByteArray trakWithMdia(const QByteArray &mdiaChildren)
{
    return box("trak", box("tkhd", QByteArray(84, '\0')) + box("mdia", mdiaChildren));
}

// The standard small recording: three valid records, a video trak, the gps box last.
const QVector<CameraRecord> &threeRecords()
{
    static const QVector<CameraRecord> records = drive(3);
    return records;
}

Layout standardLayout()
{
    return blocksInMdat(gpsPayloads(threeRecords()));
}

QByteArray standardFile(const QByteArray &moovChildrenBeforeGps = mvhd() + trakWithHandler("VideoHandler"))
{
    const Layout layout = standardLayout();
    return layout.head + box("moov", moovChildrenBeforeGps + gpsBox(1, 3, layout.offsets));
}

QByteArray tsPacket(int pid, bool sync = true, int markerAt = 24, int parseType = 2, bool marker = true,
                    quint8 flags = 0x40)
{
    QByteArray packet(188, char(0xFF));
    packet[0] = sync ? char(0x47) : char(0x00);
    packet[1] = char(flags | ((pid >> 8) & 0x1F));
    packet[2] = char(pid & 0xFF);
    packet[3] = char(0x10);
    for (int i = 4; i < 188; ++i)
        packet[i] = char(i); // nothing accidentally zero or marker-like
    if (marker) {
        packet[markerAt] = 0x14;
        packet[markerAt + 1] = 0x0F;
        packet[markerAt + 2] = 0x08;
        packet[markerAt + 3] = 0x12;
        packet[markerAt + 4] = char(parseType);
    }
    return packet;
}

} // namespace

class TestMp4GpsReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { mQuiet.reset(); }
    void findsGpsBoxAfterFtypAndMdat();
    void handlerFlag_data();
    void handlerFlag();
    void udtaMarker_data();
    void udtaMarker();
    void shortUdtaIsNotReadPast();
    void verdicts_data();
    void verdicts();
    void unreadableFile();
    void malformed_data();
    void malformed();
    void readerIsReusable();
    void tsProbe_data();
    void tsProbe();
    void tsProbeUnopenable();

private:
    // Writes `bytes` and runs the walker on a track left by a previous file.
    bool walk(const QByteArray &bytes, GpsTrack &track, bool *hisi = nullptr);
    QString path(const QString &name) const { return mDir.filePath(name); }

    QTemporaryDir mDir;
    std::unique_ptr<LogCapture> mQuiet;
};

void TestMp4GpsReader::initTestCase()
{
    mQuiet = std::make_unique<LogCapture>("velmora.recording", false);
    QVERIFY(mDir.isValid());
}

bool TestMp4GpsReader::walk(const QByteArray &bytes, GpsTrack &track, bool *hisi)
{
    const QString file = path(QStringLiteral("walk.mp4"));
    if (!writeBytes(file, bytes))
        qFatal("cannot write %s", qPrintable(file));
    testsupport::fillWithPreviousFile(track);
    track.reset(); // what the pass does before the walk
    Mp4GpsReader reader(track);
    const bool ok = guarded("walk", [&] { return reader.readMp4GpsTrack(file); }, kWalkBoundMs);
    if (hisi)
        *hisi = reader.hisiHandler();
    return ok;
}

void TestMp4GpsReader::findsGpsBoxAfterFtypAndMdat()
{
    LogCapture log("velmora.recording");
    auto track = newTrack();
    bool hisi = true;
    QVERIFY(walk(standardFile(), *track, &hisi));
    QVERIFY(!hisi); // "VideoHandler"
    QCOMPARE(track->count(), 3);
    for (int i = 0; i < 3; ++i) {
        const GpsRecord &expected = threeRecords().at(i).raw;
        const GpsRecord &r = track->records[i];
        QCOMPARE(r.second, expected.second);
        QCOMPARE(r.status, 'A');
        QCOMPARE(r.latitude, nmeaToDegrees(expected.latitude));
        QCOMPARE(r.longitude, nmeaToDegrees(expected.longitude));
        QCOMPARE(r.speed, expected.speed);
        QCOMPARE(r.heading, expected.heading);
    }
    QVERIFY(log.has(QStringLiteral("versionNumber: 1")));
    QVERIFY(log.has(QStringLiteral("gpsNum: 3")));
    QVERIFY(log.hasPrefix(QStringLiteral("boxType:::ftyp")));
    QVERIFY(log.hasPrefix(QStringLiteral("boxType:::mdat")));
    QVERIFY(log.hasPrefix(QStringLiteral("boxType:::moov")));
    QVERIFY(log.has(QStringLiteral("BOX_TYPE_MINF:::: minf")));
    QVERIFY(!log.has(QStringLiteral("Wrong gps data")));
}

void TestMp4GpsReader::handlerFlag_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("hisi");
    QTest::addColumn<bool>("valid");

    const Layout layout = standardLayout();
    const QByteArray gps = gpsBox(1, 3, layout.offsets);
    const QByteArray hisiTrak = trakWithHandler("HisiGpMET");
    const QByteArray otherTrak = trakWithHandler("VideoHandler");
    auto file = [&](const QByteArray &children) { return layout.head + box("moov", children); };
    const QByteArray pad24(24, '\0'); // version/flags, pre-defined, type, reserved (first 12)

    QTest::newRow("gps box before any trak") << file(mvhd() + gps + otherTrak) << true << true;
    QTest::newRow("trak without mdia") << file(box("trak", box("tkhd", QByteArray(84, '\0'))) + gps) << true << true;
    QTest::newRow("Hisi only") << file(hisiTrak + gps) << true << true;
    QTest::newRow("Hisi then other: last decides") << file(hisiTrak + otherTrak + gps) << false << true;
    QTest::newRow("other then Hisi") << file(otherTrak + hisiTrak + gps) << true << true;
    QTest::newRow("Hisi trak after the gps box") << file(otherTrak + gps + hisiTrak) << false << true;
    QTest::newRow("lower-case hisi") << file(trakWithHandler("hisiMET") + gps) << false << true;
    QTest::newRow("two hdlr in one mdia") << file(trakWithMdia(hdlrBox("HisiGpMET") + hdlrBox("VideoHandler")) + gps)
                                          << false << true;
    QTest::newRow("name exactly fills a 36-byte hdlr")
        << file(trakWithMdia(box("hdlr", pad24 + QByteArray("Hisi"))) + gps) << true << true;
    // Too short to hold the name: no match, and (last in moov) nothing read past it.
    QTest::newRow("35-byte hdlr at the end of moov")
        << file(otherTrak + trakWithMdia(box("hdlr", pad24 + QByteArray("His")))) << false << false;
    QTest::newRow("empty hdlr at the end of moov") << file(hisiTrak + trakWithMdia(box("hdlr", QByteArray())))
                                                   << false << false;
    // The bytes right after a short hdlr spell the name where a long one
    // would hold it: only a read past the box finds them.
    QTest::newRow("empty hdlr, name-like bytes after it")
        << file(trakWithMdia(box("hdlr", QByteArray()) + box("free", QByteArray(16, '\0') + "Hisi")) + gps) << false
        << true;
    QTest::newRow("35-byte hdlr, 'i' after it")
        << file(trakWithMdia(box("hdlr", pad24 + QByteArray("His")) + be32(0x69000000) + "free") + gps) << false << true;
}

void TestMp4GpsReader::handlerFlag()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, hisi);
    QFETCH(bool, valid);
    auto track = newTrack();
    bool flag = !hisi;
    QCOMPARE(walk(file, *track, &flag), valid);
    QCOMPARE(flag, hisi);
    QCOMPARE(track->count(), valid ? 3 : 0);
}

void TestMp4GpsReader::udtaMarker_data()
{
    QTest::addColumn<QByteArray>("udta");
    QTest::addColumn<QStringList>("expected"); // one of these lines, exactly once

    const QStringList demo{QStringLiteral("not VK type,use demo type")};
    QTest::newRow("parse type 2") << udtaWithMarker(2) << QStringList{QStringLiteral("mgpsParse: 2")};
    QTest::newRow("parse type is signed") << udtaWithMarker(-1) << QStringList{QStringLiteral("mgpsParse: -1")};
    QTest::newRow("parse type 0") << udtaWithMarker(0) << QStringList{QStringLiteral("mgpsParse: 0")};
    QTest::newRow("no marker") << udtaWithMarker(2, false) << demo;
    QTest::newRow("longer udta") << box("udta", udtaWithMarker(7).mid(8) + QByteArray(40, 'x'))
                                 << QStringList{QStringLiteral("mgpsParse: 7")};
    // Short boxes end where the moov ends: any read past them is an ASan report.
    QTest::newRow("cut inside the marker") << box("udta", udtaWithMarker(2).mid(8, 38)) << demo;
    QTest::newRow("header only") << box("udta", QByteArray()) << demo;
    QTest::newRow("103 bytes, marker inside")
        << box("udta", udtaWithMarker(2).mid(8, 95)) << QStringList{demo.first(), QStringLiteral("mgpsParse: 2")};
}

void TestMp4GpsReader::udtaMarker()
{
    QFETCH(QByteArray, udta);
    QFETCH(QStringList, expected);
    const Layout layout = standardLayout();
    const QByteArray gps = gpsBox(1, 3, layout.offsets);
    auto track = newTrack();
    const auto seen = [&](const QByteArray &moovChildren, bool found) {
        LogCapture log("velmora.recording");
        const bool ok = walk(layout.head + box("moov", mvhd() + moovChildren), *track);
        int lines = 0;
        for (const QString &line : expected)
            lines += log.count(line);
        return ok == found ? lines : -1;
    };
    // Before the gps box: logged, and the walk goes on to find the records;
    // last in moov, with nothing after it; after the gps box: never examined.
    QCOMPARE(seen(udta + gps, true), 1);
    QCOMPARE(seen(udta, false), 1);
    QCOMPARE(seen(gps + udta, true), 0);
}

// A udta cut inside the marker, followed by bytes that complete it: only a
// read past the box would see a marker.
void TestMp4GpsReader::shortUdtaIsNotReadPast()
{
    LogCapture log("velmora.recording");
    auto track = newTrack();
    const QByteArray udta = box("udta", udtaWithMarker(2).mid(8, 38)); // ends after 0x14 0x0F
    const QByteArray rest = QByteArray("\x08\x12\x05\x00", 4) + "free"; // a size no walk follows
    QVERIFY(!walk(standardLayout().head + box("moov", mvhd() + udta + rest), *track));
    QVERIFY2(log.has(QStringLiteral("not VK type,use demo type")), qPrintable(log.text()));
    QVERIFY(!log.hasPrefix(QStringLiteral("mgpsParse:")));
}

// The verdict on the records the box points to, each kept and converted.
void TestMp4GpsReader::verdicts_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QVector<CameraRecord>>("records");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QStringList>("lines");

    const auto file = [](const QVector<CameraRecord> &records, quint32 gpsNum) {
        const Layout layout = blocksInMdat(gpsPayloads(records));
        return layout.head + box("moov", mvhd() + gpsBox(1, gpsNum, layout.offsets));
    };
    QTest::newRow("gpsNum 0") << file(threeRecords(), 0) << QVector<CameraRecord>() << false
                              << QStringList{QStringLiteral("gpsNum: 0")};
    QTest::newRow("all status V") << file(drive(3, 'V'), 3) << drive(3, 'V') << false << QStringList();
    const QVector<CameraRecord> fourth = drive(4, 'A', CheckKind::Valid, 3);
    QTest::newRow("valid from the fourth record") << file(fourth, 4) << fourth << true
                                                  << QStringList{QStringLiteral("gpsNum: 4")};
    for (const CheckKind check : {CheckKind::Invalid, CheckKind::Empty}) {
        const QVector<CameraRecord> records = drive(4, 'A', check);
        QTest::newRow(check == CheckKind::Empty ? "empty check texts" : "invalid check texts")
            << file(records, 4) << records << false << QStringList();
    }
    // No moov: the walk reaches the end of the file and says where.
    const QByteArray head = standardLayout().head;
    QTest::newRow("no moov") << head << QVector<CameraRecord>() << false << QStringList{QString::number(head.size())};
}

void TestMp4GpsReader::verdicts()
{
    QFETCH(QByteArray, file);
    QFETCH(QVector<CameraRecord>, records);
    QFETCH(bool, valid);
    QFETCH(QStringList, lines);
    LogCapture log("velmora.recording");
    auto track = newTrack();
    bool hisi = false;
    QCOMPARE(walk(file, *track, &hisi), valid);
    QVERIFY(hisi); // no trak says otherwise
    QCOMPARE(track->count(), records.size());
    for (int i = 0; i < records.size(); ++i) {
        QCOMPARE(track->records[i].status, records.at(i).raw.status);
        QCOMPARE(track->records[i].latitude, nmeaToDegrees(records.at(i).raw.latitude));
    }
    for (const QString &line : lines)
        QVERIFY2(log.has(line), qPrintable(line + QStringLiteral(" not in ") + log.text()));
    QCOMPARE(log.has(QStringLiteral("Wrong gps data")), !valid);
}

void TestMp4GpsReader::unreadableFile()
{
    if (geteuid() == 0)
        QSKIP("root reads files whatever their mode");
    const QString file = path(QStringLiteral("locked.mp4"));
    QVERIFY(writeBytes(file, standardFile()));
    QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions()));
    LogCapture log("velmora.recording");
    auto track = newTrack();
    Mp4GpsReader reader(*track);
    QVERIFY(!reader.readMp4GpsTrack(file));
    QCOMPARE(reader.openError(), EACCES);
    QVERIFY(log.has(QStringLiteral("原因: 权限不足")));
    QCOMPARE(track->count(), 0);
}

void TestMp4GpsReader::malformed_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("valid"); // 1, 0 or kFree
    QTest::addColumn<int>("count"); // or kFree
    QTest::addColumn<QVector<int>>("zeroSlots"); // blocks that cannot be read

    const QVector<QByteArray> payloads = gpsPayloads(threeRecords());
    const Layout layout = standardLayout();
    const QByteArray head = layout.head;
    const QByteArray gps = gpsBox(1, 3, layout.offsets);
    const QByteArray trak = trakWithHandler("VideoHandler");
    QByteArray table;
    for (quint32 offset : layout.offsets)
        table += be32(offset) + be32(0);
    auto moov = [&](const QByteArray &children) { return box("moov", children); };
    const QVector<int> none;

    // --- children of moov ---
    QTest::newRow("moov child of size 0") << head + moov(trak + be32(0) + "free" + gps) << kFree << kFree << none;
    QTest::newRow("moov child of size 7") << head + moov(be32(7) + "free" + QByteArray(8, '\0') + gps) << kFree << kFree << none;
    QTest::newRow("moov child of size 1 (64-bit form)")
        << head + moov(be32(1) + "free" + be64(24) + QByteArray(8, '\0') + gps) << kFree << kFree << none;
    QTest::newRow("child running past moov, after the gps box")
        << head + moov(trak + gps + be32(5000) + "free") << 1 << 3 << none;
    QTest::newRow("child running past moov, before the gps box")
        << head + moov(trak + be32(quint32(gps.size() + 9)) + "free" + gps) << kFree << kFree << none;
    QTest::newRow("gps box running past moov") << head + moov(trak + be32(quint32(gps.size() + 64)) + gps.mid(4))
                                               << kFree << kFree << none;
    QTest::newRow("moov child header cut short") << head + moov(trak + be32(64) + "fr") << 0 << 0 << none;
    // Damage inside a trak stays inside it.
    QTest::newRow("mdia running past its trak")
        << head + moov(box("trak", box("tkhd", QByteArray(84, '\0')) + be32(4000) + "mdia" + hdlrBox("HisiGpMET")) + gps)
        << 1 << 3 << none;
    QTest::newRow("trak child of size 0") << head + moov(box("trak", be32(0) + "mdia" + QByteArray(40, '\0')) + gps)
                                          << 1 << 3 << none;
    QTest::newRow("mdia child of size 2") << head + moov(trakWithMdia(be32(2) + "hdlr" + QByteArray(40, '\0')) + gps)
                                          << 1 << 3 << none;

    // --- the gps box itself ---
    QTest::newRow("gps payload of 6 bytes") << head + moov(trak + box("gps ", be32(1) + QByteArray(2, '\0')))
                                            << 0 << 0 << none;
    QTest::newRow("table shorter than gpsNum") << head + moov(trak + gpsBoxWithTable(5, table)) << 1 << 3 << none;
    QTest::newRow("gpsNum 0xFFFFFFFF") << head + moov(trak + gpsBoxWithTable(0xFFFFFFFFu, table)) << 1 << 3 << none;
    QTest::newRow("table ends inside an entry")
        << head + moov(trak + gpsBoxWithTable(4, table + be32(layout.offsets.at(0)).left(2))) << 1 << 3 << none;
    QTest::newRow("no table, gpsNum 3") << head + moov(trak + gpsBoxWithTable(3, QByteArray())) << 0 << 0 << none;
    {
        QVector<quint32> offsets = layout.offsets;
        offsets[1] = 0xFFFFFF00u;
        QTest::newRow("one offset outside the file") << head + moov(trak + gpsBox(1, 3, offsets)) << 1 << 3 << QVector<int>{1};
    }
    {
        QVector<quint32> offsets = layout.offsets;
        const QByteArray probe = head + moov(trak + gpsBox(1, 3, offsets));
        offsets[2] = quint32(probe.size() - 100); // a block cut by the end of the file
        QTest::newRow("block straddling the end of the file") << head + moov(trak + gpsBox(1, 3, offsets)) << 1 << 3
                                                              << QVector<int>{2};
    }
    {
        QVector<quint32> offsets{0xFFFFFFFFu, 0x80000000u, 0xFFFFFF20u};
        QTest::newRow("every offset outside the file") << head + moov(trak + gpsBox(1, 3, offsets)) << 0 << 3
                                                       << QVector<int>{0, 1, 2};
    }
    {
        // More entries than the file has room for blocks, every one pointing
        // at the same valid block: the count is cut to what the file can hold.
        const QVector<quint32> offsets(20000, layout.offsets.at(0));
        QTest::newRow("20000 entries on one block") << head + moov(trak + gpsBox(1, 20000, offsets)) << 1 << kFree
                                                    << none;
    }

    // --- top-level boxes ---
    const QByteArray ftyp = ftypBox();
    const QByteArray mdatBody = head.mid(ftyp.size() + 8);
    const QByteArray goodMoov = moov(trak + gps);
    QTest::newRow("top-level box of size 0 before moov") << ftyp + be32(0) + "mdat" + mdatBody + goodMoov << 0 << 0 << none;
    QTest::newRow("top-level box of size 7") << ftyp + be32(7) + "mdat" + mdatBody + goodMoov << 0 << 0 << none;
    QTest::newRow("moov of size 0, last in the file") << head + be32(0) + "moov" + trak + gps << kFree << kFree << none;
    {
        const Layout large = blocksInMdat(payloads, true);
        QTest::newRow("64-bit mdat") << large.head + moov(trak + gpsBox(1, 3, large.offsets)) << 1 << 3 << none;
    }
    QTest::newRow("64-bit moov") << head + be32(1) + "moov" + be64(quint64(16 + trak.size() + gps.size())) + trak + gps
                                 << 1 << 3 << none;
    QTest::newRow("64-bit size, huge") << ftyp + be32(1) + "mdat" + be64(0xFFFFFFFFFFFFFFF0ull) + mdatBody + goodMoov
                                       << 0 << 0 << none;
    QTest::newRow("64-bit size, past the end") << ftyp + be32(1) + "mdat" + be64(1ull << 40) + mdatBody + goodMoov
                                               << 0 << 0 << none;
    QTest::newRow("64-bit size below its header") << ftyp + be32(1) + "mdat" + be64(12) + mdatBody + goodMoov
                                                  << 0 << 0 << none;
    QTest::newRow("64-bit size cut short") << ftyp + be32(1) + "mdat" + QByteArray(5, '\0') << 0 << 0 << none;
    QTest::newRow("mdat claiming 2 GB") << ftyp + be32(0x7FFFFFFF) + "mdat" + mdatBody + goodMoov << 0 << 0 << none;
    QTest::newRow("moov cut short") << (head + goodMoov).left(head.size() + goodMoov.size() - 50) << 0 << 0 << none;
    QTest::newRow("moov header only") << head + box("moov", QByteArray()) << 0 << 0 << none;
    QTest::newRow("moov of size 4") << head + be32(4) + "moov" + trak + gps << 0 << 0 << none;
    QTest::newRow("empty file") << QByteArray() << 0 << 0 << none;
    QTest::newRow("three bytes") << QByteArray("\0\0\x10", 3) << 0 << 0 << none;
    QTest::newRow("type cut short") << ftyp + be32(16) + "md" << 0 << 0 << none;
    {
        QByteArray noise(64 * 1024, '\0');
        QRandomGenerator random(20250601);
        random.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
        QTest::newRow("random bytes") << noise << 0 << 0 << none;
        QTest::newRow("random bytes inside moov") << head + moov(noise.left(4096)) << kFree << kFree << none;
    }
}

void TestMp4GpsReader::malformed()
{
    QFETCH(QByteArray, file);
    QFETCH(int, valid);
    QFETCH(int, count);
    QFETCH(QVector<int>, zeroSlots);

    auto track = newTrack();
    const bool ok = walk(file, *track);
    if (valid != kFree)
        QCOMPARE(int(ok), valid);
    if (count != kFree)
        QCOMPARE(track->count(), count);

    // Whatever happened, the track is consistent: no more records than the
    // file has room for blocks, none holding the previous file's bytes, a
    // valid walk backed by a record with a fix.
    QVERIFY(track->count() >= 0 && qint64(track->count()) * kRecordBlockSize <= file.size());
    GpsRecord stale;
    std::memset(&stale, 0x5A, sizeof stale);
    bool anyFix = false;
    for (int i = 0; i < track->count(); ++i) {
        QVERIFY2(std::memcmp(&track->records[i], &stale, sizeof stale) != 0, qPrintable(QString::number(i)));
        anyFix = anyFix || track->records[i].status == 'A';
    }
    QVERIFY(!ok || anyFix);
    QVERIFY(!track->valid); // the reader leaves the flag to the pass
    for (int slot : zeroSlots)
        QVERIFY2(isZeroRecord(track->records[slot]), qPrintable(QString::number(slot)));
    for (int i = 0; i < track->count(); ++i) {
        if (!zeroSlots.contains(i) && count != kFree)
            QCOMPARE(track->records[i].status, 'A');
    }
}

// One reader, file after file: no verdict, flag or record carries over from
// the file before, and each walk closes its own file, read or not.
void TestMp4GpsReader::readerIsReusable()
{
    const auto write = [&](const char *name, const QByteArray &bytes) {
        const QString file = path(QLatin1String(name));
        return writeBytes(file, bytes) ? file : QString();
    };
    const QString good = write("good.mp4", standardFile());
    const Layout invalid = blocksInMdat(gpsPayloads(drive(3, 'A', CheckKind::Invalid)));
    const QString bad = write("bad.mp4", invalid.head + box("moov", gpsBox(1, 3, invalid.offsets)));
    const Layout ten = blocksInMdat(gpsPayloads(drive(10)));
    const QString full = write("ten.mp4", ten.head + box("moov", gpsBox(1, 10, ten.offsets)));
    // Three entries, the middle one pointing nowhere.
    QVector<quint32> offsets = standardLayout().offsets;
    offsets[1] = 0xFFFFFFF0u;
    const QString hole = write("hole.mp4", standardLayout().head + box("moov", gpsBox(1, 3, offsets)));
    const QString cut = write("cut.mp4", standardFile().left(standardFile().size() - 40));
    const QString missing = path(QStringLiteral("missing.mp4"));

    auto track = newTrack();
    Mp4GpsReader reader(*track);
    const int before = openDescriptors();
    QStringList leaked;
    const auto read = [&](const QString &file) {
        track->reset();
        const bool ok = guarded("walk", [&] { return reader.readMp4GpsTrack(file); }, kWalkBoundMs);
        if (openDescriptors() != before) // checked while the reader lives
            leaked << file;
        return ok;
    };
    QVERIFY(read(good));
    QVERIFY(!read(bad));
    QCOMPARE(track->count(), 3);
    QVERIFY(read(full));
    QCOMPARE(track->count(), 10);
    // The block that cannot be read is zero, not what the slot held before.
    QVERIFY(read(hole));
    QCOMPARE(track->count(), 3);
    QVERIFY(isZeroRecord(track->records[1]));
    QCOMPARE(track->records[2].status, 'A');

    QVERIFY(read(good));
    QVERIFY(!reader.hisiHandler());
    QCOMPARE(reader.openError(), 0);
    // A previous file cleared the flag; a failed open sets it again.
    LogCapture log("velmora.recording");
    QVERIFY(!read(missing));
    QVERIFY(reader.hisiHandler());
    QCOMPARE(reader.openError(), ENOENT);
    QCOMPARE(track->count(), 0);
    QVERIFY(!track->valid);
    QVERIFY(!log.lines().filter(QStringLiteral("open file fail:")).filter(missing).isEmpty());
    QVERIFY(log.has(QStringLiteral("open file fail err: 2")));
    QVERIFY(log.has(QStringLiteral("原因: 文件不存在，请检查路径")));
    // A directory reads nothing: no GPS, no hang.
    QVERIFY(!read(mDir.path()));
    QVERIFY(!read(cut));
    QCOMPARE(track->count(), 0);
    QVERIFY(read(good));
    QCOMPARE(reader.openError(), 0);
    QCOMPARE(leaked, QStringList());
}

void TestMp4GpsReader::tsProbe_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("parseType");
    QTest::addColumn<QString>("logLine"); // empty: neither line

    const QString match = QStringLiteral("pParse: %1");
    const QString noMarker = QStringLiteral("not VK type,use default way");
    const QByteArray other = tsPacket(0x100, true, 24, 0, false);

    QTest::newRow("marker after another packet") << other + tsPacket(0) + other << 2 << match.arg(2);
    QTest::newRow("marker in the first packet") << tsPacket(0, true, 24, 5) << 5 << match.arg(5);
    QTest::newRow("parse type is signed") << other + tsPacket(0, true, 24, -2) << -2 << match.arg(-2);
    QTest::newRow("start indicator clear") << tsPacket(0, true, 24, 3, true, 0x00) << 3 << match.arg(3);
    QTest::newRow("no marker") << other + tsPacket(0, true, 24, 2, false) << 0 << noMarker;
    QTest::newRow("marker one byte late") << tsPacket(0, true, 25) << 0 << noMarker;
    QTest::newRow("only the first PID-0 packet counts") << tsPacket(0, true, 24, 2, false) + tsPacket(0) << 0 << noMarker;
    QTest::newRow("PID 0 without sync byte is skipped") << tsPacket(0, false, 24, 9) + tsPacket(0, true, 24, 4) << 4
                                                        << match.arg(4);
    QTest::newRow("PID 0x1000 is not PID 0") << tsPacket(0x1000) + tsPacket(0, true, 24, 6) << 6 << match.arg(6);
    QTest::newRow("no PID-0 packet") << other + other + other << 0 << QString();
    QTest::newRow("PID-0 packet cut short") << other + tsPacket(0).left(40) << 0 << noMarker;
    QTest::newRow("header cut short") << other + QByteArray("\x47\x00", 2) << 0 << QString();
    QTest::newRow("empty file") << QByteArray() << 0 << QString();
}

void TestMp4GpsReader::tsProbe()
{
    QFETCH(QByteArray, file);
    QFETCH(int, parseType);
    QFETCH(QString, logLine);
    const QString ts = path(QStringLiteral("probe.ts"));
    QVERIFY(writeBytes(ts, file));
    LogCapture log("velmora.recording");
    const int before = openDescriptors();
    QCOMPARE(guarded("probe", [&] { return probeTsTypeMarker(ts); }, kWalkBoundMs), parseType);
    QCOMPARE(openDescriptors(), before);
    if (!logLine.isEmpty())
        QVERIFY2(log.count(logLine) == 1, qPrintable(log.text()));
    const int probeLines = log.lines().filter(QStringLiteral("pParse:")).size()
                           + log.count(QStringLiteral("not VK type,use default way"));
    QCOMPARE(probeLines, logLine.isEmpty() ? 0 : 1);
}

void TestMp4GpsReader::tsProbeUnopenable()
{
    LogCapture log("velmora.recording");
    const QString missing = path(QStringLiteral("missing.ts"));
    QCOMPARE(probeTsTypeMarker(missing), 0);
    QVERIFY(!log.lines().filter(QStringLiteral("打开文件失败1:")).filter(missing).isEmpty());
    QVERIFY(log.has(QStringLiteral("错误码1: 2")));
    QVERIFY(log.has(QStringLiteral("原因1: 文件不存在，请检查路径")));
}

QTEST_GUILESS_MAIN(TestMp4GpsReader)
#include "tst_mp4gpsreader.moc"
