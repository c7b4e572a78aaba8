// Speed of the ARC and ZOO readers against the system's tools on the same
// bytes: extracting a crunched (method 8) and a squashed (method 9) ARC,
// both written by the system `arc`, with TUnARC against `arc x` and
// `nomarch`; extracting a ZOO LZW member (written here, as no ZOO writer is
// packaged, and checked with `unar` first) with TUnZOO against `unar`; and listing an ARC of 10,000 members with TArcLister against
// `nomarch -l`. The tools run as child processes, so their figures include
// starting one; a missing tool is reported and its ratio skipped.
#include "BenchSupport.h"

#include "archive/ArcLister.h"
#include "archive/ArchiveTypes.h"
#include "archive/UnBase.h"
#include "archive/decoders/Crc32.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>

#include <cstdio>
#include <random>
#include <unordered_map>

namespace {

constexpr int kSourceFiles = 8;
constexpr int64_t kSourceBytes = 1 << 20; // per file
constexpr int kListMembers = 10000;

QByteArray MakeContent(std::mt19937 &rng, int64_t size)
{
    static const char *words[] = {"catalog ", "disk ", "folder ", "file ", "archive ", "member ", "size ",
                                  "date ", "Quillon ", "description\n", "0123456789 ", "volume "};
    QByteArray out;
    out.reserve(size + 16);
    while (out.size() < size) {
        if (rng() % 8 == 0)
            out.append(char('A' + rng() % 26));
        else
            out.append(words[rng() % (sizeof(words) / sizeof(words[0]))]);
    }
    out.truncate(size);
    return out;
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool Have(const char *tool)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty();
}

void Fresh(const QString &folder)
{
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
}

// The bytes of every file below folder, by name.
std::map<QString, QByteArray> FilesBelow(const QString &folder)
{
    std::map<QString, QByteArray> out;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        out[QFileInfo(path).fileName().toUpper()] = f.readAll();
    }
    return out;
}

void Extract(TUnBase &unit, const QString &archive, const QString &dest)
{
    unit.setArchiveFile(archive);
    unit.ExtractDir = dest;
    unit.OnFileExists = [](TUnBase *, const QString &, bool &accept) { accept = true; };
    if (!unit.Extract()) {
        std::fprintf(stderr, "ArcZooBench: extracting %s failed (%d)\n", qPrintable(archive), unit.lastError());
        std::exit(1);
    }
}

void PrintVersus(const QString &what, int64_t oursNs, int64_t theirsNs, const QString &tool)
{
    PrintLine(QStringLiteral("%1: %2, %3 %4, ratio %5 (below x1: faster than the tool)")
                  .arg(what, Millis(oursNs), tool, Millis(theirsNs), Ratio(double(oursNs) / double(theirsNs))));
}

// ZOO's LZW written the way its decoder reads it: 9 to 13 bits low bits first, a clear code in
// front and whenever the table is full, the end code last. The decoder makes each string one
// code later than the coder, so the code width follows the decoder's count.
QByteArray ZooLzw(const QByteArray &data)
{
    QByteArray out;
    uint64_t acc = 0;
    int fill = 0;
    int width = 9;
    int maxCode = 512;
    int decoderFree = 258;
    int emitted = 0;
    auto put = [&](int code) {
        acc |= uint64_t(code) << fill;
        for (fill += width; fill >= 8; fill -= 8, acc >>= 8)
            out.append(char(acc & 0xFF));
    };
    auto emitCode = [&](int code) {
        put(code);
        if (++emitted >= 2 && decoderFree < 8192) {
            ++decoderFree;
            if (decoderFree >= maxCode && width < 13) {
                ++width;
                maxCode <<= 1;
            }
        }
    };
    std::unordered_map<uint32_t, int> table;
    int next = 258;
    auto clear = [&] {
        put(256);
        table.clear();
        next = 258;
        width = 9;
        maxCode = 512;
        decoderFree = 258;
        emitted = 0;
    };
    clear();
    if (data.isEmpty()) {
        put(257);
    } else {
        int w = uint8_t(data[0]);
        for (qsizetype i = 1; i < data.size(); ++i) {
            const uint8_t k = uint8_t(data[i]);
            const uint32_t key = uint32_t(w) << 8 | k;
            auto it = table.find(key);
            if (it != table.end()) {
                w = it->second;
                continue;
            }
            emitCode(w);
            table.emplace(key, next++);
            w = k;
            if (next == 8192) {
                clear();
            }
        }
        emitCode(w);
        put(257);
    }
    if (fill > 0)
        out.append(char(acc & 0xFF));
    return out;
}

void Put16(QByteArray &b, uint16_t v)
{
    char x[2];
    qToLittleEndian(v, x);
    b.append(x, 2);
}

void Put32(QByteArray &b, uint32_t v)
{
    char x[4];
    qToLittleEndian(v, x);
    b.append(x, 4);
}

