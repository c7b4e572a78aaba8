// The catalog side's fourteen archive types, one row each: indexes 1 to 14
// are the settings' per-type switches and the bits of "ArchiveSupport". A row
// says which file names belong to the type, which directory reader lists it
// and which extractor unpacks it in this build, and under which name the
// settings keep its switch. A new format reader plugs in here by filling its
// row. Beside the table: which types the settings currently let be read.
#pragma once

#include "archive/ArcTypes.h"

#include <QByteArrayView>
#include <QString>

#include <array>
#include <memory>

class TArcListReader;
class TUnBase;

// The directory readers and extractors of this build, each defined beside its format.
std::unique_ptr<TArcListReader> MakeZipListReader();
std::unique_ptr<TArcListReader> MakeTarListReader();
std::unique_ptr<TArcListReader> MakeGzipListReader();
std::unique_ptr<TArcListReader> MakeArjListReader();
std::unique_ptr<TArcListReader> MakeLhaListReader();
std::unique_ptr<TUnBase> MakeUnZIP();
std::unique_ptr<TUnBase> MakeUnTar();
std::unique_ptr<TUnBase> MakeUnGZIP();
std::unique_ptr<TArcListReader> MakeRarListReader();
std::unique_ptr<TUnBase> MakeUnRAR();
std::unique_ptr<TArcListReader> MakeArcListReader();
std::unique_ptr<TUnBase> MakeUnARC();
std::unique_ptr<TArcListReader> MakeZooListReader();
std::unique_ptr<TUnBase> MakeUnZOO();
std::unique_ptr<TUnBase> MakeUnARJ();
std::unique_ptr<TUnBase> MakeUnLHA();
std::unique_ptr<TArcListReader> MakeCabListReader();
std::unique_ptr<TUnBase> MakeUnCAB();
std::unique_ptr<TArcListReader> MakeHaListReader();
std::unique_ptr<TArcListReader> MakeBhListReader();
std::unique_ptr<TArcListReader> MakeLibarchiveListReader();
std::unique_ptr<TUnBase> MakeUnLibarchive();
std::unique_ptr<TArcListReader> MakeGzipTarListReader();
std::unique_ptr<TUnBase> MakeUnGzipTar();

struct TArchiveTypeRow {
    const char *extension;   // upper case, without the dot
    char volumeLetter;       // first letter of the volume extensions (A01, R00, Z01); 0 when none
    TArcType type;           // what detection calls a plain archive of this kind (Unknown for EXE)
    bool listsComment;       // the scan reads the archive comment
    bool canExtract;         // descriptions and files may be extracted from it
    const char *settingName; // the value name of the type's switch in the settings
    std::unique_ptr<TArcListReader> (*makeLister)();  // null: no reader in this build
    std::unique_ptr<TUnBase> (*makeExtractor)();      // null: no extractor in this build
};

// The fourteen types of the original table keep their bits in "ArchiveSupport";
// the types after them are today's formats, read through libarchive, whose
// switches live in a value of their own so that old settings keep their meaning.
inline constexpr int kClassicArchiveTypeCount = 14;
inline constexpr int kArchiveTypeCount = 24;

