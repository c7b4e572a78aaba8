// Tests of the description import: the text normalization and line-drawing
// table, DESCRIPT.ION wrapping, FILE_ID.DIZ, DESCRIPT.ION and FILES.BBS
// applied to a small catalog forest, the order of sources in a folder, hostile
// list files, and descriptions inside ZIP archives made with the zip program.
#include "scan/DescImport.h"

#include "archive/ArcLister.h"
#include "archive/ArcTypes.h"
#include "archive/Extract.h"
#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "catalog/LoadSave.h"
#include "platform/Texts.h"
#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <array>
#include <sys/stat.h>

using namespace testcat;

namespace {

QByteArray descOf(const char *field)
{
    return TextView(field).toByteArray();
}

// A literal with its zero bytes (without the terminating one).
template <size_t N>
QByteArray raw(const char (&text)[N])
{
    return QByteArray(text, qsizetype(N - 1));
}

QByteArray utf8(const char16_t *text)
{
    return QString::fromUtf16(text).toUtf8();
}

// A disk under a catalog with a root chain, a subfolder and files, and a
// folder on the temporary file system for the description files.
class DescImportTest : public CatalogFixture
{
protected:
    DescImportTest()
    {
        m_catalog = NewCatalogNode(m_forest, "Test");
        m_disk = AddDiskNode(m_catalog, "Disk");
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString p = path(name);
        QDir().mkpath(QFileInfo(p).absolutePath());
        EXPECT_TRUE(WriteFileBytes(p, bytes)) << qPrintable(p);
        return p;
    }

    TFileRec *file(TTreeNode *node, const char *name) { return AppendFile(node, name); }
    TFolderRec *folderRec(TTreeNode *node) { return AsFolder(node->data()); }
    TDiskRec *diskRec() { return AsDisk(m_disk->data()); }
    bool hasDescFlag(TTreeNode *node) { return ItemIs(NodeRec(node)->KindFlags, rfHasDesc); }

    TTreeNode *m_catalog = nullptr;
    TTreeNode *m_disk = nullptr;
};

// ---------------------------------------------------------------- texts

// The line-drawing table, listed independently of the implementation.
struct LineDrawingCase {
    uint8_t from;
    char to;
};
const LineDrawingCase kTable[] = {
    {0xB0, '#'}, {0xB1, '#'}, {0xB2, '#'}, {0xB3, '|'}, {0xB4, '|'}, {0xB5, '|'}, {0xB6, '|'}, {0xB7, '+'},
    {0xB8, '+'}, {0xB9, '|'}, {0xBA, '|'}, {0xBB, '+'}, {0xBC, '+'}, {0xBD, '+'}, {0xBE, '+'}, {0xBF, '+'},
    {0xC0, '+'}, {0xC1, '-'}, {0xC2, '-'}, {0xC3, '+'}, {0xC4, '-'}, {0xC5, '+'}, {0xC6, '|'}, {0xC7, '|'},
    {0xC8, '+'}, {0xC9, '+'}, {0xCA, '-'}, {0xCB, '-'}, {0xCC, '|'}, {0xCD, '-'}, {0xCE, '+'}, {0xCF, '-'},
    {0xD0, '-'}, {0xD1, '-'}, {0xD2, '-'}, {0xD3, '+'}, {0xD4, '+'}, {0xD5, '+'}, {0xD6, '+'}, {0xD7, '+'},
    {0xD8, '+'}, {0xD9, '+'}, {0xDA, '+'}, {0xDB, '#'}, {0xDC, '#'}, {0xDD, '#'}, {0xDE, '#'}, {0xDF, '#'},
    {0xF0, '#'}, {0xF8, '\x95'}, {0xF9, '\x95'}, {0xFA, '\xB7'}, {0xFE, '\x95'},
};

TEST(DescText, LineDrawingTableIsExactAndTouchesNothingElse)
{
    char expected[256];
    for (int b = 0; b < 256; ++b)
        expected[b] = char(b);
    for (const LineDrawingCase &c : kTable)
        expected[c.from] = c.to;
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    const QByteArray out = ReplaceLineDrawing(all);
    ASSERT_EQ(out.size(), 256);
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(uchar(out[b]), uchar(expected[b])) << "byte " << std::hex << b;
}

TEST(DescText, DosTextToUtf8)
{
    // Valid UTF-8 stays as it is.
    EXPECT_EQ(DosTextToUtf8(utf8(u"Café ╔═╗")), utf8(u"Café ╔═╗"));
    // Code page 437: 82h é, 9Bh ¢, E1h ß, C9h ╔; B7h and 95h are the targets of the table.
    EXPECT_EQ(DosTextToUtf8("Caf\x82 \x9B \xE1 \xC9"), utf8(u"Café ¢ ß ╔"));
    EXPECT_EQ(DosTextToUtf8(ReplaceLineDrawing("\xFA\xF9\xFE")), utf8(u"·••"));
    EXPECT_EQ(DosTextToUtf8(""), QByteArray());
}

TEST(DescText, NormalizeSplitsTrimsAndJoins)
{
    // CR LF, LF CR, lone CR and lone LF are one break each; tabs, spaces, 1Ah and FFh are trimmed.
    EXPECT_EQ(NormalizeDescription("  one \r\n\ttwo\x1A\n\rthree\rfour\nfive  \r\n\r\n \x1A"),
              "one\r\ntwo\r\nthree\r\nfour\r\nfive");
    // Two CRs are two breaks: the empty line in between stays.
    EXPECT_EQ(NormalizeDescription("a\r\rb"), "a\r\n\r\nb");
    EXPECT_EQ(NormalizeDescription(" \t\r\n\x1A\xFF "), QByteArray());
    // A zero byte ends the text.
    EXPECT_EQ(NormalizeDescription(raw("kept\0lost")), "kept");
}

TEST(DescText, BoxDrawingFrameBecomesPlainCharacters)
{
    const QByteArray dos = "\xC9\xCD\xCD\xCD\xBB\r\n\xBA Hi\xBA\r\n\xC7\xC4\xC4\xC4\xB6\r\n\xC8\xCD\xCD\xCD\xBC\r\n"
                           "\xDB\xB0 \xFA \xF9";
    EXPECT_EQ(NormalizeDescription(dos), "+---+\r\n| Hi|\r\n|---|\r\n+---+\r\n" + utf8(u"## · •"));
    // The same frame in UTF-8 (as archive listers deliver decoded texts).
    EXPECT_EQ(NormalizeDescription(utf8(u"╔═══╗\r\n║ Hi║\r\n╚═══╝ ■")), "+---+\r\n| Hi|\r\n+---+ " + utf8(u"•"));
}

TEST(DescText, UnicodeTextKeepsItsCharacters)
{
    // C3h and A9h are "é" in UTF-8; the byte table must not touch them.
    EXPECT_EQ(NormalizeDescription(utf8(u"Café für 20°C, ≡ · ok")), utf8(u"Café für 20°C, ≡ · ok"));
    // In DOS bytes, 95h is "ò" when the text had it; only the table's own bullets become "•".
    EXPECT_EQ(NormalizeDescription("perch\x95 \xF8"), utf8(u"perchò •"));
}

TEST(DescText, CommentOnlyKeepsLinesUntrimmed)
{
    EXPECT_EQ(NormalizeCommentOnly("  \xC9\xCD\xBB  \r\n \xB3x\xB3 "), "  +-+  \r\n |x| ");
    EXPECT_EQ(NormalizeCommentOnly(utf8(u" ╔═╗\n")), " +-+\n");
    EXPECT_EQ(NormalizeCommentOnly(raw("a\0b")), "a");
}

// ---------------------------------------------------------------- wrapping

QList<QByteArray> linesOf(const QByteArray &text)
{
    return text.split('\n');
}

TEST(DescWrap, HundredTwentyCharactersGiveThreeLines)
{
    const QByteArray text(120, 'x');
    const QByteArray wrapped = NormalizeDescription(WrapDescription(text, 0));
    const QList<QByteArray> lines = wrapped.split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QByteArray(50, 'x') + '\r');
    EXPECT_EQ(lines[1], QByteArray(50, 'x') + '\r');
    EXPECT_EQ(lines[2], QByteArray(20, 'x'));

