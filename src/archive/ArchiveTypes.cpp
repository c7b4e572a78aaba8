// The catalog side's archive types: file names matched against the table's
// extensions, and the switches the settings set on it.
#include "archive/ArchiveTypes.h"

#include <algorithm>
#include <atomic>

int ArchiveExtensionIndex(const QString &fileName)
{
    const qsizetype sep = std::max(fileName.lastIndexOf(QLatin1Char('/')), fileName.lastIndexOf(QLatin1Char('\\')));
    const QString base = fileName.mid(sep + 1);
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return 0;
    const QString ext = base.mid(dot + 1).toUpper();
    // A tarball compressed by compress is the long form of .taz: its files are listed, and
    // taken out, as that row's (the Z row is a single compressed file, which is not).
    if (ext == QLatin1String("Z") && base.left(dot).endsWith(QLatin1String(".tar"), Qt::CaseInsensitive)) {
        for (int index = kArchiveTypeCount; index >= 1; --index)
            if (QLatin1String(ArchiveTypeRow(index)->extension) == QLatin1String("TAZ"))
                return index;
    }
    const bool volumeForm = ext.size() == 3 && ext[1].isDigit() && ext[2].isDigit() && ext[1].unicode() < 128 &&
                            ext[2].unicode() < 128;
    for (int index = kArchiveTypeCount; index >= 1; --index) {
        const TArchiveTypeRow &row = *ArchiveTypeRow(index);
        if (ext == QLatin1String(row.extension))
            return index;
        if (row.volumeLetter && volumeForm && ext[0] == QLatin1Char(row.volumeLetter))
            return index;
    }
    return 0;
}

bool ArchiveIndexListsComment(int index)
{
    const TArchiveTypeRow *row = ArchiveTypeRow(index);
    return row && row->listsComment;
}

bool ArchiveIndexCanExtract(int index)
{
    const TArchiveTypeRow *row = ArchiveTypeRow(index);
    return row && row->canExtract;
}

bool IsLaterVolumeName(QByteArrayView name)
{
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; };
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    const qsizetype n = name.size();
    if (n >= 5 && name[n - 4] == '.' && digit(name[n - 2]) && digit(name[n - 1])) {
        const char letter = upper(name[n - 3]);
        for (const TArchiveTypeRow &row : kArchiveTypes)
            if (row.volumeLetter && row.volumeLetter == letter)
                return true;
    }
    // name.partN.rar with N above 1
    if (n < 11 || upper(name[n - 1]) != 'R' || upper(name[n - 2]) != 'A' || upper(name[n - 3]) != 'R' ||
        name[n - 4] != '.')
        return false;
    qsizetype i = n - 5;
    int number = 0;
    int digits = 0;
    for (int scale = 1; i >= 0 && digit(name[i]) && digits < 6; --i, ++digits, scale *= 10)
        number += (name[i] - '0') * scale;
    if (digits == 0 || i < 5)
        return false;
    const QByteArrayView part = name.sliced(i - 4, 5);
    return number > 1 && part.compare(QByteArrayView(".PART"), Qt::CaseInsensitive) == 0;
}

QString ArjVolumeExtension(int n)
{
    if (n < 1 || n > 999)
        return {};
    if (n <= 99)
        return QStringLiteral("A%1").arg(n, 2, 10, QLatin1Char('0'));
    return QString::number(n);
}

int ArchiveTypeIndex(TArcType type)
{
    const TArcType plain = PlainArcType(type);
    if (plain == TArcType::Unknown)
        return 0;
    for (int index = 1; index <= kArchiveTypeCount; ++index)
        if (ArchiveTypeRow(index)->type == plain)
            return index;
    return 0;
}

TArcType PlainArcType(TArcType type)
{
    switch (type) {
    case TArcType::ArjExe:
        return TArcType::ARJ;
    case TArcType::ArcExe:
        return TArcType::ARC;
    case TArcType::BHExe:
        return TArcType::BH;
    case TArcType::LhaExe:
        return TArcType::LHA;
    case TArcType::LzhExe:
        return TArcType::LZH;
    case TArcType::PakExe:
        return TArcType::PAK;
    case TArcType::RarExe:
        return TArcType::RAR;
    case TArcType::ZipExe:
    case TArcType::Zip250:
    case TArcType::Zip250Exe:
        return TArcType::ZIP;
    default:
        return type;
    }
}

namespace {

// The settings' switches, every type on until they say otherwise; atomic because the
// search thread may ask while the main thread applies settings.
struct EnabledTable {
    EnabledTable()
    {
        for (auto &flag : flags)
            flag.store(true);
    }
    std::atomic<bool> flags[kArchiveTypeCount];
};

EnabledTable &enabledTable()
{
    static EnabledTable table;
    return table;
}

} // namespace

bool ArchiveTypeEnabled(int index)
{
    if (!ArchiveTypeRow(index))
        return false;
    return enabledTable().flags[index - 1].load(std::memory_order_relaxed);
}

void SetArchiveTypesEnabled(const std::array<bool, kArchiveTypeCount> &enabled)
{
    for (int i = 0; i < kArchiveTypeCount; ++i)
        enabledTable().flags[i].store(enabled[size_t(i)], std::memory_order_relaxed);
}
