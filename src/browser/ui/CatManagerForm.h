// The "Catalog Manager" window: the disks of two open catalogs side by side,
// copied or moved between them (buttons, or dragging from one pane to the
// other, which moves), renamed, deleted, and their properties. The disk
// transfer itself is TransferDisks; the main window gives through a host
// what the window changes in its views.
#pragma once

#include <QDialog>
#include <QListWidget>

#include <functional>
#include <optional>
#include <vector>

class Prompter;
class ProgressSink;
class QComboBox;
class QLabel;
class QPushButton;
class TTreeNode;

struct TCatManagerHost {
    Prompter *prompter = nullptr;
    ProgressSink *progress = nullptr;
    // The main window's status text while the work runs; empty: back to normal.
    std::function<void(const QString &)> status;
    // Removes a disk from its catalog (and the views showing it).
    std::function<void(TTreeNode *disk)> deleteDisk;
    // Re-sorts a catalog's disks after new ones arrived.
    std::function<void(TTreeNode *catalog)> sortDisks;
    // After every change: the main window's list and commands.
    std::function<void()> changed;
    // The properties of a disk; null: the button stays disabled.
    std::function<void(TTreeNode *disk)> properties;
    // Asks for a new name; null: the program's one-line prompt.
    std::function<std::optional<QString>(const QString &caption, const QString &label, const QString &text)> askText;
};

class TCatManagerForm;

// A pane: a list of disks that starts a drag from its selection and takes
// drops from the other pane.
class TDragDropListBox : public QListWidget
{
    Q_OBJECT
public:
    TDragDropListBox(TCatManagerForm *form, int side);

protected:
    void startDrag(Qt::DropActions supported) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    TCatManagerForm *m_form;
    int m_side;
};

class TCatManagerForm : public QDialog
{
    Q_OBJECT
public:
    // catalogs in tree order; selected is the main tree's selected node.
    TCatManagerForm(std::vector<TTreeNode *> catalogs, TTreeNode *selected, TCatManagerHost host,
                    QWidget *parent = nullptr);

    QComboBox *catalogCombo(int side) const { return m_combos[side]; }
    TDragDropListBox *pane(int side) const { return m_panes[side]; }
    QPushButton *copyButton() const { return m_copy; }
    QPushButton *moveButton() const { return m_move; }
    QPushButton *renameButton() const { return m_rename; }
    QPushButton *deleteButton() const { return m_delete; }
    QPushButton *propertiesButton() const { return m_properties; }
    QLabel *statusLabel() const { return m_status; }
    int currentSide() const { return m_current; }
    void setCurrentSide(int side);
    TTreeNode *catalogOf(int side) const;
    std::vector<TTreeNode *> disksOf(int side, bool selectedOnly) const;

    void transfer(bool move);
    void renameSelected();
    void deleteSelected(bool ask = true);
    void showProperties();
    // A drop of the other pane's selection onto side.
    void dropOn(int side);

    void updateButtons();
    void updateStatus();

private:
    void fillPane(int side);
    // Selects exactly these disks in a pane (the first of them focused).
    void selectDisks(int side, const std::vector<TTreeNode *> &disks);

    std::vector<TTreeNode *> m_catalogs;
    TCatManagerHost m_host;
    QComboBox *m_combos[2] = {};
    TDragDropListBox *m_panes[2] = {};
    QPushButton *m_copy = nullptr;
    QPushButton *m_move = nullptr;
    QPushButton *m_rename = nullptr;
    QPushButton *m_delete = nullptr;
    QPushButton *m_properties = nullptr;
    QLabel *m_status = nullptr;
    int m_current = 0;
};
