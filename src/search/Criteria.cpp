// The search criteria: the window's state, its checks, the worker's snapshot
// and the item tests. The item tests run for every file of every searched
// catalog (tens of millions in a large collection), so names and
// descriptions of plain ASCII, most of them, are compared as bytes against
// the stored form of the prepared pattern; other texts are decoded and
// compared as strings by the same rule.
#include "search/Criteria.h"

#include "catalog/Forest.h"
#include "catalog/ItemFormat.h"
#include "platform/ByteTotals.h"
#include "platform/DosMask.h"
#include "platform/DosTime.h"
#include "platform/Texts.h"
#include "platform/UpperCase.h"
#include "search/Extensions.h"

#include <QStringDecoder>

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// ---------------------------------------------------------------- the window's state

QString TSearchWork::nameText() const
{
    return NameModeHasText(nameMode) ? nameTexts[size_t(nameMode)] : QString();
}

void TSearchWork::setNameText(const QString &text)
{
    if (NameModeHasText(nameMode))
        nameTexts[size_t(nameMode)] = text;
}

void TSearchWork::setNameMode(int mode)
{
    // Each mode keeps its own text, so switching back shows it again.
    if (mode >= 0 && mode < kNameModes)
        nameMode = mode;
}

bool TSearchWork::caseSensitiveName() const
{
    // Masks, extensions and file types are always compared without regard to case.
    return fileCase && (nameMode == nmPartOfName || nameMode == nmExactName || nameMode == nmRegex);
}

bool TSearchWork::attrOn() const
{
    return attrArchive != asIgnored || attrHidden != asIgnored || attrSystem != asIgnored || attrReadOnly != asIgnored;
}

void ResetCriteria(TSearchWork &work, const QDate &today)
{
    work.files = work.folders = work.disks = true;
    work.searchType = 0;
    work.byName = work.byDesc = work.byCategory = work.bySize = work.byDate = false;

    for (QString &text : work.nameTexts)
        text.clear();
    work.nameMode = nmPartOfName;
    work.fileType = -1;
    work.attrArchive = work.attrHidden = work.attrSystem = work.attrReadOnly = asIgnored;

    work.descMode = dmContains;
    work.descText.clear();
    work.descCase = false;

    work.checkedCategories.clear();
    work.checkedFlags.clear();

    work.sizeOp = soNone;
    work.size1 = work.size2 = work.size3 = TSizeField();
    work.sizeTolerance = false;

    work.dateKind = dkNone;
    work.dateOp = doOn;
    work.date1 = work.date2 = today;
    work.dateTolerance = false;
    work.dateToleranceDays = 0;
    // The time pickers keep their times.
    work.timeKind = dkNone;
    work.timeOp = doOn;
    work.timeTolerance = false;
    work.timeToleranceMinutes = 0;
}

void LeaveNamePage(TSearchWork &work)
{
    if (work.nameMode == nmExtension)
        work.nameTexts[nmExtension] = NormalizeExtensionText(work.nameTexts[nmExtension]);
}

void LeaveSizePage(TSearchWork &work)
{
    if (!work.secondSizeShown())
        return;
    const std::optional<int64_t> first = SizeToBytes(work.size1);
    const std::optional<int64_t> second = SizeToBytes(work.size2);
    if (first && second && *second < *first)
        std::swap(work.size1, work.size2);
}

void LeaveDatePage(TSearchWork &work)
{
    if (work.secondDateShown() && work.date2 < work.date1)
        std::swap(work.date1, work.date2);
    if (work.secondTimeShown() && work.time2 < work.time1)
        std::swap(work.time1, work.time2);
}

bool FindEnabled(const TSearchWork &work)
{
    if (work.duplicatesMode)
        return true;
    const bool group = work.byName || work.byDesc || work.byCategory || work.bySize || work.byDate;
    return group && (work.files || work.folders || work.disks);
}

// ---------------------------------------------------------------- validation

namespace {

QString DisableQuestion()
{
    return QStringLiteral("Would you like to disable this search criteria?");
}

// Asks whether the group with the problem should be dropped; true for Yes.
bool AskDisable(Prompter &prompter, const std::function<void(CriteriaGroup)> &showGroup, CriteriaGroup group,
                const QString &what, const QString &problem)
{
    if (showGroup)
        showGroup(group);
    const QString caption = QStringLiteral("Invalid ") + what + QStringLiteral(" field");
    const QString text = problem + QLatin1Char('\r') + DisableQuestion();
    return prompter.ask(caption, text, MsgIcon::Error, MsgButtons::YesNo) == MsgAnswer::Yes;
}

bool HasWildcard(const QString &text)
{
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'));
}

} // namespace

