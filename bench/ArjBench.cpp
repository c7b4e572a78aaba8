// Speed of the ARJ reader against the system's arj on the same bytes: the
// method 1 and method 4 decoders over one large generated file (in memory,
// the member's packed bytes fed to the decoder) against `arj t` of the same
// archive (which decodes and checks the CRC without writing), and listing a
// generated 10,000-member archive (TArcLister) against `arj l`. The tool
// runs through QProcess, so its figures include starting a process; both are
// also compared by processor time. A missing arj is reported and its ratios
// skipped (scripts/bench.sh installs it).
#include "BenchSupport.h"

#include "archive/ArcLister.h"
#include "archive/decoders/Crc32.h"
#include "archive/decoders/Decoder.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr int64_t kDataBytes = 16 << 20;   // the unpacked size of the decoded member
constexpr int kListMembers = 10000;

// Text-like bytes with repeats and some noise, so the methods have work of both kinds.
QByteArray MakeContent(int64_t size)
{
    std::mt19937 rng(7);
    static const char *words[] = {"catalog ", "disk ", "folder ", "file ", "archive ", "member ", "size ",
                                  "date ", "Quillon ", "description\r\n", "0123456789 ", "volume "};
    QByteArray out;
    out.reserve(size + 16);
    while (out.size() < size) {
        if (rng() % 8 == 0)
            out.append(char(rng() % 256));
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

QByteArray ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool RunArj(const QStringList &args, const QString &workDir)
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QStringLiteral("arj"), args);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "ArjBench: arj %s failed: %s\n", qPrintable(args.join(' ')),
                     process.readAllStandardError().constData());
        return false;
    }
    return true;
}

int64_t CpuNs(int who)
{
    struct rusage use {};
    getrusage(who, &use);
    return (int64_t(use.ru_utime.tv_sec) + use.ru_stime.tv_sec) * 1000000000 +
           (int64_t(use.ru_utime.tv_usec) + use.ru_stime.tv_usec) * 1000;
}

