// The "Categories Setup" dialog (TCategoriesForm) and the "Set Categories and
// Flags" dialog (TSetCatForm): windows over TCategoryEditWork and
// TSetCatWork, which hold every rule; the windows only show their state and
// pass the user's actions on.
#pragma once

#include "catalog/Categories.h"
#include "catalog/SetCategories.h"

#include <QDialog>

#include <array>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class ProgressSink;
class TTreeNode;

class TCategoriesForm : public QDialog
{
    Q_OBJECT
public:
    // catalogs in tree order; shown is the index of the catalog shown first.
    // searchRunning: the lists read while applying stay in memory.
    TCategoriesForm(std::vector<TTreeNode *> catalogs, int shown, Prompter &prompter, bool searchRunning,
                    ProgressSink *progress = nullptr, QWidget *parent = nullptr);

    TCategoryEditWork &work() { return m_work; }
    QComboBox *catalogCombo() const { return m_catalogCombo; }
    QListWidget *categoryList() const { return m_list; }
    QLineEdit *categoryEdit() const { return m_edit; }
    QPushButton *addButton() const { return m_add; }
    QPushButton *renameButton() const { return m_rename; }
    QPushButton *deleteButton() const { return m_delete; }
    QPushButton *copyFromButton() const { return m_copyFrom; }
    QMenu *copyFromMenu() const { return m_copyMenu; }
    QLineEdit *flagEdit(int k) const { return m_flagEdits[size_t(k - 1)]; }
    QCheckBox *removeFlagsBox(int k) const { return m_removeBoxes[size_t(k - 1)]; }

    void addClicked();
    void renameClicked();
    void deleteClicked();

    void accept() override;
    void reject() override;

private:
    void showCatalog();
    void updateButtons();
    void flagEdited(int k);
    void removeBoxClicked(int k);

    TCategoryEditWork m_work;
    bool m_searchRunning;
    ProgressSink *m_progress;
    QComboBox *m_catalogCombo = nullptr;
    QListWidget *m_list = nullptr;
    QLineEdit *m_edit = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_rename = nullptr;
    QPushButton *m_delete = nullptr;
    QPushButton *m_copyFrom = nullptr;
    QPushButton *m_ok = nullptr;
    QMenu *m_copyMenu = nullptr;
    std::array<QLineEdit *, kFlagCount> m_flagEdits{};
    std::array<QCheckBox *, kFlagCount> m_removeBoxes{};
};

class TSetCatForm : public QDialog
{
    Q_OBJECT
public:
    TSetCatForm(std::vector<TItemRec *> items, Prompter &prompter, QWidget *parent = nullptr);

    // Shows the dialog modally; with no names to offer it asks whether to
    // define them instead (see TSetCatWork::defineNowAnswer) and returns Rejected.
    int run();

    TSetCatWork &work() { return m_work; }
    QLabel *headLabel() const { return m_head; }
    QLabel *warningLabel() const { return m_warning; }
    QListWidget *categoryList() const { return m_categories; }
    QListWidget *flagsList() const { return m_flags; }
    QPushButton *applyButton() const { return m_apply; }

    void applyClicked();

private:
    void fill();
    void categoryChanged(QListWidgetItem *item);
    void flagChanged(QListWidgetItem *item);

    TSetCatWork m_work;
    Prompter &m_prompter;
    QLabel *m_head = nullptr;
    QLabel *m_warning = nullptr;
    QListWidget *m_categories = nullptr;
    QListWidget *m_flags = nullptr;
    QPushButton *m_apply = nullptr;
    bool m_filling = false;
};
