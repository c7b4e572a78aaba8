// How quillon-cli reaches catalogs: opening, saving in place or under a new
// name with the settings' backup rule, and the look-up of DISK\PATH\NAME,
// which reads one more folder level or one file list only where it must.
#include "cli/CliCatalog.h"

#include "cli/CliCommand.h"
#include "cli/CliOutput.h"

#include "catalog/CatalogFiles.h"
#include "catalog/LoadSave.h"
#include "catalog/NewCatalogFile.h"
#include "platform/Texts.h"
#include "settings/Registry.h"

#include <QFileInfo>
#include <QStringList>

#include <utility>

namespace cli {

namespace {

// Answers the save dialog with the file the command line named; the other
// questions go to the default prompter (stderr).
class CliCatalogHost : public TCatalogHost
{
public:
    explicit CliCatalogHost(const QString &target) : m_target(target) {}
    QString chooseSaveFile(const QString &, const QString &, const QString &) override
    {
        // Asked once: a second ask means the name was refused, and nobody can pick another.
        return std::exchange(m_target, QString());
    }

private:
    QString m_target;
};

bool isSeparator(QChar c)
{
    return c == QLatin1Char('\\') || c == QLatin1Char('/');
}

QString withBackslashes(QString text)
{
    text.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return text;
}

// The child folder of a disk or folder with the given name, reading one more
// folder level when needed; null when none.
TTreeNode *childFolder(TTreeNode *node, const QString &name)
{
    // A disk's first level is read when the catalog opens; only folders read more.
    if (AsFolder(NodeRec(node)))
        LoadSubfolders(node, false, false);
    const QByteArray bytes = EncodeStored(name);
    for (TTreeNode *child : node->children())
        if (child->text() == bytes)
            return child;
    for (TTreeNode *child : node->children())
        if (NodeName(child) == name)
            return child;
    return nullptr;
}

// The file of a folder's or disk's chain with the given name. A member of a
// compressed file keeps its path inside the archive in its name, so both
// separators count as equal.
TFileRec *chainFile(TTreeNode *node, const QString &name)
{
    LoadFileList(node);
    for (TFileRec *file = NodeRec(node)->Next; file; file = file->Next)
        if (withBackslashes(DecodeStored(file->name())) == name)
            return file;
    return nullptr;
}

} // namespace

TOptions StoredSettings()
{
    Registry registry;
    Registry nothingStored{QString()};
    TOptions settings;
    settings.load(RevisionCurrent(registry) ? registry : nothingStored);
    return settings;
}

void SaveCatalogFile(TTreeNode *catalogNode, const QString &target, bool saveAs)
{
    const TOptions settings = StoredSettings();
    TCatalogFileSettings fileSettings;
    fileSettings.CatalogPathEdit = settings.CatalogPathEdit;
    fileSettings.CreateBakCheck = settings.CreateBakCheck;
    CliCatalogHost host(QFileInfo(target).absoluteFilePath());
    if (!SaveCatalog(catalogNode, saveAs, host, fileSettings))
        throw CommandError{QStringLiteral("The catalog was not saved.")};
}

OpenCatalog::OpenCatalog(const QString &fileName, IfMissing ifMissing)
    : m_fileName(QFileInfo(fileName).absoluteFilePath())
{
    if (ifMissing == IfMissing::Create && !QFileInfo::exists(m_fileName)) {
        m_node = NewCatalogNode(m_forest, EncodeStored(QFileInfo(m_fileName).completeBaseName()));
        return;
    }
    m_node = ReadCatalog(m_forest, m_fileName);
    TNewCatalogFile::RemoveStale(m_fileName);   // what a killed save of it left
}

OpenCatalog::~OpenCatalog()
{
    m_forest.deleteAll([](TTreeNode *node) { FreeItemData(node, true, true); });
}

Target ResolveTarget(TTreeNode *catalogNode, const QString &itemArg, bool allowFile)
{
    TTreeNode *disk = nullptr;
    qsizetype diskLength = -1;
    for (TTreeNode *child : catalogNode->children()) {
        const QString name = NodeName(child);
        const bool matches = itemArg == name
            || (itemArg.size() > name.size() && itemArg.startsWith(name) && isSeparator(itemArg[name.size()]));
        if (matches && name.size() > diskLength) {
            disk = child;
            diskLength = name.size();
        }
    }
    if (!disk) {
        qsizetype end = 0;
        while (end < itemArg.size() && !isSeparator(itemArg[end]))
            ++end;
        throw CommandError{QStringLiteral("Disk not found: %1").arg(itemArg.left(end))};
    }

    const QStringList parts = withBackslashes(itemArg.mid(diskLength)).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    TTreeNode *node = disk;
    qsizetype i = 0;
    for (; i < parts.size(); ++i) {
        TTreeNode *child = childFolder(node, parts[i]);
        if (!child)
            break;
        node = child;
    }
    if (i == parts.size())
        return Target{node, nullptr};
    if (allowFile) {
        if (TFileRec *file = chainFile(node, parts.mid(i).join(QLatin1Char('\\'))))
            return Target{node, file};
    }
    throw CommandError{QStringLiteral("Path not found: %1").arg(itemArg)};
}

} // namespace cli
