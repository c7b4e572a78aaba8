// The two questions the Add Disk command asks in windows of their own: the
// choice among several catalogued disks that look like the inserted medium
// (TDiskSelectForm), and whether the medium may get a new serial number
// (TSerialAskForm).
#pragma once

#include "scan/AddDisk.h"

#include <QDialog>

#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class Prompter;
class TTreeNode;

// The disks that match the medium in a sortable list: "&Update" takes the
// disk selected first in the list, "Add as New" adds a new disk, Cancel
// returns to the Add Disk dialog.
class TDiskSelectForm : public QDialog
{
    Q_OBJECT
public:
    // disks must stay alive while the form is open; prompter shows the hint.
    TDiskSelectForm(const std::vector<TTreeNode *> &disks, Prompter &prompter, QWidget *parent = nullptr);

    TDiskSelectAnswer answer() const { return m_answer; }
    // The disks in the order the list shows them.
    const std::vector<TTreeNode *> &order() const { return m_order; }
    // Sorts by a column; the same column again reverses the order.
    void sortByColumn(int column);
    // "&Update": the first selected disk in list order; nothing when none is selected.
    void chooseUpdate();
    void chooseAddNew();
    void showHint();
    // The context menu of a row ("Update This Disk", "Disk Properties").
    class QMenu *rowMenu(int row);

    QTreeWidget *list() const { return m_list; }
    QPushButton *updateButton() const { return m_update; }
    QPushButton *addNewButton() const { return m_addNew; }
    QPushButton *hintButton() const { return m_hint; }

    void reject() override;

private:
    void fill();
    void updateButtons();

    Prompter &m_prompter;
    std::vector<TTreeNode *> m_order;
    QTreeWidget *m_list = nullptr;
    QPushButton *m_update = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_addNew = nullptr;
    QPushButton *m_hint = nullptr;
    int m_sortColumn = -1;
    bool m_reversed = false;
    TDiskSelectAnswer m_answer;
};

// Shows the list modally and returns the choice.
TDiskSelectAnswer SelectMatchingDisk(QWidget *parent, const std::vector<TTreeNode *> &disks, Prompter &prompter);

// "Change Serial Number?": the reason, "Yes, change it", "No, leave it as is"
// and "Don't ask this question again, always change serial number".
class TSerialAskForm : public QDialog
{
    Q_OBJECT
public:
    explicit TSerialAskForm(QWidget *parent = nullptr);

    // What the buttons answered; closing the window is "No" with the check box ignored.
    TSerialAnswer answer() const { return m_answer; }

    QLabel *textLabel() const { return m_text; }
    QCheckBox *dontAskCheck() const { return m_dontAsk; }
    QPushButton *yesButton() const { return m_yes; }
    QPushButton *noButton() const { return m_no; }

private:
    void finish(bool change);

    QLabel *m_text = nullptr;
    QCheckBox *m_dontAsk = nullptr;
    QPushButton *m_yes = nullptr;
    QPushButton *m_no = nullptr;
    TSerialAnswer m_answer;
};

// Shows the question modally and returns the answer.
TSerialAnswer AskChangeSerial(QWidget *parent);
