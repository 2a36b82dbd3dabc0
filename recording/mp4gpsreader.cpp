#include "mp4gpsreader.h"

#include "gpspayload.h"
#include "pathkind.h"
#include "recordinglog.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int kBoxHeaderSize = 8;
constexpr int kLargeBoxHeaderSize = 16;
// A moov larger than this is not a camera recording's; refuse to load it.
constexpr uint64_t kMaxMoovSize = 512ull * 1024 * 1024;

// Record block of the "gps " box: 16-byte header, then a GPS payload.
constexpr int kBlockHeaderSize = 16;
constexpr int kBlockCheckTextOffset = kBlockHeaderSize + kGpsPayloadCheckTextOffset; // 148
constexpr int kBlockRecordOffset = kBlockHeaderSize + kGpsPayloadRecordOffset;       // 180
constexpr int kBlockSize = kBlockRecordOffset + int(sizeof(GpsRecord));              // 224

// "gps " payload: version, count, then 8-byte entries whose first word is a file offset.
constexpr int kGpsBoxTableOffset = 8;
constexpr int kGpsBoxEntrySize = 8;

// hdlr: header, version/flags, pre-defined, handler type, 12 reserved bytes, then the name.
constexpr int kHdlrNameOffset = 32;
constexpr char kHisiName[4] = {'H', 'i', 's', 'i'};

// udta: a 76-byte block 28 bytes in, the marker at block bytes 16..19, the parse type at 20.
constexpr int kUdtaBlockOffset = 28;
constexpr int kUdtaBlockSize = 76;
constexpr int kMarkerInBlock = 16;
constexpr uint8_t kTypeMarker[4] = {0x14, 0x0F, 0x08, 0x12};

// Transport stream probe: 188-byte packets from the start of the file.
constexpr int kTsPacketSize = 188;
constexpr int kTsHeaderSize = 4;
constexpr int kTsProbeReadSize = 64;      // packet bytes 8..71
constexpr int kTsProbeMarkerOffset = 16;  // packet bytes 24..27
constexpr int kTsProbeParseOffset = 20;   // packet byte 28
// The PAT repeats within the first packets of any stream; give up after this many.
constexpr int kTsProbeMaxPackets = 65536;

uint32_t readBe32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

uint64_t readBe64(const uint8_t *p)
{
    return (uint64_t(readBe32(p)) << 32) | readBe32(p + 4);
}

bool isType(const uint8_t *type, const char *name)
{
    return std::memcmp(type, name, 4) == 0;
}

QString typeText(const uint8_t *type)
{
    return QString::fromLatin1(reinterpret_cast<const char *>(type), 4);
}

// Calls visit(type, box, size) for each child box in [data, data + length).
// Stops at the first header that does not fit (size below 8, the 64-bit or
// to-end forms, or a box running past its parent) and when visit returns false.
template<typename Visit>
void forEachChild(const uint8_t *data, uint64_t length, Visit visit)
{
    uint64_t pos = 0;
    while (length - pos >= uint64_t(kBoxHeaderSize)) {
        const uint8_t *box = data + pos;
        const uint32_t size = readBe32(box);
        if (size < uint32_t(kBoxHeaderSize) || size > length - pos)
            return;
        if (!visit(box + 4, box, uint64_t(size)))
            return;
        pos += size;
    }
}

std::FILE *openForReading(const QString &path)
{
#ifdef Q_OS_WIN
    return _wfopen(reinterpret_cast<const wchar_t *>(path.utf16()), L"rb");
#else
    return openRegularFile(path);
#endif
}

} // namespace

Mp4GpsReader::Mp4GpsReader(GpsTrack &track)
    : mTrack(track)
{
}

Mp4GpsReader::~Mp4GpsReader()
{
    closeFile();
}

void Mp4GpsReader::closeFile()
{
    if (mFile) {
        std::fclose(mFile);
        mFile = nullptr;
    }
}

