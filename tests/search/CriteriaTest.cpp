// The window's criteria without a window: defaults, leaving pages, the
// checks of Find with their questions, the snapshot's prepared values, and
// the registered file types.
#include "search/Criteria.h"
#include "search/RegisteredTypes.h"

#include "platform/DosTime.h"
#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QTime>

#include <functional>

using testcat::ScriptedPrompter;

namespace {

const QDate kToday(2024, 5, 17);

TSearchWork NewWork()
{
    TSearchWork work;
    ResetCriteria(work, kToday);
    return work;
}

const std::vector<TFileType> kTypes = {{"(none)", {}}, {"Plain text", QStringLiteral(".txt\1")}};

// ---------------------------------------------------------------- defaults

TEST(ResetCriteriaTest, CriteriaToDefaultsSettingsAndTimesKept)
{
    TSearchWork work;
    work.byName = work.byDesc = work.byCategory = work.bySize = work.byDate = true;
    work.files = work.folders = work.disks = false;
    work.searchType = 1;
    work.nameTexts[nmPartOfName] = "a";
    work.nameTexts[nmExtension] = "txt";
    work.nameMode = nmExtension;
    work.fileType = 3;
    work.attrHidden = asSet;
    work.descMode = dmNone;
    work.descText = "x";
    work.descCase = true;
    work.checkedCategories << "Games";
    work.sizeOp = soBetween;
    work.size1 = TSizeField{"5", SizeUnit::MB};
    work.sizeTolerance = true;
    work.dateKind = dkCreated;
    work.dateOp = doAfter;
    work.dateTolerance = true;
    work.dateToleranceDays = 4;
    work.timeKind = dkModified;
    work.timeOp = doBefore;
    work.timeTolerance = true;
    work.timeToleranceMinutes = 30;
    work.time1 = QTime(9, 15);
    work.time2 = QTime(10, 45);
    work.clearResults = false;
    work.showLimit = true;
    work.showSettings = true;
    work.duplicatesMode = true;
    work.limitFound = true;
    work.maxFound = 42;

    ResetCriteria(work, kToday);

    EXPECT_FALSE(work.byName || work.byDesc || work.byCategory || work.bySize || work.byDate);
    EXPECT_TRUE(work.files && work.folders && work.disks);
    EXPECT_EQ(work.searchType, 0);
    for (const QString &text : work.nameTexts)
        EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(work.nameMode, nmPartOfName);
    EXPECT_EQ(work.fileType, -1);
    EXPECT_EQ(work.attrHidden, asIgnored);
    EXPECT_FALSE(work.attrOn());
    EXPECT_EQ(work.descMode, dmContains);
    EXPECT_TRUE(work.descText.isEmpty());
    EXPECT_FALSE(work.descCase);
    EXPECT_TRUE(work.checkedCategories.isEmpty());
    EXPECT_EQ(work.sizeOp, soNone);
    EXPECT_EQ(work.size1.text, "0");
    EXPECT_EQ(work.size1.unit, SizeUnit::Bytes);
    EXPECT_FALSE(work.sizeTolerance);
    EXPECT_EQ(work.dateKind, dkNone);
    EXPECT_EQ(work.dateOp, doOn);
    EXPECT_EQ(work.date1, kToday);
    EXPECT_EQ(work.date2, kToday);
    EXPECT_FALSE(work.dateTolerance);
    EXPECT_EQ(work.dateToleranceDays, 0);
    EXPECT_EQ(work.timeKind, dkNone);
    EXPECT_EQ(work.timeOp, doOn);
    EXPECT_FALSE(work.timeTolerance);
    EXPECT_EQ(work.timeToleranceMinutes, 0);
    // Kept: the time pickers and the settings.
    EXPECT_EQ(work.time1, QTime(9, 15));
    EXPECT_EQ(work.time2, QTime(10, 45));
    EXPECT_FALSE(work.clearResults);
    EXPECT_TRUE(work.showLimit && work.showSettings && work.duplicatesMode && work.limitFound);
    EXPECT_EQ(work.maxFound, 42);
}

TEST(SearchWorkTest, EachNameModeKeepsItsText)
{
    TSearchWork work = NewWork();
    work.setNameText("part");
    work.setNameMode(nmFileMask);
    EXPECT_TRUE(work.nameText().isEmpty());
    work.setNameText("*.txt");
    work.setNameMode(nmFileType);
    EXPECT_TRUE(work.nameText().isEmpty());
    work.setNameText("ignored");
    work.setNameMode(nmPartOfName);
    EXPECT_EQ(work.nameText(), "part");
    work.setNameMode(nmFileMask);
    EXPECT_EQ(work.nameText(), "*.txt");
}

TEST(SearchWorkTest, CaseSensitivityOnlyWhereTheModeOffersIt)
{
    TSearchWork work = NewWork();
    work.fileCase = true;
    const std::vector<std::pair<int, bool>> modes = {{nmPartOfName, true}, {nmFileMask, false}, {nmExactName, true},
                                                     {nmExtension, false}, {nmFileType, false}, {nmRegex, true}};
    for (const auto &[mode, expected] : modes) {
        work.setNameMode(mode);
        EXPECT_EQ(work.caseSensitiveName(), expected) << mode;
    }
}

// ---------------------------------------------------------------- leaving pages

TEST(LeavePageTest, ExtensionListIsNormalised)
{
    TSearchWork work = NewWork();
    work.setNameMode(nmExtension);
    work.setNameText(" *.txt , .DOC");
    LeaveNamePage(work);
    EXPECT_EQ(work.nameText(), "txt,DOC");
    // Other modes keep their text as typed.
    work.setNameMode(nmPartOfName);
    work.setNameText(" *.txt , .DOC");
    LeaveNamePage(work);
    EXPECT_EQ(work.nameText(), " *.txt , .DOC");
}

TEST(LeavePageTest, SizesExchangedWhenTheSecondIsSmaller)
{
    TSearchWork work = NewWork();
    work.sizeOp = soBetween;
    work.size1 = TSizeField{"5", SizeUnit::MB};
    work.size2 = TSizeField{"1", SizeUnit::MB};
    LeaveSizePage(work);
    EXPECT_EQ(work.size1.text, "1");
    EXPECT_EQ(work.size2.text, "5");
    EXPECT_EQ(work.size2.unit, SizeUnit::MB);

    // Units count: 1.5 MB (normalised to 1536 KB) against 2000 KB stays.
    work.size1 = TSizeField{"1.5", SizeUnit::MB};
    work.size2 = TSizeField{"2000", SizeUnit::KB};
    LeaveSizePage(work);
    EXPECT_EQ(work.size1.text, "1536");
    EXPECT_EQ(work.size1.unit, SizeUnit::KB);
    EXPECT_EQ(work.size2.text, "2000");

    // Without a second value nothing moves.
    work.sizeOp = soEqual;
    work.size1 = TSizeField{"5", SizeUnit::MB};
    work.size2 = TSizeField{"1", SizeUnit::MB};
    LeaveSizePage(work);
    EXPECT_EQ(work.size1.text, "5");

    // A field that is no number is left as typed.
    work.sizeOp = soNotBetween;
    work.size1 = TSizeField{"abc", SizeUnit::MB};
    work.size2 = TSizeField{"1", SizeUnit::Bytes};
    LeaveSizePage(work);
    EXPECT_EQ(work.size1.text, "abc");
    EXPECT_EQ(work.size2.text, "1");
}

TEST(LeavePageTest, DatesAndTimesExchangedWhenTheSecondIsEarlier)
{
    TSearchWork work = NewWork();
    work.dateOp = doBetween;
    work.date1 = QDate(2024, 6, 1);
    work.date2 = QDate(2024, 5, 1);
    work.timeOp = doNotBetween;
    work.time1 = QTime(18, 0);
    work.time2 = QTime(8, 0);
    LeaveDatePage(work);
    EXPECT_EQ(work.date1, QDate(2024, 5, 1));
    EXPECT_EQ(work.date2, QDate(2024, 6, 1));
    EXPECT_EQ(work.time1, QTime(8, 0));
    EXPECT_EQ(work.time2, QTime(18, 0));

    work.dateOp = doOn;
    work.timeOp = doAfter;
    work.date1 = QDate(2024, 6, 1);
    work.date2 = QDate(2024, 5, 1);
    work.time1 = QTime(18, 0);
    work.time2 = QTime(8, 0);
    LeaveDatePage(work);
    EXPECT_EQ(work.date1, QDate(2024, 6, 1));
    EXPECT_EQ(work.time1, QTime(18, 0));
}

// ---------------------------------------------------------------- Find

TEST(FindEnabledTest, GroupAndItemKindNeeded)
{
    TSearchWork work = NewWork();
    EXPECT_FALSE(FindEnabled(work));
    work.byDate = true;
    EXPECT_TRUE(FindEnabled(work));
    work.files = work.folders = work.disks = false;
    EXPECT_FALSE(FindEnabled(work));
    work.disks = true;
    EXPECT_TRUE(FindEnabled(work));
    work.byDate = false;
    work.duplicatesMode = true;
    EXPECT_TRUE(FindEnabled(work));
}

struct Asked {
    QString caption;
    QString text;
};

struct ValidateCase {
    const char *label;
    std::function<void(TSearchWork &)> setup;
    std::vector<MsgAnswer> answers;
    bool expected;
    std::vector<Asked> asked;
    std::vector<CriteriaGroup> shown;
    std::function<void(const TSearchWork &)> check;
};

const QString kQuestion = QStringLiteral("\rWould you like to disable this search criteria?");

Asked NameAsk(const QString &what, const QString &sentence)
{
    return {QStringLiteral("Invalid ") + what + QStringLiteral(" field"), sentence + kQuestion};
}

const QString kNoName = QStringLiteral("You did not enter what name are you searching for.");
const QString kNoType = QStringLiteral("You did not enter what file type are you searching for.");
const QString kBadMask = QStringLiteral("The DOS File Mask is not valid.");
const QString kNoDesc = QStringLiteral("You did not enter what description are you searching for.");
const QString kNoSize = QStringLiteral("You did not select what size are you looking for.");
const QString kNoDate = QStringLiteral("You did not select what date or time are you looking for.");

void NameSetup(TSearchWork &w, int mode, const QString &text)
{
    w.byName = true;
    w.setNameMode(mode);
    w.setNameText(text);
}

std::vector<ValidateCase> ValidateCases()
{
    using G = CriteriaGroup;
    const auto none = [](const TSearchWork &) {};
    return {
        {"complete name", [](TSearchWork &w) { NameSetup(w, nmPartOfName, "read"); }, {}, true, {}, {},
         [](const TSearchWork &w) { EXPECT_EQ(w.nameMode, nmPartOfName); }},
        {"wildcards switch to the mask mode", [](TSearchWork &w) { NameSetup(w, nmPartOfName, "RE?D"); }, {}, true,
         {}, {},
         [](const TSearchWork &w) {
             EXPECT_EQ(w.nameMode, nmFileMask);
             EXPECT_EQ(w.nameText(), "RE?D");
             EXPECT_TRUE(w.byName);
         }},
        {"exact name with a star", [](TSearchWork &w) { NameSetup(w, nmExactName, "a*"); }, {}, true, {}, {},
         [](const TSearchWork &w) { EXPECT_EQ(w.nameMode, nmFileMask); }},
        {"mask cleaned and written back", [](TSearchWork &w) { NameSetup(w, nmFileMask, "**.txt"); }, {}, true, {},
         {}, [](const TSearchWork &w) { EXPECT_EQ(w.nameText(), "*.txt"); }},
        {"extension list typed with wildcards stays an extension list",
         [](TSearchWork &w) { NameSetup(w, nmExtension, " *.txt , *.DOC"); }, {}, true, {}, {},
         [](const TSearchWork &w) {
             EXPECT_EQ(w.nameMode, nmExtension);
             EXPECT_EQ(w.nameText(), "txt,DOC");
         }},
        {"wildcard inside an extension makes a mask", [](TSearchWork &w) { NameSetup(w, nmExtension, "t?t"); }, {},
         true, {}, {}, [](const TSearchWork &w) { EXPECT_EQ(w.nameMode, nmFileMask); }},
        {"regular expressions keep their wildcards", [](TSearchWork &w) { NameSetup(w, nmRegex, "^a.*b?$"); }, {},
         true, {}, {}, [](const TSearchWork &w) { EXPECT_EQ(w.nameMode, nmRegex); }},
        {"empty name, Yes", [](TSearchWork &w) { NameSetup(w, nmPartOfName, ""); }, {MsgAnswer::Yes}, true,
         {NameAsk("item name", kNoName)}, {G::Name}, [](const TSearchWork &w) { EXPECT_FALSE(w.byName); }},
        {"empty name, No", [](TSearchWork &w) { NameSetup(w, nmExactName, ""); }, {MsgAnswer::No}, false,
         {NameAsk("item name", kNoName)}, {G::Name}, [](const TSearchWork &w) { EXPECT_TRUE(w.byName); }},
        {"empty extension", [](TSearchWork &w) { NameSetup(w, nmExtension, " , "); }, {MsgAnswer::No}, false,
         {NameAsk("extension", kNoName)}, {G::Name}, none},
        {"empty mask", [](TSearchWork &w) { NameSetup(w, nmFileMask, ""); }, {MsgAnswer::No}, false,
         {NameAsk("file mask", kNoName)}, {G::Name}, none},
        {"no file type", [](TSearchWork &w) { NameSetup(w, nmFileType, ""); }, {MsgAnswer::No}, false,
         {NameAsk("file type", kNoType)}, {G::Name}, none},
        {"file type (none)",
         [](TSearchWork &w) {
             NameSetup(w, nmFileType, "");
             w.fileType = 0;
         },
         {MsgAnswer::Yes}, true, {NameAsk("file type", kNoType)}, {G::Name},
         [](const TSearchWork &w) { EXPECT_FALSE(w.byName); }},
        {"file type chosen",
         [](TSearchWork &w) {
             NameSetup(w, nmFileType, "");
             w.fileType = 1;
         },
         {}, true, {}, {}, none},
        {"attributes alone complete the name group",
         [](TSearchWork &w) {
             NameSetup(w, nmPartOfName, "");
             w.attrHidden = asSet;
         },
         {}, true, {}, {}, [](const TSearchWork &w) { EXPECT_TRUE(w.byName); }},
        {"attributes are not shown in duplicates mode",
         [](TSearchWork &w) {
             NameSetup(w, nmPartOfName, "");
             w.attrHidden = asSet;
             w.duplicatesMode = true;
         },
         {MsgAnswer::No}, false, {NameAsk("item name", kNoName)}, {G::Name}, none},
        {"invalid mask, No ends at once",
         [](TSearchWork &w) {
             NameSetup(w, nmFileMask, "//,");
             w.byDesc = true;
             w.bySize = true;
         },
         {MsgAnswer::No}, false, {NameAsk("file mask", kBadMask)}, {G::Name},
         [](const TSearchWork &w) {
             EXPECT_TRUE(w.byName);
             EXPECT_TRUE(w.byDesc);
             EXPECT_EQ(w.nameText(), "//,");
         }},
        {"invalid mask, Yes goes on with the other groups",
         [](TSearchWork &w) {
             NameSetup(w, nmFileMask, "\\");
             w.byDesc = true;
         },
         {MsgAnswer::Yes, MsgAnswer::No}, false,
         {NameAsk("file mask", kBadMask), NameAsk("description", kNoDesc)}, {G::Name, G::Description},
         [](const TSearchWork &w) {
             EXPECT_FALSE(w.byName);
             EXPECT_TRUE(w.byDesc);
         }},
        {"invalid regular expression", [](TSearchWork &w) { NameSetup(w, nmRegex, "a(b"); }, {MsgAnswer::Yes},
         true,
         {NameAsk("regular expression",
                  QStringLiteral("The regular expression is not valid: missing closing parenthesis (at character 4)."))},
         {G::Name}, [](const TSearchWork &w) { EXPECT_FALSE(w.byName); }},
        {"description text missing",
         [](TSearchWork &w) {
             w.byDesc = true;
             w.descMode = dmContains;
         },
         {MsgAnswer::Yes}, true, {NameAsk("description", kNoDesc)}, {G::Description},
         [](const TSearchWork &w) { EXPECT_FALSE(w.byDesc); }},
        {"description without text needs none",
         [](TSearchWork &w) {
             w.byDesc = true;
             w.descMode = dmNone;
         },
         {}, true, {}, {}, none},
        {"size without operator",
         [](TSearchWork &w) { w.bySize = true; }, {MsgAnswer::No}, false, {NameAsk("size", kNoSize)}, {G::Size},
         [](const TSearchWork &w) { EXPECT_TRUE(w.bySize); }},
        {"size that is no number",
         [](TSearchWork &w) {
             w.bySize = true;
             w.sizeOp = soBetween;
             w.size2 = TSizeField{"1,5x", SizeUnit::KB};
         },
         {MsgAnswer::No}, false,
         {NameAsk("size", QStringLiteral("'1,5x' is not a valid number."))}, {G::Size},
         [](const TSearchWork &w) { EXPECT_TRUE(w.bySize); }},
        {"tolerance that is no number, Yes",
         [](TSearchWork &w) {
             w.bySize = true;
             w.sizeOp = soEqual;
             w.sizeTolerance = true;
             w.size3 = TSizeField{"", SizeUnit::Bytes};
         },
         {MsgAnswer::Yes}, true, {NameAsk("size", QStringLiteral("'' is not a valid number."))}, {G::Size},
         [](const TSearchWork &w) { EXPECT_FALSE(w.bySize); }},
        {"unused size fields are not read",
         [](TSearchWork &w) {
             w.bySize = true;
             w.sizeOp = soLarger;
             w.size2 = TSizeField{"junk", SizeUnit::KB};
             w.size3 = TSizeField{"junk", SizeUnit::KB};
         },
         {}, true, {}, {}, [](const TSearchWork &w) { EXPECT_EQ(w.size2.text, "junk"); }},
        {"date without kind", [](TSearchWork &w) { w.byDate = true; }, {MsgAnswer::Yes}, true,
         {NameAsk("date ot time", kNoDate)}, {G::Date}, [](const TSearchWork &w) { EXPECT_FALSE(w.byDate); }},
        {"a time kind is enough",
         [](TSearchWork &w) {
             w.byDate = true;
             w.timeKind = dkModified;
         },
         {}, true, {}, {}, none},
        {"No on one group, the others still asked",
         [](TSearchWork &w) {
             NameSetup(w, nmPartOfName, "");
             w.byDesc = true;
             w.bySize = true;
             w.byDate = true;
         },
         {MsgAnswer::No, MsgAnswer::Yes, MsgAnswer::No, MsgAnswer::Yes}, false,
         {NameAsk("item name", kNoName), NameAsk("description", kNoDesc), NameAsk("size", kNoSize),
          NameAsk("date ot time", kNoDate)},
         {G::Name, G::Description, G::Size, G::Date},
         [](const TSearchWork &w) {
             EXPECT_TRUE(w.byName);
             EXPECT_FALSE(w.byDesc);
             EXPECT_TRUE(w.bySize);
             EXPECT_FALSE(w.byDate);
         }},
        {"duplicates mode drops hidden groups silently",
         [](TSearchWork &w) {
             w.duplicatesMode = true;
             w.byDesc = true;
             w.bySize = true;
             w.byDate = true;
         },
         {}, true, {}, {},
         [](const TSearchWork &w) {
             EXPECT_FALSE(w.byDesc || w.bySize || w.byDate);
             EXPECT_TRUE(FindEnabled(w));
         }},
        {"category group needs no check", [](TSearchWork &w) { w.byCategory = true; }, {}, true, {}, {}, none},
    };
}

void PrintTo(const ValidateCase &c, std::ostream *os)
{
    *os << c.label;
}

class ValidateTest : public ::testing::TestWithParam<ValidateCase>
{
};

TEST_P(ValidateTest, MessagesAnswersAndChanges)
{
    const ValidateCase &p = GetParam();
    TSearchWork work = NewWork();
    p.setup(work);
    ScriptedPrompter prompter;
    prompter.answers = p.answers;
    std::vector<CriteriaGroup> shown;
    const bool result = ValidateCriteria(work, kTypes, prompter, [&](CriteriaGroup g) { shown.push_back(g); });

    EXPECT_EQ(result, p.expected);
    ASSERT_EQ(prompter.messages.size(), p.asked.size());
    for (size_t i = 0; i < p.asked.size(); ++i) {
        EXPECT_EQ(prompter.messages[i].caption, p.asked[i].caption);
        EXPECT_EQ(prompter.messages[i].text, p.asked[i].text);
        EXPECT_EQ(prompter.messages[i].icon, MsgIcon::Error);
        EXPECT_EQ(prompter.messages[i].buttons, MsgButtons::YesNo);
    }
    EXPECT_EQ(shown, p.shown);
    p.check(work);
}

INSTANTIATE_TEST_SUITE_P(Cases, ValidateTest, ::testing::ValuesIn(ValidateCases()),
                         [](const ::testing::TestParamInfo<ValidateCase> &info) {
                             std::string name;
                             for (const char c : std::string(info.param.label))
                                 name += std::isalnum(uchar(c)) ? c : '_';
                             return name;
                         });

TEST(ValidateTest, LastGroupClearedLeavesNoCriteria)
{
    TSearchWork work = NewWork();
    work.bySize = true;
    ScriptedPrompter prompter;
    prompter.answers = {MsgAnswer::Yes};
    EXPECT_TRUE(ValidateCriteria(work, kTypes, prompter));
    EXPECT_FALSE(FindEnabled(work));
    EXPECT_EQ(MsgNoCriteriaLeft(), "There is no criteria left to search by.");
    EXPECT_EQ(MsgNoCriteriaCaption(), "No criteria defined");
}

// ---------------------------------------------------------------- snapshot

TEST(SnapshotTest, NamePatternsPrepared)
{
    struct Case {
        int mode;
        QString text;
        bool fileCase;
        QString pattern;
        bool caseSensitive;
    };
    const std::vector<Case> cases = {
        {nmPartOfName, "Read", false, "READ", false},
        {nmPartOfName, "Read", true, "Read", true},
        {nmFileMask, "*.txt", true, "*.TXT", false},
        {nmExactName, QString::fromUtf8("stra\xC3\x9F" "e"), false, "STRASSE", false},
        {nmExtension, "txt,doc", true, QStringLiteral(".TXT\1.DOC\1"), false},
        {nmExtension, " *.txt , .Doc", false, QStringLiteral(".TXT\1.DOC\1"), false},
        {nmRegex, "^Re\\d", false, "^Re\\d", false},
    };
    for (const Case &k : cases) {
        TSearchWork work = NewWork();
        work.byName = true;
        work.setNameMode(k.mode);
        work.setNameText(k.text);
        work.fileCase = k.fileCase;
        bool active = false;
        const std::optional<TSearchCriteria> c = TakeCriteriaSnapshot(work, kTypes, &active);
        ASSERT_TRUE(c) << k.mode;
        EXPECT_TRUE(active);
        EXPECT_TRUE(c->NameOn);
        EXPECT_EQ(c->NameMode, k.mode);
        EXPECT_EQ(c->NamePattern, k.pattern) << k.mode;
        EXPECT_EQ(c->CaseSensitive, k.caseSensitive) << k.mode;
        EXPECT_TRUE(c->Prepared);
        EXPECT_EQ(c->NameKey, k.pattern.toUtf8());
    }
}

TEST(SnapshotTest, FileTypePatternAsRegistered)
{
    TSearchWork work = NewWork();
    work.byName = true;
    work.setNameMode(nmFileType);
    work.fileType = 1;
    const std::vector<TFileType> types = {{"(none)", {}}, {"Text", QStringLiteral(".txt\1.Text\1")}};
    const std::optional<TSearchCriteria> c = TakeCriteriaSnapshot(work, types, nullptr);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->NamePattern, QStringLiteral(".TXT\1.TEXT\1"));
}