    const QByteArray two = WrapDescription(text, 2);
    EXPECT_EQ(two, QByteArray(50, 'x') + "\r\n" + QByteArray(50, 'x'));
    EXPECT_EQ(WrapDescription(text, 1), QByteArray(50, 'x'));
}

TEST(DescWrap, BreaksBeforeTheLastBreakCharacter)
{
    // A space at position 41 of the line: the line keeps 40 characters and
    // the space begins the next line, where normalization removes it.
    const QByteArray text = QByteArray(40, 'a') + ' ' + QByteArray(30, 'b');
    EXPECT_EQ(WrapDescription(text, 0), QByteArray(40, 'a') + "\r\n " + QByteArray(30, 'b'));
    EXPECT_EQ(NormalizeDescription(WrapDescription(text, 0)), QByteArray(40, 'a') + "\r\n" + QByteArray(30, 'b'));

    // A comma at position 52 is the last one looked at.
    const QByteArray comma = QByteArray(51, 'a') + ',' + QByteArray(10, 'b');
    EXPECT_EQ(WrapDescription(comma, 0), QByteArray(51, 'a') + "\r\n," + QByteArray(10, 'b'));
    // A full stop at position 53 is beyond the search: the hard break at 50.
    const QByteArray late = QByteArray(52, 'a') + '.' + QByteArray(10, 'b');
    EXPECT_EQ(WrapDescription(late, 0), QByteArray(50, 'a') + "\r\n" + QByteArray(2, 'a') + '.' + QByteArray(10, 'b'));
    // A hyphen at position 2 is too early (k must be 3 or more).
    const QByteArray early = "a-" + QByteArray(60, 'c');
    EXPECT_EQ(WrapDescription(early, 0), "a-" + QByteArray(48, 'c') + "\r\n" + QByteArray(12, 'c'));
}

TEST(DescWrap, ShortTextsAndExistingBreaks)
{
    EXPECT_EQ(WrapDescription(QByteArray(52, 'z'), 0), QByteArray(52, 'z'));
    EXPECT_EQ(WrapDescription("", 3), QByteArray());
    // A CR among the first 51 characters: the next line starts after it.
    const QByteArray text = QByteArray(10, 'a') + "\r\n" + QByteArray(60, 'b');
    EXPECT_EQ(WrapDescription(text, 0), QByteArray(10, 'a') + "\r\n" + QByteArray(50, 'b') + "\r\n" +
                                            QByteArray(10, 'b'));
    EXPECT_EQ(WrapDescription(text, 1), QByteArray(10, 'a'));
}

TEST(DescWrap, CountsCharactersOfUtf8AndBytesOfDos)
{
    QString sixty(60, QChar(0x00E9));   // é, two bytes in UTF-8
    const QByteArray wrapped = WrapDescription(sixty.toUtf8(), 0);
    EXPECT_EQ(wrapped, QString(50, QChar(0x00E9)).toUtf8() + "\r\n" + QString(10, QChar(0x00E9)).toUtf8());

    const QByteArray dos(60, '\x82');   // é in code page 437, one byte each
    EXPECT_EQ(WrapDescription(dos, 0), QByteArray(50, '\x82') + "\r\n" + QByteArray(10, '\x82'));
    EXPECT_EQ(NormalizeDescription(WrapDescription(dos, 0)),
              QString(50, QChar(0x00E9)).toUtf8() + "\r\n" + QString(10, QChar(0x00E9)).toUtf8());
}

