// Description import: the text normalization every imported description goes
// through, the three description files (FILE_ID.DIZ, DESCRIPT.ION, FILES.BBS)
// applied to a folder's records, and the same files and the comment inside
// archives. Everything read here comes from the medium and is untrusted: list
// files are read line by line with a bounded line length, only regular files
// are opened, and archive members are extracted into a private folder.
#include "scan/DescImport.h"

#include "archive/ArcTypes.h"
#include "archive/Extract.h"
#include "catalog/CatalogOps.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/Texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace {

// The line-drawing table: a DOS byte and what it becomes.
struct TLineDrawingPair {
    uint8_t from;
    char to;
};
constexpr TLineDrawingPair kLineDrawingPairs[] = {
    {0xC9, '+'}, {0xCD, '-'}, {0xBB, '+'}, {0xC8, '+'}, {0xBC, '+'}, {0xBA, '|'}, {0xCC, '|'}, {0xB9, '|'},
    {0xCB, '-'}, {0xCA, '-'}, {0xCE, '+'}, {0xDA, '+'}, {0xC4, '-'}, {0xBF, '+'}, {0xC0, '+'}, {0xD9, '+'},
    {0xB3, '|'}, {0xC3, '+'}, {0xB4, '|'}, {0xC2, '-'}, {0xC1, '-'}, {0xC5, '+'}, {0xD5, '+'}, {0xD1, '-'},
    {0xB8, '+'}, {0xD6, '+'}, {0xD2, '-'}, {0xB7, '+'}, {0xC6, '|'}, {0xD8, '+'}, {0xB5, '|'}, {0xC7, '|'},
    {0xD7, '+'}, {0xB6, '|'}, {0xD4, '+'}, {0xCF, '-'}, {0xBE, '+'}, {0xD3, '+'}, {0xD0, '-'}, {0xBD, '+'},
    {0xFA, '\xB7'}, {0xF9, '\x95'}, {0xF0, '#'}, {0xDB, '#'}, {0xDC, '#'}, {0xDD, '#'}, {0xDE, '#'},
    {0xDF, '#'}, {0xB0, '#'}, {0xB1, '#'}, {0xB2, '#'}, {0xF8, '\x95'}, {0xFE, '\x95'},
};

// The targets B7h and 95h are the middle dot and the bullet of the Windows code page.
constexpr char32_t kMiddleDot = 0x00B7;
constexpr char32_t kBullet = 0x2022;

// Lines of a list file longer than this are cut: a name (at most 255 bytes)
// and a description of 4096 characters of up to 4 UTF-8 bytes fit easily.
constexpr qsizetype kMaxLineBytes = 32 * 1024;
// A list file is read no further than this: no real list comes near it, and a
// file that never ends (or a hostile one) must not keep the scan busy.
constexpr qint64 kMaxListFileBytes = 64 * 1024 * 1024;
// FILE_ID.DIZ is read up to this many bytes.
constexpr qint64 kMaxDizBytes = 4095;
// Descriptions of list files: at most this many characters.
constexpr qsizetype kMaxDescChars = 4096;

// The decoding tables, built once: code page 437 for 80h-FFh (the program's one
// table, in platform/Texts), the line-drawing
// table by byte, and its counterpart for characters of UTF-8 text.
struct TDosTables {
    std::array<char32_t, 128> cp437{};
    std::array<char, 256> lineDrawing{};   // 0: the byte is not in the table
    QHash<char32_t, char32_t> unicodeLineDrawing;

    TDosTables()
    {
        for (int b = 0x80; b <= 0xFF; ++b) {
            cp437[size_t(b - 0x80)] = Cp437Char(uchar(b));
        }
        for (const TLineDrawingPair &p : kLineDrawingPairs)
            lineDrawing[p.from] = p.to;
        // In UTF-8 text only the box-drawing, block, shade and bullet glyphs
        // count; degree sign, identity sign and middle dot are ordinary text there.
        for (const TLineDrawingPair &p : kLineDrawingPairs) {
            const char32_t cp = cp437[size_t(p.from - 0x80)];
            if ((cp >= 0x2500 && cp <= 0x25A0) || cp == 0x2219)
                unicodeLineDrawing.insert(cp, target(p.to));
        }
    }