// A ZOO archive of LZW members (entries of the first type, 51 bytes), then the chain's end.
QByteArray ZooArchive(const std::vector<std::pair<QByteArray, QByteArray>> &files)
{
    QByteArray b = QByteArray("ZOO 2.10 Archive.\x1A").leftJustified(20, '\0');
    Put32(b, 0xFDC4A7DC);
    Put32(b, 34);
    Put32(b, uint32_t(-34));
    b.append('\x01').append('\x04');
    for (const auto &[name, data] : files) {
        const QByteArray packed = ZooLzw(data);
        const uint32_t at = uint32_t(b.size());
        Put32(b, 0xFDC4A7DC);
        b.append('\x01').append('\x01');
        Put32(b, at + 51 + uint32_t(packed.size()));
        Put32(b, at + 51);
        Put16(b, (14 << 9) | (6 << 5) | 15);
        Put16(b, 0);
        Put16(b, Crc16ArcUpdate(0, data.constData(), size_t(data.size())));
        Put32(b, uint32_t(data.size()));
        Put32(b, uint32_t(packed.size()));
        b.append('\x01').append('\x00').append('\x00').append('\x00');
        Put32(b, 0);
        Put16(b, 0);
        b.append(name.leftJustified(13, '\0', true));
        b += packed;
    }
    Put32(b, 0xFDC4A7DC);
    b.append(QByteArray(47, '\0'));
    return b;
}

