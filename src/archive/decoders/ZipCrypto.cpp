// Traditional PKWARE encryption: key schedule, header check, decrypting input.
#include "archive/decoders/ZipCrypto.h"

#include "archive/decoders/Crc32.h"

#include <algorithm>

TZipCryptKeys::TZipCryptKeys(std::string_view password)
{
    for (char c : password)
        Update(static_cast<uint8_t>(c));
}

void TZipCryptKeys::Update(uint8_t plain)
{
    m_k0 = Crc32Step(m_k0, plain);
    m_k1 = (m_k1 + (m_k0 & 0xFF)) * 134775813u + 1;
    m_k2 = Crc32Step(m_k2, static_cast<uint8_t>(m_k1 >> 24));
}

uint8_t TZipCryptKeys::StreamByte() const
{
    const uint32_t t = (m_k2 | 2) & 0xFFFF;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

void TZipCryptKeys::Decrypt(uint8_t *data, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        const uint8_t plain = data[i] ^ StreamByte();
        Update(plain);
        data[i] = plain;
    }
}

uint8_t ZipCryptCheckByte(uint16_t flags, uint32_t crc32, uint16_t dosTime)
{
    return (flags & 0x0008) ? static_cast<uint8_t>(dosTime >> 8) : static_cast<uint8_t>(crc32 >> 24);
}

bool ZipCryptTryPassword(std::string_view password, const uint8_t (&header)[kZipCryptHeaderSize],
                         uint8_t checkByte, TZipCryptKeys &keysOut)
{
    if (password.empty())
        return false;
    TZipCryptKeys keys(password);
    uint8_t plain[kZipCryptHeaderSize];
    std::copy(header, header + kZipCryptHeaderSize, plain);
    keys.Decrypt(plain, kZipCryptHeaderSize);
    if (plain[kZipCryptHeaderSize - 1] != checkByte)
        return false;
    keysOut = keys;
    return true;
}

int64_t TZipCryptInput::Read(uint8_t *buf, int64_t max)
{
    const int64_t got = m_in.Read(buf, max);
    if (got <= 0)
        return 0;
    const int64_t n = std::min(got, max);
    m_keys.Decrypt(buf, static_cast<size_t>(n));
    return n;
}