TEST(SnapshotTest, InvalidRegularExpressionTakesNothing)
{
    TSearchWork work = NewWork();
    work.byName = true;
    work.setNameMode(nmRegex);
    work.setNameText("(");
    EXPECT_FALSE(TakeCriteriaSnapshot(work, kTypes, nullptr));
}

TEST(SnapshotTest, DescriptionTextPrepared)
{
    TSearchWork work = NewWork();
    work.byDesc = true;
    work.descText = "Hello, World.\r\n";
    const std::optional<TSearchCriteria> c = TakeCriteriaSnapshot(work, kTypes, nullptr);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->DescText, "HELLOWORLD");
    EXPECT_FALSE(c->DescCaseSensitive);
    work.descCase = true;
    EXPECT_EQ(TakeCriteriaSnapshot(work, kTypes, nullptr)->DescText, "HelloWorld");
    // The case box is only enabled with a text to find.
    work.descMode = dmAny;
    EXPECT_FALSE(TakeCriteriaSnapshot(work, kTypes, nullptr)->DescCaseSensitive);
}

TEST(SnapshotTest, SizeBounds)
{
    struct Case {
        int op;
        TSizeField s1, s2, s3;
        bool tolerance;
        int64_t low, high;
    };
    const std::vector<Case> cases = {
        {soEqual, {"1", SizeUnit::KB}, {"9", SizeUnit::KB}, {"10", SizeUnit::Bytes}, true, 1014, 1034},
        {soEqual, {"1", SizeUnit::KB}, {"9", SizeUnit::KB}, {"10", SizeUnit::Bytes}, false, 1024, 1024},
        {soBetween, {"1", SizeUnit::MB}, {"5", SizeUnit::MB}, {"0", SizeUnit::Bytes}, false, 1048576, 5242880},
        {soNotBetween, {"1", SizeUnit::MB}, {"5", SizeUnit::MB}, {"1", SizeUnit::KB}, true, 1047552, 5243904},
        {soLarger, {"3", SizeUnit::GB}, {"0", SizeUnit::Bytes}, {"0", SizeUnit::Bytes}, false, int64_t(3) << 30,
         int64_t(3) << 30},
        {soSmaller, {"1.5", SizeUnit::GB}, {"0", SizeUnit::Bytes}, {"2", SizeUnit::TB}, true,
         (int64_t(1536) << 20) - (int64_t(2) << 40), (int64_t(1536) << 20) + (int64_t(2) << 40)},
    };
    for (const Case &k : cases) {
        TSearchWork work = NewWork();
        work.bySize = true;
        work.sizeOp = k.op;
        work.size1 = k.s1;
        work.size2 = k.s2;
        work.size3 = k.s3;
        work.sizeTolerance = k.tolerance;
        const std::optional<TSearchCriteria> c = TakeCriteriaSnapshot(work, kTypes, nullptr);
        ASSERT_TRUE(c);
        EXPECT_TRUE(c->SizeOn);
        EXPECT_EQ(c->SizeLow, k.low) << k.op;
        EXPECT_EQ(c->SizeHigh, k.high) << k.op;
        // The window's fields are not touched by taking the snapshot.
        EXPECT_EQ(work.size1.text, k.s1.text);
    }
}

