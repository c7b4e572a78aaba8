// How quillon-cli shows things: lines of UTF-8 text or JSON Lines on a FILE,
// and the one printer that turns catalog items into both forms, so that every
// command shows a disk, folder or file by the same rules.
#pragma once

#include "catalog/CatalogRec.h"
#include "catalog/Forest.h"
#include "platform/ByteTotals.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <cstdio>

namespace cli {

// Lines to a FILE in UTF-8.
class Output
{
public:
    explicit Output(FILE *file) : m_file(file) {}
    FILE *file() const { return m_file; }
    void line(const QString &text);
    void json(const QJsonObject &object);

private:
    FILE *m_file;
};

// The name of a catalog, disk or folder node as shown.
QString NodeName(const TTreeNode *node);

// When the disk was last updated in the catalog; invalid when unknown.
QDateTime UpdatedTime(const TDiskRec *disk);

// "wide" or "narrow": the catalog layout's short name.
QString VariantName(CatalogVariant variant);

// The signature text that starts a catalog of the layout.
QString VariantSignature(CatalogVariant variant);

// Builds the JSON objects and text lines of the items a command shows.
class ItemPrinter
{
public:
    ItemPrinter(Output &out, TTreeNode *catalogNode, bool json)
        : m_out(out), m_catalogNode(catalogNode), m_catalog(AsCatalog(NodeRec(catalogNode))), m_json(json) {}

    bool json() const { return m_json; }
    Output &out() { return m_out; }
    // Text lines name folders and files by their whole DISK\PATH\NAME, for
    // lists whose items come from anywhere (search results).
    void setShowLocation(bool on) { m_showLocation = on; }

    QJsonObject catalogObject() const;
    QJsonObject diskObject(TTreeNode *diskNode) const;
    QJsonObject folderObject(TTreeNode *folderNode) const;
    // holder is the folder or disk whose chain holds the file.
    QJsonObject fileObject(TTreeNode *holder, const TFileRec *file) const;
    // A file that is on a medium but in no catalog, with the fields of
    // fileObject: disk and path say where it would be catalogued (null when
    // nowhere), mediaPath where it is on this system.
    QJsonObject mediaFileObject(const QJsonValue &disk, const QJsonValue &path, const QString &name, qint64 size,
                                uint8_t attr, uint32_t modified, const QString &mediaPath) const;

    // One line or JSON object per item.
    void disk(TTreeNode *diskNode);
    void folder(TTreeNode *folderNode);
    void file(TTreeNode *holder, const TFileRec *file);

    // "DISK\PATH" of a folder, "DISK" of a disk: the form the commands take.
    static QString displayPath(TTreeNode *node);

private:
    static QString itemLine(QChar type, const QString &attr, const QString &modified, qint64 size,
                            const QString &name);
    static QJsonObject common(const char *kind, TTreeNode *node, const QString &name);

    Output &m_out;
    TTreeNode *m_catalogNode;
    const TCatalogRec *m_catalog;
    bool m_json;
    bool m_showLocation = false;
};

} // namespace cli