bool ValidateCriteria(TSearchWork &work, const std::vector<TFileType> &fileTypes, Prompter &prompter,
                      const std::function<void(CriteriaGroup)> &showGroup)
{
    bool ok = true;
    // In duplicates mode only the name group is shown; the others are
    // dropped without a question when they are incomplete.
    const bool normal = !work.duplicatesMode;
    const auto problem = [&](CriteriaGroup group, bool &check, const QString &what, const QString &sentence) {
        if (!normal && group != CriteriaGroup::Name) {
            check = false;
            return true;
        }
        if (AskDisable(prompter, showGroup, group, what, sentence)) {
            check = false;
            return true;
        }
        ok = false;
        return false;
    };

    if (work.byName) {
        // An extension list typed with wildcards ("*.txt, *.doc") is what
        // leaving the page would make of it; only wildcards left inside an
        // extension make it a mask.
        if (work.nameMode == nmExtension)
            LeaveNamePage(work);
        if ((work.nameMode == nmPartOfName || work.nameMode == nmExactName || work.nameMode == nmExtension) &&
            HasWildcard(work.nameText())) {
            // The edit keeps what it shows: the text goes with it to the mask mode.
            const QString text = work.nameText();
            work.setNameMode(nmFileMask);
            work.setNameText(text);
        }

        QString what;
        switch (work.nameMode) {
        case nmFileMask: what = QStringLiteral("file mask"); break;
        case nmExtension: what = QStringLiteral("extension"); break;
        case nmFileType: what = QStringLiteral("file type"); break;
        case nmRegex: what = QStringLiteral("regular expression"); break;
        default: what = QStringLiteral("item name"); break;
        }

        // Attribute boxes alone are a complete name group ("by Name or
        // Attributes"); the name then takes no part.
        const bool attributesAlone = normal && work.attrOn();
        const bool missing = work.nameMode == nmFileType
                                 ? (work.fileType <= 0 || work.fileType >= int(fileTypes.size()))
                                 : work.nameText().isEmpty();
        if (missing && !attributesAlone) {
            problem(CriteriaGroup::Name, work.byName, what,
                    work.nameMode == nmFileType
                        ? QStringLiteral("You did not enter what file type are you searching for.")
                        : QStringLiteral("You did not enter what name are you searching for."));
        } else if (!missing && work.nameMode == nmFileMask) {
            QString mask = work.nameText();
            if (CleanDosMask(mask)) {
                work.setNameText(mask);
            } else if (!problem(CriteriaGroup::Name, work.byName, what,
                                QStringLiteral("The DOS File Mask is not valid."))) {
                // No: nothing is searched and nothing more is asked. Yes
                // drops the name group and the other groups are still checked.
                return false;
            }
        } else if (!missing && work.nameMode == nmRegex) {
            const QRegularExpression regex(work.nameText());
            if (!regex.isValid())
                problem(CriteriaGroup::Name, work.byName, what,
                        QStringLiteral("The regular expression is not valid: %1 (at character %2).")
                            .arg(regex.errorString())
                            .arg(regex.patternErrorOffset() + 1));
        }
    }

    if (work.byDesc && work.descMode == dmContains && work.descText.isEmpty())
        problem(CriteriaGroup::Description, work.byDesc, QStringLiteral("description"),
                QStringLiteral("You did not enter what description are you searching for."));

    if (work.bySize && work.sizeOp == soNone) {
        problem(CriteriaGroup::Size, work.bySize, QStringLiteral("size"),
                QStringLiteral("You did not select what size are you looking for."));
    } else if (work.bySize) {
        // A field in use that holds no number would leave the bounds half
        // taken: the search does not start with it.
        std::vector<const TSizeField *> fields = {&work.size1};
        if (work.secondSizeShown())
            fields.push_back(&work.size2);
        if (work.sizeTolerance)
            fields.push_back(&work.size3);
        for (const TSizeField *field : fields) {
            TSizeField probe = *field;
            if (!SizeToBytes(probe)) {
                problem(CriteriaGroup::Size, work.bySize, QStringLiteral("size"),
                        QStringLiteral("'%1' is not a valid number.").arg(field->text));
                break;
            }
        }
    }

    if (work.byDate && work.dateKind == dkNone && work.timeKind == dkNone)
        problem(CriteriaGroup::Date, work.byDate, QStringLiteral("date ot time"),
                QStringLiteral("You did not select what date or time are you looking for."));

    return ok;
}

QString MsgNoCriteriaLeft()
{
    return QStringLiteral("There is no criteria left to search by.");
}

QString MsgNoCriteriaCaption()
{
    return QStringLiteral("No criteria defined");
}

// ---------------------------------------------------------------- snapshot

namespace {

int64_t SaturatingAdd(int64_t a, int64_t b)
{
    int64_t sum;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return sum;
}

// 00:00:00 of a day, packed. Days before 1980 give 0 and days after 2099
// the largest word, so that every stored time compares with them as with
// the day itself (no stored time lies outside 1980-2099).
uint32_t DayStart(const QDate &day)
{
    if (day < QDate(1980, 1, 1))
        return 0;
    if (day > QDate(2099, 12, 31))
        return std::numeric_limits<uint32_t>::max();
    return PackDos(TDosFields{day.year(), day.month(), day.day(), 0, 0, 0});
}

} // namespace

QString PrepareDescText(const QString &text, bool caseSensitive)
{
    QString out = text;
    if (!caseSensitive && !UpperCaseInPlace(out))
        out = text.toUpper();
    out.removeIf([](QChar c) {
        return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QLatin1Char(' ') || c == QLatin1Char(',') ||
               c == QLatin1Char('.');
    });
    return out;
}

void PrepareCriteria(TSearchCriteria &c)
{
    c.NameKey = EncodeStored(c.NamePattern);
    c.NameKeyAscii = AsciiOnly(c.NameKey);
    c.DescKey = EncodeStored(c.DescText);
    c.CategoryKeys.clear();
    for (const QString &name : c.CheckedCategories)
        c.CategoryKeys.push_back(EncodeStored(name));
    c.FlagKeys.clear();
    for (const QString &name : c.CheckedFlags)
        c.FlagKeys.push_back(EncodeStored(name));
    if (c.NameMode == nmRegex && c.NameRegex.pattern().isEmpty() && !c.NamePattern.isEmpty()) {
        c.NameRegex = QRegularExpression(c.NamePattern, c.CaseSensitive ? QRegularExpression::NoPatternOption
                                                                        : QRegularExpression::CaseInsensitiveOption);
    }
    if (c.NameMode == nmRegex)
        c.NameRegex.optimize();
    c.Prepared = true;
}