// An ARC of count stored members of 1 to 64 bytes each.
QByteArray ManyMemberArc(int count)
{
    QByteArray b;
    std::mt19937 rng(7);
    for (int i = 0; i < count; ++i) {
        const QByteArray data = MakeContent(rng, 1 + rng() % 64);
        b.append('\x1A').append('\x02');
        b.append(QByteArray("F%1.TXT").replace("%1", QByteArray::number(i)).leftJustified(13, '\0', true));
        Put32(b, uint32_t(data.size()));
        Put16(b, (14 << 9) | (6 << 5) | 15);
        Put16(b, 0);
        Put16(b, Crc16ArcUpdate(0, data.constData(), size_t(data.size())));
        Put32(b, uint32_t(data.size()));
        b += data;
    }
    return b.append('\x1A').append('\0');
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args =
        ParseBenchArgs(argc, argv, "ARC and ZOO extraction against arc, nomarch and unar; listing a 10,000-member ARC");
    BenchWorkDir dir(args.workDir);

    // The source files, the same for every archive.
    const QString src = dir.file(QStringLiteral("arczoo-src"));
    Fresh(src);
    std::mt19937 rng(7);
    std::vector<std::pair<QByteArray, QByteArray>> files;
    QStringList names;
    for (int i = 0; i < kSourceFiles; ++i) {
        const QByteArray name = "FILE" + QByteArray::number(i) + ".TXT";
        files.emplace_back(name, MakeContent(rng, kSourceBytes));
        if (!WriteFile(src + QLatin1Char('/') + QString::fromLatin1(name), files.back().second))
            return 1;
        names << QString::fromLatin1(name);
    }
    const int64_t total = kSourceFiles * kSourceBytes;
    std::map<QString, QByteArray> expected;
    for (const auto &[name, data] : files)
        expected[QString::fromLatin1(name)] = data;

    const QString ours = dir.file(QStringLiteral("arczoo-ours"));
    const QString theirs = dir.file(QStringLiteral("arczoo-theirs"));
    if (!Have("arc")) {
        PrintHeading(QStringLiteral("ARC extraction"));
        PrintLine(QStringLiteral("skipped: the system arc program, which writes the test archives, is missing"));
    } else {
        for (const char *mode : {"a", "aq"}) {
            const bool squash = QByteArray(mode) == "aq";
            const QString archive = dir.file(squash ? QStringLiteral("squashed.arc") : QStringLiteral("crunched.arc"));
            QFile::remove(archive);
            if (!RunBenchTool(QStringLiteral("arc"), QStringList{QString::fromLatin1(mode), archive} + names, src))
                return 1;
            PrintHeading(QStringLiteral("ARC %1: %2 files, %3 bytes unpacked, archive %4 bytes")
                             .arg(squash ? QStringLiteral("squashed (method 9)") : QStringLiteral("crunched (method 8)"))
                             .arg(kSourceFiles).arg(Count(total)).arg(Count(QFileInfo(archive).size())));
            Fresh(ours);
            std::unique_ptr<TUnBase> unit = MakeUnARC();
            Extract(*unit, archive, ours);
            if (FilesBelow(ours) != expected) {
                std::fprintf(stderr, "ArcZooBench: TUnARC wrote other bytes than the sources\n");
                return 1;
            }
            std::vector<TimedCase> cases;
            cases.push_back({[&] { Extract(*unit, archive, ours); }, [&] { Fresh(ours); }});
            cases.push_back({[&] { RunBenchTool(QStringLiteral("arc"), {QStringLiteral("xo"), archive}, theirs); },
                             [&] { Fresh(theirs); }});
            const bool nomarch = Have("nomarch");
            if (nomarch)
                cases.push_back({[&] { RunBenchTool(QStringLiteral("nomarch"), {archive}, theirs); }, [&] { Fresh(theirs); }});
            const std::vector<int64_t> t = InterleavedMedians(args.runs, cases);
            PrintVersus(QStringLiteral("extraction (TUnARC)"), t[0], t[1], QStringLiteral("arc xo"));
            if (nomarch)
                PrintVersus(QStringLiteral("extraction (TUnARC)"), t[0], t[2], QStringLiteral("nomarch"));
            else
                PrintLine(QStringLiteral("nomarch is missing: its ratio is skipped"));
        }
    }

    {
        // One member of all the sources: unar 1.10 crashes on the second LZW member of an archive.
        QByteArray all;
        for (const auto &file : files)
            all += file.second;
        const std::map<QString, QByteArray> expected = {{QStringLiteral("ALL.TXT"), all}};
        const QString archive = dir.file(QStringLiteral("lzw.zoo"));
        if (!WriteFile(archive, ZooArchive({{"ALL.TXT", all}})))
            return 1;
        PrintHeading(QStringLiteral("ZOO LZW (method 1): 1 file, %1 bytes unpacked, archive %2 bytes")
                         .arg(Count(total)).arg(Count(QFileInfo(archive).size())));
        Fresh(ours);
        std::unique_ptr<TUnBase> unit = MakeUnZOO();
        Extract(*unit, archive, ours);
        if (FilesBelow(ours) != expected) {
            std::fprintf(stderr, "ArcZooBench: TUnZOO wrote other bytes than the sources\n");
            return 1;
        }
        std::vector<TimedCase> cases;
        cases.push_back({[&] { Extract(*unit, archive, ours); }, [&] { Fresh(ours); }});
        const bool unar = Have("unar");
        if (unar) {
            // The archive written here is checked by the reference tool before it is timed.
            Fresh(theirs);
            RunBenchTool(QStringLiteral("unar"), {QStringLiteral("-q"), QStringLiteral("-f"), QStringLiteral("-D"),
                                             QStringLiteral("-o"), theirs, archive},
                    theirs);
            if (FilesBelow(theirs) != expected) {
                std::fprintf(stderr, "ArcZooBench: unar does not read the generated ZOO as its sources\n");
                return 1;
            }
            cases.push_back({[&] {
                                 RunBenchTool(QStringLiteral("unar"), {QStringLiteral("-q"), QStringLiteral("-f"),
                                                                  QStringLiteral("-D"), QStringLiteral("-o"), theirs,
                                                                  archive},
                                         theirs);
                             },
                             [&] { Fresh(theirs); }});
        }
        const std::vector<int64_t> t = InterleavedMedians(args.runs, cases);
        if (unar)
            PrintVersus(QStringLiteral("extraction (TUnZOO)"), t[0], t[1], QStringLiteral("unar"));
        else
            PrintLine(QStringLiteral("extraction (TUnZOO): %1; unar is missing: its ratio is skipped").arg(Millis(t[0])));
    }

    {
        const QString archive = dir.file(QStringLiteral("many.arc"));
        if (!WriteFile(archive, ManyMemberArc(kListMembers)))
            return 1;
        PrintHeading(QStringLiteral("ARC listing: %1 stored members, archive %2 bytes")
                         .arg(Count(kListMembers)).arg(Count(QFileInfo(archive).size())));
        int members = 0;
        auto list = [&] {
            TArcLister lister;
            lister.setArchiveFile(archive);
            members = 0;
            lister.OnRead = [&members](TArcLister *, int64_t, int) { ++members; };
            if (!lister.activate()) {
                std::fprintf(stderr, "ArcZooBench: listing failed (%d)\n", lister.lastError());
                std::exit(1);
            }
        };
        std::vector<TimedCase> cases;
        cases.push_back({list, {}});
        const bool nomarch = Have("nomarch");
        if (nomarch)
            cases.push_back({[&] { RunBenchTool(QStringLiteral("nomarch"), {QStringLiteral("-l"), archive}, dir.path()); }, {}});
        const std::vector<int64_t> t = InterleavedMedians(args.runs, cases);
        PrintLine(QStringLiteral("members listed: %1 (aim: under 50 ms)").arg(Count(members)));
        if (nomarch)
            PrintVersus(QStringLiteral("listing (TArcLister)"), t[0], t[1], QStringLiteral("nomarch -l"));
        else
            PrintLine(QStringLiteral("listing (TArcLister): %1; nomarch is missing").arg(Millis(t[0])));
    }
    return 0;
}
