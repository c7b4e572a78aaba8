// "Part of Filename" without regard to case, held to a plain search of the
// upper-cased name: the needle at every place of names of every length up to
// past a few 8- and 16-byte words, needles of one to past sixteen bytes, near
// misses (the first and last bytes alone, the first two alone), names with
// bytes of 80h and above, bytes past the name that must not be found, and
// the test of whole chains; the same for entries of a list not read yet, in
// its read buffer (the test of a cold search).
#include "search/Criteria.h"

#include "catalog/CatalogRec.h"

#include <gtest/gtest.h>

#include "catalog/LoadSave.h"

#include <QDate>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

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

// A page of read buffer between two pages that cannot be read, as a file
// list's read buffer may lie: a name at its very start, and one at its very
// end after other bytes of the buffer, tested as entries of a list not read
// yet. A read outside the page ends the test.
class GuardedBuffer
{
public:
    GuardedBuffer()
        : m_page(size_t(sysconf(_SC_PAGESIZE))),
          m_base(static_cast<char *>(
              mmap(nullptr, 3 * m_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)))
    {
        if (m_base == MAP_FAILED) {
            m_base = nullptr;
            ADD_FAILURE() << "no guarded buffer";
            return;
        }
        mprotect(m_base, m_page, PROT_NONE);
        mprotect(m_base + 2 * m_page, m_page, PROT_NONE);
    }
    ~GuardedBuffer()
    {
        if (m_base)
            munmap(m_base, 3 * m_page);
    }
    GuardedBuffer(const GuardedBuffer &) = delete;
    GuardedBuffer &operator=(const GuardedBuffer &) = delete;

    // MatchFileEntry on name at the buffer's start, nothing before it.
    bool atStart(const TSearchCriteria &c, const QByteArray &name)
    {
        char *at = m_base + m_page;
        std::memcpy(at, name.constData(), size_t(name.size()));
        return test(c, QByteArrayView(at, name.size()), 0);
    }
    // MatchFileEntry on name at the buffer's end, after before's bytes.
    bool atEnd(const TSearchCriteria &c, const QByteArray &before, const QByteArray &name)
    {
        char *at = m_base + 2 * m_page - name.size();
        std::memcpy(at - before.size(), before.constData(), size_t(before.size()));
        std::memcpy(at, name.constData(), size_t(name.size()));
        return test(c, QByteArrayView(at, name.size()), int(before.size()));
    }

private:
    static bool test(const TSearchCriteria &c, QByteArrayView name, int bytesBefore)
    {
        TFileEntryView entry;
        entry.name = name;
        entry.bytesBefore = bytesBefore;
        entry.kindFlags = rkFile;
        return MatchFileEntry(c, entry, nullptr);
    }

    size_t m_page;
    char *m_base;
};

// The bytes a list holds before an entry's name, made of the needle so that
// a window reaching before the name would find it: the needle itself right
// before the name (the length byte's place), the filler before that.
QByteArray BytesBefore(const QByteArray &needle)
{
    return QByteArray(16, 'x') + needle.toLower();
}

struct NeedleCase {
    const char *needle;    // as typed
    const char *partial;   // a near miss: the needle's start with another byte after it
};

const NeedleCase kNeedles[] = {
    {"q", "z"},   {"Qz", "Qy"},        {"qZx", "qzy"},           {"DATA RE", "DATA Rx"},
    {"abcdefgh", "abcdefgX"}, {"abcdefghi", "abXdefghi"}, {"report.txt", "reportXtxt"},
    {"a_b-c", "a_b-d"},       {"abcdefghijklmnop", "abcdefgXijklmnop"},
    {"rePort 2024.finaL", "report 2024Xfinal"}, {"a.b", "a.B"},   {"@[`{", "`{@["},
};

