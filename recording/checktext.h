#pragma once

#include <cstdint>

// AES key of the camera's check texts; its 16 ASCII bytes are the 128-bit key.
constexpr char kCheckTextKey[] = "Kq4#vN8p!tZ2wD6m";
constexpr int kCheckTextPlainSize = 16; // output buffer: at most 15 characters and a NUL

// Decrypts one check text (hex digits of one AES-128 block) into out, a
// NUL-terminated text of at most 15 characters. Any input yields some text;
// an odd-length input decrypts the all-zero block.
void decryptCheckText(const char *text, char out[kCheckTextPlainSize]);

// Two hex digits to one byte; letters up to 'z' count as digits 10..35 and
// anything else as 0xFF (see the implementation for the exact folding).
uint8_t hexPairToNibbles(char first, char second);