int64_t Median(std::vector<int64_t> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The first member of a one-member archive: where its packed bytes are and its sizes.
struct Member {
    int64_t dataAt = 0;
    uint32_t packed = 0, original = 0, crc = 0;
    int method = 0;
};

bool FirstMember(const QByteArray &a, Member &m)
{
    const auto *bytes = reinterpret_cast<const uint8_t *>(a.constData());
    auto u16 = [&](int64_t at) { return int64_t(bytes[at]) | int64_t(bytes[at + 1]) << 8; };
    auto u32 = [&](int64_t at) { return uint32_t(u16(at) | u16(at + 2) << 16); };
    int64_t at = 0;
    for (int header = 0; header < 2; ++header) {
        if (at + 40 > a.size() || bytes[at] != 0x60 || bytes[at + 1] != 0xEA)
            return false;
        const int64_t size = u16(at + 2);
        if (header == 1) {
            m.method = bytes[at + 9];
            m.packed = u32(at + 16);
            m.original = u32(at + 20);
            m.crc = u32(at + 24);
        }
        at += 4 + size + 4;
        while (at + 2 <= a.size() && u16(at) != 0)
            at += 2 + u16(at) + 4;
        at += 2;
    }
    m.dataAt = at;
    return at + m.packed <= a.size();
}

class MemoryIn : public DecodeInput
{
public:
    MemoryIn(const char *data, int64_t n) : m_data(data), m_left(n) {}
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

// Keeps the CRC-32 of what it is given, as the extractor does.
class CrcOut : public DecodeOutput
{
public:
    bool Write(const uint8_t *data, size_t n) override
    {
        crc = Crc32Update(crc, data, n);
        return true;
    }
    uint32_t crc = 0;
};

// Decodes the member; false when the result is not the stored CRC.
bool Decode(const QByteArray &archive, const Member &m)
{
    MemoryIn in(archive.constData() + m.dataAt, m.packed);
    CrcOut out;
    DecodeParams p;
    p.method = m.method;
    p.packedSize = m.packed;
    p.unpackedSize = m.original;
    p.dictBits = 16;
    const TDecoderEntry *decoder = FindArjDecoder(m.method);
    return decoder && decoder->decode(in, out, p) == DecodeStatus::Ok && out.crc == m.crc;
}

void Report(const QString &what, int64_t ours, int64_t theirs, int64_t oursCpu, int64_t theirsCpu)
{
    PrintLine(QStringLiteral("%1: ours %2, arj %3, ratio %4; processor time ours %5, arj %6, ratio %7 "
                             "(below x1: faster than arj)")
                  .arg(what, Millis(ours), Millis(theirs), Ratio(double(ours) / double(theirs)), Millis(oursCpu),
                       Millis(theirsCpu), Ratio(double(oursCpu) / double(std::max<int64_t>(1, theirsCpu)))));
}

// A stored archive of count members with 8-byte names, written here (arj would need
// as many files on disk): main header, member headers with their CRCs, the end.
QByteArray ManyMembers(int count)
{
    auto header = [](const QByteArray &name, uint8_t type, const QByteArray &data) {
        QByteArray basic;
        basic.append(char(30));
        for (uint8_t b : {uint8_t(11), uint8_t(1), uint8_t(0), uint8_t(0), uint8_t(0), type, uint8_t(0)})
            basic.append(char(b));
        auto put32 = [&basic](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                basic.append(char(v >> (8 * i)));
        };
        put32(0x2C4D6000);
        put32(uint32_t(data.size()));
        put32(uint32_t(data.size()));
        put32(Crc32Update(0, data.constData(), size_t(data.size())));
        basic.append(6, '\0');
        basic += name + '\0' + '\0';
        QByteArray out("\x60\xEA", 2);
        out.append(char(basic.size() & 0xFF));
        out.append(char(basic.size() >> 8));
        out += basic;
        const uint32_t crc = Crc32Update(0, basic.constData(), size_t(basic.size()));
        for (int i = 0; i < 4; ++i)
            out.append(char(crc >> (8 * i)));
        out.append(2, '\0');
        return out + data;
    };
    QByteArray out = header("many.arj", 2, {});
    for (int i = 0; i < count; ++i)
        out += header(QByteArray::number(10000000 + i) + ".TXT", 0, "member " + QByteArray::number(i));
    return out + QByteArray("\x60\xEA\0\0", 4);
}

int ListArchive(const QString &path)
{
    TArcLister lister;
    lister.setArchiveFile(path);
    int count = 0;
    lister.OnRead = [&count](TArcLister *, int64_t, int) { ++count; };
    lister.activate();
    return count;
}

} // namespace

int main(int argc, char **argv)
{
    const BenchArgs args = ParseBenchArgs(argc, argv, "ARJ method 1 and 4 decoding and listing against arj");
    BenchWorkDir dir(args.workDir);
    const bool haveArj = !QStandardPaths::findExecutable(QStringLiteral("arj")).isEmpty();

    PrintHeading(QStringLiteral("ARJ decoding: one member of %1 bytes").arg(Count(kDataBytes)));
    if (!haveArj) {
        PrintLine(QStringLiteral("skipped: the system arj program, which writes the archives, is missing"));
    } else {
        if (!WriteFile(dir.file(QStringLiteral("DATA.BIN")), MakeContent(kDataBytes)))
            return 1;
        for (int method : {1, 4}) {
            const QString name = QStringLiteral("m%1.arj").arg(method);
            QFile::remove(dir.file(name));
            if (!RunArj({QStringLiteral("a"), QStringLiteral("-m%1").arg(method), QStringLiteral("-y"), name,
                         QStringLiteral("DATA.BIN")},
                        dir.path()))
                return 1;
            const QByteArray archive = ReadFile(dir.file(name));
            Member m;
            if (!FirstMember(archive, m) || m.method != method || !Decode(archive, m)) {
                std::fprintf(stderr, "ArjBench: method %d member not decoded to its CRC\n", method);
                return 1;
            }
            std::vector<int64_t> oursCpu, theirsCpu;
            const std::vector<int64_t> medians = InterleavedMedians(
                args.runs, {{[&] {
                                 const int64_t before = CpuNs(RUSAGE_SELF);
                                 Decode(archive, m);
                                 oursCpu.push_back(CpuNs(RUSAGE_SELF) - before);
                             },
                             {}},
                            {[&] {
                                 const int64_t before = CpuNs(RUSAGE_CHILDREN);
                                 RunArj({QStringLiteral("t"), QStringLiteral("-y"), name}, dir.path());
                                 theirsCpu.push_back(CpuNs(RUSAGE_CHILDREN) - before);
                             },
                             {}}});
            Report(QStringLiteral("method %1 (archive %2 bytes)").arg(method).arg(Count(archive.size())), medians[0],
                   medians[1], Median(oursCpu), Median(theirsCpu));
        }
    }

    PrintHeading(QStringLiteral("ARJ listing: %1 members").arg(Count(kListMembers)));
    const QString many = dir.file(QStringLiteral("many.arj"));
    if (!WriteFile(many, ManyMembers(kListMembers)) || ListArchive(many) != kListMembers) {
        std::fprintf(stderr, "ArjBench: the generated archive does not list %d members\n", kListMembers);
        return 1;
    }
    std::vector<int64_t> oursCpu, theirsCpu;
    std::vector<TimedCase> cases{{[&] {
                                      const int64_t before = CpuNs(RUSAGE_SELF);
                                      ListArchive(many);
                                      oursCpu.push_back(CpuNs(RUSAGE_SELF) - before);
                                  },
                                  {}}};
    if (haveArj)
        cases.push_back({[&] {
                             const int64_t before = CpuNs(RUSAGE_CHILDREN);
                             RunArj({QStringLiteral("l"), QStringLiteral("-y"), many}, dir.path());
                             theirsCpu.push_back(CpuNs(RUSAGE_CHILDREN) - before);
                         },
                         {}});
    const std::vector<int64_t> medians = InterleavedMedians(args.runs, cases);
    if (haveArj)
        Report(QStringLiteral("TArcLister against arj l (aim: under 50 ms)"), medians[0], medians[1], Median(oursCpu),
               Median(theirsCpu));
    else
        PrintLine(QStringLiteral("TArcLister %1, processor time %2 (aim: under 50 ms); arj missing, no ratio")
                      .arg(Millis(medians[0]), Millis(Median(oursCpu))));
    return 0;
}
