// The properties dialog and the "Advanced Disk Info" window: they show a
// TPropertiesData (browser/Properties.h) page by page, let the user edit
// the descriptions, categories and flags, and hand the edits back. Filling
// and applying are the core's.
#pragma once

#include "browser/Properties.h"

#include <QDialog>
#include <QWidget>

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

class TPropertiesForm : public QDialog
{
    Q_OBJECT
public:
    explicit TPropertiesForm(QWidget *parent = nullptr);

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
    QPushButton *advancedButton() const { return m_advButton; }
    TAdvDiskForm *advancedForm() const { return m_adv; }

private:
    struct PageControls {
        TPropPage kind;
        QPlainTextEdit *memo = nullptr;
        QComboBox *category = nullptr;
        QMenu *flags = nullptr;
    };
    QWidget *buildPage(const TPropPageData &page);
    const PageControls *controls(TPropPage kind) const;

    QTabWidget *m_tabs = nullptr;
    QPushButton *m_advButton = nullptr;
    TAdvDiskForm *m_adv = nullptr;
    TPropertiesData m_data;
    std::vector<PageControls> m_controls;
};

// Opens the dialog for an item (node, and the file for a file), applies the
// edits when it closes with OK and returns what changed. The file type
// names come from the desktop's MIME database.
TPropertiesApplied ShowProperties(QWidget *parent, TTreeNode *node, TFileRec *file);