    static char32_t target(char to)
    {
        if (to == '\xB7')
            return kMiddleDot;
        if (to == '\x95')
            return kBullet;
        return char32_t(uchar(to));
    }
};

const TDosTables &dosTables()
{
    static const TDosTables tables;
    return tables;
}

// DOS bytes to UTF-8, with the line-drawing table applied in the same pass
// when lineDrawing is set.
QByteArray dosBytesToUtf8(QByteArrayView text, bool lineDrawing)
{
    const TDosTables &t = dosTables();
    QByteArray out;
    out.reserve(text.size() + text.size() / 2);
    for (char c : text) {
        const auto b = uchar(c);
        if (b < 0x80)
            out += c;
        else if (lineDrawing && t.lineDrawing[b])
            AppendUtf8(out, TDosTables::target(t.lineDrawing[b]));
        else
            AppendUtf8(out, t.cp437[b - 0x80]);
    }
    return out;
}

// The line-drawing table on valid UTF-8 text (such as an archive comment the
// lister already decoded): box-drawing characters of code page 437 by character.
QByteArray replaceUnicodeLineDrawing(QByteArrayView text)
{
    // Every character of the table lies in U+2219..U+25A0, whose UTF-8 form starts with E2h.
    if (!text.contains('\xE2'))
        return text.toByteArray();
    const TDosTables &t = dosTables();
    QString s = QString::fromUtf8(text);
    for (QChar &ch : s) {
        const auto it = t.unicodeLineDrawing.constFind(ch.unicode());
        if (it != t.unicodeLineDrawing.constEnd())
            ch = QChar(char16_t(*it));
    }
    return s.toUtf8();
}

QByteArrayView cutAtZero(QByteArrayView text)
{
    const qsizetype zero = text.indexOf('\0');
    return zero < 0 ? text : text.first(zero);
}

// The characters of a text: code points when it is valid UTF-8 with any
// non-ASCII byte, else one byte each.
class TCharView
{
public:
    explicit TCharView(QByteArrayView text) : m_text(text)
    {
        if (AsciiOnly(text) || !text.isValidUtf8())
            return;
        m_multi = true;
        for (qsizetype i = 0; i < text.size(); ++i)
            if ((uchar(text[i]) & 0xC0) != 0x80)
                m_starts.push_back(i);
        m_starts.push_back(text.size());
    }
    qsizetype count() const { return m_multi ? qsizetype(m_starts.size()) - 1 : m_text.size(); }
    // Byte offset of character i (i may equal count()).
    qsizetype offset(qsizetype i) const { return m_multi ? m_starts[size_t(i)] : i; }
    // The first byte of character i (enough for the ASCII tests made here).
    char lead(qsizetype i) const { return m_text[offset(i)]; }
    // Index of the character that starts at byte offset (or contains it).
    qsizetype charAt(qsizetype byteOffset) const
    {
        if (!m_multi)
            return byteOffset;
        const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), byteOffset);
        return qsizetype(it - m_starts.begin()) - 1;
    }
    QByteArrayView chars(qsizetype from, qsizetype to) const
    {
        return m_text.sliced(offset(from), offset(to) - offset(from));
    }

private:
    QByteArrayView m_text;
    bool m_multi = false;
    std::vector<qsizetype> m_starts;
};

QByteArrayView cutChars(QByteArrayView text, qsizetype maxChars)
{
    if (text.size() <= maxChars)
        return text;
    const TCharView view(text);
    return view.count() <= maxChars ? text : text.first(view.offset(maxChars));
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

QByteArrayView chopBlanks(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

bool hasText(const char *field)
{
    return TextLength(field) > 0;
}

// The description field of a folder or disk record; null for other kinds.
TText *descField(TTreeNode *node)
{
    TItemRec *rec = node ? NodeRec(node) : nullptr;
    if (TFolderRec *folder = AsFolder(rec))
        return &folder->Desc;
    if (TDiskRec *disk = AsDisk(rec))
        return &disk->Desc;
    return nullptr;
}

// A regular file of the medium (not a link, device or pipe, which could hang
// the read or lead off the medium), opened for reading.
bool openRegularFile(QFile &file, const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile())
        return false;
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly);
}