// Row n - 1 is archive type index n. Order and spellings are fixed (stored in catalogs and settings).
inline constexpr std::array<TArchiveTypeRow, kArchiveTypeCount> kArchiveTypes = {{
    {"ARC", 0, TArcType::ARC, false, true, "ArcARC", MakeArcListReader, MakeUnARC},
    {"ARJ", 'A', TArcType::ARJ, true, true, "ArcARJ", MakeArjListReader, MakeUnARJ},
    // CAB: the kit extracts it, but the catalog does not (no descriptions, no file actions)
    {"CAB", 0, TArcType::CAB, false, false, "ArcCAB", MakeCabListReader, MakeUnCAB},
    {"HA", 0, TArcType::HA, false, false, "ArcHA", MakeHaListReader, nullptr},
    {"LHA", 0, TArcType::LHA, false, true, "ArcLHA", MakeLhaListReader, MakeUnLHA},
    {"LZH", 0, TArcType::LZH, false, true, "ArcLZH", MakeLhaListReader, MakeUnLHA},
    {"PAK", 0, TArcType::PAK, false, false, "ArcPAK", MakeArcListReader, nullptr},
    {"RAR", 'R', TArcType::RAR, true, true, "ArcRAR", MakeRarListReader, MakeUnRAR},
    {"ZIP", 'Z', TArcType::ZIP, true, true, "ArcZIP", MakeZipListReader, MakeUnZIP},
    {"ZOO", 0, TArcType::ZOO, true, true, "ArcZOO", MakeZooListReader, MakeUnZOO},
    {"EXE", 0, TArcType::Unknown, false, false, "ArcEXE", nullptr, nullptr},
    {"TAR", 0, TArcType::TAR, false, true, "ArcTAR", MakeTarListReader, MakeUnTar},
    // A gzip or compress file holding a tarball lists the tarball's files (a setting).
    {"GZ", 0, TArcType::GZip, false, true, "ArcGZIP", MakeGzipTarListReader, MakeUnGzipTar},
    // compress (.Z) files are detected as the GZip family and listed by its reader
    {"Z", 0, TArcType::GZip, false, false, "ArcZ", MakeGzipTarListReader, nullptr},
    {"7Z", 0, TArcType::SevenZip, false, true, "Arc7Z", MakeLibarchiveListReader, MakeUnLibarchive},
    {"XZ", 0, TArcType::XZ, false, true, "ArcXZ", MakeLibarchiveListReader, MakeUnLibarchive},
    {"TXZ", 0, TArcType::XZ, false, true, "ArcTXZ", MakeLibarchiveListReader, MakeUnLibarchive},
    {"BZ2", 0, TArcType::BZip2, false, true, "ArcBZ2", MakeLibarchiveListReader, MakeUnLibarchive},
    {"TBZ2", 0, TArcType::BZip2, false, true, "ArcTBZ2", MakeLibarchiveListReader, MakeUnLibarchive},
    {"ZST", 0, TArcType::Zstd, false, true, "ArcZST", MakeLibarchiveListReader, MakeUnLibarchive},
    {"TZST", 0, TArcType::Zstd, false, true, "ArcTZST", MakeLibarchiveListReader, MakeUnLibarchive},
    {"ISO", 0, TArcType::ISO, false, true, "ArcISO", MakeLibarchiveListReader, MakeUnLibarchive},
    {"TGZ", 0, TArcType::GZip, false, true, "ArcTGZ", MakeGzipTarListReader, MakeUnGzipTar},
    {"TAZ", 0, TArcType::GZip, false, true, "ArcTAZ", MakeGzipTarListReader, MakeUnGzipTar},
}};

// Directory readers of the types without a row: BH has no extension of its
// own in the table and is met by its bytes (inside an executable, or through
// the command line's listing).
struct TRowlessReader {
    TArcType type;
    std::unique_ptr<TArcListReader> (*makeLister)();
};
inline constexpr std::array<TRowlessReader, 1> kRowlessReaders = {{{TArcType::BH, MakeBhListReader}}};

// The row of archive type index (1 to kArchiveTypeCount); null otherwise.
constexpr const TArchiveTypeRow *ArchiveTypeRow(int index)
{
    return index >= 1 && index <= kArchiveTypeCount ? &kArchiveTypes[size_t(index - 1)] : nullptr;
}

// The extension of archive type index (1 to kArchiveTypeCount), upper case; null otherwise.
constexpr const char *ArchiveTypeExtension(int index)
{
    const TArchiveTypeRow *row = ArchiveTypeRow(index);
    return row ? row->extension : nullptr;
}

// Index 1 to 14 of the archive type a file name belongs to by its extension, 0
// when none. Volume extensions (.A01, .R00, .Z01) count for ARJ, RAR and ZIP.
int ArchiveExtensionIndex(const QString &fileName);
// Index 1 to 14 of the row that reads a detected type (a self-extractor by its
// archive kind, the ZIP variants as ZIP); 0 when no row does (EXE, Unknown, BH).
int ArchiveTypeIndex(TArcType type);
// Whether the scan reads the archive comment of type index.
bool ArchiveIndexListsComment(int index);
// Whether descriptions and files may be extracted from type index.
bool ArchiveIndexCanExtract(int index);
// Whether a file name is a later volume of a multi-volume archive, one its first volume
// lists: a volume extension (.A01, .R00, .Z01: a type's volume letter and two digits) or a
// RAR part after the first ("name.part2.rar", "name.part02.rar"). Any case.
bool IsLaterVolumeName(QByteArrayView fileName);
// The extension of the n-th ARJ volume (1 to 999): "A01" .. "A99", then "100" .. "999"; empty outside.
QString ArjVolumeExtension(int n);

// The plain type a detected type is read as: a self-extractor as its archive
// kind, the ZIP variants as ZIP; other types stay as they are.
TArcType PlainArcType(TArcType type);

// Whether archive type index (1 to kArchiveTypeCount) is read; false for any other index.
// Every type is read until the settings say otherwise; safe to ask from any
// thread while the main thread applies settings.
bool ArchiveTypeEnabled(int index);
// A switch table with every type on.
constexpr std::array<bool, kArchiveTypeCount> AllArchiveTypes()
{
    std::array<bool, kArchiveTypeCount> all{};
    all.fill(true);
    return all;
}
// Sets the whole switch table; enabled[i] is archive type index i + 1.
void SetArchiveTypesEnabled(const std::array<bool, kArchiveTypeCount> &enabled);
