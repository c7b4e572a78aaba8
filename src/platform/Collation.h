// The locale order of names without regard to case, as every sorted list of
// the program shows it: QCollator for the user's locale, and for names of
// plain ASCII (most names) a key whose byte order is exactly the collator's,
// made by a table lookup per character instead of a call into the collator.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// The collation key of any text; compare() orders keys as the collator
// orders their texts.
class TCollationKey
{
public:
    // Negative, zero or positive.
    int compare(const TCollationKey &other) const;

private:
    friend class TCollation;
    std::optional<QCollatorSortKey> m_sortKey;   // a locale's collator
    std::string m_bytes;                         // the C locale: its byte key (TCollation::appendKey)
};

// One weight byte per ASCII character: 0 for a character the order ignores.
using TAsciiWeights = std::array<uint8_t, 128>;

// The order of texts in one locale without regard to case (the collator
// with case ignored, punctuation significant, digits not numeric). In the C
// locale it is the order of case-folded UTF-16 code units, and every text
// has a byte key.
class TCollation
{
public:
    explicit TCollation(const QLocale &locale = QLocale());

    // True when ASCII texts have keys by table (appendAsciiKey). False in a
    // locale whose collator treats ASCII letters in a way a table cannot
    // express (contractions such as "aa" or "ch", letters told apart only at
    // the accent level): there every text takes a full key.
    bool hasAsciiKeys() const { return m_ascii != nullptr; }
    // Appends the key of a text of bytes below 0x80 (only when
    // hasAsciiKeys()). Keys compared byte by byte, a key that is a prefix of
    // another first, order exactly as the collator orders the texts.
    void appendAsciiKey(QByteArrayView ascii, std::string &out) const
    {
        const TAsciiWeights &weights = *m_ascii;
        for (const char c : ascii)
            if (const uint8_t w = weights[uint8_t(c) & 0x7F])
                out.push_back(char(w));
    }
    // Appends the byte key of a stored text (bytes as catalogs hold them)
    // and returns true when this locale gives that text one: an ASCII text
    // where hasAsciiKeys(), every text in the C locale. Byte keys of one
    // locale compare as appendAsciiKey's do. False, nothing appended: the
    // text needs key().
    bool appendKey(QByteArrayView stored, std::string &out) const;
    // The full key of any text.
    TCollationKey key(const QString &text) const;
    // Compares two texts: negative, zero or positive.
    int compare(const QString &a, const QString &b) const;
    // Compares two stored texts (bytes as catalogs hold them), through the
    // ASCII keys when both are ASCII.
    int compareStored(QByteArrayView a, QByteArrayView b) const;

    // The weights in use, null when hasAsciiKeys() is false (for tests).
    const TAsciiWeights *asciiWeights() const { return m_ascii.get(); }

private:
    QCollator m_collator;
    bool m_cLocale = false;
    std::shared_ptr<const TAsciiWeights> m_ascii;
};
