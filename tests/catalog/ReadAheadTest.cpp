// Tests of TReadAheadStream: the buffer limit, which seeks stay inside the
// buffer, short and empty reads, the end test, and CopyTo in pieces; plus a
// seeded run of random operations checked against a plain model of the file.
#include "catalog/ReadAhead.h"

#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <random>

namespace {

// Collects what CopyTo writes, piece by piece.
class RecordingOut : public TOutStream
{
public:
    void Write(const char *data, int64_t count) override
    {
        bytes.append(data, qsizetype(count));
        pieces.push_back(count);
    }
    QByteArray bytes;
    std::vector<int64_t> pieces;
};

struct OutFailure {};

class ThrowingOut : public TOutStream
{
public:
    void Write(const char *, int64_t) override { throw OutFailure{}; }
};

class ReadAheadTest : public ::testing::Test
{
protected:
    // A file of size bytes whose content does not repeat within 256 bytes.
    QString makeFile(int size, const QString &name = QStringLiteral("data.bin"))
    {
        m_data.resize(size);
        for (int i = 0; i < size; ++i)
            m_data[i] = char((i * 131 + (i >> 8) * 7 + 17) & 0xFF);
        const QString file = m_dir.filePath(name);
        EXPECT_TRUE(testcat::WriteFileBytes(file, m_data));
        return file;
    }

    static void expectInvariant(const TReadAheadStream &s)
    {
        EXPECT_GE(s.BufferPosition(), 0);
        EXPECT_LE(s.BufferPosition(), s.Filled());
        EXPECT_LE(s.Filled(), s.BufferSize());
        EXPECT_EQ(s.Position(), s.BufferStart() + s.BufferPosition());
    }

    QTemporaryDir m_dir;
    QByteArray m_data;
};

TEST_F(ReadAheadTest, BufferSizeIsCutTo262143)
{
    const QString file = makeFile(100);
    const std::pair<int, int> cases[] = {
        {300000, 262143}, {262144, 262143}, {262143, 262143}, {16384, 16384}, {512, 512}, {1, 1},
    };
    for (const auto &[asked, expected] : cases) {
        TReadAheadStream s(file, asked);
        EXPECT_EQ(s.BufferSize(), expected) << "asked " << asked;
        EXPECT_EQ(s.Filled(), 0);
        EXPECT_EQ(s.BufferPosition(), 0);
        EXPECT_EQ(s.BufferStart(), 0);
        EXPECT_EQ(s.Position(), 0);
    }
}

TEST_F(ReadAheadTest, MissingFileFailsWithFileOpenError)
{
    const QString missing = m_dir.filePath(QStringLiteral("no-such-file.ctf"));
    try {
        TReadAheadStream s(missing, 16384);
        FAIL() << "opened a missing file";
    } catch (const EReadBufferError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("File open error"));
    }
    // It is a stream error like every other failure of the catalog store.
    EXPECT_THROW(TReadAheadStream(missing, 16384), EStreamError);
}

TEST_F(ReadAheadTest, SmallReadsAcrossBufferBoundariesReturnTheFileInOrder)
{
    const QString file = makeFile(1000);
    TReadAheadStream s(file, 16);
    QByteArray got;
    int chunk = 1;
    while (got.size() < m_data.size()) {
        char buf[64];
        const int64_t n = s.Read(buf, chunk);
        ASSERT_EQ(n, std::min<int64_t>(chunk, m_data.size() - got.size()));
        got.append(buf, qsizetype(n));
        EXPECT_EQ(s.Position(), got.size());
        expectInvariant(s);
        chunk = chunk % 37 + 1;
    }
    EXPECT_EQ(got, m_data);
    EXPECT_TRUE(s.AtEnd());
}

TEST_F(ReadAheadTest, SeekInsideTheBufferMovesOnlyTheBufferPosition)
{
    const QString file = makeFile(1000);
    TReadAheadStream s(file, 64);
    char buf[16];
    ASSERT_EQ(s.Read(buf, 10), 10);
    ASSERT_EQ(s.BufferStart(), 0);
    ASSERT_EQ(s.Filled(), 64);

    for (int64_t target : {int64_t(0), int64_t(30), int64_t(63)}) {
        s.Seek(target);
        EXPECT_EQ(s.BufferStart(), 0) << target;
        EXPECT_EQ(s.Filled(), 64) << target;
        EXPECT_EQ(s.BufferPosition(), target);
        EXPECT_EQ(s.Position(), target);
        ASSERT_EQ(s.Read(buf, 1), 1);
        EXPECT_EQ(buf[0], m_data.at(qsizetype(target)));
    }
}

