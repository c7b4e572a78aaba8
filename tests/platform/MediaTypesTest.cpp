// Tests of the media type codes: which pairs fit one drive, and the media
// type of a removable drive from its format size or its model name.
#include "platform/MediaTypes.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <ostream>

namespace {

// A disk's media type, a drive's, and whether the drive takes the disk.
struct MediaPair {
    uint8_t disk;
    uint8_t drive;
    bool compatible;   // MediaTypesCompatible: the same medium
    bool fits;         // MediaTypesFit: the drive is offered for the disk
};

std::ostream &operator<<(std::ostream &out, const MediaPair &p)
{
    return out << int(p.disk) << " in " << int(p.drive);
}

class MediaPairs : public ::testing::TestWithParam<MediaPair>
{
};

TEST_P(MediaPairs, CompatibleAndFit)
{
    const MediaPair p = GetParam();
    EXPECT_EQ(MediaTypesCompatible(p.disk, p.drive), p.compatible);
    EXPECT_EQ(MediaTypesFit(p.disk, p.drive), p.fits);
    // Both rules are symmetric.
    EXPECT_EQ(MediaTypesCompatible(p.drive, p.disk), p.compatible);
    EXPECT_EQ(MediaTypesFit(p.drive, p.disk), p.fits);
}

INSTANTIATE_TEST_SUITE_P(Table, MediaPairs, ::testing::Values(
    // Same code: the same medium.
    MediaPair{kMediaHardDisk, kMediaHardDisk, true, true},
    MediaPair{kMediaCdRom, kMediaCdRom, true, true},
    MediaPair{kMediaUnknown, kMediaUnknown, true, true},
    // A generic removable drive takes ZIP and JAZ cartridges; they do not take each other.
    MediaPair{kMediaRemovable, kMediaZip100, true, true},
    MediaPair{kMediaJaz1GB, kMediaRemovable, true, true},
    MediaPair{kMediaZip100, kMediaJaz1GB, false, false},
    MediaPair{kMediaRemovable, kMediaHardDisk, false, false},
    // Floppies of one family fit, whatever their density; across families they do not.
    MediaPair{kMediaFloppy35DD, kMediaFloppy35HD, false, true},
    MediaPair{kMediaFloppy35DD, kMediaFloppy35EHD, false, true},
    MediaPair{kMediaFloppy525DD, kMediaFloppy525HD, false, true},
    MediaPair{kMediaFloppy8SD, kMediaFloppy525DD, false, true},
    MediaPair{kMediaFloppy8DD, kMediaFloppy525HD, false, true},
    MediaPair{kMediaFloppy35HD, kMediaFloppy525HD, false, false},
    MediaPair{kMediaFloppy35DD, kMediaRemovable, false, false},
    // Codes outside the table fit only themselves.
    MediaPair{16, kMediaHardDisk, false, false},
    MediaPair{kMediaUnknown, kMediaRemovable, false, false}));

// Each code and the groups it belongs to.
struct MediaGroups {
    uint8_t code;
    bool floppy525Or8, floppy35, cartridge, fixed;
};

class MediaCodes : public ::testing::TestWithParam<MediaGroups>
{
};

TEST_P(MediaCodes, Groups)
{
    const MediaGroups g = GetParam();
    EXPECT_EQ(IsFloppy525Or8(g.code), g.floppy525Or8) << int(g.code);
    EXPECT_EQ(IsFloppy35(g.code), g.floppy35) << int(g.code);
    EXPECT_EQ(IsFloppy(g.code), g.floppy525Or8 || g.floppy35) << int(g.code);
    EXPECT_EQ(IsCartridge(g.code), g.cartridge) << int(g.code);
    EXPECT_EQ(IsFixedMedium(g.code), g.fixed) << int(g.code);
}

INSTANTIATE_TEST_SUITE_P(Table, MediaCodes, ::testing::Values(
    MediaGroups{kMediaFloppy525DD, true, false, false, false},
    MediaGroups{kMediaFloppy525HD, true, false, false, false},
    MediaGroups{kMediaFloppy35DD, false, true, false, false},
    MediaGroups{kMediaFloppy8SD, true, false, false, false},
    MediaGroups{kMediaFloppy8DD, true, false, false, false},
    MediaGroups{kMediaHardDisk, false, false, false, true},
    MediaGroups{kMediaTape, false, false, false, false},
    MediaGroups{kMediaFloppy35HD, false, true, false, false},
    MediaGroups{kMediaOptical, false, false, false, false},
    MediaGroups{kMediaFloppy35EHD, false, true, false, false},
    MediaGroups{kMediaCdRom, false, false, false, false},
    MediaGroups{kMediaNetwork, false, false, false, true},
    MediaGroups{kMediaRamDisk, false, false, false, true},
    MediaGroups{kMediaRemovable, false, false, false, false},
    MediaGroups{kMediaZip100, false, false, true, false},
    MediaGroups{kMediaJaz1GB, false, false, true, false},
    MediaGroups{16, false, false, false, true},
    MediaGroups{kMediaUnknown, false, false, false, true}));

TEST(FloppyMediaType, SectorCounts)
{
    const struct {
        int64_t sectors;
        uint8_t media;
    } cases[] = {{320, kMediaFloppy525DD}, {360, kMediaFloppy525DD}, {640, kMediaFloppy525DD},
                 {720, kMediaFloppy525DD}, {2400, kMediaFloppy525HD}, {1440, kMediaFloppy35DD},
                 {2880, kMediaFloppy35HD}, {5760, kMediaFloppy35EHD}, {3360, kMediaUnknown},
                 {0, kMediaUnknown}, {-1, kMediaUnknown}};
    for (const auto &c : cases)
        EXPECT_EQ(FloppyMediaType(c.sectors), c.media) << c.sectors;
}

TEST(RemovableMediaType, ModelNames)
{
    const struct {
        const char *model;
        uint8_t media;
    } cases[] = {{"ZIP 100\n", kMediaZip100}, {"  zip 100 plus", kMediaZip100}, {"JAZ 1GB", kMediaJaz1GB},
                 {"jaz 1gb  \n", kMediaJaz1GB}, {"ZIP 250", kMediaRemovable}, {"Cruzer Blade", kMediaRemovable},
                 {"", kMediaRemovable}};
    for (const auto &c : cases)
        EXPECT_EQ(RemovableMediaType(QByteArray(c.model)), c.media) << c.model;
}

} // namespace
