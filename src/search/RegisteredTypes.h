// The file types the desktop knows, for searching by "File Type": each
// type's description with the extensions registered for it, merged by
// description and sorted, "(none)" first.
#pragma once

#include "search/Criteria.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// From Qt's MIME database: the type's comment as its description, its
// suffixes as extensions. Types without a comment or a suffix are left out.
std::vector<TFileType> RegisteredFileTypes();

// The list from (description, suffixes) pairs: suffixes without a dot or a
// wildcard kept in the case given, one entry per description collecting
// the suffixes of all its pairs, sorted by description in the user's
// collation, "(none)" in front with no extensions.
std::vector<TFileType> MergeFileTypes(const std::vector<std::pair<QString, QStringList>> &types);
