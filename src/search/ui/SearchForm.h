// The search window: the criteria pages above (a mirror of TSearchWork, which
// holds the whole state, so every control writes to it and is set back from
// it), the found list below with its toolbar and status bar, and the search
// itself through a TSearchController. It owns the two found lists (normal and
// duplicates) and shows the one of the current mode. Created on first use by
// the main window, hidden rather than destroyed when closed.
#pragma once

#include "browser/Commands.h"
#include "browser/Utils.h"
#include "catalog/Forest.h"
#include "search/Criteria.h"
#include "search/FoundList.h"

#include <QDialog>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QAbstractItemView;
class QAction;
class QDrag;
class QPixmap;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QStackedWidget;
class QStatusBar;
class QTabWidget;
class QTimeEdit;
class QToolBar;
class QTableView;
class QtPrompter;
class TFoundListModel;
class TScopeTree;
class TSearchController;

// What the window takes from the program around it.
struct TSearchFormSettings {
    bool formattedSizes = true;       // "Display formated sizes"
    bool descriptionTips = true;      // "S&how descriptions as tips"
    bool archivesAsFolders = true;    // "Sort archive files as folders"
    int doubleClick = -1;             // 0 "Nothing" .. 4 "View File"; -1 none chosen
    int buttonSize = 2;               // toolbar buttons are 2 x size + 21 pixels square
    bool oldStyleButtons = false;
};

class TSearchForm : public QDialog, private ForestObserver
{
    Q_OBJECT
public:
    explicit TSearchForm(TForest &forest, QWidget *parent = nullptr);
    ~TSearchForm() override;

    // Questions go to prompter (not owned); null: message boxes.
    void setPrompter(Prompter *prompter);
    void applySettings(const TSearchFormSettings &settings);
    // The registered file types; read from the desktop the first time the
    // "File Type" mode is chosen unless given here first (tests).
    void setFileTypes(std::vector<TFileType> types);

    // Shows the window in normal or duplicates mode; while a search runs it
    // is only brought to the front.
    void showMode(bool duplicates);

    // --- the criteria
    TSearchWork &work() { return m_work; }
    // Sets every control from work() (after the caller changed it).
    void syncFromWork();

    // --- the search
    // "&Find": validation, snapshot and start. False when nothing started.
    bool find();
    // "C&ancel".
    void cancelSearch();
    // Cancels and waits up to timeoutMs, processing events; true when no
    // search runs any more.
    bool cancelAndWait(int timeoutMs);
    bool searching() const;
    bool normalSearchRunning() const { return searching() && !m_searchDuplicates; }
    // The search's controller (its signals reach the window first).
    TSearchController &controller() const { return *m_controller; }
    // "&New Search".
    void newSearch();

    // --- the found lists
    TFoundList &foundList() { return m_found; }
    TFoundList &duplicatesList() { return m_dupes; }
    TFoundList &currentList() { return m_work.duplicatesMode ? m_dupes : m_found; }
    TFoundListModel *model() const { return m_model; }
    QTableView *detailsView() const { return m_details; }
    QAbstractItemView *listView() const;
    // A click on a found-list header section.
    void headerClicked(int column);
    // "Delete selected item(s)" and "Remove all items from the list"; ask: with the question.
    void removeSelected();
    void clearList(bool ask);
    // The focused record of the list, null without one.
    TItemRec *focusedRecord() const;
    // The selected records, in row order.
    std::vector<TItemRec *> selectedRecords() const;
    // The lists changed under the window (records freed with a catalog).
    void refreshLists();
    // A found-list action by its object name ("BtnDelete", "BtnTarget", ...).
    QAction *action(const QString &name) const;
    // The context menu as it would open now (its entries brought up to date,
    // the double-click option's entry as its default).
    QMenu *prepareContextMenu();
    // The drag of the selected rows, ready to run (the views run it); null
    // without a selection or drag data. Its cursor: dragCursor(several rows).
    QDrag *prepareDrag();
    static QPixmap dragCursor(bool several);
    void setViewStyle(int style);
    int viewStyle() const { return m_viewStyle; }
    void setMaximized(bool on);
    bool listAreaVisible() const;