TEST(NameScan, NeedleAtEveryPlaceOfEveryLength)
{
    GuardedBuffer buffer;
    for (const NeedleCase &nc : kNeedles) {
        const QByteArray needle(nc.needle);
        const TSearchCriteria c = PartOfName(QString::fromLatin1(needle));
        for (int len = 0; len <= 50; ++len) {
            for (int place = 0; place <= len; ++place) {
                for (const QByteArray &text : {needle.toLower(), needle.toUpper(), QByteArray(nc.partial),
                                               QByteArray(nc.partial).toLower()}) {
                    for (char filler : {'m', '1'}) {
                        const QByteArray name = NameWith(len, place, text, filler);
                        FilePtr f(NewFileRec(name));
                        const bool expected = Expected(name, needle);
                        EXPECT_EQ(MatchFile(c, f.get(), nullptr), expected)
                            << "needle \"" << nc.needle << "\" name \"" << name.constData() << "\"";
                        EXPECT_EQ(buffer.atStart(c, name), expected)
                            << "entry, needle \"" << nc.needle << "\" name \"" << name.constData() << "\"";
                        EXPECT_EQ(buffer.atEnd(c, BytesBefore(needle), name), expected)
                            << "entry, needle \"" << nc.needle << "\" name \"" << name.constData() << "\"";
                    }
                }
            }
        }
    }
}

// Names with bytes of 80h and above, valid UTF-8 or not: a place of ASCII
// bytes matches as in an ASCII name, and characters whose upper case is
// ASCII ("ı" gives "I", "ſ" gives "S") match through the decoded name.
TEST(NameScan, NamesBeyondAscii)
{
    GuardedBuffer buffer;
    const auto expected = [](const QByteArray &name, const QByteArray &needle) {
        if (!QByteArrayView(name).isValidUtf8())
            return name.toUpper().contains(needle.toUpper());   // other bytes never fold to ASCII
        return QString::fromUtf8(name).toUpper().contains(QString::fromLatin1(needle).toUpper());
    };
    const QByteArray fillers[] = {"\xC3\xA9", "\xFF", "x\xE2\x82\xAC"};
    for (const char *typed : {"q", "it", "DATA RE", "abcdefgh", "abcdefghi", "abcdefghijklmnop",
                              "rePort 2024.finaL"}) {
        const QByteArray needle(typed);
        const TSearchCriteria c = PartOfName(QString::fromLatin1(needle));
        for (const QByteArray &filler : fillers) {
            for (int len = 0; len <= 40; ++len) {
                QByteArray base;
                while (base.size() < len)
                    base.append(filler);
                base.truncate(len);
                for (int place = 0; place <= len; ++place) {
                    for (const QByteArray &text : {needle.toLower(), QByteArray("\xC4\xB1t"), QByteArray("\xC5\xBF")}) {
                        QByteArray name = base;
                        name.replace(place, text.size(), text);
                        name.truncate(len);
                        FilePtr f(NewFileRec(name));
                        const bool want = expected(name, needle);
                        EXPECT_EQ(MatchFile(c, f.get(), nullptr), want)
                            << "needle \"" << typed << "\" name " << name.toHex().constData();
                        EXPECT_EQ(buffer.atStart(c, name), want)
                            << "entry, needle \"" << typed << "\" name " << name.toHex().constData();
                        EXPECT_EQ(buffer.atEnd(c, BytesBefore(needle), name), want)
                            << "entry, needle \"" << typed << "\" name " << name.toHex().constData();
                    }
                }
            }
        }
    }
    // The decoded upper case only: "ıt" and "ſ" in otherwise ASCII names.
    EXPECT_TRUE(MatchFile(PartOfName("IT"), FilePtr(NewFileRec("my \xC4\xB1tem")).get(), nullptr));
    EXPECT_TRUE(MatchFile(PartOfName("s"), FilePtr(NewFileRec("\xC5\xBF")).get(), nullptr));
    EXPECT_FALSE(MatchFile(PartOfName("s"), FilePtr(NewFileRec("\xC3\xA9")).get(), nullptr));
}

