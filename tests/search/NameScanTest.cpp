// "Part of Filename" without regard to case over ASCII names, held to a
// plain search of the upper-cased name: the needle at every place of names
// of every length up to past a few words, needles of one to past eight
// bytes, near misses (the first byte or the first two alone), and bytes
// past the name that must not be found.
#include "search/Criteria.h"

#include "catalog/CatalogRec.h"

#include <gtest/gtest.h>

#include <QDate>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

struct FileDeleter {
    void operator()(TFileRec *rec) const { FreeFileRec(rec); }
};
using FilePtr = std::unique_ptr<TFileRec, FileDeleter>;

TSearchCriteria PartOfName(const QString &text)
{
    TSearchWork work;
    ResetCriteria(work, QDate(2024, 5, 17));
    work.byName = true;
    work.setNameMode(nmPartOfName);
    work.setNameText(text);
    std::optional<TSearchCriteria> c = TakeCriteriaSnapshot(work, {}, nullptr);
    EXPECT_TRUE(c.has_value());
    return c.value_or(TSearchCriteria());
}

bool Expected(QByteArray name, const QByteArray &needle)
{
    return name.toUpper().contains(needle.toUpper());
}

// A name of len bytes of filler with text at place (cut at the name's end).
QByteArray NameWith(int len, int place, const QByteArray &text, char filler)
{
    QByteArray name(len, filler);
    for (int i = 0; i < text.size() && place + i < len; ++i)
        name[place + i] = text[i];
    return name;
}

struct NeedleCase {
    const char *needle;    // as typed
    const char *partial;   // a near miss: the needle's start with another byte after it
};

const NeedleCase kNeedles[] = {
    {"q", "z"},   {"Qz", "Qy"},        {"qZx", "qzy"},           {"DATA RE", "DATA Rx"},
    {"abcdefgh", "abcdefgX"}, {"abcdefghi", "abXdefghi"}, {"report.txt", "reportXtxt"},
    {"a_b-c", "a_b-d"},
};

TEST(NameScan, NeedleAtEveryPlaceOfEveryLength)
{
    for (const NeedleCase &nc : kNeedles) {
        const QByteArray needle(nc.needle);
        const TSearchCriteria c = PartOfName(QString::fromLatin1(needle));
        for (int len = 0; len <= 40; ++len) {
            for (int place = 0; place <= len; ++place) {
                for (const QByteArray &text : {needle.toLower(), needle.toUpper(), QByteArray(nc.partial),
                                               QByteArray(nc.partial).toLower()}) {
                    for (char filler : {'m', '1'}) {
                        const QByteArray name = NameWith(len, place, text, filler);
                        FilePtr f(NewFileRec(name));
                        EXPECT_EQ(MatchFile(c, f.get(), nullptr), Expected(name, needle))
                            << "needle \"" << nc.needle << "\" name \"" << name.constData() << "\"";
                    }
                }
            }
        }
    }
}

TEST(NameScan, LongestNames)
{
    const QByteArray needle("tail");
    const TSearchCriteria c = PartOfName(QString::fromLatin1(needle));
    for (int len : {247, 248, 249, 250, 254, 255}) {
        for (int place : {0, len - 5, len - 4, len - 3, len - 1}) {
            const QByteArray name = NameWith(len, place, "TaIl", 'x');
            FilePtr f(NewFileRec(name));
            EXPECT_EQ(MatchFile(c, f.get(), nullptr), Expected(name, needle)) << len << " " << place;
        }
    }
}

// Bytes of the record after the name (the next record of a list block)
// are never part of it.
TEST(NameScan, BytesAfterTheNameAreNotFound)
{
    const TSearchCriteria c = PartOfName(QStringLiteral("abcd"));
    for (int len = 1; len <= 20; ++len) {
        std::vector<char> block(FileRecStride(64), 'x');
        auto *f = reinterpret_cast<TFileRec *>(block.data());
        InitFileRec(f, NameWith(64, std::max(0, len - 2), "abcd", 'z'));
        f->NameLen = uint8_t(len);   // the name ends inside the needle
        EXPECT_FALSE(Expected(f->name().toByteArray(), "abcd"));
        EXPECT_FALSE(MatchFile(c, f, nullptr)) << len;
    }
}

} // namespace