// ---------------------------------------------------------------- setting

TEST(DescSet, IfEmptyKeepsAnExistingText)
{
    TText field = nullptr;
    EXPECT_FALSE(SetDescIfEmpty(field, ""));
    EXPECT_EQ(field, nullptr);
    EXPECT_TRUE(SetDescIfEmpty(field, "first"));
    EXPECT_FALSE(SetDescIfEmpty(field, "second"));
    EXPECT_EQ(descOf(field), "first");
    EXPECT_FALSE(SetDesc(field, ""));
    EXPECT_EQ(descOf(field), "first");
    EXPECT_TRUE(SetDesc(field, "third"));
    EXPECT_EQ(descOf(field), "third");
    FreeText(field);
}

TEST(DescSet, LongTextsAreCutAtACharacterBoundary)
{
    TText field = nullptr;
    // 'a' then 3000 two-byte characters: byte 4096 falls inside a character.
    const QByteArray text = "a" + QString(3000, QChar(0x00E9)).toUtf8();
    ASSERT_TRUE(SetDesc(field, text));
    EXPECT_EQ(TextLength(field), 4095);
    EXPECT_TRUE(QByteArrayView(TextView(field)).isValidUtf8());
    // A cut that would end in a line break leaves no half break behind.
    const QByteArray lines = QByteArray(4095, 'b') + "\r\nnext";
    ASSERT_TRUE(SetDesc(field, lines));
    EXPECT_EQ(descOf(field), QByteArray(4095, 'b'));
    FreeText(field);
}

// ---------------------------------------------------------------- FILE_ID.DIZ

TEST_F(DescImportTest, FileIdDizIsReadUpTo4095BytesAndCutAtZero)
{
    EXPECT_EQ(ReadFileIdDiz(writeFile("a/FILE_ID.DIZ", " Cool tool \r\n  v1.0\r\n\x1A")), "Cool tool\r\nv1.0");
    EXPECT_EQ(ReadFileIdDiz(writeFile("b/FILE_ID.DIZ", raw("text\0garbage"))), "text");
    EXPECT_EQ(ReadFileIdDiz(writeFile("c/FILE_ID.DIZ", QByteArray(5000, 'q'))), QByteArray(4095, 'q'));
    EXPECT_EQ(ReadFileIdDiz(writeFile("d/FILE_ID.DIZ", "")), QByteArray());
    EXPECT_EQ(ReadFileIdDiz(path("missing/FILE_ID.DIZ")), QByteArray());
}

TEST_F(DescImportTest, FileIdDizThatIsNoRegularFileIsNotRead)
{
    const QString target = writeFile("secret.txt", "outside text");
    QDir().mkpath(path("links"));
    ASSERT_TRUE(QFile::link(target, path("links/FILE_ID.DIZ")));
    EXPECT_EQ(ReadFileIdDiz(path("links/FILE_ID.DIZ")), QByteArray());

    QDir().mkpath(path("dir/FILE_ID.DIZ"));
    EXPECT_EQ(ReadFileIdDiz(path("dir/FILE_ID.DIZ")), QByteArray());

    // A named pipe would block a plain open until a writer comes.
    QDir().mkpath(path("fifo"));
    ASSERT_EQ(mkfifo(QFile::encodeName(path("fifo/FILE_ID.DIZ")).constData(), 0600), 0);
    EXPECT_EQ(ReadFileIdDiz(path("fifo/FILE_ID.DIZ")), QByteArray());
    const QString ion = path("fifo/DESCRIPT.ION");
    ASSERT_EQ(mkfifo(QFile::encodeName(ion).constData(), 0600), 0);
    EXPECT_FALSE(ApplyDescriptIon(m_disk, ion, false, 0));
}

// ---------------------------------------------------------------- DESCRIPT.ION

TEST_F(DescImportTest, DescriptIonEntries)
{
    TFileRec *readme = file(m_disk, "Readme.txt");
    TFileRec *longName = file(m_disk, "My long name.doc");
    TFileRec *bare = file(m_disk, "Bare.txt");
    TFileRec *control = file(m_disk, "Control.txt");
    TFileRec *indented = file(m_disk, "Indented.txt");
    TTreeNode *sub = AddFolderNode(m_disk, "Sub");
    const QString ion = writeFile("DESCRIPT.ION", "README.TXT   The read-me file\r\n"
                                                  "\"my long name.doc\" A long name\r\n"
                                                  "bare.txt\r\n"
                                                  "bare.txt    \r\n"
                                                  "control.txt \x01hidden\r\n"
                                                  " indented.txt text\r\n"
                                                  "SUB The subfolder\r\n"
                                                  "unknown.txt Nobody\r\n");
    EXPECT_TRUE(ApplyDescriptIon(m_disk, ion, false, 0));
    EXPECT_EQ(descOf(readme->Desc), "The read-me file");
    EXPECT_EQ(descOf(longName->Desc), "A long name");
    EXPECT_EQ(bare->Desc, nullptr);
    EXPECT_EQ(control->Desc, nullptr);
    EXPECT_EQ(indented->Desc, nullptr);
    EXPECT_EQ(descOf(folderRec(sub)->Desc), "The subfolder");
    EXPECT_TRUE(hasDescFlag(m_disk));
}