// A chain tested in runs of any length finds what the files tested one by
// one find, and leaves the chain where the run stopped; the same for
// criteria beyond the name.
TEST(NameScan, ChainRunsFindWhatEachFileFinds)
{
    std::vector<FilePtr> files;
    for (int i = 0; i < 300; ++i) {
        QByteArray name = QByteArray("file ") + QByteArray::number(i);
        if (i % 7 == 3)
            name += " Data Report";
        if (i % 11 == 5)
            name.prepend("\xC3\xA9 ");
        files.emplace_back(NewFileRec(name));
        files.back()->Size = i;
        if (i > 0)
            files[size_t(i) - 1]->Next = files.back().get();
    }
    files.back()->Next = nullptr;
    TSearchWork bySize;
    ResetCriteria(bySize, QDate(2024, 5, 17));
    bySize.bySize = true;
    bySize.sizeOp = soSmaller;
    bySize.size1 = TSizeField{QStringLiteral("40"), SizeUnit::Bytes};
    const std::optional<TSearchCriteria> sizeCriteria = TakeCriteriaSnapshot(bySize, {}, nullptr);
    ASSERT_TRUE(sizeCriteria.has_value());
    for (const TSearchCriteria &c : {PartOfName("data rep"), PartOfName("9"), *sizeCriteria}) {
        std::vector<TFileRec *> each;
        for (const FilePtr &f : files)
            if (MatchFile(c, f.get(), nullptr))
                each.push_back(f.get());
        ASSERT_FALSE(each.empty());
        for (int limit : {1, 2, 5, 127, 1000}) {
            std::vector<TFileRec *> runs;
            int testedAll = 0;
            for (TFileRec *file = files.front().get(); file;) {
                TFileRec *before = file;
                int tested = 0;
                TFileRec *hit = MatchInChain(c, file, limit, nullptr, tested);
                ASSERT_GE(tested, 1);
                ASSERT_LE(tested, limit);
                testedAll += tested;
                // The file after the last one tested.
                TFileRec *next = before;
                for (int i = 0; i < tested; ++i)
                    next = next->Next;
                EXPECT_EQ(file, next);
                if (hit) {
                    EXPECT_EQ(hit->Next, next);
                    runs.push_back(hit);
                } else {
                    EXPECT_TRUE(tested == limit || next == nullptr);
                }
            }
            EXPECT_EQ(testedAll, int(files.size())) << limit;
            EXPECT_EQ(runs, each) << limit;
        }
    }
}

TEST(NameScan, LongestNames)
{
    GuardedBuffer buffer;
    const QByteArray needle("tail");
    const TSearchCriteria c = PartOfName(QString::fromLatin1(needle));
    for (int len : {247, 248, 249, 250, 254, 255}) {
        for (int place : {0, len - 5, len - 4, len - 3, len - 1}) {
            const QByteArray name = NameWith(len, place, "TaIl", 'x');
            FilePtr f(NewFileRec(name));
            EXPECT_EQ(MatchFile(c, f.get(), nullptr), Expected(name, needle)) << len << " " << place;
            EXPECT_EQ(buffer.atStart(c, name), Expected(name, needle)) << "entry " << len << " " << place;
            EXPECT_EQ(buffer.atEnd(c, BytesBefore(needle), name), Expected(name, needle))
                << "entry " << len << " " << place;
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

// Nor are the record's own bytes before the name: a name of 65 bytes has
// "A" as its length byte, and the bytes before that are made the start of
// the needle.
TEST(NameScan, BytesBeforeTheNameAreNotFound)
{
    const QByteArray name = NameWith(65, 0, "bc", 'm');
    for (int before = 0; before <= 14; ++before) {
        const QByteArray needle = QByteArray(before, 'x') + "Abc";
        const TSearchCriteria c = PartOfName(QString::fromLatin1(needle));
        std::vector<char> block(FileRecStride(65), 'x');
        auto *f = reinterpret_cast<TFileRec *>(block.data());
        InitFileRec(f, name);
        ASSERT_EQ(f->NameBytes[-1], 'A');
        std::memset(f->NameBytes - 1 - before, 'x', size_t(before));   // fixed fields only, no pointer
        EXPECT_FALSE(Expected(name, needle));
        EXPECT_FALSE(MatchFile(c, f, nullptr)) << before;
        TFileRec *chain = f;
        int tested = 0;
        EXPECT_EQ(MatchInChain(c, chain, 1, nullptr, tested), nullptr) << before;
        // The same bytes before an entry's name in a list's read buffer.
        GuardedBuffer buffer;
        EXPECT_FALSE(buffer.atEnd(c, QByteArray(16, 'm') + QByteArray(before, 'x') + "A", name)) << before;
    }
}

} // namespace
