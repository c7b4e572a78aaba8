// Shared fixtures of the ARC and ZOO tests (the CRC-16 formats): listing and
// extracting an archive into plain results, comparing them with a corpus
// manifest, and the damage sweep every reader is held to.
#pragma once

#include "archive/UnBase.h"
#include "archive/decoders/Decoder.h"

#include "Manifest.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <vector>

namespace crc16fix {

struct Listed {
    QByteArray name;
    uint64_t size = 0;
    uint64_t packed = 0;
    uint32_t crc = 0;
    uint32_t dos = 0;
    int method = 0;
    QByteArray comment;
};

struct ListResult {
    bool ok = false;
    int error = 0;
    std::vector<Listed> members;
    QByteArray archiveComment;
    std::vector<int> events; // codes passed to OnError
    int totals = -1;
};

// Lists an archive file, or bytes held in memory as if they were the file name.
ListResult listFile(const QString &path);
ListResult listBytes(const QByteArray &bytes, const QString &name);

struct ExtractResult {
    bool ok = false;
    int error = 0;
    std::vector<int> events;
    std::map<QString, QByteArray> files; // relative path ("/") to contents
};

using MakeUnit = std::function<std::unique_ptr<TUnBase>()>;

// Extracts every member with stored folders into a fresh temporary folder and reads back
// what was written. The archive is a file (bytes null) or bytes named name. OnBegin refuses
// the member whose output path ends in refused, when given.
ExtractResult extract(const MakeUnit &make, const QString &name, const QByteArray &bytes = {},
                      const QString &refused = {});

// The listing against one tool's members from the manifest: names ("/" as "\"), sizes,
// packed sizes, CRC-16, the stored date-time (lsar's "mtime", printed with TZ=UTC, is the
// stored local time) and the method (lsar's raw field methodKey).
void expectListingMatches(const ListResult &got, const std::vector<testcorpus::ManifestMember> &want,
                          const char *methodKey);

// The extracted files against the manifest's verified bytes: every verified member is there
// with its SHA-256, nothing else is written. A parent folder that the reference tools spelled
// "__Parent__" is dropped here, as the frame drops "..".
void expectExtractionMatches(const ExtractResult &got, const testcorpus::Manifest &manifest);

// Every prefix (in steps of prefixStep bytes) and flips seeded mutations of bytes, listed and
// extracted: each run ends, with success or one of the archive kit's codes, and no file
// larger than the largest member the listing declares.
void sweepDamage(const QByteArray &bytes, const QString &name, const MakeUnit &make, int prefixStep, int flips);

// LZW codes of bits bits each packed low bits first without gaps (ZOO's LZW, and the first
// group of eight codes of ARC's).
QByteArray lzwCodes(std::initializer_list<int> codes, int bits = 9);

// Runs one decoder over packed (handed out in small pieces, so the decoders refill their
// buffers) with the given method and unpacked size; the output goes to got when given.
DecodeStatus decodeBytes(const TDecoderEntry &entry, int method, const QByteArray &packed, uint64_t size,
                         QByteArray *got = nullptr);

} // namespace crc16fix
