// The member writer every extractor writes through: a whole file appears
// under its name only at commit, with the time and mode asked for; a member
// given up or dropped leaves nothing in the folder, and a file already there
// is replaced only by a complete one.
#include "ArcFixtures.h"

#include "archive/UnBase.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace arcfix;

TEST(MemberWriter, CommitGivesTheWholeFileItsTimeAndMode)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString target = tmp.filePath(QStringLiteral("member.txt"));
    ASSERT_TRUE(writeAll(target, "the old contents"));
    {
        TMemberWriter writer(target);
        ASSERT_TRUE(writer.open());
        ASSERT_TRUE(writer.write("new ", 4));
        // Until the commit the old file stands, and the new one is a hidden temporary.
        EXPECT_EQ(readAll(target), QByteArray("the old contents"));
        EXPECT_EQ(filesUnder(tmp.path()).size(), 2);
        ASSERT_TRUE(writer.write("contents", 8));
        writer.setTime(1000000000);
        writer.setMode(0640);
        ASSERT_TRUE(writer.commit());
    }
    EXPECT_EQ(filesUnder(tmp.path()), QStringList{QStringLiteral("member.txt")});
    EXPECT_EQ(readAll(target), QByteArray("new contents"));
    EXPECT_EQ(QFileInfo(target).lastModified().toSecsSinceEpoch(), 1000000000);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(MemberWriter, HolesAndLength)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString target = tmp.filePath(QStringLiteral("sparse.bin"));
    TMemberWriter writer(target);
    ASSERT_TRUE(writer.open());
    ASSERT_TRUE(writer.write("ab", 2));
    ASSERT_TRUE(writer.seek(10));
    ASSERT_TRUE(writer.write("c", 1));
    ASSERT_TRUE(writer.resize(16));
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(readAll(target), QByteArray("ab") + QByteArray(8, '\0') + "c" + QByteArray(5, '\0'));
}

TEST(MemberWriter, GivenUpOrDroppedLeavesNothing)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString kept = tmp.filePath(QStringLiteral("kept.txt"));
    ASSERT_TRUE(writeAll(kept, "kept"));
    {
        TMemberWriter cancelled(kept);
        ASSERT_TRUE(cancelled.open());
        ASSERT_TRUE(cancelled.write("half", 4));
        cancelled.cancelWriting();
        EXPECT_FALSE(cancelled.commit());
        TMemberWriter dropped(tmp.filePath(QStringLiteral("dropped.txt")));
        ASSERT_TRUE(dropped.open());
        ASSERT_TRUE(dropped.write("half", 4));
    }
    EXPECT_EQ(filesUnder(tmp.path()), QStringList{QStringLiteral("kept.txt")});
    EXPECT_EQ(readAll(kept), QByteArray("kept"));
    // A folder that is not there: nothing can be opened.
    TMemberWriter nowhere(tmp.filePath(QStringLiteral("missing/file.txt")));
    EXPECT_FALSE(nowhere.open());
}

// Without a mode of the member's own, the file is made as any new file: 0666 less the umask.
TEST(MemberWriter, DefaultModeFollowsTheUmask)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const mode_t before = ::umask(027);
    const QString target = tmp.filePath(QStringLiteral("plain.txt"));
    {
        TMemberWriter writer(target);
        const bool opened = writer.open();
        ::umask(before);
        ASSERT_TRUE(opened);
        ASSERT_TRUE(writer.write("x", 1));
        ASSERT_TRUE(writer.commit());
    }
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}
