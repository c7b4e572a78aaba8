#include "SearchSupport.h"

#include "catalog/Forest.h"

#include <gtest/gtest.h>

namespace testcat {

TSearchCriteria NameCriteria(const QString &text, int mode, bool files, bool folders, bool disks)
{
    TSearchWork work;
    work.byName = true;
    work.setNameMode(mode);
    work.setNameText(text);
    work.files = files;
    work.folders = folders;
    work.disks = disks;
    bool active = false;
    const std::optional<TSearchCriteria> c = TakeCriteriaSnapshot(work, {}, &active);
    EXPECT_TRUE(c && active) << text.toStdString();
    return c.value_or(TSearchCriteria{});
}

TSearchCriteria DescCriteria(int descMode, const QString &text)
{
    TSearchWork work;
    work.byDesc = true;
    work.descMode = descMode;
    work.descText = text;
    bool active = false;
    const std::optional<TSearchCriteria> c = TakeCriteriaSnapshot(work, {}, &active);
    EXPECT_TRUE(c && active) << text.toStdString();
    return c.value_or(TSearchCriteria{});
}

QByteArray RecordName(const TItemRec *rec)
{
    if (!rec)
        return "(null)";
    if (ItemKind(rec->KindFlags) == rkFile)
        return static_cast<const TFileRec *>(rec)->name().toByteArray();
    return rec->Node ? rec->Node->text() : QByteArray("(no node)");
}

QStringList FoundNames(const TFoundList &list)
{
    QStringList names;
    for (const TItemRec *rec : list.items())
        names << QString::fromUtf8(RecordName(rec));
    return names;
}

bool HintsMatchIndexes(const TFoundList &list)
{
    const std::vector<TItemRec *> items = list.items();
    for (size_t i = 0; i < items.size(); ++i)
        if (!items[i] || HintOf(items[i], list.id()) != PositionHint(int(i)))
            return false;
    return true;
}

namespace {
QString nodeName(const TTreeNode *node)
{
    return QString::fromUtf8(node ? node->text() : QByteArray("(null)"));
}
} // namespace

void RecordingHost::loadSubfolders(TTreeNode *node)
{
    const QString step = QStringLiteral("subfolders ") + nodeName(node);
    if (before)
        before(step);
    steps << step;
    TDirectSearchHost::loadSubfolders(node);
    if (after)
        after(step);
}

void RecordingHost::loadFileList(TTreeNode *node, TFileListFilter *filter)
{
    const QString step = QStringLiteral("load ") + nodeName(node);
    if (before)
        before(step);
    steps << step;
    TDirectSearchHost::loadFileList(node, filter);
    if (after)
        after(step);
}

void RecordingHost::unloadFileListIfUnused(TTreeNode *node)
{
    const QString step = QStringLiteral("unload ") + nodeName(node);
    if (before)
        before(step);
    steps << step;
    TDirectSearchHost::unloadFileListIfUnused(node);
    if (after)
        after(step);
}

void RecordingHost::showProgress(int checked, int total, int found)
{
    progressCalls.push_back({checked, total, found});
    TDirectSearchHost::showProgress(checked, total, found);
}

} // namespace testcat