TEST_F(DescImportTest, DescriptIonOverwriteAndTheFolderFlag)
{
    TTreeNode *folder = AddFolderNode(m_disk, "Folder");
    TFileRec *a = file(folder, "a.txt");
    TFileRec *b = file(folder, "b.txt");
    ASSERT_TRUE(SetDesc(a->Desc, "kept"));
    TTreeNode *child = AddFolderNode(folder, "Child");
    ASSERT_TRUE(SetDesc(folderRec(child)->Desc, "child kept"));
    const QString ion = writeFile("f/DESCRIPT.ION", "a.txt new a\nb.txt new b\nchild new child\n");

    EXPECT_TRUE(ApplyDescriptIon(folder, ion, false, 0));
    EXPECT_EQ(descOf(a->Desc), "kept");
    EXPECT_EQ(descOf(b->Desc), "new b");
    EXPECT_EQ(descOf(folderRec(child)->Desc), "child kept");

    EXPECT_TRUE(ApplyDescriptIon(folder, ion, true, 0));
    EXPECT_EQ(descOf(a->Desc), "new a");
    EXPECT_EQ(descOf(folderRec(child)->Desc), "new child");

    // Only child folders got texts: the folder's own chain did not, no flag.
    TTreeNode *other = AddFolderNode(m_disk, "Other");
    AddFolderNode(other, "Inner");
    const QString onlyFolder = writeFile("g/DESCRIPT.ION", "inner Inner text\n");
    EXPECT_FALSE(ApplyDescriptIon(other, onlyFolder, false, 0));
    EXPECT_FALSE(hasDescFlag(other));
    EXPECT_EQ(descOf(folderRec(other->child(0))->Desc), "Inner text");
}

TEST_F(DescImportTest, DescriptIonWrapsAndTruncates)
{
    TFileRec *f = file(m_disk, "long.txt");
    const QString ion = writeFile("DESCRIPT.ION", "long.txt " + QByteArray(120, 'w') + "\r\n");
    ASSERT_TRUE(ApplyDescriptIon(m_disk, ion, false, 0));
    EXPECT_EQ(linesOf(descOf(f->Desc)).size(), 3);

    ASSERT_TRUE(ApplyDescriptIon(m_disk, ion, true, 2));
    EXPECT_EQ(descOf(f->Desc), QByteArray(50, 'w') + "\r\n" + QByteArray(50, 'w'));
}

TEST_F(DescImportTest, DescriptIonNamesInCodePage437MatchUtf8Names)
{
    TFileRec *cafe = file(m_disk, utf8(u"Café.txt"));
    TFileRec *upper = file(m_disk, utf8(u"ÄRGER.TXT"));
    const QString ion = writeFile("DESCRIPT.ION", "caf\x82.txt Coffee \xC4\xC4 list\r\n"
                                                  "\x84rger.txt Trouble\r\n");
    ASSERT_TRUE(ApplyDescriptIon(m_disk, ion, false, 0));
    EXPECT_EQ(descOf(cafe->Desc), "Coffee -- list");
    EXPECT_EQ(descOf(upper->Desc), "Trouble");
}

TEST_F(DescImportTest, DescriptIonLineEnds)
{
    TFileRec *a = file(m_disk, "a.txt");
    TFileRec *b = file(m_disk, "b.txt");
    TFileRec *c = file(m_disk, "c.txt");
    // CR only.
    ASSERT_TRUE(ApplyDescriptIon(m_disk, writeFile("1/DESCRIPT.ION", "a.txt one\rb.txt two\rc.txt three"), true, 0));
    EXPECT_EQ(descOf(a->Desc), "one");
    EXPECT_EQ(descOf(b->Desc), "two");
    EXPECT_EQ(descOf(c->Desc), "three");   // the last line has no end
    // LF CR pairs are one break each.
    ASSERT_TRUE(ApplyDescriptIon(m_disk, writeFile("2/DESCRIPT.ION", "a.txt A\n\rb.txt B\n\rc.txt C\n\r"), true, 0));
    EXPECT_EQ(descOf(a->Desc), "A");
    EXPECT_EQ(descOf(b->Desc), "B");
    EXPECT_EQ(descOf(c->Desc), "C");
}

TEST_F(DescImportTest, DescriptIonHostileInput)
{
    TFileRec *huge = file(m_disk, "huge.txt");
    TFileRec *after = file(m_disk, "after.txt");
    TFileRec *zero = file(m_disk, "zero.txt");
    // A description of 1 MiB on one line, a zero byte inside a line, and the
    // lines after them still read.
    QByteArray bytes = "huge.txt " + QByteArray(1 << 20, 'h') + "\r\n";
    bytes += raw("zero.txt before\0after\r\n");
    bytes += "after.txt fine";
    ASSERT_TRUE(ApplyDescriptIon(m_disk, writeFile("DESCRIPT.ION", bytes), false, 0));
    EXPECT_LE(TextLength(huge->Desc), kMaxCountedText);
    EXPECT_GT(TextLength(huge->Desc), 4000);
    EXPECT_EQ(descOf(zero->Desc), "before");
    EXPECT_EQ(descOf(after->Desc), "fine");

    // Empty file, and binary garbage: nothing found, nothing broken.
    EXPECT_FALSE(ApplyDescriptIon(m_disk, writeFile("e/DESCRIPT.ION", ""), true, 0));
    QByteArray garbage(256 * 1024, '\0');
    QRandomGenerator rng(1234);
    for (char &c : garbage)
        c = char(rng.bounded(256));
    EXPECT_FALSE(ApplyDescriptIon(m_disk, writeFile("g/DESCRIPT.ION", garbage), true, 3));
    EXPECT_EQ(descOf(after->Desc), "fine");
    // An unterminated quote gives no entry.
    EXPECT_FALSE(ApplyDescriptIon(m_disk, writeFile("q/DESCRIPT.ION", "\"after.txt unfinished\n"), true, 0));
    EXPECT_EQ(descOf(after->Desc), "fine");
}

// ---------------------------------------------------------------- FILES.BBS