bool Mp4GpsReader::readMp4GpsTrack(const QString &path)
{
    closeFile();
    mHisiHandler = true;
    mOpenError = 0;

    mFile = openForReading(path);
    if (!mFile) {
        mOpenError = errno;
        qCDebug(lcRecording) << "open file fail:" << path;
        qCDebug(lcRecording) << "open file fail err:" << mOpenError;
        if (mOpenError == ENOENT)
            qCDebug(lcRecording).noquote() << QStringLiteral("原因: 文件不存在，请检查路径");
        else if (mOpenError == EACCES)
            qCDebug(lcRecording).noquote() << QStringLiteral("原因: 权限不足");
        return false;
    }
    mGpsUnverified = true;

    mFileSize = 0;
    if (fseeko(mFile, 0, SEEK_END) == 0) {
        const off_t end = ftello(mFile);
        mFileSize = end > 0 ? uint64_t(end) : 0;
    }
    const uint64_t fileSize = mFileSize;
    fseeko(mFile, 0, SEEK_SET);

    uint8_t header[kLargeBoxHeaderSize];
    if (std::fread(header, 1, 4, mFile) != 4) {
        qCDebug(lcRecording) << qint64(ftello(mFile));
    } else {
        for (;;) {
            const uint64_t boxStart = uint64_t(ftello(mFile)) - 4;
            if (std::fread(header + 4, 1, 4, mFile) != 4) {
                qCDebug(lcRecording) << qint64(ftello(mFile));
                break;
            }
            uint64_t size = readBe32(header);
            qCDebug(lcRecording).noquote() << QStringLiteral("boxType:::%1").arg(typeText(header + 4)) << size;

            uint64_t headerSize = kBoxHeaderSize;
            if (size == 1) { // 64-bit size follows: large mdat boxes of long recordings
                if (std::fread(header + 8, 1, 8, mFile) != 8) {
                    qCDebug(lcRecording) << qint64(ftello(mFile));
                    break;
                }
                size = readBe64(header + 8);
                headerSize = kLargeBoxHeaderSize;
            }
            // Size 0 runs to the end of the file, so nothing can follow it; a
            // size below its own header would never advance; a box past the end
            // is truncated (and a huge 64-bit size must not wrap the seek).
            if (size < headerSize || size > fileSize - boxStart) {
                qCDebug(lcRecording) << qint64(ftello(mFile));
                break;
            }

            if (isType(header + 4, "moov")) {
                const uint64_t payloadSize = size - headerSize;
                if (payloadSize > kMaxMoovSize) {
                    qCDebug(lcRecording) << "error";
                    break;
                }
                std::vector<uint8_t> moov;
                try {
                    moov.resize(size_t(payloadSize));
                } catch (const std::bad_alloc &) {
                    qCDebug(lcRecording) << "error";
                    break;
                }
                if (std::fread(moov.data(), 1, moov.size(), mFile) != moov.size()) {
                    qCDebug(lcRecording) << qint64(ftello(mFile));
                    break;
                }
                walkMoovChildren(moov.data(), payloadSize + kBoxHeaderSize);
                break; // boxes after moov are never examined
            }

            if (fseeko(mFile, off_t(size - headerSize), SEEK_CUR) != 0
                || std::fread(header, 1, 4, mFile) != 4) {
                qCDebug(lcRecording) << qint64(ftello(mFile));
                break;
            }
        }
    }

    closeFile();
    if (mGpsUnverified) {
        qCDebug(lcRecording) << "Wrong gps data";
        return false;
    }
    return true;
}

void Mp4GpsReader::walkMoovChildren(const uint8_t *moov, uint64_t moovSize)
{
    if (moovSize <= uint64_t(kBoxHeaderSize))
        return;
    forEachChild(moov, moovSize - kBoxHeaderSize, [this](const uint8_t *type, const uint8_t *box, uint64_t size) {
        qCDebug(lcRecording).noquote() << QStringLiteral("moovDataSize:::%1").arg(typeText(type));
        qCDebug(lcRecording) << "moovDataSize::::" << size;
        if (isType(type, "gps ")) {
            parseGpsBox(box + kBoxHeaderSize, size - kBoxHeaderSize);
            return false; // the walk ends at the GPS box
        }
        if (isType(type, "udta")) {
            const uint8_t *block = box + kUdtaBlockOffset;
            if (size >= uint64_t(kUdtaBlockOffset + kUdtaBlockSize)
                && std::memcmp(block + kMarkerInBlock, kTypeMarker, sizeof kTypeMarker) == 0) {
                qCDebug(lcRecording) << "mgpsParse:" << int(int8_t(block[kMarkerInBlock + 4]));
            } else {
                qCDebug(lcRecording) << "not VK type,use demo type";
            }
        } else if (isType(type, "trak")) {
            scanTrakHandler(box + kBoxHeaderSize, size - kBoxHeaderSize);
        }
        return true;
    });
}

