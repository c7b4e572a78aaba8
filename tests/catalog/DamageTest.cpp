// Damage sweeps of the catalog reader: every prefix of a small catalog file,
// seeded byte flips, and hostile lengths and offsets at known places. A
// damaged file must be refused with a stream error or read safely (and what
// was read must save and read back the same); it must never crash, hang,
// throw anything else, or hold absurd amounts of memory.
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"

#include "GenCatalog.h"
#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QBuffer>

#include <functional>
#include <random>
#include <set>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define QUILLON_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILLON_UNDER_ASAN 1
#endif
#endif

using namespace testcat;

namespace {

// Bytes the process holds from malloc right now (glibc without a sanitizer;
// elsewhere -1: not measured).
int64_t liveHeapBytes()
{
#if defined(__GLIBC__) && !defined(QUILLON_UNDER_ASAN)
    const struct mallinfo2 mi = mallinfo2();
    return int64_t(mi.uordblks + mi.hblkhd);
#else
    return -1;
#endif
}

// A catalog that has been read must not hold more than this for a file of a
// few kilobytes: the file lists are bounded by the file.
constexpr int64_t kMemoryBound = 64 << 20;

// Smallest file entry of either layout: empty name, fixed block, empty text.
constexpr int kMinEntryBytes = 1 + kFileBlockNarrow + 2;

GenOptions tinyGen(uint64_t seed, bool wide)
{
    GenOptions o;
    o.seed = seed;
    o.disks = 2;
    o.depth = 2;
    o.fanOut = 2;
    o.filesPerFolder = 2;
    o.maxNameLen = 12;
    o.utf8Names = true;
    o.descPercent = 30;
    o.longDescs = false;
    o.categories = 2;
    o.flagNames = 1;
    o.virtualRoots = true;
    o.archivesPerDisk = 1;
    o.membersPerArchive = 2;
    o.hugeFileEvery = wide ? 7 : 0;
    return o;
}

class DamageTest : public CatalogFixture
{
protected:
    QByteArray tinyCatalogBytes(bool wide)
    {
        TTreeNode *g = GenerateCatalog(m_forest, "Tiny", tinyGen(3, wide));
        const QByteArray bytes = save(g, path("tiny.ctf"));
        closeCatalog(g);
        EXPECT_EQ(bytes.left(13), QByteArray(wide ? "Catalog 2.00" : "Catalog 1.00", 13));
        return bytes;
    }

    // Opens bytes; a refusal must be a stream error and leave no catalog.
    // Returns the catalog or null.
    TTreeNode *tryOpen(const QByteArray &bytes, QString *error = nullptr)
    {
        // A new name each time: rewriting one file over and over makes some
        // file systems flush it to disk at every close.
        const QString file = path(QStringLiteral("damaged%1.ctf").arg(++m_files));
        EXPECT_TRUE(WriteFileBytes(file, bytes));
        try {
            return ReadCatalog(m_forest, file);
        } catch (const EStreamError &e) {
            if (error)
                *error = e.message();
        } catch (const std::exception &e) {
            ADD_FAILURE() << "open threw something other than a stream error: " << e.what();
        } catch (...) {
            ADD_FAILURE() << "open threw something other than a stream error";
        }
        EXPECT_TRUE(m_forest.roots().empty()) << "a refused file leaves no catalog behind";
        return nullptr;
    }