std::optional<TSearchCriteria> TakeCriteriaSnapshot(const TSearchWork &work, const std::vector<TFileType> &fileTypes,
                                                    bool *active)
{
    if (active)
        *active = false;
    const bool normal = !work.duplicatesMode;
    TSearchCriteria c;

    c.NameOn = work.byName;
    c.NameMode = work.nameMode;
    c.CaseSensitive = work.caseSensitiveName();
    if (c.NameOn) {
        switch (work.nameMode) {
        case nmExtension:
            c.NamePattern = ExtensionPattern(NormalizeExtensionText(work.nameText()));
            break;
        case nmFileType:
            // "(none)" and no choice leave the pattern empty.
            if (work.fileType > 0 && work.fileType < int(fileTypes.size()))
                c.NamePattern = fileTypes[size_t(work.fileType)].extensions;
            break;
        default:
            c.NamePattern = work.nameText();
            break;
        }
        if (work.nameMode == nmRegex) {
            if (!c.NamePattern.isEmpty()) {
                c.NameRegex = QRegularExpression(c.NamePattern, c.CaseSensitive
                                                                    ? QRegularExpression::NoPatternOption
                                                                    : QRegularExpression::CaseInsensitiveOption);
                if (!c.NameRegex.isValid())
                    return std::nullopt;
            }
        } else if (!c.CaseSensitive) {
            c.NamePattern = c.NamePattern.toUpper();
        }
    }
    c.Files = work.files;
    c.Folders = work.folders;
    c.Disks = work.disks;
    c.AttrOn = normal && c.NameOn && work.attrOn();
    c.AttrArchive = work.attrArchive;
    c.AttrHidden = work.attrHidden;
    c.AttrSystem = work.attrSystem;
    c.AttrReadOnly = work.attrReadOnly;

    if (normal) {
        c.DescOn = work.byDesc;
        c.DescMode = work.descMode;
        c.DescCaseSensitive = work.descCase && work.descMode == dmContains;
        if (c.DescOn && c.DescMode == dmContains)
            c.DescText = PrepareDescText(work.descText, c.DescCaseSensitive);

        c.CategoryOn = work.byCategory;
        c.CheckedCategories = work.checkedCategories;
        c.CheckedFlags = work.checkedFlags;

        c.SizeOn = work.bySize && work.sizeOp != soNone;
        c.SizeOp = work.sizeOp;
        if (c.SizeOn) {
            TSizeField f1 = work.size1, f2 = work.size2, f3 = work.size3;
            int64_t t = 0;
            if (work.sizeTolerance) {
                const std::optional<int64_t> v = SizeToBytes(f3);
                if (!v)
                    return std::nullopt;
                t = *v;
            }
            const std::optional<int64_t> s1 = SizeToBytes(f1);
            if (!s1)
                return std::nullopt;
            int64_t high = *s1;
            if (work.secondSizeShown()) {
                const std::optional<int64_t> s2 = SizeToBytes(f2);
                if (!s2)
                    return std::nullopt;
                high = *s2;
            }
            c.SizeLow = SaturatingAdd(*s1, -t);
            c.SizeHigh = SaturatingAdd(high, t);
        }

        c.DateOn = work.byDate && work.dateKind != dkNone;
        c.DateKind = work.dateKind;
        c.DateOp = work.dateOp;
        if (c.DateOn) {
            const QDate d1 = work.date1;
            const QDate d2 = work.secondDateShown() ? work.date2 : work.date1;
            if (!d1.isValid() || !d2.isValid())
                return std::nullopt;
            // The tolerance moves the bounds by whole calendar days.
            const int n = work.dateTolerance ? work.dateToleranceDays : 0;
            c.DateLow = DayStart(d1.addDays(-n));
            c.DateHigh = DayStart(d2.addDays(n));
        }

        c.TimeOn = work.byDate && work.timeKind != dkNone;
        c.TimeKind = work.timeKind;
        c.TimeOp = work.timeOp;
        if (c.TimeOn) {
            const QTime t1 = work.time1;
            const QTime t2 = work.secondTimeShown() ? work.time2 : work.time1;
            if (!t1.isValid() || !t2.isValid())
                return std::nullopt;
            const int tol = work.timeTolerance ? work.timeToleranceMinutes * 60 : 0;
            c.TimeLow = t1.msecsSinceStartOfDay() / 1000 - tol;
            c.TimeHigh = t2.msecsSinceStartOfDay() / 1000 + tol;
        }

        c.AnyCondition = work.searchType == 1;
        c.MaxFound = work.limitFound ? std::clamp(work.maxFound, 1, 9999) : 0;
    }

    const bool nameActive = c.NameOn && !c.NamePattern.isEmpty();
    const bool others = nameActive || c.AttrOn || c.CategoryOn || c.SizeOn || c.DateOn || c.TimeOn ||
                        (c.DescOn && c.DescMode == dmNone);
    c.DescOnly = c.DescOn && (c.DescMode == dmAny || c.DescMode == dmContains) && !others;
    if (active)
        *active = others || c.DescOn;

    PrepareCriteria(c);
    return c;
}

// ---------------------------------------------------------------- matching

namespace {

// Counts the conditions that apply to one item.
struct TVerdict {
    int pass = 0;
    int fail = 0;
    void count(bool holds) { holds ? ++pass : ++fail; }
};

inline char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c;
}

// Copies an ASCII name upper-cased into out, which holds kAsciiBuffer
// bytes (room for the extension key's closing code and for whole 8-byte
// words); false, with nothing useful copied, for a longer name or one with
// a byte of 80h or above. Works on 8 bytes at a time: this runs for every
// name a search tests.
constexpr size_t kAsciiBuffer = kMaxShortText + 9;

