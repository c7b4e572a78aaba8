// TReadAheadStream::ReadRange: the bytes of every range asked for, in runs
// that walk forward (the window grows), jump back, pass the end of the file
// or are larger than any window; and the stream's buffer and position left
// as they were.
#include "catalog/ReadAhead.h"

#include "TestCatalogs.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace {

constexpr int kFileSize = 3 * 1024 * 1024 + 123;

struct Range {
    int64_t position, count;
};

struct RangeCase {
    const char *label;
    std::vector<Range> ranges;
};

class ReadRangeTest : public ::testing::TestWithParam<RangeCase>
{
protected:
    QString makeFile()
    {
        m_data.resize(kFileSize);
        for (int i = 0; i < kFileSize; ++i)
            m_data[i] = char((i * 131 + (i >> 8) * 7 + (i >> 16) * 3 + 17) & 0xFF);
        const QString file = m_dir.filePath(QStringLiteral("ranges.bin"));
        EXPECT_TRUE(testcat::WriteFileBytes(file, m_data));
        return file;
    }

    QTemporaryDir m_dir;
    QByteArray m_data;
};

// Ranges one after the other, as the file lists of a walk lie.
std::vector<Range> Walk(int64_t from, int64_t step, int n)
{
    std::vector<Range> ranges;
    for (int i = 0; i < n; ++i)
        ranges.push_back({from + i * step, step - (i % 3)});
    return ranges;
}

TEST_P(ReadRangeTest, BytesOfEveryRange)
{
    const QString file = makeFile();
    TReadAheadStream s(file, 16384);
    // Something in the buffer, to see it stay.
    s.Seek(1000);
    char first[10];
    ASSERT_EQ(s.Read(first, 10), 10);
    const int64_t position = s.Position(), bufferStart = s.BufferStart();
    const int filled = s.Filled();

    for (const Range &r : GetParam().ranges) {
        const QByteArrayView got = s.ReadRange(r.position, r.count);
        const int64_t expected =
            r.count <= 0 || r.position < 0 ? 0 : std::clamp<int64_t>(kFileSize - r.position, 0, r.count);
        ASSERT_EQ(got.size(), expected) << r.position << " " << r.count;
        if (expected > 0) {
            EXPECT_EQ(got, QByteArrayView(m_data).sliced(r.position, expected)) << r.position << " " << r.count;
        }
    }
    EXPECT_EQ(s.Position(), position);
    EXPECT_EQ(s.BufferStart(), bufferStart);
    EXPECT_EQ(s.Filled(), filled);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ReadRangeTest,
    ::testing::Values(
        RangeCase{"forward walk of small ranges", Walk(0, 6000, 400)},
        RangeCase{"forward walk across the whole file", Walk(17, 40000, 80)},
        RangeCase{"forward with gaps", {{0, 100}, {70000, 5000}, {140000, 100}, {200000, 64 * 1024}, {300000, 9}}},
        RangeCase{"back and forth", {{2000000, 5000}, {100, 5000}, {2000000, 5000}, {1999999, 2}, {0, 1}}},
        RangeCase{"inside the window again", {{500, 1000}, {600, 100}, {500, 1000}, {1499, 1}}},
        RangeCase{"larger than any window, then small",
                  {{10, 2 * 1024 * 1024}, {20, 100}, {5, 3 * 1024 * 1024}, {kFileSize - 10, 5}}},
        RangeCase{"past the end", {{kFileSize - 100, 1000}, {kFileSize, 10}, {kFileSize + 5000, 10}}},
        RangeCase{"nothing asked", {{0, 0}, {100, -5}, {-1, 10}, {50, 10}}}),
    [](const ::testing::TestParamInfo<RangeCase> &info) {
        std::string name;
        for (const char *p = info.param.label; *p; ++p)
            name += std::isalnum(uchar(*p)) ? *p : '_';
        return name;
    });

} // namespace