TEST(SnapshotTest, SizeThatIsNoNumberTakesNothing)
{
    TSearchWork work = NewWork();
    work.bySize = true;
    work.sizeOp = soEqual;
    work.size1 = TSizeField{"12x", SizeUnit::KB};
    EXPECT_FALSE(TakeCriteriaSnapshot(work, kTypes, nullptr));
    // Only the fields in use are read.
    work.size1 = TSizeField{"12", SizeUnit::KB};
    work.size2 = TSizeField{"junk", SizeUnit::KB};
    work.size3 = TSizeField{"junk", SizeUnit::KB};
    EXPECT_TRUE(TakeCriteriaSnapshot(work, kTypes, nullptr));
    work.sizeTolerance = true;
    EXPECT_FALSE(TakeCriteriaSnapshot(work, kTypes, nullptr));
}

TEST(SnapshotTest, DateAndTimeBounds)
{
    TSearchWork work = NewWork();
    work.byDate = true;
    work.dateKind = dkModified;
    work.dateOp = doBetween;
    work.date1 = QDate(2024, 2, 27);
    work.date2 = QDate(2024, 3, 2);
    work.dateTolerance = true;
    work.dateToleranceDays = 3;
    work.timeKind = dkCreated;
    work.timeOp = doOn;
    work.time1 = QTime(0, 10);
    work.time2 = QTime(23, 55);
    work.timeTolerance = true;
    work.timeToleranceMinutes = 20;
    std::optional<TSearchCriteria> c = TakeCriteriaSnapshot(work, kTypes, nullptr);
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->DateOn);
    // Whole calendar days, across the leap day.
    EXPECT_EQ(c->DateLow, PackDos(TDosFields{2024, 2, 24, 0, 0, 0}));
    EXPECT_EQ(c->DateHigh, PackDos(TDosFields{2024, 3, 5, 0, 0, 0}));
    EXPECT_TRUE(c->TimeOn);
    // "At" uses the first picker for both bounds; the tolerance may leave the day.
    EXPECT_EQ(c->TimeLow, 10 * 60 - 20 * 60);
    EXPECT_EQ(c->TimeHigh, 10 * 60 + 20 * 60);
    work.timeOp = doBetween;
    c = TakeCriteriaSnapshot(work, kTypes, nullptr);
    EXPECT_EQ(c->TimeHigh, 23 * 3600 + 55 * 60 + 20 * 60);
    work.dateOp = doAfter;
    c = TakeCriteriaSnapshot(work, kTypes, nullptr);
    EXPECT_EQ(c->DateHigh, PackDos(TDosFields{2024, 3, 1, 0, 0, 0}));
}