// The last k (1 to 7) bytes of a name as the low bytes of a word, the rest
// zero, from loads that stay inside the name: a copy of a variable length
// into a word would go through memory and stall the load that follows it.
inline uint64_t LoadTail(const char *p, size_t k)
{
    if (k >= 4) {
        uint32_t a, b;
        std::memcpy(&a, p, 4);
        std::memcpy(&b, p + k - 4, 4);   // overlaps a with the same bytes
        return a | (uint64_t(b) << (8 * (k - 4)));
    }
    if (k >= 2) {
        uint16_t a, b;
        std::memcpy(&a, p, 2);
        std::memcpy(&b, p + k - 2, 2);
        return a | (uint64_t(b) << (8 * (k - 2)));
    }
    return k == 1 ? uint64_t(uchar(p[0])) : 0;
}

inline bool UpperAscii(QByteArrayView name, char *out)
{
    static_assert(std::endian::native == std::endian::little, "words are read as little-endian");
    if (name.size() > kMaxShortText)
        return false;
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    const char *in = name.data();
    const size_t n = size_t(name.size());
    uint64_t high = 0;
    for (size_t i = 0; i < n; i += 8) {
        uint64_t w;
        if (n - i >= 8)
            std::memcpy(&w, in + i, 8);
        else
            w = LoadTail(in + i, n - i);
        high |= w;
        // Per byte (all below 80h here): at or above 'a', and above 'z'.
        const uint64_t fromA = w + kOnes * (0x80 - 'a');
        const uint64_t pastZ = w + kOnes * (0x80 - 'z' - 1);
        const uint64_t lower = fromA & ~pastZ & kHigh;
        w -= lower >> 2;   // 80h >> 2 is the 20h between the cases
        std::memcpy(out + i, &w, 8);
    }
    // A zero word after the name, for ContainsUpper's reads one byte on.
    std::memset(out + ((n + 7) & ~size_t(7)), 0, 8);
    return (high & kHigh) == 0;
}

// Whether needle occurs in hay. Names are short, so a scan for the first
// byte and a compare beats a general search, whose set-up per call costs
// more than the scan (the cost is bounded: both are at most a few hundred
// bytes).
inline bool Contains(const char *hay, size_t hayLen, const char *n, size_t m)
{
    if (m == 0)
        return true;
    if (m > hayLen)
        return false;
    const char *p = hay;
    const char *const last = hay + (hayLen - m);
    while (p <= last) {
        p = static_cast<const char *>(std::memchr(p, n[0], size_t(last - p) + 1));
        if (p == nullptr)
            return false;
        if (std::memcmp(p + 1, n + 1, m - 1) == 0)
            return true;
        ++p;
    }
    return false;
}

inline bool Contains(const char *hay, size_t hayLen, const QByteArray &needle)
{
    return Contains(hay, hayLen, needle.constData(), size_t(needle.size()));
}

// Contains for a name UpperAscii wrote: eight places at a time, a place is
// a candidate when it holds the needle's first two bytes, and only those
// are compared (the buffer is readable to the zero word after the name).
inline bool ContainsUpper(const char *hay, size_t hayLen, const QByteArray &needle)
{
    const size_t m = size_t(needle.size());
    if (m < 2 || m > hayLen)
        return Contains(hay, hayLen, needle);
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    const char *n = needle.constData();
    const uint64_t first = kOnes * uchar(n[0]);
    const uint64_t second = kOnes * uchar(n[1]);
    // The high bit of each byte of v that is zero, and of no other.
    const auto zeros = [](uint64_t v) { return ~(((v & kLow7) + kLow7) | v | kLow7); };
    const size_t lastStart = hayLen - m;
    for (size_t i = 0; i <= lastStart; i += 8) {
        uint64_t a, b;
        std::memcpy(&a, hay + i, 8);
        std::memcpy(&b, hay + i + 1, 8);
        for (uint64_t hits = zeros(a ^ first) & zeros(b ^ second); hits; hits &= hits - 1) {
            const size_t at = i + size_t(std::countr_zero(hits) >> 3);
            if (at > lastStart)
                return false;
            if (std::memcmp(hay + at + 2, n + 2, m - 2) == 0)
                return true;
        }
    }
    return false;
}

// Whether the upper-cased needle (ASCII, two bytes or more) occurs in a
// name upper-cased by the ASCII rule, in one pass over the name: each word
// of eight bytes is upper-cased in a register and tested at eight places at
// once for the needle's first two bytes (the second from the word and the
// next one), and only those places are compared. 1: found (a place of ASCII
// bytes matches in the decoded, upper-cased name too); 0: not found in a
// name of plain ASCII; -1: not found, and the name holds other bytes, whose
// upper case only the decoded name can tell.
inline int ContainsFolded(const char *name, size_t n, const QByteArray &needle)
{
    static_assert(std::endian::native == std::endian::little, "words are read as little-endian");
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    constexpr uint64_t kHigh = 0x8080808080808080ull;
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    const size_t m = size_t(needle.size());
    uint64_t high = 0;
    // The word at i, zero past the name, upper-cased (bytes of 80h and
    // above are left alone and noted). The last word of a name of eight
    // bytes or more is the name's last eight bytes shifted down, one load
    // instead of LoadTail's branches on the length.
    const auto upperWord = [&](size_t i) {
        uint64_t w;
        if (n - i >= 8) {
            std::memcpy(&w, name + i, 8);
        } else if (n >= 8) {
            std::memcpy(&w, name + n - 8, 8);
            w >>= 8 * (8 - (n - i));
        } else {
            w = LoadTail(name + i, n - i);
        }
        high |= w;
        const uint64_t fromA = (w & kLow7) + kOnes * (0x80 - 'a');
        const uint64_t pastZ = (w & kLow7) + kOnes * (0x80 - 'z' - 1);
        return w - (((fromA & ~pastZ) & ~w & kHigh) >> 2);
    };
    const auto zeros = [](uint64_t v) { return ~(((v & kLow7) + kLow7) | v | kLow7); };
    if (m <= n) {
        const char *nd = needle.constData();
        const uint64_t first = kOnes * uchar(nd[0]);
        const uint64_t second = kOnes * uchar(nd[1]);
        const size_t lastStart = n - m;
        uint64_t cur = upperWord(0);
        size_t i = 0;
        for (;;) {
            const uint64_t next = i + 8 < n ? upperWord(i + 8) : 0;
            for (uint64_t hits = zeros(cur ^ first) & zeros(((cur >> 8) | (next << 56)) ^ second); hits;
                 hits &= hits - 1) {
                const size_t at = i + size_t(std::countr_zero(hits) >> 3);
                if (at > lastStart)
                    break;
                size_t k = 2;
                while (k < m && AsciiUpper(name[at + k]) == nd[k])
                    ++k;
                if (k == m)
                    return 1;
            }
            i += 8;
            if (i > lastStart)
                break;
            cur = next;
        }
        // The words not loaded yet, for their high bits.
        for (i += 8; i < n; i += 8)
            upperWord(i);
    } else {
        for (size_t i = 0; i < n; i += 8)
            upperWord(i);
    }
    return (high & kHigh) == 0 ? 0 : -1;
}