    // Reads every part of an opened damaged catalog, checks what it holds,
    // writes it and reads the written bytes back. Returns false when a level
    // could not be read.
    bool exercise(TTreeNode *c, int64_t fileSize)
    {
        const int64_t heapBefore = liveHeapBytes();
        bool walked = true;
        try {
            LoadEverything(c);
        } catch (const EStreamError &) {
            walked = false;   // a damaged folder level: refused, the catalog stays usable
        } catch (const std::exception &e) {
            ADD_FAILURE() << "reading threw something other than a stream error: " << e.what();
            return false;
        }
        ForEachNode(c, [&](TTreeNode *n) {
            TItemRec *rec = NodeRec(n);
            ASSERT_NE(rec, nullptr);
            const size_t files = Chain(n).size();
            EXPECT_LE(int64_t(files), fileSize / kMinEntryBytes) << "more files than the file can hold";
            for (TFileRec *f : Chain(n)) {
                EXPECT_EQ(f->Node, n);
            }
        });
        if (heapBefore >= 0) {
            EXPECT_LT(liveHeapBytes() - heapBefore, kMemoryBound);
        }
        // A file list never fails: it is recovered or read.
        ForEachNode(c, [](TTreeNode *n) {
            TItemRec *rec = NodeRec(n);
            if (ItemKind(rec->KindFlags) == rkFolder || ItemKind(rec->KindFlags) == rkDisk) {
                EXPECT_NO_THROW(LoadFileList(n));
            }
        });

        const QString content = DumpCatalog(c, 0);
        QByteArray written;
        bool wrote = false;
        try {
            QBuffer out;
            out.open(QIODevice::ReadWrite);
            WriteCatalog(c, out);
            written = out.data();
            wrote = true;
        } catch (const EStreamError &) {
        } catch (const std::exception &e) {
            ADD_FAILURE() << "writing threw something other than a stream error: " << e.what();
        }
        if (walked && wrote) {
            // What was read completely saves and reads back the same.
            const QString file = path(QStringLiteral("resaved%1.ctf").arg(++m_files));
            EXPECT_TRUE(WriteFileBytes(file, written));
            TTreeNode *r = nullptr;
            try {
                r = ReadCatalog(m_forest, file);
                LoadEverything(r);
                EXPECT_EQ(DumpCatalog(r, 0), content);
            } catch (const EStreamError &e) {
                ADD_FAILURE() << "the saved copy of a readable catalog does not read: "
                              << e.message().toStdString();
            }
            if (r)
                closeCatalog(r);
        }
        return walked;
    }

    // The whole check for one damaged input; true when it opened.
    bool probe(const QByteArray &bytes)
    {
        m_prompter.messages.clear();
        TTreeNode *c = tryOpen(bytes);
        if (c) {
            exercise(c, bytes.size());
            closeCatalog(c);
        }
        for (const ScriptedPrompter::Message &m : m_prompter.messages)
            EXPECT_EQ(m.caption, QStringLiteral("Error Loading Catalog"));
        return c != nullptr;
    }

    int m_files = 0;
};

TEST_F(DamageTest, EveryPrefixIsRefusedUnlessItEndsAtARecordBoundary)
{
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "wide" : "narrow");
        const QByteArray bytes = tinyCatalogBytes(wide);
        ASSERT_LT(bytes.size(), 64 * 1024) << "keep the sweep small";

        // Where whole records end: after the catalog header and after each disk.
        std::vector<int64_t> boundaries;
        {
            TTreeNode *c = tryOpen(bytes);
            ASSERT_NE(c, nullptr);
            ASSERT_GE(c->childCount(), 2);
            boundaries.push_back(AsDisk(NodeRec(c->child(0)))->FileOffset);
            for (TTreeNode *d : c->children())
                boundaries.push_back(AsDisk(NodeRec(d))->FileOffset + AsDisk(NodeRec(d))->RecLength);
            ASSERT_EQ(boundaries.back(), bytes.size());
            closeCatalog(c);
        }
        for (int64_t len = 0; len <= bytes.size(); ++len) {
            SCOPED_TRACE(len);
            const QByteArray prefix = bytes.left(qsizetype(len));
            m_prompter.messages.clear();
            TTreeNode *c = tryOpen(prefix);
            const auto at = std::find(boundaries.begin(), boundaries.end(), len);
            if (at == boundaries.end()) {
                EXPECT_EQ(c, nullptr) << "a file cut inside a record opened";
                if (c)
                    closeCatalog(c);
                continue;
            }
            ASSERT_NE(c, nullptr) << "a file of whole records was refused";
            EXPECT_EQ(c->childCount(), int(at - boundaries.begin()));
            EXPECT_TRUE(exercise(c, len));
            EXPECT_TRUE(m_prompter.messages.empty());
            closeCatalog(c);
        }
    }
}

