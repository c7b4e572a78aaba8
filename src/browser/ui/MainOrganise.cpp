// The main window's organising commands: "Categories Setup", "Set Category
// and Flags", the user list ("View User List", "Add to User List") and the
// "Catalog Manager".
#include "browser/ui/QuillonMain.h"

#include "browser/ui/CatManagerForm.h"
#include "browser/ui/CategoriesForm.h"
#include "browser/ui/ItemListModel.h"
#include "browser/ui/MainFormShared.h"
#include "browser/ui/UserListForm.h"
#include "catalog/UserList.h"
#include "search/ui/SearchForm.h"
#include "settings/Options.h"
#include "widgets/ui/ItemDrag.h"
#include "widgets/ui/Placement.h"
#include "widgets/ui/QtPrompter.h"

#include <QAbstractItemView>
#include <QAction>
#include <QTreeView>

#include <algorithm>

using namespace mainform;

namespace {
const QString kUserListPlacement = QStringLiteral("UserListWndPos");
}

std::vector<TItemRec *> TMainForm::selectedListRecords() const
{
    QModelIndexList rows = listView()->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    std::vector<TItemRec *> records;
    for (const QModelIndex &i : rows)
        if (TItemRec *rec = m_listModel->recordOf(i))
            if (!m_items.isPrevFolder(rec))
                records.push_back(rec);
    return records;
}

bool TMainForm::categoriesSetup(TTreeNode *node)
{
    const auto operation = beginForestCommand([this] { categoriesSetup(selectedNode()); }, nullptr);
    if (!operation || m_forest.roots().empty())
        return false;
    const std::vector<TTreeNode *> &catalogs = m_forest.roots();
    const auto shown = std::find(catalogs.begin(), catalogs.end(), node);
    TCategoriesForm form(catalogs, shown == catalogs.end() ? 0 : int(shown - catalogs.begin()), prompter(),
                         searchRunning(), progress(), this);
    if (m_dialogHook)
        m_dialogHook(&form);
    const bool accepted = form.exec() == QDialog::Accepted;
    // The category lists of the search window follow either way.
    if (m_searchForm && !searchRunning())
        m_searchForm->rebuildFromCatalogs();
    if (m_userListForm)
        m_userListForm->markRefresh(1);
    listView()->viewport()->update();
    refreshStatus();
    updateCommands();
    return accepted;
}

void TMainForm::setCategoriesFor(const std::vector<TItemRec *> &records)
{
    std::vector<TItemRec *> items;
    for (TItemRec *rec : records)
        if (rec && (ItemIs(rec->KindFlags, rkFile) || ItemIs(rec->KindFlags, rkFolder)))
            items.push_back(rec);
    if (items.empty())
        return;
    auto operation = beginForestCommand([] {}, nullptr);
    if (!operation)
        return;
    TSetCatForm form(items, prompter(), this);
    if (m_dialogHook)
        m_dialogHook(&form);
    form.run();
    operation.reset();
    if (form.work().defineNowAnswer()) {
        // The vocabulary of the first item's own catalog is the one to define.
        TTreeNode *catalog = CatalogNodeOf(items.front()->Node);
        categoriesSetup(catalog);
    }
    if (m_userListForm)
        m_userListForm->markRefresh(1);
    listView()->viewport()->update();
    refreshStatus();
    updateCommands();
}