TEST_F(ReadAheadTest, SeekOnePastTheBufferedRangeGoesToTheFile)
{
    const QString file = makeFile(1000);
    TReadAheadStream s(file, 64);
    char buf[16];
    ASSERT_EQ(s.Read(buf, 10), 10);

    s.Seek(s.BufferStart() + s.Filled());   // 64
    EXPECT_EQ(s.Filled(), 0);
    EXPECT_EQ(s.BufferPosition(), 0);
    EXPECT_EQ(s.BufferStart(), 64);
    EXPECT_EQ(s.Position(), 64);
    ASSERT_EQ(s.Read(buf, 5), 5);
    EXPECT_EQ(QByteArray(buf, 5), m_data.mid(64, 5));
    EXPECT_EQ(s.BufferStart(), 64);

    // Below the buffer's start is outside as well.
    s.Seek(10);
    EXPECT_EQ(s.Filled(), 0);
    EXPECT_EQ(s.BufferStart(), 10);
    ASSERT_EQ(s.Read(buf, 3), 3);
    EXPECT_EQ(QByteArray(buf, 3), m_data.mid(10, 3));
}

TEST_F(ReadAheadTest, ReadNearTheEndIsShortAndThenAtEnd)
{
    const QString file = makeFile(14);
    TReadAheadStream s(file, 8);
    s.Seek(10);
    EXPECT_FALSE(s.AtEnd());
    char buf[10];
    EXPECT_EQ(s.Read(buf, 10), 4);
    EXPECT_EQ(QByteArray(buf, 4), m_data.mid(10, 4));
    EXPECT_TRUE(s.AtEnd());
    EXPECT_EQ(s.Position(), 14);
    // Further reads return nothing and raise nothing.
    EXPECT_EQ(s.Read(buf, 10), 0);
    EXPECT_EQ(s.Position(), 14);
}

TEST_F(ReadAheadTest, ZeroByteReadReturnsZeroWithoutRefilling)
{
    const QString file = makeFile(100);
    TReadAheadStream s(file, 32);
    char buf[1];
    EXPECT_EQ(s.Read(buf, 0), 0);
    EXPECT_EQ(s.Filled(), 0);
    EXPECT_EQ(s.BufferStart(), 0);

    s.Seek(50);
    EXPECT_EQ(s.Read(buf, 0), 0);
    EXPECT_EQ(s.Filled(), 0);
    EXPECT_EQ(s.BufferStart(), 50);
}

TEST_F(ReadAheadTest, AtEndNeedsTheBufferUsedUpAndTheFileAtItsEnd)
{
    {
        TReadAheadStream empty(makeFile(0, QStringLiteral("empty.bin")), 16);
        EXPECT_TRUE(empty.AtEnd());
        char c;
        EXPECT_EQ(empty.Read(&c, 1), 0);
        EXPECT_EQ(empty.Size(), 0);
    }
    const QString file = makeFile(100);
    TReadAheadStream s(file, 1000);   // the whole file fits the buffer
    EXPECT_FALSE(s.AtEnd());
    char buf[100];
    ASSERT_EQ(s.Read(buf, 99), 99);
    EXPECT_FALSE(s.AtEnd()) << "one byte is still buffered";
    ASSERT_EQ(s.Read(buf, 1), 1);
    EXPECT_TRUE(s.AtEnd());
    EXPECT_EQ(s.Size(), 100);
    s.Seek(0);
    EXPECT_FALSE(s.AtEnd());
    s.Seek(100);
    EXPECT_TRUE(s.AtEnd());
}

