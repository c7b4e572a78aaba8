// The properties dialog and the "Advanced Disk Info" window: they show a
// TPropertiesData (browser/Properties.h) page by page, let the user edit
// the descriptions, categories and flags, and hand the edits back. Filling
// and applying are the core's. Every item window shows the program's one
// dialog, made on first use and kept until the program ends; what it needs
// of the main window (the categories dialog, the description font) comes
// through TPropertiesHooks.
#pragma once

#include "browser/Properties.h"
#include "settings/FontValue.h"

#include <QDialog>
#include <QWidget>

#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class TTreeNode;

// The usage chart: two slices, a legend beside the pie.
class TPieChart : public QWidget
{
    Q_OBJECT
public:
    explicit TPieChart(QWidget *parent = nullptr);
    void setSlices(const std::vector<TPieSlice> &slices);
    const std::vector<TPieSlice> &slices() const { return m_slices; }
    QSize sizeHint() const override { return {320, 160}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<TPieSlice> m_slices;
};

class TAdvDiskForm : public QDialog
{
    Q_OBJECT
public:
    explicit TAdvDiskForm(QWidget *parent = nullptr);
    void fill(const TAdvDiskData &adv);
    QString rowText(const QString &caption) const;
    TPieChart *chart() const { return m_chart; }
    QString footer() const;

private:
    QLabel *m_name = nullptr;
    QWidget *m_rows = nullptr;
    TPieChart *m_chart = nullptr;
    QLabel *m_footer = nullptr;
    TAdvDiskData m_data;
};

// What the dialog needs of the program; the main window sets them.
struct TPropertiesHooks {
    // "&Edit": the categories dialog for the node selected in the main tree;
    // true when it closed with OK. Unset: the buttons are disabled.
    std::function<bool()> editCategories;
    // After the categories dialog closed with OK and the dialog was filled
    // again (the main window's item commands follow).
    std::function<void()> categoriesChanged;
    // The description boxes' font (font slot 2), taken when the dialog is made.
    TFontSlot descFont;
};
void SetPropertiesHooks(TPropertiesHooks hooks);

class TPropertiesForm : public QDialog
{
    Q_OBJECT
public:
    explicit TPropertiesForm(QWidget *parent = nullptr);

    // Fills every page for an item (FillProperties) and remembers what for,
    // to fill itself again after the categories dialog. workDisk (with node
    // null) is the Add/Update Disk dialog's work record; it stays the
    // caller's and must live while the dialog shows.
    void fillFor(TTreeNode *node, TFileRec *file, const TPropertiesContext &context = {},
                 const TDiskRec *workDisk = nullptr);
    // Fills again for what fillFor was last given; typed text is replaced.
    void refill();
    // "&Edit" on the file or folder page.
    void editCategories();
    // Shows data's pages (the first active, its description box focused).
    void fill(const TPropertiesData &data);
    const TPropertiesData &data() const { return m_data; }
    // What the controls hold now, page by page.
    TPropertiesEdits edits() const;

    QTabWidget *pages() const { return m_tabs; }
    // The description box of a shown page; null when the page is not shown.
    QPlainTextEdit *memo(TPropPage kind) const;
    QComboBox *categoryList(TPropPage kind) const;
    QMenu *flagsMenu(TPropPage kind) const;
    QPushButton *editButton(TPropPage kind) const;
    QPushButton *cancelButton() const { return m_cancel; }
    QPushButton *advancedButton() const { return m_advButton; }
    TAdvDiskForm *advancedForm() const { return m_adv; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct PageControls {
        TPropPage kind;
        QPlainTextEdit *memo = nullptr;
        QComboBox *category = nullptr;
        QMenu *flags = nullptr;
        QPushButton *edit = nullptr;
    };
    QWidget *buildPage(const TPropPageData &page);
    const PageControls *controls(TPropPage kind) const;
    // One control of a shown page; null when the page is not shown.
    template <typename T>
    T *control(TPropPage kind, T *PageControls::*field) const
    {
        const PageControls *c = controls(kind);
        return c ? c->*field : nullptr;
    }

    QTabWidget *m_tabs = nullptr;
    QPushButton *m_advButton = nullptr;
    QPushButton *m_cancel = nullptr;
    TAdvDiskForm *m_adv = nullptr;
    QFont m_descFont;
    TPropertiesData m_data;
    std::vector<PageControls> m_controls;
    // What the dialog was last filled for.
    TTreeNode *m_node = nullptr;
    TFileRec *m_file = nullptr;
    TPropertiesContext m_context;
    const TDiskRec *m_workDisk = nullptr;
};

// The program's one properties dialog, made on first use.
TPropertiesForm &PropertiesDialog();

// Shows the dialog for an item (node, and the file for a file) modally over
// parent's window, applies the edits when it closes with OK and returns what
// changed. The file type names come from the desktop's MIME database.
TPropertiesApplied ShowProperties(QWidget *parent, TTreeNode *node, TFileRec *file);
// The Add/Update Disk dialog's "Disk &Info": only the disk page of its work
// record read from drive letter, with updateCatalog the catalog of the disk
// it is about to update (null: none). Nothing is applied afterwards.
void ShowWorkDiskProperties(QWidget *parent, const TDiskRec &work, QChar letter, TTreeNode *updateCatalog);