TEST_F(DescImportTest, FilesBbsContinuationLinesAndMarker)
{
    TFileRec *tool = file(m_disk, "Tool.zip");
    TFileRec *game = file(m_disk, "Game.arj");
    TFileRec *noSpace = file(m_disk, "LONGNAME.TXT");
    const QString bbs = writeFile("FILES.BBS", "Short line\r\n"
                                               " indented header line skipped\r\n"
                                               "TOOL.ZIP     A useful tool\r\n"
                                               "             | with a second line\r\n"
                                               "             |  and a third\r\n"
                                               "GAME.ARJ     | A game\r\n"
                                               "LONGNAME.TXTfollows-at-column-13\r\n");
    EXPECT_TRUE(ApplyFilesBbs(m_disk, bbs, false, 0));
    EXPECT_EQ(descOf(tool->Desc), "A useful tool\r\n| with a second line\r\n|  and a third");
    EXPECT_EQ(descOf(game->Desc), "A game");
    EXPECT_EQ(descOf(noSpace->Desc), "follows-at-column-13");
    EXPECT_TRUE(hasDescFlag(m_disk));
}

TEST_F(DescImportTest, FilesBbsColumnCutAndShortContinuation)
{
    TFileRec *f = file(m_disk, "pkzip.exe");
    TFileRec *g = file(m_disk, "next.exe");
    // Continuation lines are cut at the entry's column, whatever they hold
    // before it; a line not longer than the column continues the entry too.
    const QString bbs = writeFile("FILES.BBS", "PKZIP.EXE Packer\n"
                                               "\tXXXXXXXXXmore text\n"
                                               "short\n"
                                               "NEXT.EXE Next one\n");
    EXPECT_TRUE(ApplyFilesBbs(m_disk, bbs, false, 0));
    EXPECT_EQ(descOf(f->Desc), "Packer\r\nmore text");
    EXPECT_EQ(descOf(g->Desc), "Next one");
}

TEST_F(DescImportTest, FilesBbsTruncationSkipsTheRestOfTheEntry)
{
    TFileRec *a = file(m_disk, "verylongname.zip");
    TFileRec *b = file(m_disk, "b.zip");
    TFileRec *bogus = file(m_disk, "abcdefghijkl");
    // The entry's column is 17; a line of 14 characters continues it, even
    // past the truncation, and never starts an entry of its own.
    const QString bbs = writeFile("FILES.BBS", "verylongname.zip one\n"
                                               "                 two\n"
                                               "                 three\n"
                                               "abcdefghijklmn\n"
                                               "b.zip             bee\n");
    EXPECT_TRUE(ApplyFilesBbs(m_disk, bbs, false, 2));
    EXPECT_EQ(descOf(a->Desc), "one\r\ntwo");
    EXPECT_EQ(descOf(b->Desc), "bee");
    EXPECT_EQ(bogus->Desc, nullptr);
    EXPECT_TRUE(ApplyFilesBbs(m_disk, bbs, true, 0));
    EXPECT_EQ(descOf(a->Desc), "one\r\ntwo\r\nthree");
    EXPECT_EQ(bogus->Desc, nullptr);
}

TEST_F(DescImportTest, FilesBbsLimitsAndFolders)
{
    TFileRec *big = file(m_disk, "big.zip");
    TTreeNode *folder = AddFolderNode(m_disk, "Archives");
    ASSERT_TRUE(SetDesc(folderRec(folder)->Desc, "from its FILE_ID.DIZ"));
    QByteArray bytes = "BIG.ZIP   start\n";
    for (int i = 0; i < 2000; ++i)
        bytes += "          continuation line number " + QByteArray::number(i) + "\n";
    bytes += "ARCHIVES  folder text\n";
    const QString bbs = writeFile("FILES.BBS", bytes);
    EXPECT_TRUE(ApplyFilesBbs(m_disk, bbs, false, 0));
    EXPECT_LE(TextLength(big->Desc), kMaxCountedText);
    EXPECT_TRUE(descOf(big->Desc).startsWith("start\r\ncontinuation line number 0\r\n"));
    // A folder's text is replaced only when overwriting.
    EXPECT_EQ(descOf(folderRec(folder)->Desc), "from its FILE_ID.DIZ");
    EXPECT_TRUE(ApplyFilesBbs(m_disk, bbs, true, 0));
    EXPECT_EQ(descOf(folderRec(folder)->Desc), "folder text");
}

TEST_F(DescImportTest, FilesBbsHostileInput)
{
    TFileRec *a = file(m_disk, "a.zip");
    EXPECT_FALSE(ApplyFilesBbs(m_disk, writeFile("1/FILES.BBS", ""), false, 0));
    EXPECT_FALSE(ApplyFilesBbs(m_disk, path("none/FILES.BBS"), false, 0));
    // Only a name, a huge unterminated line, zero bytes and CR-only ends.
    QByteArray bytes = "a.zip\r\r";
    bytes += QByteArray(3 << 20, 'Z');
    EXPECT_FALSE(ApplyFilesBbs(m_disk, writeFile("2/FILES.BBS", bytes), false, 0));
    EXPECT_EQ(a->Desc, nullptr);
    // Zero bytes end a line: what is left is too short to be an entry.
    EXPECT_FALSE(ApplyFilesBbs(m_disk, writeFile("3/FILES.BBS", raw("a.zip \0\0\0 hidden text\r")),
                               false, 0));
    QByteArray garbage(128 * 1024, '\0');
    QRandomGenerator rng(99);
    for (char &c : garbage)
        c = char(rng.bounded(256));
    EXPECT_FALSE(ApplyFilesBbs(m_disk, writeFile("4/FILES.BBS", garbage), true, 0));
    EXPECT_EQ(a->Desc, nullptr);
    // A name of 12 characters and a description only of blanks gives nothing.
    EXPECT_FALSE(ApplyFilesBbs(m_disk, writeFile("5/FILES.BBS", "a.zip               \n"), true, 0));
}

