#include "packetqueue.h"

#include <QtTest>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstring>
#include <thread>

namespace {

AVPacket *packetOf(const QByteArray &bytes)
{
    AVPacket *packet = av_packet_alloc();
    av_new_packet(packet, int(bytes.size()));
    std::memcpy(packet->data, bytes.constData(), size_t(bytes.size()));
    return packet;
}

QByteArray bytesOf(const AVPacket *packet)
{
    return QByteArray(reinterpret_cast<const char *>(packet->data), packet->size);
}

} // namespace

class TestPacketQueue : public QObject
{
    Q_OBJECT

private slots:
    void keepsOrderAndTotals();
    void ownsItsCopy();
    void flushEmpties();
    void getWaitsForAProducer();
    void flushMarker();
    void peakSinceMade();
};

void TestPacketQueue::keepsOrderAndTotals()
{
    PacketQueue queue;
    for (const char *text : {"one", "three", "fivef"}) {
        AVPacket *packet = packetOf(text);
        QVERIFY(queue.put(packet));
        av_packet_free(&packet);
    }
    QCOMPARE(queue.count(), 3);
    QCOMPARE(queue.bytes(), qint64(3 + 5 + 5));
    AVPacket *out = av_packet_alloc();
    QCOMPARE(queue.get(out), 1);
    QCOMPARE(bytesOf(out), QByteArray("one"));
    QCOMPARE(queue.bytes(), qint64(10));
    av_packet_unref(out);
    QCOMPARE(queue.get(out), 1);
    QCOMPARE(bytesOf(out), QByteArray("three"));
    av_packet_unref(out);
    QCOMPARE(queue.get(out), 1);
    av_packet_unref(out);
    QCOMPARE(queue.get(out), 0);
    QCOMPARE(queue.count(), 0);
    QCOMPARE(queue.bytes(), qint64(0));
    av_packet_free(&out);
}

void TestPacketQueue::ownsItsCopy()
{
    // The demuxer reuses its packet right after queueing it.
    PacketQueue queue;
    AVPacket *packet = packetOf("payload");
    QVERIFY(queue.put(packet));
    av_packet_unref(packet);
    av_packet_free(&packet);
    AVPacket *out = av_packet_alloc();
    QCOMPARE(queue.get(out), 1);
    QCOMPARE(bytesOf(out), QByteArray("payload"));
    av_packet_free(&out);
}

void TestPacketQueue::flushEmpties()
{
    PacketQueue queue;
    for (int i = 0; i < 100; ++i) {
        AVPacket *packet = packetOf(QByteArray(1000, 'x'));
        queue.put(packet);
        av_packet_free(&packet);
    }
    QCOMPARE(queue.bytes(), qint64(100000));
    queue.flush();
    QCOMPARE(queue.count(), 0);
    QCOMPARE(queue.bytes(), qint64(0));
    AVPacket *out = av_packet_alloc();
    QCOMPARE(queue.get(out), 0);
    av_packet_free(&out);
}

void TestPacketQueue::getWaitsForAProducer()
{
    PacketQueue queue;
    AVPacket *out = av_packet_alloc();
    QCOMPARE(queue.get(out, 5), 0); // nothing comes: gives up
    std::thread producer([&queue] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        AVPacket *packet = packetOf("late");
        queue.put(packet);
        av_packet_free(&packet);
    });
    QCOMPARE(queue.get(out, 5000), 1);
    QCOMPARE(bytesOf(out), QByteArray("late"));
    producer.join();
    av_packet_free(&out);
}

void TestPacketQueue::flushMarker()
{
    const PacketPtr marker = makeFlushPacket(0x7ffff);
    QVERIFY(marker);
    QVERIFY(isFlushPacket(marker.get()));
    // Survives the trip through a queue, with the serial of its seek.
    PacketQueue queue;
    queue.put(marker.get());
    AVPacket *out = av_packet_alloc();
    QCOMPARE(queue.get(out), 1);
    QVERIFY(isFlushPacket(out));
    QCOMPARE(flushPacketSerial(out), uint32_t(0x7ffff));
    av_packet_unref(out);

    // Ordinary payloads are never taken for the marker, short ones included.
    for (const QByteArray &bytes : {QByteArray("FLUSH"), QByteArray("FLUSHING!!"), QByteArray("FL"),
                                    QByteArray("FLUSH\0xxxxxxxxx", 15)}) {
        AVPacket *packet = packetOf(bytes);
        QVERIFY2(!isFlushPacket(packet), bytes.constData());
        av_packet_free(&packet);
    }
    av_packet_free(&out);
    QVERIFY(!isFlushPacket(nullptr));
}

void TestPacketQueue::peakSinceMade()
{
    PacketQueue queue;
    QCOMPARE(queue.peakBytes(), qint64(0));
    for (int i = 0; i < 3; ++i) {
        AVPacket *packet = packetOf(QByteArray(100, 'x'));
        queue.put(packet);
        av_packet_free(&packet);
    }
    queue.flush();
    AVPacket *packet = packetOf(QByteArray(10, 'x'));
    queue.put(packet);
    av_packet_free(&packet);
    QCOMPARE(queue.bytes(), qint64(10));
    QCOMPARE(queue.peakBytes(), qint64(300));
}

QTEST_GUILESS_MAIN(TestPacketQueue)
#include "tst_packetqueue.moc"