// Reads a list file line by line. Lines end in CR LF, LF CR, CR or LF; a
// last line without an end counts. A line is cut at a zero byte and at
// kMaxLineBytes; reading stops at the end, a read error or kMaxListFileBytes.
class TLineReader
{
public:
    bool open(const QString &path) { return openRegularFile(m_file, path); }

    bool next(QByteArray &line)
    {
        if (m_pushed) {
            line = std::move(m_pushedLine);
            m_pushed = false;
            return true;
        }
        line.clear();
        int c = get();
        if (c < 0)
            return false;
        bool zero = false;
        while (c >= 0 && c != '\r' && c != '\n') {
            if (c == 0)
                zero = true;
            else if (!zero && line.size() < kMaxLineBytes)
                line += char(c);
            c = get();
        }
        if (c >= 0) {
            const int d = peek();
            if ((d == '\r' || d == '\n') && d != c)
                get();
        }
        return true;
    }

    // Gives a line back; the next call of next returns it again.
    void pushBack(QByteArray line)
    {
        m_pushedLine = std::move(line);
        m_pushed = true;
    }

private:
    bool fill()
    {
        if (m_end)
            return false;
        const qint64 room = std::min<qint64>(64 * 1024, kMaxListFileBytes - m_total);
        const qint64 n = room > 0 ? m_file.read(m_buffer.data(), room) : 0;
        if (n <= 0) {
            m_end = true;
            return false;
        }
        m_total += n;
        m_size = qsizetype(n);
        m_pos = 0;
        return true;
    }
    int get()
    {
        if (m_pos >= m_size && !fill())
            return -1;
        return uchar(m_buffer[size_t(m_pos++)]);
    }
    int peek()
    {
        if (m_pos >= m_size && !fill())
            return -1;
        return uchar(m_buffer[size_t(m_pos)]);
    }

    QFile m_file;
    std::vector<char> m_buffer = std::vector<char>(64 * 1024);
    qsizetype m_size = 0, m_pos = 0;
    qint64 m_total = 0;
    bool m_end = false;
    bool m_pushed = false;
    QByteArray m_pushedLine;
};

// Case-folded form of a name for comparisons without regard to case; ASCII
// names take the fast path.
QString foldedName(QByteArrayView utf8)
{
    if (AsciiOnly(utf8)) {
        QByteArray lower = utf8.toByteArray();
        for (char &c : lower)
            if (c >= 'A' && c <= 'Z')
                c = char(c + 32);
        return QString::fromLatin1(lower);
    }
    return DecodeStored(utf8).toCaseFolded();
}

// The files of a folder's chain and its child folders by folded name, built
// on the first look-up. The first record of a name wins, as a walk of the
// chain from its start would find it.
class TNameIndex
{
public:
    explicit TNameIndex(TTreeNode *node) : m_node(node) {}

    // A name from a list file (DOS bytes or UTF-8; "/" taken as "\").
    void find(QByteArrayView listName, TFileRec *&file, TTreeNode *&folder)
    {
        build();
        QByteArray name = DosBytesToUtf8(listName);
        name.replace('/', '\\');
        const QString key = foldedName(name);
        file = m_files.value(key, nullptr);
        folder = file ? nullptr : m_folders.value(key, nullptr);
    }

private:
    void build()
    {
        if (m_built)
            return;
        m_built = true;
        TItemRec *rec = NodeRec(m_node);
        TFolderRec *folderRec = AsFolder(rec);
        TDiskRec *diskRec = AsDisk(rec);
        if ((folderRec && !folderRec->FilesLoaded) || (diskRec && !diskRec->FilesLoaded))
            LoadFileList(m_node);
        LoadSubfolders(m_node, false, false);
        for (TFileRec *f = rec->Next; f; f = f->Next) {
            const QString key = foldedName(f->name());
            if (!m_files.contains(key))
                m_files.insert(key, f);
        }
        for (TTreeNode *child : m_node->children()) {
            const QString key = foldedName(child->text());
            if (!m_folders.contains(key))
                m_folders.insert(key, child);
        }
    }

