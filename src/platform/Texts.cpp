// Stored bytes to text and back.
#include "platform/Texts.h"

namespace {

// Code page 1252 positions 80h-9Fh; every other byte is the Latin-1 character.
// 0 marks the five positions the code page leaves undefined (kept as C1 controls).
const char16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

// Length of the UTF-8 sequence starting at bytes[i], or 0 when malformed.
int utf8SequenceLength(QByteArrayView bytes, qsizetype i)
{
    const auto b0 = uchar(bytes[i]);
    if (b0 < 0x80)
        return 1;
    int len;
    uint32_t cp;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4;
        cp = b0 & 0x07;
    } else {
        return 0;
    }
    if (i + len > bytes.size())
        return 0;
    for (int k = 1; k < len; ++k) {
        const auto b = uchar(bytes[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

bool AsciiOnly(QByteArrayView bytes)
{
    for (char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

bool IsValidUtf8(QByteArrayView bytes)
{
    for (qsizetype i = 0; i < bytes.size();) {
        const int len = utf8SequenceLength(bytes, i);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

QString PlainLineBreaks(const QString &text)
{
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1String("\n\r"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

QString DecodeStored(QByteArrayView bytes)
{
    if (AsciiOnly(bytes))
        return QString::fromLatin1(bytes);
    if (IsValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = uchar(c);
        if (b >= 0x80 && b < 0xA0 && kCp1252High[b - 0x80])
            out.append(QChar(kCp1252High[b - 0x80]));
        else
            out.append(QChar(b));
    }
    return out;
}

QByteArray EncodeStored(const QString &text)
{
    return text.toUtf8();
}

QByteArrayView CutAtCharBoundary(QByteArrayView bytes, int maxBytes)
{
    if (maxBytes < 0)
        maxBytes = 0;
    if (bytes.size() <= maxBytes)
        return bytes;
    if (!IsValidUtf8(bytes))
        return bytes.first(maxBytes);
    qsizetype cut = maxBytes;
    while (cut > 0 && (uchar(bytes[cut]) & 0xC0) == 0x80)
        --cut;
    return bytes.first(cut);
}