// ---------------------------------------------------------------- order of sources

// The root and a subfolder, as the scan walks them: the subfolder first, then
// the root with what the subfolder reported.
class DescOrderTest : public DescImportTest
{
protected:
    DescOrderTest()
    {
        m_sub = AddFolderNode(m_disk, "Sub");
        writeFile("root/Sub/FILE_ID.DIZ", "From the DIZ");
        writeFile("root/descript.ion", "sub From the list\r\n");
        writeFile("root/FILES.BBS", "SUB       From the BBS\r\n");
        writeFile("root/FILE_ID.DIZ", "\xC9\xCD\xBB Disk text \xC8\xCD\xBC");
        m_choices.diz = m_choices.ion = m_choices.bbs = true;
    }

    // Runs the subfolder and the root; files chooses what the root holds.
    void scan(const TFolderDescFiles &rootFiles)
    {
        TFolderDescFiles subFiles;
        ASSERT_TRUE(NoteDescriptionFile(subFiles, QStringLiteral("FILE_ID.DIZ")));
        const bool subTook = ImportFolderDescriptions(m_sub, path("root/Sub"), subFiles, false, m_choices);
        EXPECT_TRUE(subTook);
        ImportFolderDescriptions(m_disk, path("root"), rootFiles, subTook, m_choices);
    }

    TTreeNode *m_sub = nullptr;
    TDescChoices m_choices;
};

// An order of the sources, the list file the root holds, and the text the
// subfolder ends with.
struct DescOrderCase {
    const char *name;
    std::array<TDescSourceId, kDescSourceCount> order;
    const char *rootFile;
    const char *subfolderText;
};

class DescOrderTable : public DescOrderTest, public ::testing::WithParamInterface<DescOrderCase>
{
};

TEST_P(DescOrderTable, TheHigherSourceGivesTheSubfolderText)
{
    const DescOrderCase &k = GetParam();
    int i = 0;
    for (TDescSourceId id : k.order)
        m_choices.order[size_t(i++)] = TDescSource{id, true};
    TFolderDescFiles root;
    ASSERT_TRUE(NoteDescriptionFile(root, QString::fromLatin1(k.rootFile)));
    scan(root);
    EXPECT_EQ(descOf(folderRec(m_sub)->Desc), k.subfolderText);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, DescOrderTable,
    ::testing::Values(
        DescOrderCase{"ListFilePreferredToDizReplacesTheSubfolderText",
                      {dsDescriptIon, dsFileIdDiz, dsFilesBbs, dsArchiveComment}, "descript.ion", "From the list"},
        DescOrderCase{"DizPreferredKeepsTheSubfolderText",
                      {dsFileIdDiz, dsDescriptIon, dsFilesBbs, dsArchiveComment}, "descript.ion", "From the DIZ"},
        DescOrderCase{"FilesBbsFollowsTheSameRule",
                      {dsFilesBbs, dsFileIdDiz, dsDescriptIon, dsArchiveComment}, "FILES.BBS", "From the BBS"},
        DescOrderCase{"FilesBbsBelowDizOnlyFillsGaps",
                      {dsFileIdDiz, dsFilesBbs, dsDescriptIon, dsArchiveComment}, "FILES.BBS", "From the DIZ"},
        DescOrderCase{"CommentEntryAboveListFileClearsTheFlag",
                      {dsArchiveComment, dsDescriptIon, dsFileIdDiz, dsFilesBbs}, "descript.ion", "From the DIZ"}),
    [](const ::testing::TestParamInfo<DescOrderCase> &info) { return std::string(info.param.name); });

TEST_F(DescOrderTest, RootDizBecomesTheDiskDescription)
{
    TFolderDescFiles root;
    EXPECT_TRUE(NoteDescriptionFile(root, QStringLiteral("FILE_ID.DIZ")));
    EXPECT_FALSE(NoteDescriptionFile(root, QStringLiteral("readme.txt")));
    EXPECT_TRUE(ImportFolderDescriptions(m_disk, path("root"), root, false, m_choices));
    EXPECT_EQ(descOf(diskRec()->Desc), "+-+ Disk text +-+");

    // An existing text stays; a switched-off source is not read.
    ASSERT_TRUE(SetDesc(diskRec()->Desc, "old"));
    ImportFolderDescriptions(m_disk, path("root"), root, false, m_choices);
    EXPECT_EQ(descOf(diskRec()->Desc), "old");
    FreeText(diskRec()->Desc);
    m_choices.diz = false;
    EXPECT_FALSE(ImportFolderDescriptions(m_disk, path("root"), root, false, m_choices));
    EXPECT_EQ(diskRec()->Desc, nullptr);
}

TEST(DescFiles, KindsAreRecognisedWithoutRegardToCase)
{
    EXPECT_EQ(DescriptionFileKind(u"File_Id.Diz"), dsFileIdDiz);
    EXPECT_EQ(DescriptionFileKind(u"files.bbs"), dsFilesBbs);
    EXPECT_EQ(DescriptionFileKind(u"DESCRIPT.ION"), dsDescriptIon);
    EXPECT_EQ(DescriptionFileKind(u"DESCRIPT.IO"), -1);
    TFolderDescFiles files;
    EXPECT_TRUE(NoteDescriptionFile(files, QStringLiteral("files.bbs")));
    EXPECT_TRUE(NoteDescriptionFile(files, QStringLiteral("FILES.BBS")));
    EXPECT_EQ(files.filesBbs, QStringLiteral("files.bbs"));
}

// ---------------------------------------------------------------- archives