    TTreeNode *m_node;
    bool m_built = false;
    QHash<QString, TFileRec *> m_files;
    QHash<QString, TTreeNode *> m_folders;
};

// A node whose record can hold a file chain and a description.
bool isFolderOrDisk(TTreeNode *node)
{
    TItemRec *rec = node ? NodeRec(node) : nullptr;
    return AsFolder(rec) || AsDisk(rec);
}

// Gives text to the file or child folder found for a list entry, keeping a
// description it has unless overwrite is on. True when a file got the text.
bool storeEntry(TFileRec *file, TTreeNode *folder, const QByteArray &text, bool overwrite, bool &anyFile)
{
    if (text.isEmpty())
        return false;
    if (file) {
        if ((!hasText(file->Desc) || overwrite) && SetDesc(file->Desc, text)) {
            anyFile = true;
            return true;
        }
        return false;
    }
    if (TText *field = descField(folder))
        if (!hasText(*field) || overwrite)
            SetDesc(*field, text);
    return false;
}

// Splits a DESCRIPT.ION line into name and description; false when the line
// gives no entry.
bool splitDescriptIonLine(QByteArrayView line, QByteArrayView &name, QByteArrayView &desc)
{
    if (line.isEmpty() || line[0] == ' ' || !line.contains(' '))
        return false;
    qsizetype rest;
    if (line[0] == '"') {
        const qsizetype close = line.indexOf('"', 1);
        if (close < 0)
            return false;
        name = line.sliced(1, close - 1);
        rest = close + 1;
    } else {
        rest = line.indexOf(' ');
        name = line.first(rest);
    }
    while (rest < line.size() && line[rest] == ' ')
        ++rest;
    if (rest >= line.size() || uchar(line[rest]) < 0x20)
        return false;
    desc = line.sliced(rest);
    return true;
}

// True when a FILES.BBS line continues the entry whose text starts at column.
bool isContinuation(QByteArrayView line, qsizetype column)
{
    return line.isEmpty() || uchar(line[0]) <= 0x20 || TCharView(line).count() <= column;
}

// A prompter for quiet extraction: nobody is asked, nothing is shown.
class TSilentPrompter : public Prompter
{
public:
    MsgAnswer ask(const QString &, const QString &, MsgIcon, MsgButtons buttons) override
    {
        switch (buttons) {
        case MsgButtons::Ok: return MsgAnswer::Ok;
        case MsgButtons::YesNo: return MsgAnswer::No;
        default: return MsgAnswer::Cancel;
        }
    }
};

// The unpacked size of a member of the archive folder's chain by name
// (without regard to case); -1 when unknown.
int64_t memberSize(TTreeNode *archiveFolder, QByteArrayView member)
{
    TItemRec *rec = archiveFolder ? NodeRec(archiveFolder) : nullptr;
    if (!rec)
        return -1;
    const QString key = foldedName(member);
    for (TFileRec *f = rec->Next; f; f = f->Next)
        if (f->name().size() == member.size() && foldedName(f->name()) == key)
            return f->Size;
    return -1;
}

// Extracts archive members into fresh folders of a private temporary folder
// and finds the extracted top-level file; everything goes when it ends.
class TMemberExtractor
{
public:
    explicit TMemberExtractor(const TArchiveDescInput &input) : m_input(input) {}