// ContainsFolded for the name of a file record, which has the record's own
// fixed fields before it: sixteen places are tested at once, a place being a
// candidate when its byte and the byte the needle's last one would fall on
// both match without regard to case, and only candidates are compared. The
// windows are laid from the name's last place backwards, so none reads past
// the name; the first may start up to 15 bytes before it, inside the record,
// and those places are masked off. Same answers as ContainsFolded.
#if defined(__SSE2__)
static_assert(kFileRecFixed >= 16, "the windows read up to 15 bytes before a record's name");

// How many bytes before a name TFoldedNeedle::findIn may read (and mask off).
constexpr size_t kNeedleReadsBefore = 15;

class TFoldedNeedle
{
public:
    // needle: upper-cased ASCII, one byte or more.
    explicit TFoldedNeedle(const QByteArray &needle)
        : m_bytes(needle.constData()), m_size(size_t(needle.size()))
    {
        const auto fold = [](char c) { return char(c >= 'A' && c <= 'Z' ? 0x20 : 0); };
        const char first = m_bytes[0], last = m_bytes[m_size - 1];
        // A letter matches either case: its byte with 20h set is the lower case.
        m_firstFold = _mm_set1_epi8(fold(first));
        m_firstWant = _mm_set1_epi8(char(first | fold(first)));
        m_lastFold = _mm_set1_epi8(fold(last));
        m_lastWant = _mm_set1_epi8(char(last | fold(last)));
    }

    int findIn(const char *name, size_t n) const
    {
        const size_t m = m_size;
        if (m <= n) {
            const auto load = [](const char *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); };
            for (ptrdiff_t s = ptrdiff_t(n - m) - 15;; s -= 16) {
                const __m128i first = _mm_cmpeq_epi8(_mm_or_si128(load(name + s), m_firstFold), m_firstWant);
                const __m128i last =
                    _mm_cmpeq_epi8(_mm_or_si128(load(name + s + ptrdiff_t(m) - 1), m_lastFold), m_lastWant);
                unsigned bits = unsigned(_mm_movemask_epi8(_mm_and_si128(first, last)));
                if (s < 0)
                    bits &= 0xFFFFu << unsigned(-s);   // places before the name
                for (; bits; bits &= bits - 1) {
                    const char *at = name + s + std::countr_zero(bits);
                    size_t k = 1;
                    while (k + 1 < m && AsciiUpper(at[k]) == m_bytes[k])
                        ++k;
                    if (k + 1 >= m)
                        return 1;
                }
                if (s <= 0)
                    break;
            }
        }
        return hasHighBytes(name, n) ? -1 : 0;
    }

private:
    // Whether a byte of 80h or above is in the name: windows from its end
    // backwards, the bytes before it masked off.
    static bool hasHighBytes(const char *name, size_t n)
    {
        for (ptrdiff_t e = ptrdiff_t(n) - 16; e > -16; e -= 16) {
            unsigned bits = unsigned(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(name + e))));
            if (e < 0)
                bits &= 0xFFFFu << unsigned(-e);
            if (bits)
                return true;
        }
        return false;
    }

    const char *m_bytes;
    size_t m_size;
    __m128i m_firstFold, m_firstWant, m_lastFold, m_lastWant;
};
#else
constexpr size_t kNeedleReadsBefore = 0;

class TFoldedNeedle
{
public:
    explicit TFoldedNeedle(const QByteArray &needle) : m_needle(needle) {}
    int findIn(const char *name, size_t n) const
    {
        if (m_needle.size() >= 2)
            return ContainsFolded(name, n, m_needle);
        char upper[kAsciiBuffer];
        if (!UpperAscii(QByteArrayView(name, qsizetype(n)), upper))
            return -1;
        return Contains(upper, n, m_needle) ? 1 : 0;
    }

private:
    const QByteArray &m_needle;
};
#endif