// ZIP archives made with the zip program from files of a work folder.
class ArchiveDescTest : public DescImportTest
{
protected:
    ArchiveDescTest()
    {
        m_choices.diz = m_choices.ion = m_choices.bbs = m_choices.comment = true;
        QDir().mkpath(path("tmp"));
    }

    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty())
            GTEST_FAIL() << "the zip program is needed (scripts/deps.sh installs it)";
    }

    // Zips the given files of the work folder, in this order, into name.
    QString makeZip(const QString &name, const QStringList &members, const QByteArray &comment = {})
    {
        const QString zipPath = path(name);
        QProcess zip;
        zip.setWorkingDirectory(path("work"));
        QStringList args{QStringLiteral("-q"), QStringLiteral("-X")};
        if (!comment.isEmpty())
            args << QStringLiteral("-z");
        zip.start(QStringLiteral("zip"), args << zipPath << members);
        if (!comment.isEmpty())
            zip.write(comment);
        zip.closeWriteChannel();
        EXPECT_TRUE(zip.waitForFinished(-1));
        EXPECT_EQ(zip.exitCode(), 0) << zip.readAllStandardError().constData();
        return zipPath;
    }

    void work(const QString &name, const QByteArray &bytes) { writeFile(QStringLiteral("work/") + name, bytes); }

    // The archive comment as the lister delivers it.
    QByteArray listedComment(const QString &zipPath)
    {
        TArcLister lister;
        QByteArray comment;
        lister.OnRead = [&](TArcLister *l, int64_t, int) { comment = l->ArchiveComment; };
        lister.setArchiveFile(zipPath);
        lister.activate();
        return comment;
    }

    TArchiveDescInput input(const QString &zipPath, TTreeNode *folder)
    {
        TArchiveDescInput in;
        in.extIndex = ArchiveExtensionIndex(zipPath);
        in.archivePath = zipPath;
        in.archiveFolder = folder;
        in.tempDir = path("tmp");
        return in;
    }

    // Nothing is left in the temporary folder.
    void expectTempEmpty()
    {
        QDirIterator it(path("tmp"), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        EXPECT_FALSE(it.hasNext()) << qPrintable(it.next());
    }

    TDescChoices m_choices;
};

TEST_F(ArchiveDescTest, TopLevelFileIdDizDescribesTheArchive)
{
    work(QStringLiteral("sub/FILE_ID.DIZ"), "Nested, not this one");
    work(QStringLiteral("FILE_ID.DIZ"), " \xDA\xC4\xBF Top level \r\n second line ");
    work(QStringLiteral("prog.exe"), "MZ");
    // The nested one comes first in the archive.
    const QString zipPath =
        makeZip(QStringLiteral("tool.zip"), {QStringLiteral("sub/FILE_ID.DIZ"), QStringLiteral("FILE_ID.DIZ"),
                                             QStringLiteral("prog.exe")});

    TTreeNode *folder = AddFolderNode(m_disk, "Tool.zip");
    TArchiveDescInput in = input(zipPath, folder);
    in.dizMember = "File_id.diz";
    const bool quiet = ExtractionState().quiet;
    EXPECT_EQ(ImportArchiveDescriptions(in, m_choices), QByteArray());
    EXPECT_EQ(descOf(folderRec(folder)->Desc), "+-+ Top level\r\nsecond line");
    EXPECT_EQ(ExtractionState().quiet, quiet);
    expectTempEmpty();

    // Without an archive folder the text is returned for the file's own record.
    in.archiveFolder = nullptr;
    EXPECT_EQ(ImportArchiveDescriptions(in, m_choices), "+-+ Top level\r\nsecond line");
    m_choices.diz = false;
    EXPECT_EQ(ImportArchiveDescriptions(in, m_choices), QByteArray());
    expectTempEmpty();
    EXPECT_TRUE(m_prompter.messages.empty());
}

TEST_F(ArchiveDescTest, DescriptIonDescribesMembersInSubfolders)
{
    work(QStringLiteral("docs/readme.txt"), "read me");
    work(QStringLiteral("docs/other.txt"), "other");
    work(QStringLiteral("main.c"), "int main;");
    work(QStringLiteral("DESCRIPT.ION"), "docs\\readme.txt The manual\r\ndocs/other.txt Other text\r\n"
                                         "main.c Source\r\n");
    const QString zipPath = makeZip(QStringLiteral("src.zip"),
                                    {QStringLiteral("docs/readme.txt"), QStringLiteral("docs/other.txt"),
                                     QStringLiteral("main.c"), QStringLiteral("DESCRIPT.ION")});
    TTreeNode *folder = AddFolderNode(m_disk, "Src.zip");
    SetItemFlag(NodeRec(folder), rfCompressed, true);
    TFileRec *readme = file(folder, "Docs\\Readme.txt");
    TFileRec *other = file(folder, "Docs\\Other.txt");
    TFileRec *mainC = file(folder, "Main.c");
    ASSERT_TRUE(SetDesc(mainC->Desc, "member comment"));
    file(folder, "Descript.ion");

    TArchiveDescInput in = input(zipPath, folder);
    in.ionMember = "Descript.ion";
    ImportArchiveDescriptions(in, m_choices);
    EXPECT_EQ(descOf(readme->Desc), "The manual");
    EXPECT_EQ(descOf(other->Desc), "Other text");
    EXPECT_EQ(descOf(mainC->Desc), "member comment");   // never overwritten inside archives
    EXPECT_TRUE(hasDescFlag(folder));
    expectTempEmpty();

    // Switched off: nothing is read.
    FreeText(readme->Desc);
    m_choices.ion = false;
    ImportArchiveDescriptions(in, m_choices);
    EXPECT_EQ(readme->Desc, nullptr);
}

