// Where the recently opened catalogs are kept: the subkey "MRUList" of the
// main key, the string values "F0" to "F3", most recent first. The list's
// own rules (at most four, a reopened file moves first) are the catalog's:
// TRecentFiles in catalog/CatalogFiles.h.
#pragma once

class Registry;
class TRecentFiles;

// Replaces the list with the stored one, which ends at the first missing or
// empty value; an empty list when the subkey is missing.
void LoadRecentFiles(TRecentFiles &recent, Registry &registry);
// Replaces the subkey with the list. False when the store cannot be written.
bool SaveRecentFiles(const TRecentFiles &recent, Registry &registry);
