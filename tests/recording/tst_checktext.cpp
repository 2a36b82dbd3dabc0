// Check-text decryption: the hex decoding, the key, the cipher mode and the
// plaintext cut.

#include "checktext.h"
#include "gpsfixture.h"

#include <QtTest>

#include <openssl/evp.h>

#include <cstring>

namespace {

// Written out here rather than taken from checktext.h, so a changed key fails.
const QByteArray kCameraKey("Kq4#vN8p!tZ2wD6m");

QByteArray decrypt(const QByteArray &text)
{
    char out[kCheckTextPlainSize];
    std::memset(out, 0x7F, sizeof out); // no NUL for free
    decryptCheckText(text.constData(), out);
    const void *nul = std::memchr(out, '\0', sizeof out);
    if (!nul)
        return QByteArray("<not NUL-terminated>");
    return QByteArray(out);
}

// One AES-128 block in ECB mode through OpenSSL, independent of the code under test.
QByteArray aesEncryptBlock(const QByteArray &key, const QByteArray &plain16)
{
    unsigned char out[32] = {};
    int len = 0;
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    EVP_EncryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr,
                       reinterpret_cast<const unsigned char *>(key.constData()), nullptr);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_EncryptUpdate(ctx, out, &len, reinterpret_cast<const unsigned char *>(plain16.constData()), 16);
    EVP_CIPHER_CTX_free(ctx);
    return QByteArray(reinterpret_cast<const char *>(out), len);
}

QByteArray padded16(const QByteArray &plain)
{
    QByteArray block = plain.left(16);
    block.append(QByteArray(16 - block.size(), '\0'));
    return block;
}

const QByteArray kZeroText(32, '0');

} // namespace

class TestCheckText : public QObject
{
    Q_OBJECT

private slots:
    void opensslHelperIsAes128Ecb();
    void knownAnswers_data();
    void knownAnswers();
    void roundTripWithFixture_data();
    void roundTripWithFixture();
    void oddLengthDecryptsZeroBlock_data();
    void oddLengthDecryptsZeroBlock();
    void shortEvenTextLeavesTailZero();
    void hexPairToNibbles_data();
    void hexPairToNibbles();
    void nonHexLettersFoldInsideDecryption();
};

// FIPS-197 appendix C.1: proves the helper below is plain AES-128, so the
// known answers built on it pin the key and the mode of the code under test.
void TestCheckText::opensslHelperIsAes128Ecb()
{
    const QByteArray key = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
    const QByteArray plain = QByteArray::fromHex("00112233445566778899aabbccddeeff");
    QCOMPARE(aesEncryptBlock(key, plain).toHex(), QByteArray("69c4e0d86a7b0430d8cdb78070b4c55a"));
}

void TestCheckText::knownAnswers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("plain");

    // Computed once with `openssl enc -aes-128-ecb -nopad` and the camera key.
    QTest::newRow("latitude") << QByteArray("77fbf383344624f571caf7aca939b956") << QByteArray("3130.5000");
    QTest::newRow("latitude, upper case") << QByteArray("77FBF383344624F571CAF7ACA939B956") << QByteArray("3130.5000");
    // The zero block decrypts to 16 non-zero bytes: the first 15 are kept.
    QTest::newRow("zero block") << kZeroText << QByteArray::fromHex("c274a8d617c18259627f70eed13839");
}

void TestCheckText::knownAnswers()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, plain);
    QCOMPARE(decrypt(text), plain);
}

void TestCheckText::roundTripWithFixture_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one digit") << QByteArray("7");
    QTest::newRow("stored latitude") << QByteArray("3130.5000");
    QTest::newRow("longitude width") << QByteArray("12130.0063");
    QTest::newRow("negative") << QByteArray("-3130.5");
    QTest::newRow("fifteen characters") << QByteArray("123456789.12345");
}