void TMainForm::showUserList()
{
    if (!m_userListForm) {
        m_userListForm = new TUserListForm(*m_userList, prompter(), this);
        TItemTextContext texts;
        texts.formattedSizes = m_options.FormattedSizesCheck;
        m_userListForm->setTextContext(texts);
        m_userListForm->setArchivesAsFolders(m_options.ArchivesSortCheck);
        m_userListForm->setStatusSink([this](const QString &text) { setStatus(text, text.isEmpty() ? 0 : 1); });
        m_userListForm->setChangedHook([this] { updateCommands(); });
        m_userListForm->setDoubleClickChoice(m_options.FileDoubleClickCombo);
        m_userListForm->setDropHandler([this](const QMimeData *data, bool drop) { return userListDrop(data, drop); });
        m_userListForm->setFontSource([this] { return listView()->font(); });
        m_userListForm->setHandler(QStringLiteral("BtnTarget"),
                                   [this](TItemRec *focused, const std::vector<TItemRec *> &) { locateItem(focused); });
        m_userListForm->setHandler(QStringLiteral("BtnSetCat"),
                                   [this](TItemRec *, const std::vector<TItemRec *> &selected) {
                                       setCategoriesFor(selected);
                                   });
        m_userListForm->setHandler(QStringLiteral("BtnProperties"), [this](TItemRec *focused, const std::vector<TItemRec *> &) {
            showRecordProperties(focused);
        });
        static const struct {
            const char *button;
            TFileAction action;
        } kFileCommands[] = {{"BtnExplorer", TFileAction::Explorer},
                             {"BtnLaunch", TFileAction::Launch},
                             {"BtnView", TFileAction::View},
                             {"BtnExtract", TFileAction::ExtractTo}};
        for (const auto &c : kFileCommands)
            m_userListForm->setHandler(QLatin1String(c.button),
                                       [this, a = c.action](TItemRec *focused, const std::vector<TItemRec *> &selected) {
                                           recordFileAction(a, focused, selected);
                                       });
        // It opens where it was last closed.
        if (m_registry)
            RestorePlacement(m_userListForm, *m_registry, kUserListPlacement);
    }
    m_userListForm->show();
    m_userListForm->raise();
    m_userListForm->activateWindow();
}

void TMainForm::storeUserListPlacement()
{
    if (!m_registry || !m_userListForm)
        return;
    StorePlacement(m_userListForm, *m_registry, kUserListPlacement);
}

void TMainForm::addToUserList(const std::vector<TItemRec *> &records)
{
    if (records.empty())
        return;
    if (!m_userListForm) {
        showUserList();
    }
    m_userListForm->addRecords(records);
    updateCommands();
}

bool TMainForm::userListDrop(const QMimeData *data, bool drop)
{
    // A drop runs its source's "Add to User List", taken only while that
    // command is enabled.
    std::vector<TItemRec *> records;
    switch (DragSourceOf(data)) {
    case TDragSource::MainTree:
        if (TTreeNode *node = selectedNode())
            records.push_back(node->data());
        break;
    case TDragSource::MainList:
        records = selectedListRecords();
        break;
    case TDragSource::FoundList: {
        QAction *add = m_searchForm ? m_searchForm->action(QStringLiteral("BtnAddList")) : nullptr;
        if (!add || !add->isEnabled())
            return false;
        if (drop)
            add->trigger();
        return true;
    }
    case TDragSource::None:
        return false;
    }
    if (records.empty() || !command(QStringLiteral("MenuAddList"))->isEnabled())
        return false;
    if (drop)
        addToUserList(records);
    return true;
}

void TMainForm::catalogManager()
{
    const auto operation = beginForestCommand([this] { catalogManager(); }, &kMoveDiskRefusal);
    if (!operation || m_forest.roots().empty())
        return;
    TCatManagerHost host;
    host.prompter = &prompter();
    host.progress = progress();
    host.status = [this](const QString &text) { setStatus(text, text.isEmpty() ? 0 : 1); };
    host.deleteDisk = [this](TTreeNode *disk) {
        deleteCatalogNode(disk);
        if (m_searchForm)
            m_searchForm->rebuildFromCatalogs();
    };
    host.sortDisks = [this](TTreeNode *catalog) { sortShownLevels(catalog); };
    host.changed = [this] {
        refreshList(selectedNode(), true);
        refresh();
    };
    host.properties = [this](TTreeNode *disk) { showPropertiesOf({disk, nullptr, false}); };
    TCatManagerForm form(m_forest.roots(), selectedNode(), std::move(host), this);
    if (m_dialogHook)
        m_dialogHook(&form);
    form.exec();
    refreshStatus();
    updateCommands();
}
