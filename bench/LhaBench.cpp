// Speed of the LHA reader against lhasa on the same bytes. The decoders:
// archives made of many copies of the largest -lh5-, -lh6-, -lh7- and
// -lh1- members of the test corpus (no LHA archiver is at hand to make
// larger ones), each member decoded with its CRC-16 checked (no file
// written), against `lhasa t` of the same archive (which decodes and checks
// every member the same way). The listing: a generated archive of 10,000
// stored members with level 1 headers and a folder extension each, listed by
// TArcLister, against `lhasa l`. lhasa runs as a child process, so its
// figures include starting it (a millisecond or two); a missing lhasa is
// reported and its ratios skipped.
#include "BenchSupport.h"

#include "archive/ArcLister.h"
#include "archive/decoders/Crc32.h"
#include "archive/decoders/LhaDecoders.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kListMembers = 10000;

// The corpus folder of LHA archives: QUILLON_TESTDATA, else the shared test data beside the source tree.
QString CorpusDir()
{
    const QByteArray env = qgetenv("QUILLON_TESTDATA");
    const QString root = env.isEmpty() ? QStringLiteral(QUILLON_DEFAULT_TESTDATA) : QString::fromLocal8Bit(env);
    return root + QStringLiteral("/archives/lha");
}

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Input over memory.
class MemoryInput : public DecodeInput
{
public:
    MemoryInput(const char *data, int64_t n) : m_data(data), m_left(n) {}
    int64_t Read(uint8_t *buf, int64_t max) override
    {
        const int64_t n = std::min(max, m_left);
        std::memcpy(buf, m_data, size_t(n));
        m_data += n;
        m_left -= n;
        return n;
    }

private:
    const char *m_data;
    int64_t m_left;
};

// Output that only keeps the CRC-16, as a test of the archive does.
class CrcOutput : public DecodeOutput
{
public:
    bool Write(const uint8_t *data, size_t n) override
    {
        crc = Crc16ArcUpdate(crc, data, n);
        bytes += n;
        return true;
    }
    uint16_t crc = 0;
    uint64_t bytes = 0;
};

// One member of a corpus archive repeated: the archive's bytes and where each copy's data lies.
struct TRepeated {
    QString path;
    QByteArray method;
    uint64_t packed = 0, unpacked = 0;
    uint16_t crc = 0;
    int copies = 0;
    int64_t blobSize = 0;
    QByteArray archive;
};

// The first member of a corpus file copied `copies` times into workDir; empty path when the file is missing.
TRepeated MakeRepeated(const QString &corpusFile, int copies, const BenchWorkDir &dir)
{
    TRepeated r;
    const QByteArray bytes = ReadFile(CorpusDir() + QLatin1Char('/') + corpusFile);
    TArcLister lister;
    lister.setArchiveData(bytes, corpusFile);
    int64_t next = -1;
    lister.OnRead = [&](TArcLister *s, int64_t offset, int num) {
        if (num == 1) {
            r.packed = s->PackedSize;
            r.unpacked = s->UnpackedSize;
            r.crc = uint16_t(s->MemberCRC);
            r.method = bytes.mid(offset + 2, 5);
        }
        next = s->position;
    };
    if (bytes.isEmpty() || !lister.activate() || lister.FileNum != 1) {
        std::fprintf(stderr, "LhaBench: %s is missing or not one member\n", qPrintable(corpusFile));
        return r;
    }
    const int64_t start = lister.startOffset() - 1;
    const QByteArray blob = bytes.mid(start, next - start);
    r.blobSize = blob.size();
    r.copies = copies;
    r.archive = blob.repeated(copies) + '\0';
    r.path = dir.file(QStringLiteral("repeated-%1-x%2.lzh").arg(corpusFile).arg(copies));
    if (!WriteFile(r.path, r.archive))
        r.path.clear();
    return r;
}

// Decodes every copy from the archive file read into memory; false on a wrong CRC or status.
bool DecodeAll(const TRepeated &r)
{
    const QByteArray bytes = ReadFile(r.path);
    const TLhaMethod *method = FindLhaMethod(r.method.constData());
    DecodeParams params;
    params.packedSize = r.packed;
    params.unpackedSize = r.unpacked;
    params.dictBits = method->dictBits;
    bool ok = true;
    for (int i = 0; i < r.copies; ++i) {
        const int64_t data = int64_t(i + 1) * r.blobSize - int64_t(r.packed);
        MemoryInput in(bytes.constData() + data, int64_t(r.packed));
        CrcOutput out;
        ok = method->decode(in, out, params) == DecodeStatus::Ok && out.crc == r.crc && ok;
    }
    return ok;
}

bool RunLhasa(const QString &command, const QString &archive)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral("lhasa"), {command, archive});
    return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

void put16(QByteArray &b, uint16_t v)
{
    b += char(v & 0xFF);
    b += char(v >> 8);
}

void put32(QByteArray &b, uint32_t v)
{
    put16(b, uint16_t(v));
    put16(b, uint16_t(v >> 16));
}