// The decoded text of stored bytes in a buffer the calling thread keeps, so
// that names and descriptions beyond ASCII cost no allocation either;
// upper-cased unless caseSensitive. Valid only until the next call.
const QString &DecodeInto(QByteArrayView stored, bool caseSensitive)
{
    thread_local QString text;
    if (AsciiOnly(stored) || stored.isValidUtf8()) {
        thread_local QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        // UTF-8 never takes more UTF-16 units than it has bytes.
        text.resize(stored.size());
        const QChar *end = utf8.appendToBuffer(text.data(), stored);
        text.truncate(end - text.constData());
    } else {
        text = DecodeStored(stored);
    }
    if (!caseSensitive && !UpperCaseInPlace(text)) {
        // A character whose upper case is longer ("ß"): the general way.
        text = DecodeStored(stored).toUpper();
    }
    return text;
}

// Whether the extension of an upper-cased name, closed by code 1, occurs in
// pattern: ExtensionMatches without a string for the key.
bool ExtensionIn(QStringView upperName, const QString &pattern)
{
    const qsizetype dot = upperName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return false;
    const QStringView suffix = upperName.mid(dot);
    for (qsizetype at = pattern.indexOf(suffix); at >= 0; at = pattern.indexOf(suffix, at + 1)) {
        const qsizetype end = at + suffix.size();
        if (end < pattern.size() && pattern[end] == kExtensionEnd)
            return true;
    }
    return false;
}

// The name condition by the decoded name (names that are not ASCII, and
// criteria without their stored forms).
bool NameMatchesText(const TSearchCriteria &c, const QString &name)
{
    switch (c.NameMode) {
    case nmPartOfName:
        return (c.CaseSensitive ? name : name.toUpper()).contains(c.NamePattern);
    case nmFileMask:
        return DosMaskMatch(name, c.NamePattern);
    case nmExactName:
        return (c.CaseSensitive ? name : name.toUpper()) == c.NamePattern;
    case nmExtension:
    case nmFileType:
        return ExtensionMatches(name, c.NamePattern, false);
    case nmRegex:
        return c.NameRegex.isValid() && c.NameRegex.match(name).hasMatch();
    default:
        return false;
    }
}

bool NameMatchesBytes(const TSearchCriteria &c, QByteArrayView stored)
{
    if (!c.Prepared)
        return NameMatchesText(c, DecodeStored(stored));
    if (c.NameMode == nmFileMask)
        return AsciiOnly(stored) ? DosMaskMatchAscii(stored, c.NamePattern)
                                 : DosMaskMatch(DecodeInto(stored, true), c.NamePattern);
    if (c.NameMode == nmRegex)
        return c.NameRegex.isValid() && c.NameRegex.match(DecodeInto(stored, true)).hasMatch();

    char upper[kAsciiBuffer];
    const size_t len = size_t(stored.size());
    switch (c.NameMode) {
    case nmPartOfName:
        // The common search: a part of the name without regard to case.
        if (!c.CaseSensitive && c.NameKeyAscii && c.NameKey.size() >= 2) {
            const int found = ContainsFolded(stored.data(), len, c.NameKey);
            if (found >= 0)
                return found != 0;
            return DecodeInto(stored, false).contains(c.NamePattern);
        }
        [[fallthrough]];
    case nmExactName: {
        const char *bytes = nullptr;
        if (c.CaseSensitive) {
            // Stored UTF-8 compares byte for byte.
            if (AsciiOnly(stored) || stored.isValidUtf8())
                bytes = stored.data();
        } else if (UpperAscii(stored, upper)) {
            bytes = upper;
        }
        if (bytes == nullptr) {
            const QString &name = DecodeInto(stored, c.CaseSensitive);
            return c.NameMode == nmPartOfName ? name.contains(c.NamePattern) : name == c.NamePattern;
        }
        if (c.NameMode == nmPartOfName)
            return bytes == upper ? ContainsUpper(bytes, len, c.NameKey) : Contains(bytes, len, c.NameKey);
        return len == size_t(c.NameKey.size()) && std::memcmp(bytes, c.NameKey.constData(), len) == 0;
    }
    case nmExtension:
    case nmFileType: {
        const qsizetype dot = stored.lastIndexOf('.');
        if (dot < 0)
            return false;   // no extension, never found by one
        if (!UpperAscii(stored, upper))
            return ExtensionIn(DecodeInto(stored, false), c.NamePattern);
        // The key: from the dot on, closed by code 1, so ".TX" cannot match inside ".TXT".
        const size_t keyLen = len - size_t(dot);
        upper[len] = '\1';
        return Contains(c.NameKey.constData(), size_t(c.NameKey.size()), upper + dot, keyLen + 1);
    }
    default:
        break;
    }
    return NameMatchesText(c, DecodeStored(stored));
}

// Whether the name condition counts: the name group is on and has a
// pattern (attributes alone leave it empty).
inline bool NameApplies(const TSearchCriteria &c)
{
    return c.NameOn && !c.NamePattern.isEmpty();
}

void CountAttributes(const TSearchCriteria &c, uint8_t attr, TVerdict &v)
{
    const auto one = [&](int state, uint8_t bit) {
        if (state != asIgnored)
            v.count(((attr & bit) != 0) == (state == asSet));
    };
    one(c.AttrArchive, faArchive);
    one(c.AttrHidden, faHidden);
    one(c.AttrSystem, faSystem);
    one(c.AttrReadOnly, faReadOnly);
}

// desc: the stored description, empty when there is none.
bool DescHolds(const TSearchCriteria &c, QByteArrayView desc)
{
    switch (c.DescMode) {
    case dmAny:
        return !desc.isEmpty();
    case dmNone:
        return desc.isEmpty();
    case dmContains:
        break;
    default:
        return false;
    }
    if (desc.isEmpty())
        return false;
    if (c.Prepared && AsciiOnly(desc)) {
        // Prepared once per item, in a buffer kept by the searching thread.
        thread_local std::string prepared;
        prepared.clear();
        for (const char ch : desc) {
            if (ch == '\r' || ch == '\n' || ch == ' ' || ch == ',' || ch == '.')
                continue;
            prepared.push_back(c.DescCaseSensitive ? ch : AsciiUpper(ch));
        }
        return Contains(prepared.data(), prepared.size(), c.DescKey);
    }
    return PrepareDescText(DecodeInto(desc, true), c.DescCaseSensitive).contains(c.DescText);
}

