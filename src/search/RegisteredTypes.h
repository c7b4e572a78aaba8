// The file types the desktop knows, for searching by "File Type": each
// type's description with the extensions registered for it, merged by
// description and sorted, "(none)" first.
#pragma once

#include "search/Criteria.h"

#include <vector>

// From Qt's MIME database: the type's comment as its description, its
// suffixes as extensions. Types without a comment or a suffix are left out.
std::vector<TFileType> RegisteredFileTypes();
