#include "checktext.h"

#include <openssl/evp.h>

#include <cstring>

namespace {

constexpr uint8_t kNotADigit = 0xFF;
constexpr int kBlockSize = 16;

uint8_t digitValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return uint8_t(ch - '0');
    if (ch >= 'a' && ch <= 'z')
        return uint8_t(ch - 'a' + 10);
    if (ch >= 'A' && ch <= 'Z')
        return uint8_t(ch - 'A' + 10);
    return kNotADigit;
}

// One block, ECB, no padding: plain FIPS-197 inverse cipher.
bool aes128DecryptBlock(const uint8_t in[kBlockSize], uint8_t out[kBlockSize])
{
    EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
    if (!ctx)
        return false;
    int len = 0;
    bool ok = EVP_DecryptInit_ex(ctx, EVP_aes_128_ecb(), nullptr,
                                 reinterpret_cast<const unsigned char *>(kCheckTextKey), nullptr) == 1
              && EVP_CIPHER_CTX_set_padding(ctx, 0) == 1
              && EVP_DecryptUpdate(ctx, out, &len, in, kBlockSize) == 1
              && len == kBlockSize;
    EVP_CIPHER_CTX_free(ctx);
    return ok;
}

} // namespace

uint8_t hexPairToNibbles(char first, char second)
{
    const uint8_t hi = uint8_t(digitValue(first) << 4);
    const uint8_t lo = digitValue(second);
    if (lo == kNotADigit)
        return kNotADigit;
    // The low value is not masked: letters past 'f' fold into the high nibble.
    return uint8_t(hi | lo);
}

void decryptCheckText(const char *text, char out[kCheckTextPlainSize])
{
    uint8_t block[kBlockSize] = {};
    const size_t n = text ? strnlen(text, 2 * kBlockSize) : 0;
    if (n % 2 == 0) {
        for (size_t i = 0; i + 1 < n; i += 2)
            block[i / 2] = hexPairToNibbles(text[i], text[i + 1]);
    }

    uint8_t plain[kBlockSize] = {};
    if (!aes128DecryptBlock(block, plain))
        std::memset(plain, 0, sizeof plain);

    int len = 0;
    while (len < kCheckTextPlainSize - 1 && plain[len] != 0) {
        out[len] = char(plain[len]);
        ++len;
    }
    out[len] = '\0';
}
