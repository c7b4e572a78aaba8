// Tests of the byte layouts of the values under the main key, as tables of
// values and their exact bytes: font values, the custom toolbar, the order of
// description sources, comma text and window placements.
#include "settings/CommaText.h"
#include "settings/DescSources.h"
#include "settings/FontValue.h"
#include "settings/ToolbarLayout.h"
#include "settings/WindowPos.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

void PrintTo(const QString &text, std::ostream *os);
void PrintTo(const QByteArray &bytes, std::ostream *os);

namespace {

template <typename Case>
std::string caseName(const ::testing::TestParamInfo<Case> &info)
{
    return info.param.name;
}

QByteArray bytesOf(const char *data, int size)
{
    return QByteArray(data, size);
}

// The UTF-8 text of n times "é" (two bytes each).
QByteArray accents(int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += "\xC3\xA9";
    return out;
}

// ---------------------------------------------------------------- font values

struct FontEncodeCase {
    std::string name;
    TFontData font;
    QByteArray bytes;
};

class FontValueEncode : public ::testing::TestWithParam<FontEncodeCase>
{
};

TEST_P(FontValueEncode, SevenBytesPlusTheName)
{
    EXPECT_EQ(EncodeFontValue(GetParam().font), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Fonts, FontValueEncode,
    ::testing::Values(
        FontEncodeCase{"CourierNew", TFontData{"Courier New", -15, 0},
                       bytesOf("\xF1\xFF\xFF\xFF\x00\x0B" "Courier New" "\x00", 18)},
        FontEncodeCase{"EveryStyleBit", TFontData{"Sans", 20, fsBold | fsItalic | fsUnderline | fsStrikeOut},
                       bytesOf("\x14\x00\x00\x00\x0F\x04" "Sans" "\x00", 11)},
        // Bits past strike-out mean nothing and are not written.
        FontEncodeCase{"StyleBitsPastStrikeOut", TFontData{"X", 1, 0xF2}, bytesOf("\x01\x00\x00\x00\x02\x01X\x00", 8)},
        FontEncodeCase{"EmptyName", TFontData{"", 0, 0}, bytesOf("\x00\x00\x00\x00\x00\x00\x00", 7)},
        FontEncodeCase{"LongestName", TFontData{QByteArray(254, 'n'), -9, 0},
                       bytesOf("\xF7\xFF\xFF\xFF\x00\xFE", 6) + QByteArray(254, 'n') + QByteArray(1, '\0')},
        FontEncodeCase{"LongerNameCut", TFontData{QByteArray(300, 'n'), -9, 0},
                       bytesOf("\xF7\xFF\xFF\xFF\x00\xFE", 6) + QByteArray(254, 'n') + QByteArray(1, '\0')},
        // 400 bytes of two-byte characters: cut to 254, a character boundary.
        FontEncodeCase{"CutAtACharacterBoundary", TFontData{accents(200), -9, 0},
                       bytesOf("\xF7\xFF\xFF\xFF\x00\xFE", 6) + accents(127) + QByteArray(1, '\0')}),
    caseName<FontEncodeCase>);

const QByteArray kCourierValue = bytesOf("\xF1\xFF\xFF\xFF\x00\x0B" "Courier New" "\x00", 18);

struct FontDecodeCase {
    std::string name;
    QByteArray bytes;
    std::optional<TFontData> font;
};

class FontValueDecode : public ::testing::TestWithParam<FontDecodeCase>
{
};

TEST_P(FontValueDecode, CompleteNamesUpTo261Bytes)
{
    EXPECT_EQ(DecodeFontValue(GetParam().bytes), GetParam().font);
}

INSTANTIATE_TEST_SUITE_P(
    Fonts, FontValueDecode,
    ::testing::Values(
        FontDecodeCase{"Whole", kCourierValue, TFontData{"Courier New", -15, 0}},
        FontDecodeCase{"WithoutTheSpareByte", kCourierValue.left(17), TFontData{"Courier New", -15, 0}},
        FontDecodeCase{"NameCutShort", kCourierValue.left(16), std::nullopt},
        FontDecodeCase{"NoLengthByte", kCourierValue.left(5), std::nullopt},
        FontDecodeCase{"Empty", QByteArray(), std::nullopt},
        FontDecodeCase{"StyleBitsPastStrikeOutDropped", bytesOf("\xF1\xFF\xFF\xFF\xF2\x01X", 7),
                       TFontData{"X", -15, fsItalic}},
        FontDecodeCase{"BytesAfterTheNameIgnored", kCourierValue + QByteArray(20, 'z'),
                       TFontData{"Courier New", -15, 0}},
        FontDecodeCase{"Longest", bytesOf("\xF7\xFF\xFF\xFF\x00\xFE", 6) + QByteArray(255, 'n'),
                       TFontData{QByteArray(254, 'n'), -9, 0}},
        FontDecodeCase{"OneByteTooLong", bytesOf("\xF7\xFF\xFF\xFF\x00\xFE", 6) + QByteArray(256, 'n'),
                       std::nullopt}),
    caseName<FontDecodeCase>);

// ---------------------------------------------------------------- toolbar

// "CustomToolbar" bytes and the entries they give up to the point where the
// buttons they do not name follow, hidden, in the button table's order.
struct ToolbarCase {
    std::string name;
    QByteArray bytes;
    std::vector<quint8> named;
};

class ToolbarParse : public ::testing::TestWithParam<ToolbarCase>
{
};

TEST_P(ToolbarParse, UnnamedButtonsFollowTheMarker)
{
    std::vector<quint8> expected = GetParam().named;
    for (const TToolbarButtonInfo &button : ToolbarButtons())
        if (std::find(expected.begin(), expected.end(), button.Tag) == expected.end())
            expected.push_back(button.Tag);
    const std::vector<quint8> parsed = ParseCustomToolbar(GetParam().bytes);
    EXPECT_EQ(parsed, expected);
    EXPECT_EQ(std::count(parsed.begin(), parsed.end(), kToolbarMarker), 1);
    // What was parsed writes and parses back the same.
    EXPECT_EQ(ParseCustomToolbar(WriteCustomToolbar(parsed)), parsed);
}

constexpr quint8 S = kToolbarSeparator, M = kToolbarMarker;

INSTANTIATE_TEST_SUITE_P(
    Layouts, ToolbarParse,
    ::testing::Values(
        // Unknown tags (4, 99) and repeats are ignored, separators after the marker dropped.
        ToolbarCase{"UnknownRepeatedAndLateSeparators", bytesOf("\x01\x04\x00\x02\x01\xFF\x00\x03\xFF\x63", 10),
                    {1, S, 2, M, 3}},
        ToolbarCase{"WithoutAMarkerTheUnnamedAreStillHidden", bytesOf("\x20\x00\x01", 3), {32, S, 1, M}},
        ToolbarCase{"NothingStoredHidesEveryButton", QByteArray(), {M}},
        ToolbarCase{"SeparatorsBeforeTheMarkerKept", bytesOf("\x00\x00\x01\xFF", 4), {S, S, 1, M}},
        ToolbarCase{"BuiltIn", bytesOf("\x01\x02\x03\x00\x05\x06\x08\x09\x07\x00\x0B\x0C\x0D\x0E\x0F\x10\x11\x12"
                                       "\x13\x00\x15\x16\x17\x18\x00\x1A\x1B\x1C\x1D\x1E\x00\x20\xFF", 33),
                    BuiltInToolbarLayout()}),
    caseName<ToolbarCase>);

TEST(ToolbarLayout, ButtonsAndTheBuiltInLayout)
{
    EXPECT_EQ(ToolbarButtons().size(), 27u);
    EXPECT_EQ(QString::fromLatin1(FindToolbarButton(16)->Hint), QStringLiteral("View File in ASCII Viewer"));
    EXPECT_EQ(FindToolbarButton(4), nullptr);
    const std::vector<quint8> builtIn = BuiltInToolbarLayout();
    EXPECT_EQ(builtIn.back(), kToolbarMarker);
    EXPECT_EQ(std::count(builtIn.begin(), builtIn.end(), kToolbarSeparator), 5);
    // Every button is on the built-in toolbar.
    EXPECT_EQ(builtIn.size(), 27u + 5u + 1u);
    // At most 256 entries are written.
    EXPECT_EQ(WriteCustomToolbar(std::vector<quint8>(300, kToolbarSeparator)).size(), kCustomToolbarMax);
}

// ---------------------------------------------------------------- description order

struct OrderCase {
    std::string name;
    QByteArray order;
    QByteArray result;
};

class ImportDescOrder : public ::testing::TestWithParam<OrderCase>
{
};

TEST_P(ImportDescOrder, SourcesMoveWithTheirCheckMarks)
{
    TImportDescList list = InitialImportDescList();
    list[1].Checked = true;   // DESCRIPT.ION
    ApplyImportDescOrder(list, GetParam().order);
    EXPECT_EQ(ImportDescOrderBytes(list), GetParam().result);
    for (const TDescSource &source : list)
        EXPECT_EQ(source.Checked, source.Id == dsDescriptIon);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, ImportDescOrder,
    ::testing::Values(OrderCase{"Nothing", QByteArray(), bytesOf("\x00\x02\x01\x03", 4)},
                      OrderCase{"Initial", bytesOf("\x00\x02\x01\x03", 4), bytesOf("\x00\x02\x01\x03", 4)},
                      OrderCase{"Reversed", bytesOf("\x03\x02\x01\x00", 4), bytesOf("\x03\x02\x01\x00", 4)},
                      OrderCase{"UnknownIdentifiersSkipped", bytesOf("\x05\x01\x09\x00", 4),
                                bytesOf("\x03\x01\x02\x00", 4)},
                      OrderCase{"Short", bytesOf("\x03", 1), bytesOf("\x03\x02\x01\x00", 4)},
                      OrderCase{"OnlyTheFirstFourBytes", bytesOf("\x01\x00\x02\x03\x00", 5),
                                bytesOf("\x01\x00\x02\x03", 4)}),
    caseName<OrderCase>);

TEST(ImportDescOrder, AnyOrderKeepsTheFourSources)
{
    std::mt19937 rng(5);
    for (int round = 0; round < 500; ++round) {
        TImportDescList list = InitialImportDescList();
        QByteArray order;
        for (int i = 0; i < 4; ++i)
            order += char(rng() % 6);
        ApplyImportDescOrder(list, order);
        std::set<int> ids;
        for (const TDescSource &s : list)
            ids.insert(s.Id);
        ASSERT_EQ(ids.size(), 4u);
    }
    EXPECT_EQ(DescSourceText(dsDescriptIon), QStringLiteral("DESCRIPT.ION (4DOS/NDOS descriptions)"));
}

// ---------------------------------------------------------------- comma text

// A list and its comma text, both ways.
struct CommaCase {
    std::string name;
    QStringList items;
    QString text;
};

class CommaTextBothWays : public ::testing::TestWithParam<CommaCase>
{
};

TEST_P(CommaTextBothWays, QuotesItemsWithBlanksOrCommas)
{
    EXPECT_EQ(ToCommaText(GetParam().items), GetParam().text);
    EXPECT_EQ(FromCommaText(GetParam().text), GetParam().items);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, CommaTextBothWays,
    ::testing::Values(
        CommaCase{"Mixed",
                  {QStringLiteral("a"), QStringLiteral("b c"), QStringLiteral("d,e"), QStringLiteral("q\"x"), QString(),
                   QStringLiteral("/home/u/Ü.ctf")},
                  QStringLiteral("a,\"b c\",\"d,e\",\"q\"\"x\",\"\",/home/u/Ü.ctf")},
        CommaCase{"NoItems", {}, QString()},
        CommaCase{"OneEmptyItem", {QString()}, QStringLiteral("\"\"")},
        CommaCase{"TabQuoted", {QStringLiteral("a\tb")}, QStringLiteral("\"a\tb\"")}),
    caseName<CommaCase>);

// Texts only read (never written so) and the lists they give.
struct CommaReadCase {
    std::string name;
    QString text;
    QStringList items;
};

class CommaTextRead : public ::testing::TestWithParam<CommaReadCase>
{
};

TEST_P(CommaTextRead, BlanksSeparateAsCommasDo)
{
    EXPECT_EQ(FromCommaText(GetParam().text), GetParam().items);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CommaTextRead,
    ::testing::Values(
        // Unquoted blanks separate items as commas do; a doubled comma is an empty item.
        CommaReadCase{"BlanksAndDoubledCommas", QStringLiteral("  a b,,c, \"d e\" ,"),
                      {QStringLiteral("a"), QStringLiteral("b"), QString(), QStringLiteral("c"),
                       QStringLiteral("d e")}},
        CommaReadCase{"UnclosedQuote", QStringLiteral("\"open"), {QStringLiteral("open")}},
        CommaReadCase{"TextAfterAClosingQuote", QStringLiteral("\"a\"b"), {QStringLiteral("a"), QStringLiteral("b")}},
        CommaReadCase{"ANulEndsTheText", QStringLiteral("a,b") + QChar(0) + QStringLiteral(",c"),
                      {QStringLiteral("a"), QStringLiteral("b")}}),
    caseName<CommaReadCase>);

TEST(CommaText, AnyListReadsBackAsWritten)
{
    std::mt19937 rng(3);
    const QString alphabet = QStringLiteral("ab ,\"\t\\xé");
    for (int round = 0; round < 1000; ++round) {
        QStringList list;
        const int count = int(rng() % 5);
        for (int i = 0; i < count; ++i) {
            QString item;
            const int length = int(rng() % 6);
            for (int k = 0; k < length; ++k)
                item += alphabet[qsizetype(rng() % quint32(alphabet.size()))];
            list << item;
        }
        ASSERT_EQ(FromCommaText(ToCommaText(list)), list) << ToCommaText(list).toStdString();
    }
}

// ---------------------------------------------------------------- window placements

struct WindowPosCase {
    std::string name;
    QRect bounds;
    qint32 own;
    QByteArray bytes;
};

class WindowPosRecord : public ::testing::TestWithParam<WindowPosCase>
{
};

TEST_P(WindowPosRecord, FiveLittleEndianFields)
{
    const WindowPosCase &k = GetParam();
    EXPECT_EQ(EncodeWindowPos(k.bounds, k.own), k.bytes);
    EXPECT_EQ(DecodeWindowPos(k.bytes), (TWindowPosRecord{k.bounds, k.own}));
    EXPECT_EQ(DecodeWindowPos(k.bytes.left(19)), std::nullopt);
    EXPECT_EQ(DecodeWindowPos(k.bytes + 'x'), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Records, WindowPosRecord,
    ::testing::Values(
        WindowPosCase{"Plain", QRect(10, 20, 800, 600), 7,
                      bytesOf("\x0A\x00\x00\x00\x14\x00\x00\x00\x20\x03\x00\x00\x58\x02\x00\x00\x07\x00\x00\x00", 20)},
        WindowPosCase{"NegativeLeftAndOwn", QRect(-4, -4, 1928, 1048), -1,
                      bytesOf("\xFC\xFF\xFF\xFF\xFC\xFF\xFF\xFF\x88\x07\x00\x00\x18\x04\x00\x00\xFF\xFF\xFF\xFF", 20)}),
    caseName<WindowPosCase>);

struct MainWindowCase {
    std::string name;
    TMainWindowPos pos;
    QByteArray bytes;
};

class MainWindowPosRecord : public ::testing::TestWithParam<MainWindowCase>
{
};

TEST_P(MainWindowPosRecord, FieldsAtTheirOffsets)
{
    const MainWindowCase &k = GetParam();
    EXPECT_EQ(EncodeMainWindowPos(k.pos), k.bytes);
    EXPECT_EQ(DecodeMainWindowPos(k.bytes), k.pos);
    EXPECT_EQ(DecodeMainWindowPos(k.bytes.left(29)), std::nullopt);
    EXPECT_EQ(DecodeMainWindowPos(k.bytes + 'x'), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Records, MainWindowPosRecord,
    ::testing::Values(
        // Bounds, tree width, 8 unused bytes, view style, sort byte.
        MainWindowCase{"DetailsReversed", TMainWindowPos{QRect(10, -20, 800, 600), 240, 2, 0x91},
                       bytesOf("\x0A\x00\x00\x00\xEC\xFF\xFF\xFF\x20\x03\x00\x00\x58\x02\x00\x00\xF0\x00\x00\x00"
                               "\x00\x00\x00\x00\x00\x00\x00\x00\x02\x91", 30)},
        MainWindowCase{"Zero", TMainWindowPos{QRect(0, 0, 0, 0), 0, 0, 0}, QByteArray(30, '\0')}),
    caseName<MainWindowCase>);

// A placement and whether it reaches onto a 1920 x 1080 screen.
struct OnScreenCase {
    std::string name;
    QRect bounds;
    bool onScreen;
};

class PlacementOnScreenTable : public ::testing::TestWithParam<OnScreenCase>
{
};

TEST_P(PlacementOnScreenTable, ReachesOntoTheScreen)
{
    EXPECT_EQ(PlacementOnScreen(GetParam().bounds, QRect(0, 0, 1920, 1080)), GetParam().onScreen);
}

INSTANTIATE_TEST_SUITE_P(
    Placements, PlacementOnScreenTable,
    ::testing::Values(OnScreenCase{"Inside", QRect(100, 100, 400, 300), true},
                      OnScreenCase{"RightOfIt", QRect(2500, 100, 400, 300), false},
                      OnScreenCase{"LeftOfIt", QRect(-500, 10, 400, 300), false},
                      OnScreenCase{"OverTheLeftEdge", QRect(-300, 10, 400, 300), true},
                      OnScreenCase{"LastColumn", QRect(1919, 0, 10, 10), true},
                      OnScreenCase{"PastTheLastColumn", QRect(1920, 0, 10, 10), false},
                      OnScreenCase{"BelowIt", QRect(10, 1080, 10, 10), false},
                      OnScreenCase{"TouchingTheTop", QRect(10, -10, 10, 10), true},
                      OnScreenCase{"AboveIt", QRect(10, -11, 10, 10), false},
                      OnScreenCase{"FarAway", QRect(-5000, -5000, 10, 10), false}),
    caseName<OnScreenCase>);

// A maximized window and one of any other size.
TEST(NormalizeMaximized, OnlyTheMaximizedSizeLosesItsFrame)
{
    const QSize maximized(1928, 1048);
    EXPECT_EQ(NormalizeMaximized(QRect(-4, -4, 1928, 1048), maximized), QRect(0, 0, 1920, 1040));
    EXPECT_EQ(NormalizeMaximized(QRect(-4, -4, 800, 600), maximized), QRect(-4, -4, 800, 600));
}

} // namespace