TEST_F(DamageTest, SeededByteFlipsAreRefusedOrReadSafely)
{
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "wide" : "narrow");
        const QByteArray bytes = tinyCatalogBytes(wide);
        const int rounds = wide ? 600 : 1500;
        int opened = 0;
        for (int seed = 1; seed <= rounds; ++seed) {
            SCOPED_TRACE(seed);
            std::mt19937 rng{uint32_t(seed)};
            QByteArray damaged = bytes;
            const int flips = 1 + int(rng() % 3);
            for (int i = 0; i < flips; ++i) {
                const qsizetype at = qsizetype(rng() % uint32_t(damaged.size()));
                damaged[at] = char(uint8_t(damaged[at]) ^ uint8_t(1 + rng() % 255));
            }
            opened += probe(damaged) ? 1 : 0;
            if (HasFatalFailure())
                return;
        }
        // Most flips land in names, texts and values, which read fine.
        EXPECT_GT(opened, rounds / 10);
        EXPECT_LT(opened, rounds);
    }
}

// ---------------------------------------------------------------- hostile fields

HandFile hf(const QByteArray &name, int64_t size, const QByteArray &desc = {})
{
    HandFile f;
    f.name = name;
    f.size = size;
    f.desc = desc;
    f.modified = 0x2F215C3Eu;
    return f;
}

HandFolder hfolder(int depth, const QByteArray &name, std::vector<HandFile> files = {})
{
    HandFolder f;
    f.depth = depth;
    f.name = name;
    f.files = std::move(files);
    return f;
}

// Disk A: three root files, F1 (two files) with F1a (one file), F2; disk B, a
// virtual root: one root file and folder G (one file).
HandCatalog hostileBase(CatalogVariant variant = CatalogVariant::Narrow)
{
    HandCatalog h;
    h.name = "Hostile";
    h.desc = "base";
    h.categories = {{"One", 1}};
    h.flagNames[1] = "flag";
    h.variant = variant;
    HandDisk a;
    a.name = "A";
    a.volumeLabel = "LABEL";
    a.fileSystem = "FAT32";
    a.rootFiles = {hf("r1.txt", 1, "d1"), hf("r2.txt", 2), hf("r3.txt", 3, "d3")};
    a.folders = {hfolder(1, "F1", {hf("f1a", 10), hf("f1b", 11, "x")}), hfolder(2, "F1a", {hf("deep", 12)}),
                 hfolder(1, "F2")};
    HandDisk b;
    b.kind = rkDisk | rfInSearch | rfVirtualRoot;
    b.name = "B";
    b.rootPath = "\\some\\where\\";
    b.outsideClusters = 9;
    b.rootFiles = {hf("b.txt", 5)};
    b.folders = {hfolder(1, "G", {hf("g.txt", 6)})};
    if (variant == CatalogVariant::Wide)
        b.folders[0].files[0].size = int64_t(6) << 32;
    h.disks = {a, b};
    return h;
}

enum class Expect { Refused, Safe };

struct HostileCase {
    const char *what;
    Expect expect;
    std::function<void(QByteArray &, const HandLayout &)> damage;
    CatalogVariant variant = CatalogVariant::Narrow;
};