TEST_F(ReadAheadTest, CopyToLargerThanTheBufferGoesInBufferSizedPieces)
{
    const QString file = makeFile(1000);
    TReadAheadStream s(file, 64);
    s.Seek(150);
    RecordingOut out;
    EXPECT_TRUE(s.CopyTo(out, 700));
    EXPECT_EQ(out.bytes, m_data.mid(150, 700));
    EXPECT_EQ(s.Position(), 850);
    ASSERT_FALSE(out.pieces.empty());
    EXPECT_GE(out.pieces.size(), size_t((700 + 63) / 64));
    for (int64_t piece : out.pieces) {
        EXPECT_GT(piece, 0);
        EXPECT_LE(piece, 64);
    }
    // Reading goes on right after the copied range.
    char buf[4];
    ASSERT_EQ(s.Read(buf, 4), 4);
    EXPECT_EQ(QByteArray(buf, 4), m_data.mid(850, 4));
}

TEST_F(ReadAheadTest, CopyToStartsWithWhatIsAlreadyBuffered)
{
    const QString file = makeFile(500);
    TReadAheadStream s(file, 64);
    char buf[10];
    ASSERT_EQ(s.Read(buf, 10), 10);
    RecordingOut out;
    EXPECT_TRUE(s.CopyTo(out, 200));
    EXPECT_EQ(out.bytes, m_data.mid(10, 200));
    RecordingOut none;
    EXPECT_TRUE(s.CopyTo(none, 0));
    EXPECT_TRUE(none.bytes.isEmpty());
}

TEST_F(ReadAheadTest, CopyToPastTheEndReportsFailure)
{
    const QString file = makeFile(1000);
    TReadAheadStream s(file, 64);
    s.Seek(900);
    RecordingOut out;
    EXPECT_FALSE(s.CopyTo(out, 200));
    EXPECT_TRUE(m_data.mid(900).startsWith(out.bytes));
}

TEST_F(ReadAheadTest, CopyToPassesTheOutputStreamsErrorOn)
{
    const QString file = makeFile(300);
    TReadAheadStream s(file, 64);
    ThrowingOut out;
    EXPECT_THROW(s.CopyTo(out, 100), OutFailure);
}

// Random seeks, reads and copies, each checked against the file's bytes and
// against the seek rule (inside the buffered range the buffer is kept).
TEST_F(ReadAheadTest, RandomOperationsAgreeWithTheFile)
{
    const QString file = makeFile(5000);
    for (int bufferSize : {1, 7, 100, 4096, 16384}) {
        TReadAheadStream s(file, bufferSize);
        std::mt19937 rng{uint32_t(bufferSize)};
        int64_t pos = 0;
        for (int op = 0; op < 1500; ++op) {
            SCOPED_TRACE(testing::Message() << "buffer " << bufferSize << " op " << op);
            switch (rng() % 3) {
            case 0: {
                const int64_t target = int64_t(rng() % 5020);
                const int64_t start = s.BufferStart();
                const int filled = s.Filled();
                s.Seek(target);
                if (target >= start && target < start + filled) {
                    EXPECT_EQ(s.BufferStart(), start);
                    EXPECT_EQ(s.Filled(), filled);
                } else {
                    EXPECT_EQ(s.BufferStart(), target);
                    EXPECT_EQ(s.Filled(), 0);
                }
                pos = target;
                break;
            }
            case 1: {
                const int64_t len = int64_t(rng() % 300);
                QByteArray buf(qsizetype(len), '\0');
                const int64_t n = s.Read(buf.data(), len);
                const int64_t expected = std::clamp<int64_t>(m_data.size() - pos, 0, len);
                ASSERT_EQ(n, expected);
                EXPECT_EQ(buf.left(qsizetype(n)), m_data.mid(qsizetype(pos), qsizetype(n)));
                pos += n;
                break;
            }
            default: {
                const int64_t len = int64_t(rng() % 700);
                RecordingOut out;
                const bool all = s.CopyTo(out, len);
                const int64_t available = std::max<int64_t>(0, m_data.size() - pos);
                EXPECT_EQ(all, len <= available);
                if (all) {
                    EXPECT_EQ(out.bytes, m_data.mid(qsizetype(pos), qsizetype(len)));
                    pos += len;
                } else {
                    pos = s.Position();   // how far a failed copy got is not fixed
                }
                break;
            }
            }
            EXPECT_EQ(s.Position(), pos);
            expectInvariant(s);
            EXPECT_EQ(s.AtEnd(), pos >= m_data.size());
        }
    }
}

} // namespace
