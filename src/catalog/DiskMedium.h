// A catalogued disk and the drive its medium is in: the volume data of a
// drive read into a disk record, and the search for the drive that holds the
// medium of a catalogued disk. The drive facts come from platform/Drives;
// this is where they meet the catalog's records.
#pragma once

#include "platform/Drives.h"
#include "platform/Prompter.h"

#include <QByteArray>
#include <QChar>
#include <QString>

#include <cstdint>
#include <functional>

struct TDiskRec;
class TTreeNode;

// What FindMediaForDisk answers when the user chose to pick the drive by
// hand: a character that is never a drive letter.
inline constexpr QChar kManualDriveChoice = u'1';

// The Insert Media question: the disk's name, its media type, and whether a
// manual choice is offered; OK, Cancel, or No for "pick the drive by hand".
using TInsertMediaQuestion =
    std::function<MsgAnswer(const QByteArray &diskName, uint8_t mediaType, bool allowManual)>;

// Starts disk as a new disk of the drive and fills its volume data,
// geometry and space; "(unknown)" / "unknown" / serial 0 when unreadable.
// Does nothing when disk is null.
void ReadVolumeInfo(TDrives &drives, QChar letter, TDiskRec *disk);

// The drive holding the medium of the disk at or above node: its letter,
// kManualDriveChoice when the user chose to pick the drive by hand, a null
// QChar when none or cancelled. The Insert Media question goes through
// insertMedia; the drive table may be read again meanwhile.
QChar FindMediaForDisk(TDrives &drives, TTreeNode *node, bool interactive, bool allowManual, Prompter *prompter,
                       const TInsertMediaQuestion &insertMedia = {});

// The display name of a MediaType ("Unknown" for others), "Virtual " in front
// when kindFlags has rfVirtualRoot.
QString MediaTypeName(uint8_t code, uint8_t kindFlags);