    // --- status
    QString statusText(int panel) const;
    QProgressBar *progressBar() const { return m_progress; }

    // --- scope and categories
    TScopeTree *scopeTree() const { return m_scope; }
    // Rebuilds the scope tree and the category and flag lists.
    void rebuildFromCatalogs();

signals:
    // A search started or ended (the main window follows with its commands).
    void searchStateChanged();
    // "Locate in Catalog" for a record.
    void locateRequested(TItemRec *rec);
    // "Set Category and Flags" and "Add to User List" for the selected records.
    void setCategoriesRequested(const std::vector<TItemRec *> &records);
    void addToUserListRequested(const std::vector<TItemRec *> &records);
    // "Properties" of the focused record (also a click on the focused item's status panel).
    void propertiesRequested(TItemRec *rec);
    // "Open in Explorer", "Launch File", "View File" and "Extract To..." on
    // the focused record (extraction on the selected ones).
    void fileActionRequested(TFileAction action, TItemRec *focused, const std::vector<TItemRec *> &selected);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // ForestObserver: catalogs and disks coming and going.
    void nodeInserted(TTreeNode *node) override;
    void nodeAboutToBeRemoved(TTreeNode *node) override;
    void nodeRemoved(TTreeNode *parent, int index) override;

    void createCriteria();
    QWidget *createMainPage();
    QWidget *createNamePage();
    QWidget *createDescPage();
    QWidget *createCategoryPage();
    QWidget *createSizePage();
    QWidget *createDatePage();
    QWidget *createLimitPage();
    QWidget *createSettingsPage();
    void createListArea();
    void createActions();

    // Re-evaluation of what is shown and enabled.
    void setupVisibleGroups(QWidget *checkedGroupPage = nullptr);
    void setupSearchDialog();
    void namePageChanged();
    void sizePageChanged();
    void datePageChanged();
    void descPageChanged();
    void settingsPageChanged();
    void updateButtons();
    void updateFoundButtons();
    void updateScopeButtons();
    void onPageChanged(int index);
    void leavePage(QWidget *page);
    void showGroupPage(CriteriaGroup group);
    void ensureFileTypes();
    void fillFileTypeCombo();
    void createCategoryList();
    void collectCheckedCategories();
    void sizeFieldLeft(int which);
    QString sizeFieldText(int which) const;

    // The search.
    void startShowing();
    void onProgress(int checked, int total, int found);
    void showProgress();   // the counts onProgress kept
    void onFinished(int found, bool cancelled);
    void selectFirstHit();
    void showSearchStatus(int checked, int total);
    void showIdleStatus();
    void setSearchingLayout(bool on);

    // The list.
    void switchList();
    void showListArea(bool on);
    void updateLayout();
    void onSelectionChanged();
    void scheduleStatus();
    void onActivated(const QModelIndex &index);
    void onContextMenu(const QPoint &pos);
    void locateFocused();
    void rememberListHeight();

    TForest &m_forest;
    TSearchWork m_work;
    std::vector<TFileType> m_fileTypes;
    bool m_fileTypesRead = false;
    TSearchFormSettings m_settings;
    TFoundList m_found;
    TFoundList m_dupes;
    std::unique_ptr<TSearchController> m_controller;
    std::unique_ptr<QtPrompter> m_qtPrompter;
    Prompter *m_prompter = nullptr;

    // Search state.
    bool m_searching = false;
    bool m_sortRunning = false;   // a header click's sort, which lets events run
    bool m_searchDuplicates = false;
    bool m_firstHitShown = false;
    bool m_syncing = false;
    QTimer m_statusTimer;
    QTimer m_catalogsTimer;
    QTimer m_progressTimer;
    int m_progressChecked = 0, m_progressTotal = 0;
    bool m_progressPending = false;