// Whether a stored name is one of the checked entries (exact comparison).
bool Checked(QByteArrayView name, const QStringList &names, const std::vector<QByteArray> &keys, bool prepared)
{
    if (name.isEmpty())
        return false;
    if (prepared && (AsciiOnly(name) || name.isValidUtf8()))
        return std::any_of(keys.begin(), keys.end(), [&](const QByteArray &k) { return k == name; });
    return names.contains(DecodeStored(name));
}

bool CategoryHolds(const TSearchCriteria &c, uint8_t catFlags, const TCatalogRec *catalog)
{
    if (catFlags == 0 || catalog == nullptr)
        return false;
    const QByteArray category = CategoryName(catalog, catFlags & 0x1F);
    if (Checked(category, c.CheckedCategories, c.CategoryKeys, c.Prepared))
        return true;
    // Flags 1 to 3 in bits 5 to 7.
    for (int flag = 0; flag < 3; ++flag) {
        if ((catFlags & (0x20 << flag)) &&
            Checked(TextView(catalog->FlagNames[flag]), c.CheckedFlags, c.FlagKeys, c.Prepared))
            return true;
    }
    return false;
}

void CountSize(const TSearchCriteria &c, int64_t size, TVerdict &v)
{
    switch (c.SizeOp) {
    case soEqual:
    case soBetween: v.count(size >= c.SizeLow && size <= c.SizeHigh); break;
    case soNotBetween: v.count(!(size >= c.SizeLow && size <= c.SizeHigh)); break;
    case soSmaller: v.count(size < c.SizeHigh); break;
    case soLarger: v.count(size > c.SizeLow); break;
    default: break;
    }
}

// A stored time of 0 (or any word that is no time) is unknown: it fails a
// date or time condition of every operator, "Not Between" included, since
// nothing is known about it.
bool DateHolds(const TSearchCriteria &c, uint32_t value)
{
    if (!DosTimeValid(value))
        return false;
    // Packed words order as the times they hold; the high half is the day.
    const bool within = value >= c.DateLow && (value >> 16) <= (c.DateHigh >> 16);
    switch (c.DateOp) {
    case doOn:
    case doBetween: return within;
    case doNotBetween: return !within;
    case doBefore: return value < c.DateHigh;
    case doAfter: return value > c.DateLow;
    default: return false;
    }
}

bool TimeHolds(const TSearchCriteria &c, int seconds)
{
    const bool within = seconds >= c.TimeLow && seconds <= c.TimeHigh;
    switch (c.TimeOp) {
    case doOn:
    case doBetween: return within;
    case doNotBetween: return !within;
    case doBefore: return seconds < c.TimeHigh;
    case doAfter: return seconds > c.TimeLow;
    default: return false;
    }
}

bool PackedTimeHolds(const TSearchCriteria &c, uint32_t value)
{
    if (!DosTimeValid(value))
        return false;   // unknown, see DateHolds
    const int seconds = int((value >> 11) & 0x1F) * 3600 + int((value >> 5) & 0x3F) * 60 + int(value & 0x1F) * 2;
    return TimeHolds(c, seconds);
}

uint32_t DateOfKind(int kind, uint32_t created, uint32_t modified, uint32_t accessed)
{
    switch (kind) {
    case dkCreated: return created;
    case dkModified: return modified;
    case dkAccessed: return accessed;
    default: return 0;
    }
}

// The conditions files and folders share; name is the stored name.
bool MatchItem(const TSearchCriteria &c, QByteArrayView name, uint8_t kindFlags, uint8_t attr, QByteArrayView desc,
               uint8_t catFlags, int64_t size, uint32_t created, uint32_t modified, uint32_t accessed,
               const TCatalogRec *catalog)
{
    TVerdict v;
    if (NameApplies(c))
        v.count(NameMatchesBytes(c, name));
    if (c.NameOn && c.AttrOn)
        CountAttributes(c, attr, v);
    if (c.DescOn)
        v.count(DescHolds(c, desc));
    if (c.CategoryOn)
        v.count(CategoryHolds(c, catFlags, catalog));
    if (c.SizeOn)
        CountSize(c, size, v);
    // Members of compressed files keep their CRC in Created and their packed
    // size in Accessed: only Modified is a time for them.
    const bool compressed = (kindFlags & rfCompressed) != 0;
    if (c.DateOn && !(compressed && c.DateKind != dkModified))
        v.count(DateHolds(c, DateOfKind(c.DateKind, created, modified, accessed)));
    if (c.TimeOn && !(compressed && c.TimeKind == dkCreated))
        v.count(PackedTimeHolds(c, DateOfKind(c.TimeKind, created, modified, accessed)));
    return c.AnyCondition ? v.pass > 0 : v.fail == 0;
}

} // namespace

bool NameMatches(const TSearchCriteria &criteria, QByteArrayView storedName)
{
    if (!NameApplies(criteria))
        return true;
    return NameMatchesBytes(criteria, storedName);
}

// The common search, a name alone: no other condition to count.
inline bool NameAlone(const TSearchCriteria &c)
{
    return NameApplies(c) && !c.AttrOn && !c.DescOn && !c.CategoryOn && !c.SizeOn && !c.DateOn && !c.TimeOn;
}

