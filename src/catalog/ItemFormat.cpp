// Texts made from record fields.
#include "catalog/ItemFormat.h"

#include <cmath>

QString AttrLetters(uint8_t attr)
{
    QString s;
    if (attr & faDirectory)
        s += QLatin1Char('d');
    if (attr & faReadOnly)
        s += QLatin1Char('r');
    if (attr & faHidden)
        s += QLatin1Char('h');
    if (attr & faSystem)
        s += QLatin1Char('s');
    if (attr & faArchive)
        s += QLatin1Char('a');
    return s;
}

QString MediaTypeText(int mediaType, bool virtualRoot)
{
    // The double quote in the floppy texts is the inch sign.
    static const char *const texts[16] = {
        "Floppy 5.25\" DD", "Floppy 5.25\" HD", "Floppy 3.5\" DD", "Floppy 8\" SD", "Floppy 8\" DD",
        "Hard disk", "Tape drive", "Floppy 3.5\" HD", "Optical drive", "Floppy 3.5\" EHD",
        "CD-ROM", "Network drive", "RAM disk", "Removable drive", "iomega ZIP 100", "iomega JAZ 1GB",
    };
    QString text = mediaType >= 0 && mediaType < 16 ? QString::fromLatin1(texts[mediaType])
                                                    : QStringLiteral("Unknown");
    return virtualRoot ? QStringLiteral("Virtual ") + text : text;
}

QString SerialText(uint32_t serial)
{
    return QStringLiteral("%1-%2")
        .arg(serial >> 16, 4, 16, QLatin1Char('0'))
        .arg(serial & 0xFFFF, 4, 16, QLatin1Char('0'))
        .toUpper();
}

namespace {
const QDate kDayZero(1899, 12, 30);
}

QDateTime UpdatedToDateTime(double days)
{
    // Beyond these bounds the value is not a date (a damaged record).
    if (!std::isfinite(days) || days < -657434.0 || days > 2958466.0)
        return {};
    const double whole = std::floor(days);
    const QDate date = kDayZero.addDays(qint64(whole));
    const auto ms = qint64(std::llround((days - whole) * 86400000.0));
    return QDateTime(date, QTime(0, 0)).addMSecs(ms);
}

double DateTimeToUpdated(const QDateTime &dt)
{
    if (!dt.isValid())
        return 0;
    const QDateTime local = dt.toLocalTime();
    return double(kDayZero.daysTo(local.date())) + local.time().msecsSinceStartOfDay() / 86400000.0;
}

QByteArray CategoryName(const TCatalogRec *catalog, int code)
{
    if (!catalog || code <= 0)
        return {};
    for (const TCategory &c : catalog->Categories)
        if (c.Code == code)
            return c.Name;
    return {};
}
