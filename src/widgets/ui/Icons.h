// The program's pictures: the images of the catalog tree and the item
// lists (catalogs, folders, compressed files, drives by media type, the
// "previous folder" row), the toolbar's and status bar's pictures, and file
// type icons with their type names. Standard pictures come from the desktop's
// icon theme by their freedesktop names; the program's own pictures, and every
// picture the theme lacks, come from the SVGs bundled as a Qt resource.
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

#include <vector>

struct TItemRec;
class TTreeNode;

enum class TAppImage {
    Catalog, Folder, FolderOpen, ZipFolder, ZipFolderOpen,
    Floppy525, Floppy35, Tape, Optical, Network, Ram, Removable, ZipDrive, JazDrive, HardDisk,
    VirtualRoot, CompressedDisk, Back, Setup, File,
    LedIdle, LedBusy, LedSearch,
    SortName, SortExtension, SortMedia, SortSize, SortDate, SortFree, Reverse,
    ViewIcons, ViewSmallIcons, ViewList, ViewDetails,
    New, Open, Save, GoBack,
    Print, AddDisk, Compare, Search, UserList, EditDesc, Properties, SetCategory, Explorer, ViewFile, Launch,
    Extract, AddList, Help,
};

// The picture of an image; never null (a bundled SVG backs every one).
QIcon AppIcon(TAppImage image);
// The picture of a drive of a media type (and kind byte: virtual root,
// compressed volume).
TAppImage DiskImage(int mediaType, uint8_t kindFlags);
// The icon of a record in an item list: a file by its type, a folder or
// compressed-file folder, a disk by its media type, a catalog.
QIcon RecordIcon(TItemRec *rec);
// The icon of a tree image index (the TreeImage order of the forest), with
// the node's selected image as the icon's selected mode.
QIcon TreeIcon(int image, int selectedImage);

// File type icons and names by extension, looked up once per extension in
// the MIME database and kept for the whole run.
class TFileTypes
{
public:
    // The icon of a file by its name: "setup.exe" and "install.exe" (any case)
    // have their own; otherwise the type of its extension.
    QIcon iconFor(const QString &fileName);
    // Icon by a record, remembering the type's index in the record's IconIndex.
    QIcon iconFor(TItemRec *file);
    // The type's display name; "(unknown)" when the database has none.
    QString typeName(const QString &fileName);
    int cachedTypes() const { return int(m_entries.size()); }

private:
    struct Entry {
        QIcon icon;
        QString name;
    };
    int entryFor(const QString &fileName);

    QHash<QString, int> m_byExtension;
    std::vector<Entry> m_entries;
};
// The program's one instance.
TFileTypes &FileTypes();