// The common search: a part of the name without regard to case, a pattern
// of plain ASCII, nothing else to test.
inline bool FoldedNameAlone(const TSearchCriteria &c)
{
    return NameAlone(c) && c.Prepared && c.NameMode == nmPartOfName && !c.CaseSensitive && c.NameKeyAscii &&
           !c.NameKey.isEmpty();
}

// The name test of FoldedNameAlone criteria on n stored name bytes at name,
// with kNeedleReadsBefore bytes before them that may be read.
inline bool FoldedNameIn(const TSearchCriteria &c, const TFoldedNeedle &needle, const char *name, size_t n)
{
    const int found = needle.findIn(name, n);
    if (found >= 0)
        return found != 0;
    return DecodeInto(QByteArrayView(name, qsizetype(n)), false).contains(c.NamePattern);
}

// The same on a file record: the fixed fields before its name are the
// bytes the windows may read.
inline bool FoldedNameMatches(const TSearchCriteria &c, const TFoldedNeedle &needle, const TFileRec *file)
{
    return FoldedNameIn(c, needle, file->NameBytes, file->NameLen);
}

// The same on an entry of a list not read yet, viewed in the list's read
// buffer: a name with fewer bytes of the buffer before it (the list's first
// entry) is tested on a copy with room before it.
inline bool FoldedEntryMatches(const TSearchCriteria &c, const TFileEntryView &entry)
{
    const TFoldedNeedle needle(c.NameKey);
    const size_t n = size_t(entry.name.size());
    if (size_t(std::max(entry.bytesBefore, 0)) >= kNeedleReadsBefore)
        return FoldedNameIn(c, needle, entry.name.data(), n);
    constexpr size_t room = 16;
    char copy[room + kMaxShortText];
    if (n > size_t(kMaxShortText))
        return NameMatchesBytes(c, entry.name);   // no stored name is as long
    std::memset(copy, 0, room);
    if (n > 0)
        std::memcpy(copy + room, entry.name.data(), n);
    return FoldedNameIn(c, needle, copy + room, n);
}

bool MatchFile(const TSearchCriteria &c, const TFileRec *file, const TCatalogRec *catalog)
{
    if (FoldedNameAlone(c))
        return FoldedNameMatches(c, TFoldedNeedle(c.NameKey), file);
    if (NameAlone(c))
        return NameMatchesBytes(c, file->name());
    return MatchItem(c, file->name(), file->KindFlags, file->Attr, TextView(file->Desc), file->CatFlags, file->Size,
                     file->Created, file->Modified, file->Accessed, catalog);
}

TFileRec *MatchInChain(const TSearchCriteria &c, TFileRec *&file, int limit, const TCatalogRec *catalog, int &tested)
{
    tested = 0;
    TFileRec *f = file;
    bool hit = false;
    if (FoldedNameAlone(c)) {
        // No call and no dispatch per file: the chain's records lie one after
        // the other in their list block, and most names are tested in one or
        // two windows.
        const TFoldedNeedle needle(c.NameKey);
        for (; f && tested < limit; f = f->Next) {
            ++tested;
            if ((hit = FoldedNameMatches(c, needle, f)))
                break;
        }
    } else {
        for (; f && tested < limit; f = f->Next) {
            ++tested;
            if ((hit = MatchFile(c, f, catalog)))
                break;
        }
    }
    if (!hit) {
        file = f;
        return nullptr;
    }
    file = f->Next;
    return f;
}

bool MatchFileEntry(const TSearchCriteria &c, const TFileEntryView &entry, const TCatalogRec *catalog)
{
    if (FoldedNameAlone(c))
        return FoldedEntryMatches(c, entry);
    if (NameAlone(c))
        return NameMatchesBytes(c, entry.name);
    return MatchItem(c, entry.name, entry.kindFlags, entry.attr, entry.desc, entry.catFlags, entry.size,
                     entry.created, entry.modified, entry.accessed, catalog);
}

bool MatchFolder(const TSearchCriteria &c, const TTreeNode *node, const TFolderRec *folder,
                 const TCatalogRec *catalog)
{
    const QByteArrayView name = node ? QByteArrayView(node->text()) : QByteArrayView();
    return MatchItem(c, name, folder->KindFlags, folder->Attr, TextView(folder->Desc), folder->CatFlags,
                     WholeBytes(folder->TotalSize), folder->Created, folder->Modified, folder->Accessed, catalog);
}

bool MatchDisk(const TSearchCriteria &c, const TTreeNode *node, const TDiskRec *disk)
{
    // Disks have no attributes and no categories: those conditions do not apply.
    TVerdict v;
    if (NameApplies(c))
        v.count(NameMatchesBytes(c, node ? QByteArrayView(node->text()) : QByteArrayView()));
    if (c.DescOn)
        v.count(DescHolds(c, TextView(disk->Desc)));
    if (c.SizeOn)
        CountSize(c, WholeBytes(DiskSpace(disk, 0)), v);
    if (c.DateOn || c.TimeOn) {
        // The date of the last update whatever the kind; outside 1980-2099
        // (0 among it: never updated) it is unknown.
        const QDateTime updated = UpdatedToDateTime(disk->Updated);
        const uint32_t packed = DateTimeToDos(updated);
        const bool compressed = (disk->KindFlags & rfCompressed) != 0;
        if (c.DateOn && !(compressed && c.DateKind != dkModified))
            v.count(DateHolds(c, packed));
        if (c.TimeOn && !(compressed && c.TimeKind == dkCreated))
            v.count(packed != 0 && TimeHolds(c, updated.time().msecsSinceStartOfDay() / 1000));
    }
    // A disk needs one condition that holds even with "All conditions".
    return c.AnyCondition ? v.pass > 0 : (v.fail == 0 && v.pass > 0);
}