    // The path of the extracted member, or empty when it could not be had.
    QString extract(const QByteArray &member, int64_t declaredSize)
    {
        if (declaredSize < 0)
            declaredSize = memberSize(m_input.archiveFolder, member);
        if (declaredSize > kMaxDescMemberBytes)
            return {};
        if (!m_dir) {
            QString base = m_input.tempDir.isEmpty() ? QDir::tempPath() : m_input.tempDir;
            QDir().mkpath(base);
            m_dir.emplace(QDir(base).filePath(QStringLiteral("quillon-desc-XXXXXX")));
        }
        if (!m_dir->isValid())
            return {};
        // A fresh folder per member: nothing of an earlier member is mistaken for it.
        const QString dest = m_dir->filePath(QString::number(++m_count));
        if (!QDir().mkdir(dest))
            return {};

        // The member's own file name; the mask matches it in every folder of
        // the archive, so stored folders keep the top-level one apart.
        QString name = QString::fromUtf8(DosBytesToUtf8(member));
        name.replace(QLatin1Char('\\'), QLatin1Char('/'));
        name = name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
        if (name.isEmpty())
            return {};

        TExtractState &state = ExtractionState();
        const bool quiet = state.quiet, remember = state.remember;
        const int lastError = state.lastError;
        state.quiet = true;
        TSilentPrompter prompter;
        TExtractOptions options;
        options.prompter = &prompter;
        options.outputLimit = uint64_t(kMaxDescMemberBytes);
        // Only the top-level member is written: the mask also selects files of
        // that name in the archive's folders, whose sizes nobody checked.
        // (The noted name may differ in case from the stored one: the scan's case rule.)
        const QString top = QDir(dest).absolutePath();
        options.accept = [top, name](const QString &path) {
            const QFileInfo info(path);
            return info.absolutePath() == top && info.fileName().compare(name, Qt::CaseInsensitive) == 0;
        };
        const bool ok = ExtractFromArchive(m_input.extIndex, m_input.archivePath, dest, false, true, false,
                                           nullptr, name, options);
        state.quiet = quiet;
        state.remember = remember;
        state.lastError = lastError;
        if (!ok)
            return {};

        QString found;
        const QString key = name.toCaseFolded();
        const QFileInfoList entries = QDir(dest).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
        for (const QFileInfo &entry : entries) {
            if (entry.fileName() == name)
                return entry.filePath();
            if (found.isEmpty() && entry.fileName().toCaseFolded() == key)
                found = entry.filePath();
        }
        return found;
    }

private:
    const TArchiveDescInput &m_input;
    std::optional<QTemporaryDir> m_dir;
    int m_count = 0;
};

} // namespace

QByteArray ReplaceLineDrawing(QByteArrayView text)
{
    const TDosTables &t = dosTables();
    QByteArray out = text.toByteArray();
    for (char &c : out)
        if (const char to = t.lineDrawing[uchar(c)])
            c = to;
    return out;
}

QByteArray DosTextToUtf8(QByteArrayView text)
{
    if (text.isValidUtf8())
        return text.toByteArray();
    const TDosTables &t = dosTables();
    QByteArray out;
    out.reserve(text.size() + text.size() / 2);
    for (char c : text) {
        const auto b = uchar(c);
        if (b < 0x80)
            out += c;
        else if (b == 0xB7)
            AppendUtf8(out, kMiddleDot);
        else if (b == 0x95)
            AppendUtf8(out, kBullet);
        else
            AppendUtf8(out, t.cp437[b - 0x80]);
    }
    return out;
}

QByteArray NormalizeDescription(QByteArrayView text)
{
    const QByteArray lines = NormalizeDescriptionLines(cutAtZero(text));
    if (lines.isEmpty())
        return {};
    return lines.isValidUtf8() ? replaceUnicodeLineDrawing(lines) : dosBytesToUtf8(lines, true);
}

QByteArray NormalizeCommentOnly(QByteArrayView text)
{
    text = cutAtZero(text);
    return text.isValidUtf8() ? replaceUnicodeLineDrawing(text) : dosBytesToUtf8(text, true);
}

QByteArray WrapDescription(QByteArrayView text, int truncLines)
{
    // A line is broken once the rest is longer than 52 characters; 51 and 50
    // are the other fixed columns of the rule.
    constexpr qsizetype kWrapLength = 52;
    const TCharView view(text);
    const qsizetype n = view.count();
    QByteArray out;
    out.reserve(text.size() + text.size() / 16);
    qsizetype pos = 0;   // character index of the current line's start
    int line = 1;
    while (n - pos > kWrapLength) {
        qsizetype cr = -1;
        for (qsizetype i = pos; i < pos + 51; ++i)
            if (view.lead(i) == '\r') {
                cr = i;
                break;
            }
        if (cr >= 0) {
            out += view.chars(pos, cr + 2);
            pos = cr + 2;
        } else {
            qsizetype k = 0;   // 1-based position of the break character in the line
            for (qsizetype p = kWrapLength; p >= 2; --p) {
                const char c = view.lead(pos + p - 1);
                if (c == ' ' || c == ',' || c == '-' || c == '.') {
                    k = p;
                    break;
                }
            }
            const qsizetype keep = k >= 3 ? k - 1 : 50;
            out += view.chars(pos, pos + keep);
            out += "\r\n";
            pos += keep;
        }
        ++line;
        if (truncLines > 0 && line > truncLines)
            return chopBlanks(out).toByteArray();
    }
    out += view.chars(pos, n);
    return out;
}

