// One directory entry of a medium in the catalog's terms: what the scan and
// the compare read of every file and folder they walk. The entry is asked
// with statx relative to its already open folder, never following a symbolic
// link (a link is catalogued as what it is) and not triggering an automount.
#pragma once

#include "platform/DosAttributes.h"
#include "platform/DosTime.h"

#include <cstdint>

// What statx told about one entry, in the catalog's terms.
struct EntryInfo {
    bool folder = false;
    bool regular = false;
    uint8_t attr = 0;
    int64_t size = 0;
    uint32_t created = 0, modified = 0, accessed = 0;
    uint64_t mountId = 0;   // the file system the entry lies on
};

// Reads the entry name of the open folder dirFd (or a path with AT_FDCWD)
// into info: attributes as the platform gives them (directory, archive for
// regular files, read-only when the owner may not write, the DOS attributes
// through dosAttributes where the file system keeps them, hidden for a
// leading dot), sizes in 64 bits, times as local DOS times through times
// (created falls back to modified where no birth time is kept). False with
// errno set when the entry cannot be asked; info is then untouched.
bool ReadMediaEntry(int dirFd, const char *name, TDosTimeConverter &times, const TDosAttrReader &dosAttributes,
                    EntryInfo &info);