    // Criteria controls (object names as the window names them).
    QWidget *m_criteria = nullptr;
    QTabWidget *m_pages = nullptr;
    QWidget *m_mainSheet = nullptr, *m_nameSheet = nullptr, *m_descSheet = nullptr, *m_categorySheet = nullptr,
            *m_sizeSheet = nullptr, *m_dateSheet = nullptr, *m_limitSheet = nullptr, *m_settingsSheet = nullptr;
    QWidget *m_lastPage = nullptr;
    QCheckBox *m_byName = nullptr, *m_byDesc = nullptr, *m_byCategory = nullptr, *m_bySize = nullptr,
              *m_byDate = nullptr;
    QLabel *m_byDuplicatesLabel = nullptr;
    QCheckBox *m_forFiles = nullptr, *m_forFolders = nullptr, *m_forDisks = nullptr;
    QCheckBox *m_clearResults = nullptr, *m_showLimit = nullptr, *m_showSettings = nullptr;
    QComboBox *m_nameCombo = nullptr, *m_fileTypeCombo = nullptr;
    QLabel *m_nameLabel = nullptr, *m_attrLabel = nullptr;
    QLineEdit *m_nameEdit = nullptr;
    QCheckBox *m_fileCase = nullptr;
    QCheckBox *m_attr[4] = {nullptr, nullptr, nullptr, nullptr};   // archive, hidden, system, read-only
    QWidget *m_attrLine = nullptr;
    QRadioButton *m_desc1 = nullptr, *m_desc2 = nullptr, *m_desc3 = nullptr;
    QLineEdit *m_descEdit = nullptr;
    QCheckBox *m_descCase = nullptr;
    QListWidget *m_categoryList = nullptr, *m_flagsList = nullptr;
    QLabel *m_categoryLabel = nullptr, *m_flagsLabel = nullptr;
    QComboBox *m_sizeCombo = nullptr;
    QLineEdit *m_sizeValue[3] = {nullptr, nullptr, nullptr};
    QComboBox *m_sizeUnits[3] = {nullptr, nullptr, nullptr};
    QLabel *m_sizeAnd = nullptr;
    QCheckBox *m_sizeTolerance = nullptr;
    QComboBox *m_dateCombo1 = nullptr, *m_dateCombo2 = nullptr, *m_timeCombo1 = nullptr, *m_timeCombo2 = nullptr;
    QDateEdit *m_datePicker1 = nullptr, *m_datePicker2 = nullptr;
    QTimeEdit *m_timePicker1 = nullptr, *m_timePicker2 = nullptr;
    QLabel *m_dateAnd = nullptr, *m_timeAnd = nullptr;
    QCheckBox *m_dateTolerance = nullptr, *m_timeTolerance = nullptr;
    QSpinBox *m_dateToleranceDays = nullptr, *m_timeToleranceMinutes = nullptr;
    TScopeTree *m_scope = nullptr;
    QPushButton *m_includeAll = nullptr, *m_excludeAll = nullptr;
    QRadioButton *m_normalMode = nullptr, *m_duplicateMode = nullptr;
    QGroupBox *m_normalGroup = nullptr, *m_dupGroup = nullptr;
    QComboBox *m_searchType = nullptr;
    QCheckBox *m_limitFound = nullptr;
    QSpinBox *m_maxFound = nullptr;
    QLabel *m_searchTypeLabel = nullptr, *m_itemsLabel = nullptr;
    QCheckBox *m_dupName = nullptr, *m_dupSize = nullptr, *m_dupDate = nullptr, *m_dupAttr = nullptr,
              *m_dupArchives = nullptr, *m_dupSingle = nullptr;
    QLabel *m_dupLabel = nullptr;
    QPushButton *m_btnFind = nullptr, *m_btnCancel = nullptr, *m_btnNew = nullptr, *m_btnClose = nullptr;
    QWidget *m_buttonColumn = nullptr;

    // The list area.
    QWidget *m_listArea = nullptr;
    QToolBar *m_toolbar = nullptr;
    QPushButton *m_topClose = nullptr;
    QStackedWidget *m_viewStack = nullptr;
    QTableView *m_details = nullptr;
    QListView *m_icons = nullptr;
    TFoundListModel *m_model = nullptr;
    QStatusBar *m_status = nullptr;
    QLabel *m_panels[3] = {nullptr, nullptr, nullptr};
    QProgressBar *m_progress = nullptr;
    QMenu *m_menu = nullptr;
    std::map<QString, QAction *> m_actions;
    int m_viewStyle = 3;
    bool m_layoutBusy = false;
};