TEST_F(DamageTest, HostileLengthsAndOffsetsAreRefusedOrReadSafely)
{
    using L = const HandLayout &;
    // Disk A's fields by place; the list of F1 is folder 0, F1a folder 1.
    auto diskA = [](L l) -> const HandDiskLayout & { return l.disks[0]; };
    auto diskB = [](L l) -> const HandDiskLayout & { return l.disks[1]; };
    const std::vector<HostileCase> cases = {
        {"RecLength past the end of the file", Expect::Refused,
         [&](QByteArray &b, L l) { PatchI32(b, diskB(l).recLengthAt(), int32_t(diskB(l).recLength + 1)); }},
        {"RecLength huge", Expect::Refused,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).recLengthAt(), 0x7FFFFFFF); }},
        {"RecLength zero", Expect::Refused, [&](QByteArray &b, L l) { PatchI32(b, diskA(l).recLengthAt(), 0); }},
        {"RecLength negative", Expect::Refused,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).recLengthAt(), -50); }},
        {"RecLength inside the disk header", Expect::Refused,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).recLengthAt(), 10); }},
        {"RecLength one short", Expect::Refused,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).recLengthAt(), int32_t(diskA(l).recLength - 1)); }},
        {"TreeOffset past RecLength", Expect::Refused,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).treeOffsetAt(), int32_t(diskA(l).recLength + 10)); }},
        {"TreeOffset negative", Expect::Refused,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).treeOffsetAt(), -4); }},
        {"TreeOffset zero", Expect::Refused, [&](QByteArray &b, L l) { PatchI32(b, diskA(l).treeOffsetAt(), 0); }},
        {"TreeOffset inside the header", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).treeOffsetAt(), 1); }},
        {"root FileCount huge", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).fileCountAt(), 0x7FFFFFFF); }},
        {"root FileCount negative", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).fileCountAt(), -3); }},
        {"root FileCount zero with a list", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).fileCountAt(), 0); }},
        {"root ListDescBytes above ListBytes", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).listDescBytesAt(), 100000); }},
        {"root ListDescBytes negative", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).listDescBytesAt(), -100000); }},
        {"root ListBytes huge", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).listBytesAt(), 0x7FFFFFF0); }},
        {"root ListBytes negative", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).listBytesAt(), -7); }},
        {"root ListBytes into the folder tree", Expect::Safe,
         [&](QByteArray &b, L l) {
             PatchI32(b, diskA(l).listBytesAt(), int32_t(diskA(l).recLength - (diskA(l).rootList.start - diskA(l).start)));
         }},
        {"root ListOffset past RecLength", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).listOffsetAt(), int32_t(diskA(l).recLength + 5)); }},
        {"root ListOffset negative", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).listOffsetAt(), -100); }},
        {"root ListOffset into the folder tree", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).listOffsetAt(), int32_t(diskA(l).treeOffset)); }},
        {"root ListOffset into the next disk", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).listOffsetAt(), int32_t(diskA(l).recLength + 1)); }},
        {"folder ListOffset past the record", Expect::Safe,
         [&](QByteArray &b, L l) {
             PatchI32(b, diskA(l).folders[0].block + kFbListOffset, int32_t(diskA(l).recLength + 100));
         }},
        {"folder ListOffset negative", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).folders[0].block + kFbListOffset, -2); }},
        {"folder ListBytes huge", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).folders[0].block + kFbListBytes, 0x7FFFFFFF); }},
        {"folder FileCount huge", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).folders[1].block + kFbFileCount, 0x7FFFFFFF); }},
        {"folder ListDescBytes huge", Expect::Safe,
         [&](QByteArray &b, L l) { PatchI32(b, diskA(l).folders[1].block + kFbListDescBytes, 0x7FFFFFFF); }},
        {"depth jump from 1 to 3", Expect::Safe,
         [&](QByteArray &b, L l) { PatchU8(b, diskA(l).folders[1].entry + 1, 3); }},
        {"depth 0 after the first folder", Expect::Safe,
         [&](QByteArray &b, L l) { PatchU8(b, diskA(l).folders[1].entry + 1, 0); }},
        {"first folder at depth 2", Expect::Safe,
         [&](QByteArray &b, L l) { PatchU8(b, diskA(l).folders[0].entry + 1, 2); }},
        {"depth 255", Expect::Safe, [&](QByteArray &b, L l) { PatchU8(b, diskA(l).folders[2].entry + 1, 255); }},
        {"folder name longer than the record", Expect::Refused,
         [&](QByteArray &b, L l) { PatchU16(b, diskB(l).folders[0].entry + 2, 4000); }},
        {"disk name length 0xFFFF", Expect::Refused,
         [&](QByteArray &b, L l) { PatchU16(b, diskA(l).start + 1 + kDiskBlock1, 0xFFFF); }},
        {"volume label length 255", Expect::Safe,
         [&](QByteArray &b, L l) { PatchU8(b, diskA(l).block2 + kDiskBlock2Narrow, 255); }},
        {"virtual root flag on a normal disk", Expect::Safe,
         [&](QByteArray &b, L l) { PatchU8(b, diskA(l).start, uint8_t(b[qsizetype(diskA(l).start)]) | 0x80); }},
        {"virtual root flag taken off", Expect::Safe,
         [&](QByteArray &b, L l) { PatchU8(b, diskB(l).start, uint8_t(b[qsizetype(diskB(l).start)]) & 0x7F); }},
        {"file name running past its list", Expect::Safe,
         [&](QByteArray &b, L l) { PatchU8(b, diskA(l).rootList.entries[2], 255); }},
        {"file description running past its list", Expect::Safe,
         [&](QByteArray &b, L l) {
             PatchU16(b, diskA(l).rootList.entries[2] + 1 + 6 + kFileBlockNarrow, 3000);
         }},
        {"category count above the entries", Expect::Safe,
         [&](QByteArray &b, L) { PatchU8(b, 13 + 2 + 7 + 2 + 4, 9); }},
        {"category count 0 before entries", Expect::Refused,
         [&](QByteArray &b, L) { PatchU8(b, 13 + 2 + 7 + 2 + 4, 0); }},
        {"trailing zero byte", Expect::Refused, [&](QByteArray &b, L) { b.append('\0'); }},
        {"trailing disk kind byte", Expect::Refused, [&](QByteArray &b, L) { b.append(char(rkDisk)); }},
        {"a second copy of the last disk cut short", Expect::Refused,
         [&](QByteArray &b, L l) { b.append(b.mid(qsizetype(diskB(l).start), qsizetype(diskB(l).recLength - 3))); }},
        {"wide signature on narrow data", Expect::Safe, [&](QByteArray &b, L) { b[8] = '2'; }},
        {"narrow signature on wide data", Expect::Safe, [&](QByteArray &b, L) { b[8] = '1'; },
         CatalogVariant::Wide},
        {"wide: file Size field cut by ListBytes", Expect::Safe,
         [&](QByteArray &b, L l) {
             PatchI32(b, diskB(l).folders[0].block + kFbListBytes, int32_t(diskB(l).folders[0].list.bytes - 6));
         },
         CatalogVariant::Wide},
    };
    for (const HostileCase &k : cases) {
        SCOPED_TRACE(k.what);
        HandLayout layout;
        QByteArray bytes = BuildCatalogBytes(hostileBase(k.variant), &layout);
        {
            // The undamaged base reads without complaint.
            TTreeNode *c = tryOpen(bytes);
            ASSERT_NE(c, nullptr);
            EXPECT_TRUE(exercise(c, bytes.size()));
            closeCatalog(c);
            ASSERT_TRUE(m_prompter.messages.empty());
        }
        k.damage(bytes, layout);
        if (k.expect == Expect::Refused) {
            QString error;
            TTreeNode *c = tryOpen(bytes, &error);
            EXPECT_EQ(c, nullptr) << "opened";
            if (c)
                closeCatalog(c);
        } else {
            probe(bytes);
        }
        m_prompter.messages.clear();
    }
}

TEST_F(DamageTest, A255LevelDeepTreeReadsAndSavesWhole)
{
    HandCatalog h = hostileBase();
    h.disks[0].folders.clear();
    for (int depth = 1; depth <= 255; ++depth)
        h.disks[0].folders.push_back(hfolder(depth, "L" + QByteArray::number(depth), {hf("f", depth)}));
    const QByteArray bytes = BuildCatalogBytes(h);
    TTreeNode *c = tryOpen(bytes);
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(exercise(c, bytes.size()));
    TTreeNode *n = c->child(0);
    int levels = 0;
    while (n->childCount() == 1) {
        n = n->child(0);
        ++levels;
    }
    EXPECT_EQ(levels, 255);
    EXPECT_TRUE(NodePath(n, true, false).endsWith("\\L254\\L255"));
    ASSERT_EQ(Chain(n).size(), 1u);
    EXPECT_EQ(Chain(n)[0]->Size, 255);
}

} // namespace