bool SetDescIfEmpty(TText &field, QByteArrayView text)
{
    if (hasText(field))
        return false;
    return SetDesc(field, text);
}

bool SetDesc(TText &field, QByteArrayView text)
{
    // A cut at the limit must not leave half a line break behind.
    const QByteArrayView kept = chopBlanks(CutAtCharBoundary(text, kMaxCountedText));
    if (kept.isEmpty())
        return false;
    FreeText(field);
    field = NewText(kept);
    return true;
}

QByteArray ReadFileIdDiz(const QString &filePath)
{
    QFile file;
    if (!openRegularFile(file, filePath))
        return {};
    const QByteArray bytes = file.read(kMaxDizBytes);
    return NormalizeDescription(bytes);
}

bool ApplyDescriptIon(TTreeNode *node, const QString &filePath, bool overwrite, int truncLines)
{
    if (!isFolderOrDisk(node))
        return false;
    TLineReader reader;
    if (!reader.open(filePath))
        return false;
    TNameIndex index(node);
    bool anyFile = false;
    QByteArray line;
    while (reader.next(line)) {
        QByteArrayView name, desc;
        if (!splitDescriptIonLine(line, name, desc))
            continue;
        TFileRec *file = nullptr;
        TTreeNode *folder = nullptr;
        index.find(name, file, folder);
        if (!file && !folder)
            continue;
        const TText *field = file ? &file->Desc : descField(folder);
        if (!field || (hasText(*field) && !overwrite))
            continue;
        const QByteArray text = NormalizeDescription(WrapDescription(cutChars(desc, kMaxDescChars), truncLines));
        storeEntry(file, folder, text, overwrite, anyFile);
    }
    if (anyFile)
        SetItemFlag(NodeRec(node), rfHasDesc, true);
    return anyFile;
}

bool ApplyFilesBbs(TTreeNode *node, const QString &filePath, bool overwrite, int truncLines)
{
    if (!isFolderOrDisk(node))
        return false;
    TLineReader reader;
    if (!reader.open(filePath))
        return false;
    // Lines up to this many characters never start an entry.
    constexpr qsizetype kMinEntryLength = 12;
    TNameIndex index(node);
    bool anyFile = false;
    QByteArray line;
    while (reader.next(line)) {
        const TCharView view(line);
        if (view.count() <= kMinEntryLength || uchar(line[0]) <= 0x20)
            continue;
        const qsizetype space = line.indexOf(' ');
        // The name runs up to and including the first space; without one, the
        // classic 12-column name field.
        const qsizetype column = space >= 0 ? view.charAt(space) + 1 : kMinEntryLength;
        const QByteArray name = chopBlanks(view.chars(0, column)).toByteArray();

        QByteArray desc = view.chars(column, view.count()).toByteArray();
        desc += "\r\n";
        int lines = 1;
        QByteArray next;
        while (reader.next(next)) {
            if (!isContinuation(next, column)) {
                reader.pushBack(std::move(next));
                break;
            }
            // Past the limits the continuation lines are still this entry's: skip them.
            if ((truncLines > 0 && lines >= truncLines) || desc.size() >= kMaxDescChars * 4)
                continue;
            const TCharView part(next);
            if (part.count() > column)
                desc += part.chars(column, part.count());
            desc += "\r\n";
            ++lines;
        }
        desc.chop(2);
        QByteArray text = NormalizeDescription(cutChars(desc, kMaxDescChars));
        if (text.startsWith('|'))
            text = NormalizeDescriptionLines(QByteArrayView(text).sliced(1));

        TFileRec *file = nullptr;
        TTreeNode *folder = nullptr;
        index.find(name, file, folder);
        storeEntry(file, folder, text, overwrite, anyFile);
    }
    if (anyFile)
        SetItemFlag(NodeRec(node), rfHasDesc, true);
    return anyFile;
}

