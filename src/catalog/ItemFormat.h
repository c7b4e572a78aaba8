// Small texts made from record fields, shared by the windows, the reports and
// the command line: attribute letters, media type names, serial numbers and
// the conversion of stored date-times.
#pragma once

#include "catalog/CatalogRec.h"
#include "platform/DosTime.h"

#include <QDateTime>
#include <QString>

#include <cstdint>

// "d", "r", "h", "s", "a" for the set bits, in this order.
QString AttrLetters(uint8_t attr);
// The text of a media type code ("Unknown" for others); "Virtual " precedes
// it for a virtual root.
QString MediaTypeText(int mediaType, bool virtualRoot = false);
// High and low 16 bits as four upper-case hexadecimal digits each, joined by "-".
QString SerialText(uint32_t serial);

// Days since 1899-12-30 (local time, fraction = time of day) to a date-time and back.
QDateTime UpdatedToDateTime(double days);
double DateTimeToUpdated(const QDateTime &dt);

// Category names by code: the catalog's name for code 1-31, empty when unknown.
QByteArray CategoryName(const TCatalogRec *catalog, int code);