void Mp4GpsReader::scanTrakHandler(const uint8_t *payload, uint64_t length)
{
    forEachChild(payload, length, [this](const uint8_t *type, const uint8_t *box, uint64_t size) {
        if (!isType(type, "mdia"))
            return true;
        forEachChild(box + kBoxHeaderSize, size - kBoxHeaderSize,
                     [this](const uint8_t *childType, const uint8_t *child, uint64_t childSize) {
            if (isType(childType, "minf")) {
                qCDebug(lcRecording) << "BOX_TYPE_MINF::::" << "minf";
            } else if (isType(childType, "hdlr")) {
                // A box too short to hold a name does not match.
                mHisiHandler = childSize >= uint64_t(kHdlrNameOffset + 4)
                               && std::memcmp(child + kHdlrNameOffset, kHisiName, 4) == 0;
            }
            return true;
        });
        return true;
    });
}

bool Mp4GpsReader::readRecordBlock(uint32_t offset, GpsRecord &record, char *checkText)
{
    uint8_t block[kBlockSize];
    if (fseeko(mFile, off_t(offset), SEEK_SET) != 0
        || std::fread(block, 1, sizeof block, mFile) != sizeof block)
        return false;
    std::memcpy(checkText, block + kBlockCheckTextOffset, kGpsCheckTextSize);
    checkText[kGpsCheckTextSize] = '\0';
    std::memcpy(&record, block + kBlockRecordOffset, sizeof record);
    return true;
}

void Mp4GpsReader::parseGpsBox(const uint8_t *payload, uint64_t length)
{
    if (length < uint64_t(kGpsBoxTableOffset))
        return;
    const uint32_t versionNumber = readBe32(payload);
    const uint32_t gpsNum = readBe32(payload + 4);
    qCDebug(lcRecording) << "versionNumber:" << versionNumber;
    qCDebug(lcRecording) << "gpsNum:" << gpsNum;

    // Only the entries the box really holds, and no more blocks than the
    // file has room for: the count is the file's word, the memory is ours.
    const uint64_t entries = (length - kGpsBoxTableOffset) / kGpsBoxEntrySize;
    uint64_t count = gpsNum;
    if (count > entries)
        count = entries;
    if (count > mFileSize / kBlockSize)
        count = mFileSize / kBlockSize;
    if (count < gpsNum)
        qCDebug(lcRecording) << "gps records kept:" << count;
    mTrack.records.assign(size_t(count), GpsRecord{});

    for (uint64_t i = 0; i < count; ++i) {
        GpsRecord &slot = mTrack.records[size_t(i)];
        const uint32_t offset = readBe32(payload + kGpsBoxTableOffset + kGpsBoxEntrySize * i);
        char checkText[kGpsCheckTextSize + 1];
        // A block outside the file leaves its second empty (no fix) rather than stale.
        if (!readRecordBlock(offset, slot, checkText))
            continue;
        if (verifyAndConvertRecord(slot, checkText, mGpsUnverified, false))
            mGpsUnverified = false;
    }
}

int probeTsTypeMarker(const QString &path)
{
    std::FILE *file = openForReading(path);
    if (!file) {
        const int error = errno;
        qCDebug(lcRecording).noquote() << QStringLiteral("打开文件失败1:") << path;
        qCDebug(lcRecording).noquote() << QStringLiteral("错误码1:") << error;
        if (error == ENOENT)
            qCDebug(lcRecording).noquote() << QStringLiteral("原因1: 文件不存在，请检查路径");
        else if (error == EACCES)
            qCDebug(lcRecording).noquote() << QStringLiteral("原因1: 权限不足");
        return 0;
    }

    int result = 0;
    uint8_t header[kTsHeaderSize];
    for (int packet = 0; packet < kTsProbeMaxPackets; ++packet) {
        if (std::fread(header, 1, sizeof header, file) != sizeof header)
            break;
        const int pid = ((header[1] & 0x1F) << 8) | header[2];
        if (header[0] == 0x47 && pid == 0) {
            uint8_t body[kTsProbeReadSize];
            if (fseeko(file, 4, SEEK_CUR) == 0
                && std::fread(body, 1, sizeof body, file) == sizeof body
                && std::memcmp(body + kTsProbeMarkerOffset, kTypeMarker, sizeof kTypeMarker) == 0) {
                result = int8_t(body[kTsProbeParseOffset]);
                qCDebug(lcRecording) << "pParse:" << result;
            } else {
                qCDebug(lcRecording) << "not VK type,use default way";
            }
            break;
        }
        if (fseeko(file, kTsPacketSize - kTsHeaderSize, SEEK_CUR) != 0)
            break;
    }
    std::fclose(file);
    return result;
}