TEST(SnapshotTest, ActiveAndDescOnly)
{
    struct Case {
        const char *label;
        std::function<void(TSearchWork &)> setup;
        bool active;
        bool descOnly;
    };
    const std::vector<Case> cases = {
        {"nothing", [](TSearchWork &) {}, false, false},
        {"description any", [](TSearchWork &w) { w.byDesc = true, w.descMode = dmAny; }, true, true},
        {"description text", [](TSearchWork &w) { w.byDesc = true, w.descText = "x"; }, true, true},
        {"without description", [](TSearchWork &w) { w.byDesc = true, w.descMode = dmNone; }, true, false},
        {"description and name",
         [](TSearchWork &w) {
             w.byDesc = true, w.descText = "x";
             NameSetup(w, nmPartOfName, "a");
         },
         true, false},
        {"description and an empty name",
         [](TSearchWork &w) {
             w.byDesc = true, w.descText = "x";
             NameSetup(w, nmPartOfName, "");
         },
         true, true},
        {"attributes", [](TSearchWork &w) { w.byName = true, w.attrSystem = asClear; }, true, false},
        {"size group without operator", [](TSearchWork &w) { w.bySize = true; }, false, false},
        {"size", [](TSearchWork &w) { w.bySize = true, w.sizeOp = soLarger; }, true, false},
        {"date group without kind", [](TSearchWork &w) { w.byDate = true; }, false, false},
        {"time", [](TSearchWork &w) { w.byDate = true, w.timeKind = dkModified; }, true, false},
        {"category", [](TSearchWork &w) { w.byCategory = true; }, true, false},
    };
    for (const Case &k : cases) {
        TSearchWork work = NewWork();
        k.setup(work);
        bool active = true;
        const std::optional<TSearchCriteria> c = TakeCriteriaSnapshot(work, kTypes, &active);
        ASSERT_TRUE(c) << k.label;
        EXPECT_EQ(active, k.active) << k.label;
        EXPECT_EQ(c->DescOnly, k.descOnly) << k.label;
    }
}

