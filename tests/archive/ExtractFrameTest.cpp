// The frame every extractor shares: the checks before a member is looked at,
// the events around the member loop, and the error of an archive that gave
// nothing, alike for each format.
#include "ArcFixtures.h"

#include "archive/Extract.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

using namespace arcfix;

namespace {

struct FrameCase {
    const char *name;
    int extIndex;
    const char *fileName;
};

class ExtractFrame : public testing::TestWithParam<FrameCase>
{
protected:
    // Runs Extract on unit, recording the events in order: "activate", "deactivate", error codes.
    std::vector<std::string> run(TUnBase &unit, bool &ok)
    {
        std::vector<std::string> events;
        unit.OnActivate = [&](TZipCommon *) { events.push_back("activate"); };
        unit.OnDeactivate = [&](TZipCommon *) { events.push_back("deactivate"); };
        unit.OnError = [&](TZipCommon *, const QString &, const QString &, int code) {
            events.push_back(std::to_string(code));
        };
        ok = unit.Extract();
        return events;
    }
};

TEST_P(ExtractFrame, NoArchiveNameIsAnInvalidFileName)
{
    std::unique_ptr<TUnBase> unit = MakeExtractor(GetParam().extIndex);
    ASSERT_TRUE(unit);
    bool ok = true;
    EXPECT_EQ(run(*unit, ok), (std::vector<std::string>{"25139", "deactivate"}));
    EXPECT_FALSE(ok);
    EXPECT_EQ(unit->lastError(), 25139);
}

TEST_P(ExtractFrame, AnotherTypeIsAnInvalidArchiveBeforeAnythingIsReported)
{
    std::unique_ptr<TUnBase> unit = MakeExtractor(GetParam().extIndex);
    ASSERT_TRUE(unit);
    unit->setArchiveData(QByteArray("This is a plain text file, no archive.\n"), QString::fromLatin1(GetParam().fileName));
    bool ok = true;
    EXPECT_EQ(run(*unit, ok), (std::vector<std::string>{"25138", "deactivate"}));
    EXPECT_FALSE(ok);
    EXPECT_EQ(unit->lastError(), 25138);
}

// The stream formats, whose archives the fixtures make (ZIP's is covered with its extraction tests).
class ExtractFrameStream : public ExtractFrame
{
};

TEST_P(ExtractFrameStream, AMaskThatMatchesNothingIsNothingToDo)
{
    const QByteArray archive = GetParam().extIndex == 12 ? tarEntry("a.txt", '0', "data") + QByteArray(1024, '\0')
                                                         : gzipOf("data", "a.txt");
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    std::unique_ptr<TUnBase> unit = MakeExtractor(GetParam().extIndex);
    unit->setArchiveData(archive, QString::fromLatin1(GetParam().fileName));
    unit->ExtractDir = out.path();
    unit->setFileSpec(QStringLiteral("*.none"));
    bool ok = true;
    EXPECT_EQ(run(*unit, ok), (std::vector<std::string>{"activate", "26999", "deactivate"}));
    EXPECT_FALSE(ok);
    EXPECT_TRUE(filesUnder(out.path()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Formats, ExtractFrame,
                         testing::Values(FrameCase{"zip", 9, "a.zip"}, FrameCase{"tar", 12, "a.tar"},
                                         FrameCase{"gzip", 13, "a.gz"}),
                         [](const testing::TestParamInfo<FrameCase> &info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(Formats, ExtractFrameStream,
                         testing::Values(FrameCase{"tar", 12, "a.tar"}, FrameCase{"gzip", 13, "a.gz"}),
                         [](const testing::TestParamInfo<FrameCase> &info) { return std::string(info.param.name); });

} // namespace
