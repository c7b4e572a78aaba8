// Descriptions from the files DOS-era tools left on media: FILE_ID.DIZ (the
// description of the folder or archive it sits in), DESCRIPT.ION (one line
// per file), FILES.BBS (a bulletin-board file list), and archive comments.
// Every imported text goes through one normalization: lines trimmed, joined
// with CR LF, line-drawing characters replaced by plain ones, and bytes that
// are not UTF-8 read as code page 437 and stored as UTF-8.
#pragma once

#include "catalog/CatalogRec.h"
#include "settings/Options.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>

class TTreeNode;

// Replaces the DOS line-drawing, shade and bullet bytes by "+", "-", "|",
// "#", B7h and 95h (the byte-level table; nothing else changes). Meant for
// DOS bytes only: on UTF-8 text it would break multi-byte characters.
QByteArray ReplaceLineDrawing(QByteArrayView text);
// Bytes of a DOS-era text as stored UTF-8: valid UTF-8 stays, anything else is
// read as code page 437 except that B7h is "·" and 95h "•" (the targets of
// ReplaceLineDrawing). For raw DOS text, NormalizeDescription does both steps
// at once and so keeps a 95h of the original ("ò").
QByteArray DosTextToUtf8(QByteArrayView text);
// The full normalization of an imported description: cut at a zero byte,
// lines split, trimmed and joined with CR LF, then the line-drawing table
// and the text rule (DOS bytes through the table and code page 437; in UTF-8
// text the same box-drawing, block and bullet characters are replaced).
// Empty when nothing is left.
QByteArray NormalizeDescription(QByteArrayView text);
// Only the line-drawing replacement and the text rule, no line trimming
// (archive comments); cut at a zero byte.
QByteArray NormalizeCommentOnly(QByteArrayView text);
// DESCRIPT.ION's wrapping at 52 characters, cut after truncLines lines when
// truncLines > 0. Counts characters: code points of valid UTF-8, else bytes.
QByteArray WrapDescription(QByteArrayView text, int truncLines);

// Gives field a copy of text only when it has no description yet (an empty
// text is ignored). At most 4096 bytes are kept, cut at a character boundary.
// True when it was set.
bool SetDescIfEmpty(TText &field, QByteArrayView text);
// The overwrite form: replaces any description (an empty text is ignored and
// leaves the old one).
bool SetDesc(TText &field, QByteArrayView text);

// Reads a FILE_ID.DIZ (at most 4095 bytes, cut at a zero byte) and
// normalizes it; empty when it cannot be read or holds nothing. Only a
// regular file is read (no link, device or pipe of the medium).
QByteArray ReadFileIdDiz(const QString &filePath);
// Applies a DESCRIPT.ION file to the file chain (and child folders) of a
// folder or disk node. True when any file of the chain got a description
// (the node then has rfHasDesc). A file that cannot be read changes nothing.
bool ApplyDescriptIon(TTreeNode *node, const QString &filePath, bool overwrite, int truncLines);
// Applies a FILES.BBS file likewise. A child folder keeps a description it
// has unless overwrite is on, as files do.
bool ApplyFilesBbs(TTreeNode *node, const QString &filePath, bool overwrite, int truncLines);

// Which description file a name is (FILE_ID.DIZ, FILES.BBS, DESCRIPT.ION,
// without regard to case): dsFileIdDiz, dsFilesBbs, dsDescriptIon, or -1.
int DescriptionFileKind(QStringView name);

// The sources one scan uses: the order of the settings and the dialog's checks.
struct TDescChoices {
    TImportDescList order = InitialImportDescList();
    bool diz = false, bbs = false, ion = false, comment = false;
    int truncLines = 0;   // 0: no truncation
};

// The description files found while listing one folder (actual names on the
// medium, found without regard to case); empty when absent.
struct TFolderDescFiles {
    QString fileIdDiz, filesBbs, descriptIon;
};
// Notes a listed file name in files when it is a description file (the first
// spelling listed is kept). True when it was one.
bool NoteDescriptionFile(TFolderDescFiles &files, const QString &name);

// Applies the description files of one folder (or the disk's root) in the
// preference order. subfolderDiz says whether a subfolder took its own
// FILE_ID.DIZ. Returns whether this folder took its own FILE_ID.DIZ (what it
// reports to its parent).
bool ImportFolderDescriptions(TTreeNode *node, const QString &folderPath, const TFolderDescFiles &files,
                              bool subfolderDiz, const TDescChoices &choices);

// What the listing of one archive noted for its descriptions.
struct TArchiveDescInput {
    int extIndex = 0;           // ArchiveExtensionIndex of the archive's name
    QString archivePath;
    QByteArray dizMember, bbsMember, ionMember;   // top-level member names as stored; empty when absent
    QByteArray archiveComment;  // as the lister delivered it
    TTreeNode *archiveFolder = nullptr;   // null when no archive folder was built
    QString tempDir;            // where members are extracted (quietly) and deleted again
    // Unpacked sizes the listing gave for the three members (-1: unknown; then
    // the archive folder's member record is asked). Larger than
    // kMaxDescMemberBytes: the member is not extracted.
    int64_t dizSize = -1, bbsSize = -1, ionSize = -1;
};

// Description files inside archives are never extracted beyond this size: no
// real list comes near it, and a hostile member must not fill the temporary folder.
inline constexpr int64_t kMaxDescMemberBytes = 16 * 1024 * 1024;

// Takes the descriptions inside an extractable archive in the preference
// order. Members are extracted quietly into a private folder below tempDir
// that is removed afterwards. Returns the text for the compressed file's own
// record when there is no archive folder (FILE_ID.DIZ only); empty otherwise.
QByteArray ImportArchiveDescriptions(const TArchiveDescInput &input, const TDescChoices &choices);