TEST_F(ArchiveDescTest, FilesBbsInsideAnArchive)
{
    work(QStringLiteral("a.zip"), "x");
    work(QStringLiteral("FILES.BBS"), "A.ZIP         Inner archive\r\n              | more\r\n");
    const QString zipPath = makeZip(QStringLiteral("bbs.zip"), {QStringLiteral("a.zip"), QStringLiteral("FILES.BBS")});
    TTreeNode *folder = AddFolderNode(m_disk, "Bbs.zip");
    TFileRec *a = file(folder, "A.zip");
    TArchiveDescInput in = input(zipPath, folder);
    in.bbsMember = "Files.bbs";
    ImportArchiveDescriptions(in, m_choices);
    EXPECT_EQ(descOf(a->Desc), "Inner archive\r\n| more");
}

TEST_F(ArchiveDescTest, ArchiveCommentFillsAnEmptyDescription)
{
    work(QStringLiteral("x.txt"), "x");
    // zip stores the line end of the comment as CR LF.
    const QByteArray stored = "\xC9\xCD\xCD\xBB Great pack \xC8\xCD\xCD\xBC\r\n  second  ";
    const QString zipPath = makeZip(QStringLiteral("c.zip"), {QStringLiteral("x.txt")},
                                    "\xC9\xCD\xCD\xBB Great pack \xC8\xCD\xCD\xBC\n  second  ");
    const QByteArray comment = listedComment(zipPath);
    ASSERT_FALSE(comment.isEmpty());

    TTreeNode *folder = AddFolderNode(m_disk, "C.zip");
    TArchiveDescInput in = input(zipPath, folder);
    in.archiveComment = comment;
    ImportArchiveDescriptions(in, m_choices);
    // Lines are not trimmed; only the frame is replaced.
    EXPECT_EQ(descOf(folderRec(folder)->Desc), "+--+ Great pack +--+\r\n  second");

    // An existing description stays; without a folder the comment is not used.
    ASSERT_TRUE(SetDesc(folderRec(folder)->Desc, "carried over"));
    ImportArchiveDescriptions(in, m_choices);
    EXPECT_EQ(descOf(folderRec(folder)->Desc), "carried over");
    in.archiveFolder = nullptr;
    EXPECT_EQ(ImportArchiveDescriptions(in, m_choices), QByteArray());

    // The raw bytes of the comment give the same text.
    TTreeNode *second = AddFolderNode(m_disk, "C2.zip");
    in.archiveFolder = second;
    in.archiveComment = stored;
    ImportArchiveDescriptions(in, m_choices);
    EXPECT_EQ(descOf(folderRec(second)->Desc), "+--+ Great pack +--+\r\n  second");
}

TEST_F(ArchiveDescTest, CommentReplacesAnEmptyDizText)
{
    work(QStringLiteral("FILE_ID.DIZ"), "  \r\n\x1A");
    const QString zipPath = makeZip(QStringLiteral("e.zip"), {QStringLiteral("FILE_ID.DIZ")}, "The comment");
    TTreeNode *folder = AddFolderNode(m_disk, "E.zip");
    ASSERT_TRUE(SetDesc(folderRec(folder)->Desc, "carried over"));
    TArchiveDescInput in = input(zipPath, folder);
    in.dizMember = "FILE_ID.DIZ";
    in.archiveComment = listedComment(zipPath);
    ImportArchiveDescriptions(in, m_choices);
    EXPECT_EQ(descOf(folderRec(folder)->Desc), "The comment");

    // With the comment ranked above FILE_ID.DIZ, the DIZ was not used yet when the comment came.
    ASSERT_TRUE(SetDesc(folderRec(folder)->Desc, "carried over"));
    m_choices.order = {TDescSource{dsArchiveComment, true}, TDescSource{dsFileIdDiz, true},
                       TDescSource{dsDescriptIon, true}, TDescSource{dsFilesBbs, true}};
    ImportArchiveDescriptions(in, m_choices);
    EXPECT_EQ(descOf(folderRec(folder)->Desc), "carried over");
}

TEST_F(ArchiveDescTest, FailuresAreQuiet)
{
    // A damaged archive, a missing member, a member declared too large, and a
    // type without extraction: no text, no message, nothing left behind.
    writeFile(QStringLiteral("bad.zip"), "PK\x03\x04 this is not really a zip archive at all");
    TTreeNode *folder = AddFolderNode(m_disk, "Bad.zip");
    TArchiveDescInput in = input(path("bad.zip"), folder);
    in.dizMember = "FILE_ID.DIZ";
    in.ionMember = "DESCRIPT.ION";
    EXPECT_EQ(ImportArchiveDescriptions(in, m_choices), QByteArray());
    EXPECT_EQ(folderRec(folder)->Desc, nullptr);

    work(QStringLiteral("FILE_ID.DIZ"), "real text");
    const QString zipPath = makeZip(QStringLiteral("ok.zip"), {QStringLiteral("FILE_ID.DIZ")});
    TArchiveDescInput missing = input(zipPath, nullptr);
    missing.dizMember = "OTHER.DIZ";
    EXPECT_EQ(ImportArchiveDescriptions(missing, m_choices), QByteArray());

    TArchiveDescInput large = input(zipPath, nullptr);
    large.dizMember = "FILE_ID.DIZ";
    EXPECT_EQ(ImportArchiveDescriptions(large, m_choices), "real text");
    large.dizSize = kMaxDescMemberBytes + 1;
    EXPECT_EQ(ImportArchiveDescriptions(large, m_choices), QByteArray());

    TArchiveDescInput cab = input(zipPath, nullptr);
    cab.extIndex = 3;   // CAB: listed, never extracted
    cab.dizMember = "FILE_ID.DIZ";
    EXPECT_EQ(ImportArchiveDescriptions(cab, m_choices), QByteArray());

    EXPECT_TRUE(m_prompter.messages.empty());
    expectTempEmpty();
}

} // namespace
