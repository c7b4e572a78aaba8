// Tests of the settings store: value kinds that survive the file, wrong-kind
// and wrong-size reads, key semantics, the file QSettings reads back with the
// same kinds, damaged and foreign files, and saves that cannot lose the old
// file (a write that fails for lack of space, a process killed mid-save).
#include "settings/Registry.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <climits>
#include <cstdint>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
void PrintTo(const QByteArray &bytes, std::ostream *os)
{
    *os << bytes.toHex().toStdString();
}

namespace {

const QString kMain = QStringLiteral("\\SOFTWARE\\Orvanta\\Quillon");

// Points XDG_CONFIG_HOME at a fresh folder for the test and back afterwards.
class RegistryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_hadOld = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        m_old = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8());
    }
    void TearDown() override
    {
        if (m_hadOld)
            qputenv("XDG_CONFIG_HOME", m_old);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

    QString file() const { return m_dir.path() + QStringLiteral("/Orvanta/Quillon.conf"); }
    QByteArray fileBytes() const
    {
        QFile f(file());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeFileBytes(const QByteArray &bytes) const
    {
        QDir().mkpath(QFileInfo(file()).absolutePath());
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    // Names of the entries of the settings folder other than the file itself.
    QStringList strayFiles() const
    {
        QStringList names = QDir(QFileInfo(file()).absolutePath()).entryList(QDir::Files | QDir::Hidden);
        names.removeAll(QStringLiteral("Quillon.conf"));
        return names;
    }

    QTemporaryDir m_dir;
    bool m_hadOld = false;
    QByteArray m_old;
};

QStringList SampleStrings()
{
    return {
        QString(),
        QStringLiteral("plain"),
        QStringLiteral("FILE_ID.DIZ,DESCRIPT.ION,*.NFO,*.TXT"),
        QStringLiteral(" leading and trailing blanks "),
        QStringLiteral("quote\" and back\\slash"),
        QStringLiteral("@at the start"),
        QStringLiteral("@@two"),
        QStringLiteral("@ByteArray(not bytes)"),
        QStringLiteral("@Variant(not a number)"),
        QStringLiteral("semi;colon = equals"),
        QStringLiteral("line\nbreak\r\ttab\a\b\f\v"),
        QStringLiteral("Ünïcödé € 日本"),
        QString(QChar(1)) + QStringLiteral("abc"),        // a hex digit after an escape
        QString(QChar(0)) + QStringLiteral("12"),         // a digit after an escaped NUL
        QStringLiteral("[not a section]"),
        QStringLiteral("; not a comment"),
        QStringLiteral("ends with backslash\\"),
    };
}

std::vector<qint32> SampleIntegers()
{
    return {0, 1, -1, 49, 255, 0x0A0D0922, INT_MIN, INT_MAX, -15};
}

std::vector<QByteArray> SampleBlocks()
{
    std::vector<QByteArray> blocks;
    blocks.push_back(QByteArray());
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    blocks.push_back(all);
    blocks.push_back(QByteArray("\x00" "1a", 3));
    blocks.push_back(QByteArray("\xA2\xAE\x5C\x31", 4));
    std::mt19937 rng(7);
    QByteArray random;
    for (int i = 0; i < 1000; ++i)
        random += char(rng() & 0xFF);
    blocks.push_back(random);
    return blocks;
}

// Writes every sample into the current key under names S0.., I0.., B0...
void WriteSamples(Registry &r)
{
    const QStringList strings = SampleStrings();
    for (qsizetype i = 0; i < strings.size(); ++i)
        ASSERT_TRUE(r.writeString(QStringLiteral("S%1").arg(i), strings[i]));
    const auto ints = SampleIntegers();
    for (size_t i = 0; i < ints.size(); ++i)
        ASSERT_TRUE(r.writeInteger(QStringLiteral("I%1").arg(i), ints[i]));
    const auto blocks = SampleBlocks();
    for (size_t i = 0; i < blocks.size(); ++i)
        ASSERT_TRUE(r.writeBinary(QStringLiteral("B%1").arg(i), blocks[i]));
}

void ExpectSamples(const Registry &r)
{
    const QStringList strings = SampleStrings();
    for (qsizetype i = 0; i < strings.size(); ++i) {
        const QString name = QStringLiteral("S%1").arg(i);
        EXPECT_EQ(r.valueKind(name), RegKind::String) << name.toStdString();
        EXPECT_EQ(r.readString(name), strings[i]) << name.toStdString();
    }
    const auto ints = SampleIntegers();
    for (size_t i = 0; i < ints.size(); ++i) {
        const QString name = QStringLiteral("I%1").arg(i);
        EXPECT_EQ(r.valueKind(name), RegKind::Integer) << name.toStdString();
        EXPECT_EQ(r.readInteger(name), ints[i]) << name.toStdString();
    }
    const auto blocks = SampleBlocks();
    for (size_t i = 0; i < blocks.size(); ++i) {
        const QString name = QStringLiteral("B%1").arg(i);
        EXPECT_EQ(r.valueKind(name), RegKind::Bytes) << name.toStdString();
        EXPECT_EQ(r.readBinary(name, 4096), blocks[i]) << name.toStdString();
    }
}

TEST_F(RegistryTest, TheFileLiesUnderXdgConfigHome)
{
    EXPECT_EQ(Registry::DefaultFileName(), file());
    EXPECT_EQ(Registry::MainKey(), kMain);
    Registry r;
    EXPECT_EQ(r.fileName(), file());
    EXPECT_FALSE(r.damaged());
    EXPECT_FALSE(r.keyExists(kMain));
    EXPECT_FALSE(QFile::exists(file()));
}

TEST_F(RegistryTest, StringsIntegersAndBlocksKeepTheirKindsInTheFile)
{
    {
        Registry r;
        ASSERT_TRUE(r.openKey(kMain, true));
        WriteSamples(r);
        ASSERT_TRUE(r.openKey(kMain + QStringLiteral("\\Columns"), true));
        WriteSamples(r);
        ASSERT_TRUE(r.flush());
        ExpectSamples(r);
    }
    Registry again;
    EXPECT_FALSE(again.damaged());
    ASSERT_TRUE(again.openKey(kMain, false));
    ExpectSamples(again);
    ASSERT_TRUE(again.openKey(kMain + QStringLiteral("\\Columns"), false));
    ExpectSamples(again);

    // The file is plain text with one value per line.
    const QByteArray text = fileBytes();
    EXPECT_TRUE(text.startsWith("[General]\n"));
    EXPECT_TRUE(text.contains("\n[Columns]\n"));
    EXPECT_TRUE(text.contains("I3=\"@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x31)\"\n"));
    EXPECT_TRUE(text.contains("B3=\"@ByteArray(\\xa2\\xae\\\\1)\"\n"));
    EXPECT_TRUE(text.contains("S1=\"plain\"\n"));
    EXPECT_TRUE(text.contains("S5=\"@@at the start\"\n"));
}

TEST_F(RegistryTest, ReadingAsAnotherKindOrSizeFails)
{
    Registry r{QString()};
    ASSERT_TRUE(r.openKey(kMain, true));
    ASSERT_TRUE(r.writeString(QStringLiteral("Text"), QStringLiteral("12")));
    ASSERT_TRUE(r.writeInteger(QStringLiteral("Number"), 12));
    ASSERT_TRUE(r.writeBinary(QStringLiteral("Block"), QByteArray(4, 'x')));

    EXPECT_EQ(r.readInteger(QStringLiteral("Text")), std::nullopt);
    EXPECT_EQ(r.readBinary(QStringLiteral("Text"), 100), std::nullopt);
    EXPECT_EQ(r.readString(QStringLiteral("Number")), std::nullopt);
    EXPECT_EQ(r.readBinary(QStringLiteral("Number"), 100), std::nullopt);
    EXPECT_EQ(r.readString(QStringLiteral("Block")), std::nullopt);
    EXPECT_EQ(r.readInteger(QStringLiteral("Block")), std::nullopt);
    EXPECT_EQ(r.readBinary(QStringLiteral("Missing"), 100), std::nullopt);

    EXPECT_EQ(r.readBinary(QStringLiteral("Block"), 4), QByteArray(4, 'x'));
    EXPECT_EQ(r.readBinary(QStringLiteral("Block"), 3), std::nullopt);
    EXPECT_EQ(r.readBinaryExact(QStringLiteral("Block"), 4), QByteArray(4, 'x'));
    EXPECT_EQ(r.readBinaryExact(QStringLiteral("Block"), 5), std::nullopt);
    EXPECT_EQ(r.readBinaryExact(QStringLiteral("Block"), 3), std::nullopt);
}

TEST_F(RegistryTest, NamesOfKeysAndValuesIgnoreCase)
{
    Registry r;
    ASSERT_TRUE(r.openKey(kMain + QStringLiteral("\\Columns"), true));
    ASSERT_TRUE(r.writeInteger(QStringLiteral("Settings"), 1));
    ASSERT_TRUE(r.writeInteger(QStringLiteral("SETTINGS"), 2));
    EXPECT_EQ(r.valueNames(), QStringList{QStringLiteral("Settings")});
    EXPECT_EQ(r.readInteger(QStringLiteral("settings")), 2);
    ASSERT_TRUE(r.flush());

    Registry again;
    EXPECT_TRUE(again.openKey(QStringLiteral("\\software\\ORVANTA\\quillon\\COLUMNS"), false));
    EXPECT_EQ(again.readInteger(QStringLiteral("Settings")), 2);
    EXPECT_TRUE(again.deleteValue(QStringLiteral("sEtTiNgS")));
    EXPECT_FALSE(again.valueExists(QStringLiteral("Settings")));
    EXPECT_FALSE(again.deleteValue(QStringLiteral("Settings")));
}

TEST_F(RegistryTest, KeysAreOpenedWithOrWithoutCreating)
{
    const QString columns = kMain + QStringLiteral("\\Columns");
    {
        Registry r;
        EXPECT_FALSE(r.openKey(kMain, false));
        EXPECT_FALSE(r.hasCurrentKey());
        EXPECT_FALSE(r.writeInteger(QStringLiteral("X"), 1));   // no key open
        // Creating a key writes it at once, with its parents.
        ASSERT_TRUE(r.openKey(columns, true));
        EXPECT_EQ(r.currentKey(), columns);
        EXPECT_TRUE(QFile::exists(file()));
        EXPECT_FALSE(r.hasPendingChanges());
    }
    Registry again;
    EXPECT_TRUE(again.keyExists(kMain));
    EXPECT_TRUE(again.keyExists(columns));
    EXPECT_TRUE(again.openKey(columns, false));
    EXPECT_TRUE(again.valueNames().isEmpty());

    // Relative paths start at the current key; the keys above the main key
    // exist but cannot be opened; keys elsewhere do not exist.
    ASSERT_TRUE(again.openKey(kMain, false));
    EXPECT_TRUE(again.openKey(QStringLiteral("Columns"), false));
    EXPECT_EQ(again.currentKey(), columns);
    EXPECT_TRUE(again.openKey(QStringLiteral("Sub\\Deeper"), true));
    EXPECT_EQ(again.currentKey(), columns + QStringLiteral("\\Sub\\Deeper"));
    EXPECT_TRUE(again.keyExists(QStringLiteral("\\SOFTWARE\\Orvanta")));
    EXPECT_FALSE(again.openKey(QStringLiteral("\\SOFTWARE\\Orvanta"), true));
    EXPECT_FALSE(again.keyExists(QStringLiteral("\\SOFTWARE\\Other")));
    EXPECT_FALSE(again.openKey(QStringLiteral("\\SOFTWARE\\Other"), true));
    EXPECT_FALSE(again.openKey(kMain + QStringLiteral("\\a/b"), true));
    EXPECT_FALSE(again.deleteKey(QStringLiteral("\\SOFTWARE\\Orvanta")));
}

TEST_F(RegistryTest, DeletingAKeyRemovesItsSubkeysAndValues)
{
    Registry r;
    ASSERT_TRUE(r.openKey(kMain, true));
    ASSERT_TRUE(r.writeInteger(QStringLiteral("Main"), 1));
    for (const char *sub : {"Columns", "ReportGen", "MRUList", "Toolbar", "A", "A\\B", "A\\B\\C", "AB"}) {
        ASSERT_TRUE(r.openKey(kMain + QLatin1Char('\\') + QLatin1String(sub), true));
        ASSERT_TRUE(r.writeString(QStringLiteral("V"), QLatin1String(sub)));
    }
    ASSERT_TRUE(r.openKey(kMain, false));
    EXPECT_EQ(r.keyNames(), (QStringList{QStringLiteral("Columns"), QStringLiteral("ReportGen"),
                                          QStringLiteral("MRUList"), QStringLiteral("Toolbar"), QStringLiteral("A"),
                                          QStringLiteral("AB")}));
    ASSERT_TRUE(r.openKey(kMain + QStringLiteral("\\A\\B"), false));
    EXPECT_TRUE(r.deleteKey(kMain + QStringLiteral("\\A")));
    EXPECT_FALSE(r.keyExists(kMain + QStringLiteral("\\A")));
    EXPECT_FALSE(r.keyExists(kMain + QStringLiteral("\\A\\B\\C")));
    EXPECT_TRUE(r.keyExists(kMain + QStringLiteral("\\AB")));
    // The current key is gone: nothing can be written into it.
    EXPECT_FALSE(r.writeString(QStringLiteral("V"), QStringLiteral("x")));
    EXPECT_FALSE(r.deleteKey(kMain + QStringLiteral("\\A")));

    // Deleting a subkey leaves its parent.
    ASSERT_TRUE(r.openKey(kMain + QStringLiteral("\\Toolbar\\Inner"), true));
    EXPECT_TRUE(r.deleteKey(kMain + QStringLiteral("\\Toolbar\\Inner")));
    EXPECT_TRUE(r.keyExists(kMain + QStringLiteral("\\Toolbar")));
    ASSERT_TRUE(r.flush());
    {
        Registry again;
        EXPECT_TRUE(again.keyExists(kMain + QStringLiteral("\\Toolbar")));
        EXPECT_FALSE(again.keyExists(kMain + QStringLiteral("\\A\\B")));
        ASSERT_TRUE(again.openKey(kMain + QStringLiteral("\\AB"), false));
        EXPECT_EQ(again.readString(QStringLiteral("V")), QStringLiteral("AB"));
    }

    EXPECT_TRUE(r.deleteKey(kMain));
    EXPECT_FALSE(r.keyExists(kMain));
    EXPECT_FALSE(r.keyExists(kMain + QStringLiteral("\\Columns")));
    ASSERT_TRUE(r.flush());
    EXPECT_TRUE(fileBytes().isEmpty());
    Registry empty;
    EXPECT_FALSE(empty.keyExists(kMain));
}

TEST_F(RegistryTest, QSettingsReadsTheFileWithTheSameKinds)
{
    {
        Registry r;
        ASSERT_TRUE(r.openKey(kMain, true));
        WriteSamples(r);
        ASSERT_TRUE(r.openKey(QStringLiteral("Columns"), true));
        ASSERT_TRUE(r.writeInteger(QStringLiteral("List1"), -7));
        ASSERT_TRUE(r.openKey(kMain + QStringLiteral("\\General"), true));
        ASSERT_TRUE(r.writeString(QStringLiteral("Inner"), QStringLiteral("in the subkey")));
        ASSERT_TRUE(r.flush());
    }
    QSettings qs(file(), QSettings::IniFormat);
    EXPECT_EQ(qs.status(), QSettings::NoError);
    const QStringList strings = SampleStrings();
    for (qsizetype i = 0; i < strings.size(); ++i) {
        const QVariant v = qs.value(QStringLiteral("S%1").arg(i));
        EXPECT_EQ(v.metaType().id(), QMetaType::QString) << i;
        EXPECT_EQ(v.toString(), strings[i]) << i;
    }
    const auto ints = SampleIntegers();
    for (size_t i = 0; i < ints.size(); ++i) {
        const QVariant v = qs.value(QStringLiteral("I%1").arg(i));
        EXPECT_EQ(v.metaType().id(), QMetaType::Int) << i;
        EXPECT_EQ(v.toInt(), ints[i]) << i;
    }
    const auto blocks = SampleBlocks();
    for (size_t i = 0; i < blocks.size(); ++i) {
        const QVariant v = qs.value(QStringLiteral("B%1").arg(i));
        EXPECT_EQ(v.metaType().id(), QMetaType::QByteArray) << i;
        EXPECT_EQ(v.toByteArray(), blocks[i]) << i;
    }
    EXPECT_EQ(qs.value(QStringLiteral("Columns/List1")).toInt(), -7);
    EXPECT_EQ(qs.value(QStringLiteral("General/Inner")).toString(), QStringLiteral("in the subkey"));
}

TEST_F(RegistryTest, ReadsStringsAndBlocksThatQSettingsWrote)
{
    const QStringList strings = SampleStrings();
    const auto blocks = SampleBlocks();
    {
        QDir().mkpath(QFileInfo(file()).absolutePath());
        QSettings qs(file(), QSettings::IniFormat);
        for (qsizetype i = 0; i < strings.size(); ++i)
            qs.setValue(QStringLiteral("S%1").arg(i), strings[i]);
        for (size_t i = 0; i < blocks.size(); ++i)
            qs.setValue(QStringLiteral("B%1").arg(i), blocks[i]);
        qs.setValue(QStringLiteral("Plain"), 5);
        qs.setValue(QStringLiteral("List"), QStringList{QStringLiteral("a"), QStringLiteral("b")});
        qs.setValue(QStringLiteral("Columns/Width"), QByteArray("\x10\x00", 2));
    }
    Registry r;
    ASSERT_TRUE(r.openKey(kMain, false));
    for (qsizetype i = 0; i < strings.size(); ++i)
        EXPECT_EQ(r.readString(QStringLiteral("S%1").arg(i)), strings[i]) << i;
    for (size_t i = 0; i < blocks.size(); ++i)
        EXPECT_EQ(r.readBinary(QStringLiteral("B%1").arg(i), 4096), blocks[i]) << i;
    // QSettings writes an integer as its digits, which read as a string.
    EXPECT_EQ(r.readString(QStringLiteral("Plain")), QStringLiteral("5"));
    EXPECT_EQ(r.readInteger(QStringLiteral("Plain")), std::nullopt);
    // A string list is no kind of this store: it reads as nothing.
    EXPECT_EQ(r.valueKind(QStringLiteral("List")), RegKind::Other);
    EXPECT_EQ(r.readString(QStringLiteral("List")), std::nullopt);
    ASSERT_TRUE(r.openKey(QStringLiteral("Columns"), false));
    EXPECT_EQ(r.readBinary(QStringLiteral("Width"), 2), QByteArray("\x10\x00", 2));
}

TEST_F(RegistryTest, AForeignOrGarbageFileReadsAsMissingValuesAndIsRewritten)
{
    const std::vector<QByteArray> foreign = {
        QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\0", 20),
        QByteArray("{\"Settings\": 1, \"AdvSettings\": [1,2]}\n"),
        QByteArray("<?xml version=\"1.0\"?>\n<settings><Settings>1</Settings></settings>\n"),
        QByteArray("[General\nSettings=@ByteArray(\\x1\\x2\\x3\\x4)\n"),   // an unreadable section header
        QByteArray("[General]\nSettings=@ByteArray(\\xa2\\xae\n"),         // cut in the middle of a value
        QByteArray("[General]\nAutoload=\"unterminated\n=novalue\nnoequals\n"),
        QByteArray("[General]\nSettings=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\x1)\nDescFiles=@Invalid()\n"),
        QByteArray("[General]\nSettings=@ByteArray(\\x100\\x2)\n"),        // a character past one byte
        QByteArray(),
        QByteArray("\xEF\xBB\xBF"),
    };
    for (const QByteArray &bytes : foreign) {
        SCOPED_TRACE(bytes.toStdString());
        writeFileBytes(bytes);
        Registry r;
        if (r.openKey(kMain, false)) {
            EXPECT_EQ(r.readBinary(QStringLiteral("Settings"), 4), std::nullopt);
            EXPECT_EQ(r.readString(QStringLiteral("Autoload")), std::nullopt);
            EXPECT_EQ(r.readString(QStringLiteral("DescFiles")), std::nullopt);
        }
        ASSERT_TRUE(r.openKey(kMain, true));
        ASSERT_TRUE(r.writeInteger(QStringLiteral("Fresh"), 1));
        ASSERT_TRUE(r.flush());
        EXPECT_FALSE(r.damaged());
        Registry again;
        EXPECT_FALSE(again.damaged());
        ASSERT_TRUE(again.openKey(kMain, false));
        EXPECT_EQ(again.readInteger(QStringLiteral("Fresh")), 1);
        for (const QString &name : again.valueNames())
            EXPECT_NE(again.valueKind(name), RegKind::Other) << name.toStdString();
    }
    // A file that is no settings file at all is not read.
    writeFileBytes(QByteArray("[General]\nSettings=\"x\"\n") + QByteArray(Registry::kMaxFileSize, '\n'));
    Registry big;
    EXPECT_TRUE(big.damaged());
    EXPECT_FALSE(big.keyExists(kMain));
}

TEST_F(RegistryTest, EveryPrefixOfTheFileReadsEachValueWholeOrNotAtAll)
{
    {
        Registry r;
        ASSERT_TRUE(r.openKey(kMain, true));
        WriteSamples(r);
        ASSERT_TRUE(r.openKey(QStringLiteral("Columns"), true));
        WriteSamples(r);
        ASSERT_TRUE(r.flush());
    }
    const QByteArray full = fileBytes();
    Registry reference;
    ASSERT_TRUE(reference.openKey(kMain, false));
    const QStringList names = reference.valueNames();
    // Every cut near a line end, and every 11th byte elsewhere.
    std::vector<qsizetype> cuts;
    for (qsizetype cut = 0; cut <= full.size(); ++cut) {
        bool nearLineEnd = false;
        for (qsizetype k = std::max<qsizetype>(0, cut - 4); k < std::min(full.size(), cut + 4) && !nearLineEnd; ++k)
            nearLineEnd = full[k] == '\n';
        if (nearLineEnd || cut % 11 == 0)
            cuts.push_back(cut);
    }
    for (const qsizetype cut : cuts) {
        writeFileBytes(full.left(cut));
        Registry r;
        for (const QString &key : {kMain, kMain + QStringLiteral("\\Columns")}) {
            if (!r.openKey(key, false))
                continue;
            for (const QString &name : r.valueNames()) {
                const RegKind kind = *r.valueKind(name);
                if (kind == RegKind::Other)
                    continue;   // the cut value, unreadable
                ASSERT_TRUE(names.contains(name)) << cut;
                ASSERT_EQ(kind, *reference.valueKind(name)) << cut << " " << name.toStdString();
                switch (kind) {
                case RegKind::String:
                    ASSERT_EQ(r.readString(name), reference.readString(name)) << cut << " " << name.toStdString();
                    break;
                case RegKind::Integer:
                    ASSERT_EQ(r.readInteger(name), reference.readInteger(name)) << cut << " " << name.toStdString();
                    break;
                case RegKind::Bytes:
                    ASSERT_EQ(r.readBinary(name, 4096), reference.readBinary(name, 4096)) << cut << " "
                                                                                            << name.toStdString();
                    break;
                case RegKind::Other:
                    break;
                }
            }
        }
    }
}

TEST_F(RegistryTest, FlippedBytesNeverStopTheReader)
{
    {
        Registry r;
        ASSERT_TRUE(r.openKey(kMain, true));
        WriteSamples(r);
        ASSERT_TRUE(r.flush());
    }
    const QByteArray full = fileBytes();
    std::mt19937 rng(12345);
    for (int round = 0; round < 150; ++round) {
        QByteArray damaged = full;
        const int flips = 1 + int(rng() % 8);
        for (int k = 0; k < flips; ++k)
            damaged[qsizetype(rng() % quint32(damaged.size()))] = char(rng() & 0xFF);
        writeFileBytes(damaged);
        Registry r;
        if (r.openKey(kMain, false)) {
            for (const QString &name : r.valueNames()) {
                (void)r.readString(name);
                (void)r.readInteger(name);
                (void)r.readBinary(name, 1 << 20);
            }
        }
        // What was read can be written back and read again the same way.
        ASSERT_TRUE(r.openKey(kMain, true));
        ASSERT_TRUE(r.writeInteger(QStringLiteral("After"), round));
        ASSERT_TRUE(r.flush());
        Registry again;
        ASSERT_TRUE(again.openKey(kMain, false));
        EXPECT_EQ(again.readInteger(QStringLiteral("After")), round);
        EXPECT_FALSE(again.damaged());
    }
}

TEST_F(RegistryTest, TwoStoresOnOneFileKeepEachOthersChanges)
{
    Registry a;
    Registry b;
    ASSERT_TRUE(a.openKey(kMain, true));
    ASSERT_TRUE(b.openKey(kMain, true));
    ASSERT_TRUE(a.writeInteger(QStringLiteral("FromA"), 1));
    ASSERT_TRUE(b.writeInteger(QStringLiteral("FromB"), 2));
    ASSERT_TRUE(a.flush());
    ASSERT_TRUE(b.flush());
    Registry c;
    ASSERT_TRUE(c.openKey(kMain, false));
    EXPECT_EQ(c.readInteger(QStringLiteral("FromA")), 1);
    EXPECT_EQ(c.readInteger(QStringLiteral("FromB")), 2);
    EXPECT_TRUE(strayFiles().isEmpty()) << strayFiles().join(' ').toStdString();
}

TEST_F(RegistryTest, AStoreInMemoryWritesNoFile)
{
    Registry r{QString()};
    ASSERT_TRUE(r.openKey(kMain, true));
    ASSERT_TRUE(r.writeString(QStringLiteral("X"), QStringLiteral("y")));
    EXPECT_TRUE(r.flush());
    EXPECT_EQ(r.readString(QStringLiteral("X")), QStringLiteral("y"));
    EXPECT_FALSE(QFile::exists(file()));
    EXPECT_TRUE(r.serialized().contains("X=\"y\""));
}

TEST_F(RegistryTest, AStoreThatCannotBeWrittenFailsToCreateKeys)
{
    // A regular file where the settings folder should be: no folder can be
    // made there, whoever runs the test.
    QFile blocker(m_dir.filePath(QStringLiteral("Orvanta")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Registry r;
    EXPECT_FALSE(r.openKey(kMain, true));
    EXPECT_FALSE(r.keyExists(kMain));
    EXPECT_FALSE(r.hasPendingChanges());
}

// Runs body with writes past limit bytes failing (the file size limit stands
// in for a full disk); the signal that would end the process is ignored.
template <typename Body>
void WithFileSizeLimit(rlim_t limit, Body body)
{
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = limit;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    body();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
}

TEST_F(RegistryTest, ASaveThatRunsOutOfSpaceLeavesTheOldFile)
{
    Registry r;
    ASSERT_TRUE(r.openKey(kMain, true));
    WriteSamples(r);
    ASSERT_TRUE(r.flush());
    const QByteArray before = fileBytes();
    ASSERT_FALSE(before.isEmpty());

    ASSERT_TRUE(r.writeBinary(QStringLiteral("Big"), QByteArray(200000, '\x7f')));
    bool flushed = true;
    WithFileSizeLimit(rlim_t(before.size() + 100), [&] { flushed = r.flush(); });
    EXPECT_FALSE(flushed);
    EXPECT_EQ(fileBytes(), before);
    EXPECT_TRUE(strayFiles().isEmpty()) << strayFiles().join(' ').toStdString();
    EXPECT_TRUE(r.hasPendingChanges());

    // With room again the pending change goes out.
    ASSERT_TRUE(r.flush());
    Registry again;
    ASSERT_TRUE(again.openKey(kMain, false));
    EXPECT_EQ(again.readBinary(QStringLiteral("Big"), 200000), QByteArray(200000, '\x7f'));
    ExpectSamples(again);
}

TEST_F(RegistryTest, AProcessKilledWhileSavingLeavesTheOldFile)
{
    {
        Registry r;
        ASSERT_TRUE(r.openKey(kMain, true));
        WriteSamples(r);
        ASSERT_TRUE(r.flush());
    }
    const QByteArray before = fileBytes();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The file size signal kills the child in the middle of its write.
        std::signal(SIGXFSZ, SIG_DFL);
        rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        rlimit small{};
        getrlimit(RLIMIT_FSIZE, &small);
        small.rlim_cur = rlim_t(before.size() / 2);
        setrlimit(RLIMIT_FSIZE, &small);
        Registry r;
        r.openKey(kMain, false);
        r.writeBinary(QStringLiteral("Big"), QByteArray(200000, 'x'));
        r.flush();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
    EXPECT_EQ(fileBytes(), before);
    Registry r;
    ASSERT_TRUE(r.openKey(kMain, false));
    ExpectSamples(r);
    EXPECT_FALSE(r.valueExists(QStringLiteral("Big")));
    // The next save goes through, whatever the killed one left behind.
    ASSERT_TRUE(r.writeInteger(QStringLiteral("Later"), 3));
    ASSERT_TRUE(r.flush());
    Registry again;
    ASSERT_TRUE(again.openKey(kMain, false));
    EXPECT_EQ(again.readInteger(QStringLiteral("Later")), 3);
}

} // namespace