// An archive of `count` stored members "fileNNNNN.txt" of 16 bytes in folders "dirNN", level 1 headers.
QByteArray MakeListArchive(int count)
{
    QByteArray out;
    const QByteArray data = "0123456789abcdef";
    const uint16_t crc = Crc16ArcUpdate(0, data.constData(), size_t(data.size()));
    for (int i = 0; i < count; ++i) {
        const QByteArray name = QByteArray("file") + QByteArray::number(i).rightJustified(5, '0') + ".txt";
        const QByteArray folder = QByteArray("dir") + QByteArray::number(i % 100).rightJustified(2, '0') + '\xFF';
        QByteArray ext;
        ext += char(0x02);
        ext += folder;
        put16(ext, 0);
        QByteArray h("\0\0-lh0-", 7);
        put32(h, uint32_t(data.size() + ext.size()));
        put32(h, uint32_t(data.size()));
        put32(h, 0x2C4D6000);   // 2002-02-13 12:00:00
        h += char(0x20);
        h += char(1);
        h += char(name.size());
        h += name;
        put16(h, crc);
        h += 'M';
        put16(h, uint16_t(ext.size()));
        h[0] = char(h.size() - 2);
        uint8_t sum = 0;
        for (qsizetype k = 2; k < h.size(); ++k)
            sum = uint8_t(sum + uint8_t(h[k]));
        h[1] = char(sum);
        out += h + ext + data;
    }
    return out + '\0';
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "the LHA reader against lhasa");
    BenchWorkDir dir(args.workDir);
    const bool haveLhasa = !QStandardPaths::findExecutable(QStringLiteral("lhasa")).isEmpty();
    if (!haveLhasa)
        std::printf("lhasa not found: its ratios are skipped (apt-get install lhasa)\n");

    std::printf("LHA decoders (every member decoded, CRC-16 checked) against lhasa t, median of %d runs\n", args.runs);
    const struct {
        const char *file;
        int copies;
    } sets[] = {
        {"lhasa_lha213_lh5_long.lzh", 20},
        {"lhasa_lha_unix114i_lh6_long.lzh", 20},
        {"lhasa_lha_unix114i_h1_lh7.lzh", 1000},
        {"lhasa_lharc113_long.lzh", 10},
    };
    int failures = 0;
    for (const auto &set : sets) {
        const TRepeated r = MakeRepeated(QString::fromLatin1(set.file), set.copies, dir);
        if (r.path.isEmpty())
            continue;
        bool ok = true, toolOk = true;
        std::vector<TimedCase> cases = {{[&] { ok = DecodeAll(r) && ok; }, {}}};
        if (haveLhasa)
            cases.push_back({[&] { toolOk = RunLhasa(QStringLiteral("t"), r.path) && toolOk; }, {}});
        const std::vector<int64_t> t = InterleavedMedians(args.runs, cases);
        const double mb = double(r.unpacked) * r.copies / 1e6;
        std::printf("  %s x%d (%s, %.1f MB): ours %.1f ms (%.0f MB/s)", set.file, set.copies, r.method.constData(), mb,
                    double(t[0]) / 1e6, mb / (double(t[0]) / 1e9));
        if (haveLhasa)
            std::printf(", lhasa %.1f ms, ratio x%.2f%s", double(t[1]) / 1e6, double(t[0]) / double(t[1]),
                        toolOk ? "" : " (lhasa failed)");
        std::printf("%s\n", ok ? "" : "  DECODE FAILED");
        failures += ok ? 0 : 1;
    }

    const QByteArray listArchive = MakeListArchive(kListMembers);
    const QString listPath = dir.file(QStringLiteral("list-%1.lzh").arg(kListMembers));
    if (!WriteFile(listPath, listArchive))
        return 1;
    int listed = 0;
    std::vector<TimedCase> cases = {{[&] {
        TArcLister lister;
        lister.setArchiveFile(listPath);
        lister.OnRead = [](TArcLister *, int64_t, int) {};
        lister.activate();
        listed = lister.FileNum;
    }, {}}};
    // The same archive held in memory: the parsing alone, without a read call per header.
    cases.push_back({[&] {
        TArcLister lister;
        lister.setArchiveData(listArchive, listPath);
        lister.OnRead = [](TArcLister *, int64_t, int) {};
        lister.activate();
    }, {}});
    if (haveLhasa)
        cases.push_back({[&] { RunLhasa(QStringLiteral("l"), listPath); }, {}});
    const std::vector<int64_t> t = InterleavedMedians(args.runs, cases);
    std::printf("LHA listing of %d members (level 1, folder extension): ours %.1f ms (from memory %.1f ms)", listed,
                double(t[0]) / 1e6, double(t[1]) / 1e6);
    if (haveLhasa)
        std::printf(", lhasa l %.1f ms, ratio x%.2f", double(t[2]) / 1e6, double(t[0]) / double(t[2]));
    std::printf("%s\n", t[0] < 50'000'000 ? " (aim: under 50 ms, met)" : " (aim: under 50 ms, MISSED)");
    return failures == 0 && listed == kListMembers ? 0 : 1;
}