TEST(SnapshotTest, SettingsAndItemKinds)
{
    TSearchWork work = NewWork();
    work.byName = true;
    work.setNameText("a");
    work.folders = false;
    work.searchType = 1;
    work.limitFound = true;
    work.maxFound = 250;
    std::optional<TSearchCriteria> c = TakeCriteriaSnapshot(work, kTypes, nullptr);
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->Files);
    EXPECT_FALSE(c->Folders);
    EXPECT_TRUE(c->Disks);
    EXPECT_TRUE(c->AnyCondition);
    EXPECT_EQ(c->MaxFound, 250);
    work.limitFound = false;
    EXPECT_EQ(TakeCriteriaSnapshot(work, kTypes, nullptr)->MaxFound, 0);
    // Duplicates mode takes the name group alone.
    work.duplicatesMode = true;
    work.limitFound = true;
    work.bySize = true;
    work.sizeOp = soEqual;
    c = TakeCriteriaSnapshot(work, kTypes, nullptr);
    EXPECT_FALSE(c->SizeOn);
    EXPECT_FALSE(c->AnyCondition);
    EXPECT_EQ(c->MaxFound, 0);
    EXPECT_TRUE(c->NameOn);
}

// ---------------------------------------------------------------- registered file types

TEST(RegisteredTypesTest, MergedByDescriptionAndSorted)
{
    const std::vector<TFileType> types = MergeFileTypes({
        {"Zip archive", {"zip"}},
        {"plain text document", {"txt", "asc"}},
        {"", {"xyz"}},
        {"Compressed tar", {"tar.gz", "tgz"}},
        {"Plain text document", {"TXT"}},
        {"plain text document", {"text", "txt"}},
        {"Without suffix", {}},
        {"Man page", {"[1-9]", "man"}},
    });
    ASSERT_EQ(types.size(), 6u);
    EXPECT_EQ(types[0].description, "(none)");
    EXPECT_TRUE(types[0].extensions.isEmpty());
    EXPECT_EQ(types[1].description, "Compressed tar");
    EXPECT_EQ(types[1].extensions, QStringLiteral(".tgz\1"));
    EXPECT_EQ(types[2].description, "Man page");
    EXPECT_EQ(types[2].extensions, QStringLiteral(".man\1"));
    // Descriptions differing in case stay apart; the collation orders them together.
    EXPECT_EQ(types[3].description.toLower(), "plain text document");
    EXPECT_EQ(types[4].description.toLower(), "plain text document");
    const TFileType &lower = types[3].description == "plain text document" ? types[3] : types[4];
    EXPECT_EQ(lower.extensions, QStringLiteral(".txt\1.asc\1.text\1"));
    EXPECT_EQ(types[5].description, "Zip archive");
}

TEST(RegisteredTypesTest, TheDesktopDatabaseHasTypes)
{
    const std::vector<TFileType> types = RegisteredFileTypes();
    ASSERT_FALSE(types.empty());
    EXPECT_EQ(types[0].description, "(none)");
    // The database always knows plain text.
    const bool text = std::any_of(types.begin(), types.end(),
                                  [](const TFileType &t) { return t.extensions.contains(QStringLiteral(".txt\1")); });
    EXPECT_TRUE(text);
    for (size_t i = 1; i < types.size(); ++i) {
        EXPECT_FALSE(types[i].description.isEmpty());
        EXPECT_TRUE(types[i].extensions.endsWith(QChar(1)));
    }
}

} // namespace
