// Stored bytes to text and back.
#include "platform/Texts.h"

namespace {

// Code page 1252 positions 80h-9Fh; every other byte is the Latin-1 character.
// 0 marks the five positions the code page leaves undefined (kept as C1 controls).
const char16_t kCp1252High[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

// Code page 437 (the DOS code page of archive names, volume labels and
// description files), bytes 80h to FFh; bytes below 80h are ASCII.
const char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

} // namespace

bool AsciiOnly(QByteArrayView bytes)
{
    for (char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

char16_t Cp437Char(uchar byte)
{
    return byte < 0x80 ? char16_t(byte) : kCp437High[byte - 0x80];
}

void AppendUtf8(QByteArray &out, char32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

QByteArray DosBytesToUtf8(QByteArrayView bytes)
{
    if (bytes.isValidUtf8())
        return bytes.toByteArray();
    QByteArray out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes)
        AppendUtf8(out, Cp437Char(uchar(c)));
    return out;
}

QString DecodeDosBytes(QByteArrayView bytes)
{
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes)
        out += QChar(Cp437Char(uchar(c)));
    return out;
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
    if (bytes.isValidUtf8())
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
    if (!bytes.isValidUtf8())
        return bytes.first(maxBytes);
    qsizetype cut = maxBytes;
    while (cut > 0 && (uchar(bytes[cut]) & 0xC0) == 0x80)
        --cut;
    return bytes.first(cut);
}