int DescriptionFileKind(QStringView name)
{
    if (name.compare(u"FILE_ID.DIZ", Qt::CaseInsensitive) == 0)
        return dsFileIdDiz;
    if (name.compare(u"FILES.BBS", Qt::CaseInsensitive) == 0)
        return dsFilesBbs;
    if (name.compare(u"DESCRIPT.ION", Qt::CaseInsensitive) == 0)
        return dsDescriptIon;
    return -1;
}

bool NoteDescriptionFile(TFolderDescFiles &files, const QString &name)
{
    QString *slot = nullptr;
    switch (DescriptionFileKind(name)) {
    case dsFileIdDiz: slot = &files.fileIdDiz; break;
    case dsFilesBbs: slot = &files.filesBbs; break;
    case dsDescriptIon: slot = &files.descriptIon; break;
    default: return false;
    }
    if (slot->isEmpty())
        *slot = name;
    return true;
}

bool ImportFolderDescriptions(TTreeNode *node, const QString &folderPath, const TFolderDescFiles &files,
                              bool subfolderDiz, const TDescChoices &choices)
{
    TText *desc = descField(node);
    if (!desc)
        return false;
    const QDir folder(folderPath);
    bool flag = subfolderDiz;
    bool tookDiz = false;
    for (const TDescSource &source : choices.order) {
        switch (source.Id) {
        case dsFileIdDiz:
            if (choices.diz && !files.fileIdDiz.isEmpty()) {
                SetDescIfEmpty(*desc, ReadFileIdDiz(folder.filePath(files.fileIdDiz)));
                tookDiz = true;
            }
            flag = false;
            break;
        case dsFilesBbs:
            if (choices.bbs && !files.filesBbs.isEmpty())
                ApplyFilesBbs(node, folder.filePath(files.filesBbs), flag, choices.truncLines);
            break;
        case dsDescriptIon:
            if (choices.ion && !files.descriptIon.isEmpty())
                ApplyDescriptIon(node, folder.filePath(files.descriptIon), flag, choices.truncLines);
            break;
        case dsArchiveComment:
            flag = false;
            break;
        default:
            break;
        }
    }
    return tookDiz;
}

QByteArray ImportArchiveDescriptions(const TArchiveDescInput &input, const TDescChoices &choices)
{
    if (!ArchiveIndexCanExtract(input.extIndex))
        return {};
    TText *folderDesc = descField(input.archiveFolder);
    TTreeNode *folder = folderDesc ? input.archiveFolder : nullptr;
    TMemberExtractor extractor(input);
    QByteArray ownText;
    bool dizUsed = false;
    QByteArray dizText;
    for (const TDescSource &source : choices.order) {
        switch (source.Id) {
        case dsFileIdDiz:
            if (choices.diz && !input.dizMember.isEmpty()) {
                const QString path = extractor.extract(input.dizMember, input.dizSize);
                if (path.isEmpty())
                    break;
                dizText = ReadFileIdDiz(path);
                QFile::remove(path);
                dizUsed = true;
                if (folder)
                    SetDescIfEmpty(*folderDesc, dizText);
                else
                    ownText = dizText;
            }
            break;
        case dsFilesBbs:
        case dsDescriptIon: {
            const bool bbs = source.Id == dsFilesBbs;
            const QByteArray &member = bbs ? input.bbsMember : input.ionMember;
            if (!folder || !(bbs ? choices.bbs : choices.ion) || member.isEmpty())
                break;
            const QString path = extractor.extract(member, bbs ? input.bbsSize : input.ionSize);
            if (path.isEmpty())
                break;
            if (bbs)
                ApplyFilesBbs(folder, path, false, choices.truncLines);
            else
                ApplyDescriptIon(folder, path, false, choices.truncLines);
            QFile::remove(path);
            break;
        }
        case dsArchiveComment:
            if (folder && choices.comment && !input.archiveComment.isEmpty() &&
                (!hasText(*folderDesc) || (dizUsed && dizText.isEmpty())))
                SetDesc(*folderDesc, NormalizeCommentOnly(input.archiveComment));
            break;
        default:
            break;
        }
    }
    return ownText;
}
