// The corpus lookup itself: QUILLON_TESTDATA steers it, a folder without the
// corpus's index counts as absent, and the paths it hands out.
#include "Corpus.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// Sets QUILLON_TESTDATA for one test and puts the previous value back.
class TestDataVariable
{
public:
    explicit TestDataVariable(const QString &value)
        : m_had(qEnvironmentVariableIsSet("QUILLON_TESTDATA")), m_old(qgetenv("QUILLON_TESTDATA"))
    {
        qputenv("QUILLON_TESTDATA", value.toLocal8Bit());
    }
    ~TestDataVariable()
    {
        if (m_had)
            qputenv("QUILLON_TESTDATA", m_old);
        else
            qunsetenv("QUILLON_TESTDATA");
    }

private:
    bool m_had;
    QByteArray m_old;
};

TEST(Corpus, AFolderWithoutTheIndexIsAbsent)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("archives/zip")));
    TestDataVariable steer(root.path());
    EXPECT_EQ(testcorpus::Root(), root.path());
    EXPECT_FALSE(testcorpus::Present());
    EXPECT_NE(testcorpus::MissingLine().find(root.path().toStdString()), std::string::npos);
}

TEST(Corpus, AFolderWithTheIndexIsPresent)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    ASSERT_TRUE(QDir(root.path()).mkpath(QStringLiteral("archives")));
    QFile index(root.path() + QStringLiteral("/archives/index.json"));
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[]");
    index.close();
    TestDataVariable steer(root.path());
    EXPECT_TRUE(testcorpus::Present());
}

TEST(Corpus, PathsOfFamiliesAndFiles)
{
    TestDataVariable steer(QStringLiteral("/data/corpus"));
    EXPECT_EQ(testcorpus::ArchiveDir(), QStringLiteral("/data/corpus/archives"));
    EXPECT_EQ(testcorpus::ArchiveDir("zip"), QStringLiteral("/data/corpus/archives/zip"));
    EXPECT_EQ(testcorpus::ArchiveFile("gz", QStringLiteral("a.gz")), QStringLiteral("/data/corpus/archives/gz/a.gz"));
    EXPECT_EQ(testcorpus::ArchivePath("tar", "b.tar"), std::string("/data/corpus/archives/tar/b.tar"));
}

TEST(Corpus, WithoutTheVariableTheSharedFolderBesideTheSourcesIsUsed)
{
    TestDataVariable steer{QString()};
    qunsetenv("QUILLON_TESTDATA");
    EXPECT_TRUE(testcorpus::Root().endsWith(QStringLiteral("/shared/testdata")));
}

} // namespace
