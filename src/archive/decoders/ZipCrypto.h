// Traditional PKWARE encryption of ZIP members: the three-key stream cipher
// (start values 12345678h, 23456789h, 34567890h), the check of the 12-byte
// encryption header against the member's check byte, and a DecodeInput that
// decrypts another input on the fly so decrypted bytes feed the decoder.
#pragma once

#include "archive/decoders/Decoder.h"

#include <cstdint>
#include <string_view>

// Size of the encryption header in front of an encrypted member's data.
constexpr int kZipCryptHeaderSize = 12;

// Cipher state of one member.
class TZipCryptKeys
{
public:
    // Keys initialised from a password (bytes as stored, no conversion).
    explicit TZipCryptKeys(std::string_view password);

    // Decrypts n bytes in place.
    void Decrypt(uint8_t *data, size_t n);

private:
    void Update(uint8_t plain);
    uint8_t StreamByte() const;

    uint32_t m_k0 = 0x12345678u;
    uint32_t m_k1 = 0x23456789u;
    uint32_t m_k2 = 0x34567890u;
};

// The byte the last decrypted header byte must equal: the high byte of the
// CRC-32, or with a data descriptor (general-purpose flag bit 3) the high
// byte of the DOS time.
uint8_t ZipCryptCheckByte(uint16_t flags, uint32_t crc32, uint16_t dosTime);

// Tries password on the encrypted header; true and the keys positioned after
// the header when the check byte matches. An empty password never matches.
bool ZipCryptTryPassword(std::string_view password, const uint8_t (&header)[kZipCryptHeaderSize],
                         uint8_t checkByte, TZipCryptKeys &keysOut);

// Decrypting view of an input; the keys must already be past the header.
class TZipCryptInput : public DecodeInput
{
public:
    TZipCryptInput(DecodeInput &in, const TZipCryptKeys &keys) : m_in(in), m_keys(keys) {}
    int64_t Read(uint8_t *buf, int64_t max) override;

private:
    DecodeInput &m_in;
    TZipCryptKeys m_keys;
};
