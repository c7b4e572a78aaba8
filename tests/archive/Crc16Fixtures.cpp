// Shared fixtures of the ARC and ZOO tests.
#include "Crc16Fixtures.h"

#include "archive/ArcErrors.h"
#include "archive/ArcLister.h"

#include "ArcFixtures.h"
#include "MemoryCodec.h"
#include "Mutate.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <random>

namespace crc16fix {

namespace {

ListResult run(TArcLister &lister)
{
    ListResult r;
    lister.OnError = [&r](TZipCommon *, const QString &, const QString &, int code) { r.events.push_back(code); };
    lister.OnRead = [&r](TArcLister *s, int64_t, int) {
        r.members.push_back({s->MemberName, s->UnpackedSize, s->PackedSize, s->MemberCRC, s->MemberDosDate,
                             s->MethodCode, s->MemberComment});
        r.archiveComment = s->ArchiveComment;
    };
    lister.OnTotals = [&r](TArcLister *, int n) { r.totals = n; };
    r.ok = lister.activate();
    r.error = lister.lastError();
    return r;
}

// A code the kit may end a damaged archive with (a message of the driver's table, not "unknown error").
bool knownCode(int code)
{
    return code == 0 || (code >= 25100 && code < 25900) || code == ArcErrNothingToDo;
}

} // namespace

ListResult listFile(const QString &path)
{
    TArcLister lister;
    lister.setArchiveFile(path);
    return run(lister);
}

ListResult listBytes(const QByteArray &bytes, const QString &name)
{
    TArcLister lister;
    lister.setArchiveData(bytes, name);
    return run(lister);
}

ExtractResult extract(const MakeUnit &make, const QString &name, const QByteArray &bytes, const QString &refused)
{
    ExtractResult r;
    QTemporaryDir dir;
    EXPECT_TRUE(dir.isValid());
    std::unique_ptr<TUnBase> unit = make();
    if (bytes.isNull())
        unit->setArchiveFile(name);
    else
        unit->setArchiveData(bytes, name);
    unit->ExtractDir = dir.path();
    unit->UseStoredDirs = true;
    unit->OnError = [&r](TZipCommon *, const QString &, const QString &, int code) { r.events.push_back(code); };
    if (!refused.isEmpty())
        unit->OnBegin = [&refused](TUnBase *, const QString &fn, int, bool &wanted) {
            wanted = !fn.endsWith(QLatin1Char('/') + refused);
        };
    r.ok = unit->Extract();
    r.error = unit->lastError();
    for (const QString &rel : arcfix::filesUnder(dir.path()))
        r.files[rel] = arcfix::readAll(dir.filePath(rel));
    return r;
}

void expectListingMatches(const ListResult &got, const std::vector<testcorpus::ManifestMember> &want,
                          const char *methodKey)
{
    ASSERT_EQ(got.members.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        const Listed &g = got.members[i];
        const testcorpus::ManifestMember &w = want[i];
        SCOPED_TRACE(w.path().toStdString());
        EXPECT_EQ(QString::fromUtf8(g.name), w.path().replace(QLatin1Char('/'), QLatin1Char('\\')));
        EXPECT_EQ(qint64(g.size), w.size());
        EXPECT_EQ(qint64(g.packed), w.packed());
        EXPECT_EQ(g.crc, w.json.value(QStringLiteral("crc16")).toString().toUInt(nullptr, 16));
        // "1995-03-17 10:22:34 +0000": the stored digits, as the tools ran with TZ=UTC.
        const QString mtime = w.json.value(QStringLiteral("mtime")).toString().left(19);
        EXPECT_EQ(DosDateTimeToIso(g.dos), QString(mtime).replace(QLatin1Char(' '), QLatin1Char('T')));
        const QJsonObject raw = w.json.value(QStringLiteral("raw")).toObject();
        EXPECT_EQ(g.method, raw.value(QLatin1String(methodKey)).toInt(-1));
    }
    EXPECT_EQ(got.totals, got.ok ? int(want.size()) : -1);
}

void expectExtractionMatches(const ExtractResult &got, const testcorpus::Manifest &manifest)
{
    std::map<QString, QString> want;
    for (const testcorpus::ManifestExpected &e : manifest.expected) {
        if (e.sha256.isEmpty())
            continue;
        QString path = e.path;
        path.remove(QStringLiteral("__Parent__/"));
        want[path] = e.sha256;
    }
    std::map<QString, QString> have;
    for (const auto &[path, data] : got.files)
        have[path] = QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(have, want);
}

void sweepDamage(const QByteArray &bytes, const QString &name, const MakeUnit &make, int prefixStep, int flips)
{
    auto check = [&](const QByteArray &input, const std::string &what) {
        SCOPED_TRACE(what);
        const ListResult listed = listBytes(input, name);
        EXPECT_TRUE(listed.ok || knownCode(listed.error)) << listed.error;
        uint64_t most = 0;
        for (const Listed &m : listed.members)
            most = std::max(most, m.size);
        const ExtractResult out = extract(make, name, input);
        EXPECT_TRUE(out.ok || knownCode(out.error)) << out.error;
        for (int code : out.events)
            EXPECT_TRUE(knownCode(code)) << code;
        for (const auto &[path, data] : out.files)
            EXPECT_LE(uint64_t(data.size()), most) << path.toStdString();
    };
    for (qsizetype n = 0; n < bytes.size(); n += prefixStep)
        check(bytes.left(n), "prefix " + std::to_string(n));
    std::mt19937 rng(uint32_t(qHash(name)) ^ 0x5eed);
    for (int i = 0; i < flips; ++i)
        check(MutateSeed(bytes, rng), "mutation " + std::to_string(i));
}

QByteArray lzwCodes(std::initializer_list<int> codes, int bits)
{
    QByteArray out;
    uint64_t acc = 0;
    int n = 0;
    for (int code : codes) {
        acc |= uint64_t(code) << n;
        for (n += bits; n >= 8; n -= 8, acc >>= 8)
            out.append(char(acc & 0xFF));
    }
    if (n > 0)
        out.append(char(acc & 0xFF));
    return out;
}

DecodeStatus decodeBytes(const TDecoderEntry &entry, int method, const QByteArray &packed, uint64_t size,
                         QByteArray *got)
{
    testcodec::TMemoryInput in(reinterpret_cast<const uint8_t *>(packed.constData()), size_t(packed.size()), 7);
    testcodec::TMemoryOutput out;
    DecodeParams params;
    params.method = method;
    params.packedSize = uint64_t(packed.size());
    params.unpackedSize = size;
    const DecodeStatus status = entry.decode(in, out, params);
    EXPECT_LE(uint64_t(out.bytes.size()), size);
    if (got)
        *got = QByteArray(reinterpret_cast<const char *>(out.bytes.data()), qsizetype(out.bytes.size()));
    return status;
}

} // namespace crc16fix
