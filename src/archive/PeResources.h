// The string resources of a Windows executable (PE resource directory).
#pragma once

#include "archive/ArcSources.h"

#include <QByteArray>
#include <QList>

// The numbers in an executable's string resources 1 to 4 as the stub's author
// left them (at most 5 characters each); stops at the first absent or empty one.
// Parses the PE resource directory; an image without one gives an empty list.
QList<QByteArray> PeStringResources(TArcSource &src, int firstId, int lastId);

// Where a Windows image's data ends: the end of its section with the highest
// raw data (the file offset at which self-extractors append their archive);
// -1 when the file is not a PE image or that offset lies outside it.
int64_t PeImageEnd(TArcSource &src);
