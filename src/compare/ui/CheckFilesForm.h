// The "Compare Files to Catalog" dialog: the source folder (typed or
// browsed), the catalogs and disks to look in (the search's scope tree over
// a choice of this check's own, see compare/CheckScope.h), what makes a
// catalogued copy the same, and whether subfolders are checked too.
#pragma once

#include "compare/CheckFiles.h"
#include "compare/CheckScope.h"

#include <QDialog>

#include <memory>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class Prompter;
class TForest;
class TScopeTree;
class TTreeNode;

class TCheckFilesForm : public QDialog
{
    Q_OBJECT
public:
    // selected: the main tree's selected node, whose catalog starts included.
    // prompter asks the "Invalid folder" message; both stay the caller's.
    TCheckFilesForm(TForest &forest, const TTreeNode *selected, Prompter &prompter, QWidget *parent = nullptr);
    ~TCheckFilesForm() override;

    // The folder typed, made whole with a trailing "/"; empty when it does
    // not exist (after the message).
    QString checkedFolder();
    // "Search": the folder is checked first; the dialog stays open when it does not exist.
    void accept() override;
    void browse();

    // The choices, once accepted.
    QString sourceFolder() const { return m_folder; }
    std::vector<TTreeNode *> scopeNodes() const { return m_scope.nodes(); }
    TSameChecks sameChecks() const;
    bool subfolders() const;

    TCheckScope &scope() { return m_scope; }
    TScopeTree *scopeTree() const { return m_tree; }
    QLineEdit *sourceEdit() const { return m_source; }
    QPushButton *searchButton() const { return m_search; }
    QPushButton *includeAllButton() const { return m_includeAll; }
    QPushButton *excludeAllButton() const { return m_excludeAll; }
    QCheckBox *sizeCheck() const { return m_size; }
    QCheckBox *dateCheck() const { return m_date; }
    QCheckBox *attrCheck() const { return m_attr; }
    QCheckBox *subfoldersCheck() const { return m_subfolders; }

private:
    void updateButtons();

    TCheckScope m_scope;
    Prompter &m_prompter;
    QString m_folder;
    QLineEdit *m_source = nullptr;
    TScopeTree *m_tree = nullptr;
    QPushButton *m_includeAll = nullptr;
    QPushButton *m_excludeAll = nullptr;
    QPushButton *m_search = nullptr;
    QCheckBox *m_size = nullptr;
    QCheckBox *m_date = nullptr;
    QCheckBox *m_attr = nullptr;
    QCheckBox *m_subfolders = nullptr;
};