// The fixture writes recordings with encryptCheckText; if it and the reader
// disagree, every generated recording would test the wrong thing. The
// letters' case does not matter, within one text either.
void TestCheckText::roundTripWithFixture()
{
    QFETCH(QByteArray, plain);
    const QByteArray text = fixture::encryptCheckText(plain);
    QCOMPARE(text.size(), 32);
    QCOMPARE(text, aesEncryptBlock(kCameraKey, padded16(plain)).toHex());
    QCOMPARE(decrypt(text), plain);

    const QByteArray upper = fixture::encryptCheckText(plain, true);
    QVERIFY(upper != text); // the cipher text has letters, or the case proves nothing
    QCOMPARE(decrypt(upper), plain);
    QByteArray mixed = text;
    for (int i = 0; i < mixed.size(); i += 2)
        mixed[i] = upper[i];
    QCOMPARE(decrypt(mixed), plain);
}

void TestCheckText::oddLengthDecryptsZeroBlock_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray valid = fixture::encryptCheckText("3130.5000");
    QTest::newRow("31 of a valid text") << valid.left(31);
    QTest::newRow("one digit") << QByteArray("7");
    QTest::newRow("31 letters") << QByteArray(31, 'f');
    QTest::newRow("empty") << QByteArray();
}

void TestCheckText::oddLengthDecryptsZeroBlock()
{
    QFETCH(QByteArray, text);
    QCOMPARE(decrypt(text), decrypt(kZeroText));
}

// A 30-digit text fills 15 bytes; the 16th stays zero.
void TestCheckText::shortEvenTextLeavesTailZero()
{
    const QByteArray cipher = aesEncryptBlock(kCameraKey, padded16("3130.5"));
    const QByteArray text = cipher.left(15).toHex();
    QCOMPARE(text.size(), 30);
    QCOMPARE(decrypt(text), decrypt(text + "00"));
}

void TestCheckText::hexPairToNibbles_data()
{
    QTest::addColumn<char>("first");
    QTest::addColumn<char>("second");
    QTest::addColumn<int>("expected");

    QTest::newRow("00") << '0' << '0' << 0x00;
    QTest::newRow("9f") << '9' << 'f' << 0x9F;
    QTest::newRow("a0") << 'a' << '0' << 0xA0;
    QTest::newRow("FF") << 'F' << 'F' << 0xFF;
    QTest::newRow("Cb mixed") << 'C' << 'b' << 0xCB;
    // Letters past f are digits 16..35; the low one is not masked.
    QTest::newRow("2x") << '2' << 'x' << 0x21;
    QTest::newRow("2X") << '2' << 'X' << 0x21;
    QTest::newRow("0g") << '0' << 'g' << 0x10;
    QTest::newRow("zz") << 'z' << 'z' << 0x33;
    // The high one is cut to 8 bits after the shift.
    QTest::newRow("x1") << 'x' << '1' << 0x11;
    QTest::newRow("G0") << 'G' << '0' << 0x00;
    // A second character that is no digit makes the whole byte 0xFF ...
    QTest::newRow("a NUL") << 'a' << '\0' << 0xFF;
    QTest::newRow("0 dot") << '0' << '.' << 0xFF;
    QTest::newRow("5 high byte") << '5' << char(0xE4) << 0xFF;
    // ... a first one that is none only fills the high nibble.
    QTest::newRow("space 1") << ' ' << '1' << 0xF1;
    QTest::newRow("high byte 0") << char(0x80) << '0' << 0xF0;
}

void TestCheckText::hexPairToNibbles()
{
    QFETCH(char, first);
    QFETCH(char, second);
    QFETCH(int, expected);
    QCOMPARE(int(::hexPairToNibbles(first, second)), expected);
}

// The folding happens inside the decryption too, not only in the helper.
void TestCheckText::nonHexLettersFoldInsideDecryption()
{
    const QByteArray folded = QByteArray("2x").repeated(16); // each pair is 0x21
    const QByteArray plainHex = QByteArray("21").repeated(16);
    QCOMPARE(decrypt(folded), decrypt(plainHex));
    QVERIFY(decrypt(folded) != decrypt(kZeroText));

    const QByteArray spaced = QByteArray("2 ").repeated(16); // each pair is 0xFF
    QCOMPARE(decrypt(spaced), decrypt(QByteArray("ff").repeated(16)));
}

QTEST_APPLESS_MAIN(TestCheckText)
#include "tst_checktext.moc"
