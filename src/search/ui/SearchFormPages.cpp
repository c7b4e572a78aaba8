// The search window's criteria pages as they are built: every control with
// its object name, caption and range, connected so that each change is
// written to TSearchWork at once.
#include "search/ui/SearchForm.h"

#include "search/ui/ScopeTree.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

// The spin edits' bounds.
constexpr int kMaxFoundLimit = 9999;
constexpr int kDateToleranceMax = 99;
constexpr int kTimeToleranceMax = 999;

QCheckBox *attrBox(const char *name, const QString &caption)
{
    auto *box = new QCheckBox(caption);
    box->setObjectName(QLatin1String(name));
    box->setTristate(true);   // grayed: the attribute is ignored
    return box;
}

int attrState(Qt::CheckState check)
{
    return check == Qt::Checked ? asSet : check == Qt::Unchecked ? asClear : asIgnored;
}

template <class W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

// ---- building the criteria pages ----------------------------------------------------------------

void TSearchForm::createCriteria()
{
    m_criteria = named(new QWidget, "CriteriaArea");
    m_pages = named(new QTabWidget, "PageControl");
    m_mainSheet = createMainPage();
    m_nameSheet = createNamePage();
    m_descSheet = createDescPage();
    m_categorySheet = createCategoryPage();
    m_sizeSheet = createSizePage();
    m_dateSheet = createDatePage();
    m_limitSheet = createLimitPage();
    m_settingsSheet = createSettingsPage();
    m_pages->addTab(m_mainSheet, QStringLiteral("What to Search for"));
    m_pages->addTab(m_nameSheet, QStringLiteral("by Name or Type"));
    m_pages->addTab(m_descSheet, QStringLiteral("by Description"));
    m_pages->addTab(m_categorySheet, QStringLiteral("by Category"));
    m_pages->addTab(m_sizeSheet, QStringLiteral("by Item Size"));
    m_pages->addTab(m_dateSheet, QStringLiteral("by Item Date"));
    m_pages->addTab(m_limitSheet, QStringLiteral("Limit Search"));
    m_pages->addTab(m_settingsSheet, QStringLiteral("Search Settings"));
    connect(m_pages, &QTabWidget::currentChanged, this, &TSearchForm::onPageChanged);

    m_btnFind = named(new QPushButton(QStringLiteral("&Find")), "BtnFind");
    m_btnCancel = named(new QPushButton(QStringLiteral("C&ancel")), "BtnCancel");
    m_btnNew = named(new QPushButton(QStringLiteral("&New Search")), "BtnNew");
    m_btnClose = named(new QPushButton(QStringLiteral("Close")), "BtnClose");
    m_btnFind->setDefault(true);
    for (QPushButton *b : {m_btnCancel, m_btnNew, m_btnClose})
        b->setAutoDefault(false);
    connect(m_btnFind, &QPushButton::clicked, this, [this] { find(); });
    connect(m_btnCancel, &QPushButton::clicked, this, &TSearchForm::cancelSearch);
    connect(m_btnNew, &QPushButton::clicked, this, &TSearchForm::newSearch);
    connect(m_btnClose, &QPushButton::clicked, this, &QDialog::hide);

    m_buttonColumn = new QWidget;
    auto *buttons = new QVBoxLayout(m_buttonColumn);
    buttons->setContentsMargins(0, 0, 0, 0);
    for (QPushButton *b : {m_btnFind, m_btnCancel, m_btnNew})
        buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(m_btnClose);

    auto *row = new QHBoxLayout(m_criteria);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(m_pages, 1);
    row->addWidget(m_buttonColumn);
}

QWidget *TSearchForm::createMainPage()
{
    auto *page = named(new QWidget, "MainSheet");
    m_byName = named(new QCheckBox(QStringLiteral("Search by &Name or Attributes")), "ByNameCheck");
    m_byDesc = named(new QCheckBox(QStringLiteral("Search by &Descriptions")), "ByDescCheck");
    m_byCategory = named(new QCheckBox(QStringLiteral("Search by &Categories")), "ByCategoryCheck");
    m_bySize = named(new QCheckBox(QStringLiteral("Search by Item &Size")), "BySizeCheck");
    m_byDate = named(new QCheckBox(QStringLiteral("Search by Item Da&te")), "ByDateCheck");
    m_byDuplicatesLabel = named(new QLabel(QStringLiteral("Check the upper checkbox to only search for duplicate "
                                                          "items that match by name or file mask.")),
                                "ByDuplicatesLabel");
    m_byDuplicatesLabel->setWordWrap(true);
    m_forFiles = named(new QCheckBox(QStringLiteral("&Files")), "SearchForFiles");
    m_forFolders = named(new QCheckBox(QStringLiteral("F&olders")), "SearchForFolders");
    m_forDisks = named(new QCheckBox(QStringLiteral("Dis&ks")), "SearchForDisks");
    m_clearResults = named(new QCheckBox(QStringLiteral("Clear &previous search results")), "ClearResultsCheck");
    m_showLimit = named(new QCheckBox(QStringLiteral("&Limit search to specific disks")), "ShowLimitCheck");
    m_showSettings = named(new QCheckBox(QStringLiteral("Show &Advanced Search Settings")), "ShowSettingsCheck");

    auto group = [this](QCheckBox *box, bool TSearchWork::*field, QWidget *page) {
        connect(box, &QCheckBox::toggled, this, [this, field, page](bool on) {
            if (m_syncing)
                return;
            m_work.*field = on;
            setupVisibleGroups(on ? page : nullptr);
        });
    };
    group(m_byName, &TSearchWork::byName, nullptr);
    group(m_byDesc, &TSearchWork::byDesc, nullptr);
    group(m_byCategory, &TSearchWork::byCategory, nullptr);
    group(m_bySize, &TSearchWork::bySize, nullptr);
    group(m_byDate, &TSearchWork::byDate, nullptr);
    group(m_forFiles, &TSearchWork::files, nullptr);
    group(m_forFolders, &TSearchWork::folders, nullptr);
    group(m_forDisks, &TSearchWork::disks, nullptr);
    group(m_clearResults, &TSearchWork::clearResults, nullptr);
    group(m_showLimit, &TSearchWork::showLimit, nullptr);
    group(m_showSettings, &TSearchWork::showSettings, nullptr);

    auto *left = new QVBoxLayout;
    for (QWidget *w : {static_cast<QWidget *>(m_byName), static_cast<QWidget *>(m_byDuplicatesLabel),
                       static_cast<QWidget *>(m_byDesc), static_cast<QWidget *>(m_byCategory),
                       static_cast<QWidget *>(m_bySize), static_cast<QWidget *>(m_byDate)})
        left->addWidget(w);
    left->addStretch(1);
    auto *right = new QVBoxLayout;
    right->addWidget(new QLabel(QStringLiteral("Search for this items:")));
    auto *kinds = new QHBoxLayout;
    for (QCheckBox *b : {m_forFiles, m_forFolders, m_forDisks})
        kinds->addWidget(b);
    kinds->addStretch(1);
    right->addLayout(kinds);
    right->addSpacing(8);
    for (QCheckBox *b : {m_clearResults, m_showLimit, m_showSettings})
        right->addWidget(b);
    right->addStretch(1);
    auto *row = new QHBoxLayout(page);
    row->addLayout(left, 1);
    row->addLayout(right, 1);
    return page;
}

QWidget *TSearchForm::createNamePage()
{
    auto *page = named(new QWidget, "NameSheet");
    m_nameCombo = named(new QComboBox, "NameCombo");
    m_nameCombo->addItems({QStringLiteral("Part of Filename"), QStringLiteral("File Mask (wildcards)"),
                           QStringLiteral("Exact Filename"), QStringLiteral("File Extension"),
                           QStringLiteral("File Type"), QStringLiteral("Regular Expression")});
    m_nameLabel = named(new QLabel(QStringLiteral("Search for:")), "NameLabel");
    m_nameEdit = named(new QLineEdit, "NameEdit");
    m_fileTypeCombo = named(new QComboBox, "FileTypeCombo");
    m_fileCase = named(new QCheckBox(QStringLiteral("Case sensitive search")), "FileCaseCheck");
    m_attrLabel = named(new QLabel(QStringLiteral("Attributes:")), "AttrLabel");
    m_attr[0] = attrBox("AttrArchiveCheck", QStringLiteral("Archive"));
    m_attr[1] = attrBox("AttrHiddenCheck", QStringLiteral("Hidden"));
    m_attr[2] = attrBox("AttrSystemCheck", QStringLiteral("System"));
    m_attr[3] = attrBox("AttrReadOnlyCheck", QStringLiteral("Read-only"));
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    m_attrLine = line;

    connect(m_nameCombo, &QComboBox::currentIndexChanged, this, [this](int mode) {
        if (m_syncing || mode < 0)
            return;
        m_work.setNameMode(mode);
        if (mode == nmFileType)
            ensureFileTypes();
        m_syncing = true;
        m_nameEdit->setText(m_work.nameText());
        m_syncing = false;
        namePageChanged();
        updateButtons();
    });
    connect(m_nameEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (!m_syncing)
            m_work.setNameText(text);
    });
    connect(m_fileTypeCombo, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_syncing)
            return;
        // "(none)" is the empty choice.
        m_work.fileType = index <= 0 ? -1 : index;
        if (index == 0) {
            m_syncing = true;
            m_fileTypeCombo->setCurrentIndex(-1);
            m_syncing = false;
        }
    });
    connect(m_fileCase, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_syncing)
            m_work.fileCase = on;
    });
    int TSearchWork::*attrFields[4] = {&TSearchWork::attrArchive, &TSearchWork::attrHidden, &TSearchWork::attrSystem,
                                       &TSearchWork::attrReadOnly};
    for (int i = 0; i < 4; ++i)
        connect(m_attr[i], &QCheckBox::stateChanged, this, [this, field = attrFields[i]](int s) {
            if (!m_syncing)
                m_work.*field = attrState(Qt::CheckState(s));
        });

    auto *grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("Search by:")), 0, 0);
    grid->addWidget(m_nameCombo, 0, 1);
    grid->addWidget(m_nameLabel, 1, 0);
    grid->addWidget(m_nameEdit, 1, 1);
    grid->addWidget(m_fileTypeCombo, 1, 1);
    grid->addWidget(m_fileCase, 2, 1);
    grid->addWidget(m_attrLine, 3, 0, 1, 2);
    grid->addWidget(m_attrLabel, 4, 0);
    auto *attrs = new QHBoxLayout;
    for (QCheckBox *b : m_attr)
        attrs->addWidget(b);
    attrs->addStretch(1);
    grid->addLayout(attrs, 4, 1);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(1, 1);
    return page;
}

QWidget *TSearchForm::createDescPage()
{
    auto *page = named(new QWidget, "DescSheet");
    m_desc1 = named(new QRadioButton(QStringLiteral("Find items with any description")), "DescCheck1");
    m_desc2 = named(new QRadioButton(QStringLiteral("Find items with the folowing text in description:")),
                    "DescCheck2");
    m_desc3 = named(new QRadioButton(QStringLiteral("Find items without description")), "DescCheck3");
    m_descEdit = named(new QLineEdit, "DescEdit");
    m_descCase = named(new QCheckBox(QStringLiteral("Case sensitive search")), "DescCaseCheck");
    auto *modes = new QButtonGroup(page);
    modes->addButton(m_desc1, dmAny);
    modes->addButton(m_desc2, dmContains);
    modes->addButton(m_desc3, dmNone);
    connect(modes, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (m_syncing || !on)
            return;
        m_work.descMode = id;
        descPageChanged();
    });
    connect(m_descEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (!m_syncing)
            m_work.descText = text;
    });
    connect(m_descCase, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_syncing)
            m_work.descCase = on;
    });
    auto *v = new QVBoxLayout(page);
    v->addWidget(m_desc1);
    v->addWidget(m_desc2);
    auto *indent = new QVBoxLayout;
    indent->setContentsMargins(20, 0, 0, 0);
    indent->addWidget(m_descEdit);
    indent->addWidget(m_descCase);
    v->addLayout(indent);
    v->addWidget(m_desc3);
    v->addStretch(1);
    return page;
}

QWidget *TSearchForm::createCategoryPage()
{
    auto *page = named(new QWidget, "CategorySheet");
    m_categoryList = named(new QListWidget, "CategoryList");
    m_flagsList = named(new QListWidget, "FlagsList");
    m_categoryLabel = new QLabel(QStringLiteral("By Categories:"));
    m_flagsLabel = new QLabel(QStringLiteral("By Flags:"));
    for (QListWidget *list : {m_categoryList, m_flagsList})
        connect(list, &QListWidget::itemChanged, this, [this] {
            if (!m_syncing)
                collectCheckedCategories();
        });
    auto *grid = new QGridLayout(page);
    grid->addWidget(m_categoryLabel, 0, 0);
    grid->addWidget(m_flagsLabel, 0, 1);
    grid->addWidget(m_categoryList, 1, 0);
    grid->addWidget(m_flagsList, 1, 1);
    return page;
}

QWidget *TSearchForm::createSizePage()
{
    auto *page = named(new QWidget, "SizeSheet");
    m_sizeCombo = named(new QComboBox, "SizeCombo");
    m_sizeCombo->addItems({QStringLiteral("(none)"), QStringLiteral("Equal To"), QStringLiteral("Smaller Than"),
                           QStringLiteral("Larger Than"), QStringLiteral("Between"), QStringLiteral("Not Between")});
    static const char *valueNames[3] = {"SizeValue1", "SizeValue2", "SizeValue3"};
    static const char *unitNames[3] = {"SizeUnits1", "SizeUnits2", "SizeUnits3"};
    // Nine digits and a decimal fraction.
    static const QRegularExpression number(QStringLiteral(R"(\d{0,9}([.,]\d{0,9})?)"));
    for (int i = 0; i < 3; ++i) {
        m_sizeValue[i] = named(new QLineEdit, valueNames[i]);
        m_sizeValue[i]->setValidator(new QRegularExpressionValidator(number, m_sizeValue[i]));
        m_sizeUnits[i] = named(new QComboBox, unitNames[i]);
        m_sizeUnits[i]->addItems({QStringLiteral("Bytes"), QStringLiteral("KB"), QStringLiteral("MB"),
                                  QStringLiteral("GB")});
        if (i == 2)
            m_sizeUnits[i]->addItem(QStringLiteral("TB"));
        connect(m_sizeValue[i], &QLineEdit::textChanged, this, [this, i](const QString &text) {
            if (m_syncing)
                return;
            TSizeField &f = i == 0 ? m_work.size1 : i == 1 ? m_work.size2 : m_work.size3;
            f.text = text;
        });
        connect(m_sizeValue[i], &QLineEdit::editingFinished, this, [this, i] { sizeFieldLeft(i); });
        connect(m_sizeUnits[i], &QComboBox::currentIndexChanged, this, [this, i](int unit) {
            if (m_syncing || unit < 0)
                return;
            TSizeField &f = i == 0 ? m_work.size1 : i == 1 ? m_work.size2 : m_work.size3;
            f.unit = SizeUnit(unit);
        });
    }
    m_sizeAnd = new QLabel(QStringLiteral("and"));
    m_sizeTolerance = named(new QCheckBox(QStringLiteral("Allow tollerance of")), "SizeAllowTollerance");
    connect(m_sizeCombo, &QComboBox::currentIndexChanged, this, [this](int op) {
        if (m_syncing)
            return;
        m_work.sizeOp = op <= 0 ? soNone : op;
        if (op == 0) {
            m_syncing = true;
            m_sizeCombo->setCurrentIndex(-1);
            m_syncing = false;
        }
        sizePageChanged();
    });
    connect(m_sizeTolerance, &QCheckBox::toggled, this, [this](bool on) {
        if (m_syncing)
            return;
        m_work.sizeTolerance = on;
        sizePageChanged();
    });
    auto *grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("Size:")), 0, 0);
    grid->addWidget(m_sizeCombo, 0, 1);
    grid->addWidget(m_sizeValue[0], 0, 2);
    grid->addWidget(m_sizeUnits[0], 0, 3);
    grid->addWidget(m_sizeAnd, 1, 1, Qt::AlignRight);
    grid->addWidget(m_sizeValue[1], 1, 2);
    grid->addWidget(m_sizeUnits[1], 1, 3);
    grid->addWidget(m_sizeTolerance, 2, 1);
    grid->addWidget(m_sizeValue[2], 2, 2);
    grid->addWidget(m_sizeUnits[2], 2, 3);
    grid->setRowStretch(3, 1);
    grid->setColumnStretch(4, 1);
    return page;
}

QWidget *TSearchForm::createDatePage()
{
    auto *page = named(new QWidget, "DateSheet");
    m_dateCombo1 = named(new QComboBox, "DateCombo1");
    m_dateCombo1->addItems({QStringLiteral("(none)"), QStringLiteral("Created"), QStringLiteral("Modified"),
                            QStringLiteral("Accessed")});
    m_dateCombo2 = named(new QComboBox, "DateCombo2");
    m_dateCombo2->addItems({QStringLiteral("On"), QStringLiteral("Before"), QStringLiteral("After"),
                            QStringLiteral("Between"), QStringLiteral("Not Between")});
    m_timeCombo1 = named(new QComboBox, "TimeCombo1");
    m_timeCombo1->addItems({QStringLiteral("(none)"), QStringLiteral("Created"), QStringLiteral("Modified")});
    m_timeCombo2 = named(new QComboBox, "TimeCombo2");
    m_timeCombo2->addItems({QStringLiteral("At"), QStringLiteral("Before"), QStringLiteral("After"),
                            QStringLiteral("Between"), QStringLiteral("Not Between")});
    m_datePicker1 = named(new QDateEdit, "DatePicker1");
    m_datePicker2 = named(new QDateEdit, "DatePicker2");
    for (QDateEdit *d : {m_datePicker1, m_datePicker2})
        d->setCalendarPopup(true);
    m_timePicker1 = named(new QTimeEdit, "TimePicker1");
    m_timePicker2 = named(new QTimeEdit, "TimePicker2");
    for (QTimeEdit *t : {m_timePicker1, m_timePicker2})
        t->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_dateAnd = new QLabel(QStringLiteral("and"));
    m_timeAnd = new QLabel(QStringLiteral("and"));
    m_dateTolerance = named(new QCheckBox(QStringLiteral("Allow tollerance of")), "DateAllowTollerance");
    m_timeTolerance = named(new QCheckBox(QStringLiteral("Allow tollerance of")), "TimeAllowTollerance");
    m_dateToleranceDays = named(new QSpinBox, "DateTollerance");
    m_dateToleranceDays->setRange(0, kDateToleranceMax);
    m_timeToleranceMinutes = named(new QSpinBox, "TimeTollerance");
    m_timeToleranceMinutes->setRange(0, kTimeToleranceMax);

    // The combos with an empty choice: their first entry means none.
    auto kindCombo = [this](QComboBox *combo, int TSearchWork::*field) {
        connect(combo, &QComboBox::currentIndexChanged, this, [this, combo, field](int kind) {
            if (m_syncing)
                return;
            m_work.*field = kind <= 0 ? dkNone : kind;
            if (kind == 0) {
                m_syncing = true;
                combo->setCurrentIndex(-1);
                m_syncing = false;
            }
            datePageChanged();
        });
    };
    kindCombo(m_dateCombo1, &TSearchWork::dateKind);
    kindCombo(m_timeCombo1, &TSearchWork::timeKind);
    auto opCombo = [this](QComboBox *combo, int TSearchWork::*field) {
        connect(combo, &QComboBox::currentIndexChanged, this, [this, field](int op) {
            if (m_syncing || op < 0)
                return;
            m_work.*field = op;
            datePageChanged();
        });
    };
    opCombo(m_dateCombo2, &TSearchWork::dateOp);
    opCombo(m_timeCombo2, &TSearchWork::timeOp);
    connect(m_datePicker1, &QDateEdit::dateChanged, this, [this](QDate d) {
        if (!m_syncing)
            m_work.date1 = d;
    });
    connect(m_datePicker2, &QDateEdit::dateChanged, this, [this](QDate d) {
        if (!m_syncing)
            m_work.date2 = d;
    });
    connect(m_timePicker1, &QTimeEdit::timeChanged, this, [this](QTime t) {
        if (!m_syncing)
            m_work.time1 = t;
    });
    connect(m_timePicker2, &QTimeEdit::timeChanged, this, [this](QTime t) {
        if (!m_syncing)
            m_work.time2 = t;
    });
    connect(m_dateTolerance, &QCheckBox::toggled, this, [this](bool on) {
        if (m_syncing)
            return;
        m_work.dateTolerance = on;
        datePageChanged();
    });
    connect(m_timeTolerance, &QCheckBox::toggled, this, [this](bool on) {
        if (m_syncing)
            return;
        m_work.timeTolerance = on;
        datePageChanged();
    });
    connect(m_dateToleranceDays, &QSpinBox::valueChanged, this, [this](int v) {
        if (!m_syncing)
            m_work.dateToleranceDays = v;
    });
    connect(m_timeToleranceMinutes, &QSpinBox::valueChanged, this, [this](int v) {
        if (!m_syncing)
            m_work.timeToleranceMinutes = v;
    });

    auto *grid = new QGridLayout(page);
    grid->addWidget(new QLabel(QStringLiteral("By File Date:")), 0, 0);
    grid->addWidget(m_dateCombo1, 0, 1);
    grid->addWidget(m_dateCombo2, 0, 2);
    grid->addWidget(m_datePicker1, 0, 3);
    grid->addWidget(m_dateAnd, 0, 4);
    grid->addWidget(m_datePicker2, 0, 5);
    grid->addWidget(m_dateTolerance, 1, 1);
    grid->addWidget(m_dateToleranceDays, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("days.")), 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("By File Time:")), 2, 0);
    grid->addWidget(m_timeCombo1, 2, 1);
    grid->addWidget(m_timeCombo2, 2, 2);
    grid->addWidget(m_timePicker1, 2, 3);
    grid->addWidget(m_timeAnd, 2, 4);
    grid->addWidget(m_timePicker2, 2, 5);
    grid->addWidget(m_timeTolerance, 3, 1);
    grid->addWidget(m_timeToleranceMinutes, 3, 2);
    grid->addWidget(new QLabel(QStringLiteral("minutes.")), 3, 3);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(6, 1);
    return page;
}

QWidget *TSearchForm::createLimitPage()
{
    auto *page = named(new QWidget, "LimitSheet");
    m_scope = named(new TScopeTree(m_forest), "CatalogTree");
    m_includeAll = named(new QPushButton(QStringLiteral("&Include All")), "IncludeBtn");
    m_excludeAll = named(new QPushButton(QStringLiteral("E&xclude All")), "ExcludeBtn");
    for (QPushButton *b : {m_includeAll, m_excludeAll})
        b->setAutoDefault(false);
    connect(m_scope, &TScopeTree::scopeChanged, this, &TSearchForm::updateScopeButtons);
    connect(m_includeAll, &QPushButton::clicked, this, [this] {
        if (searching())
            return;
        IncludeAll(m_forest, true);
        m_scope->rebuild();
        updateScopeButtons();
    });
    connect(m_excludeAll, &QPushButton::clicked, this, [this] {
        if (searching())
            return;
        IncludeAll(m_forest, false);
        m_scope->rebuild();
        updateScopeButtons();
    });
    auto *v = new QVBoxLayout(page);
    v->addWidget(new QLabel(QStringLiteral("Search only in selected catalogs:")));
    auto *row = new QHBoxLayout;
    row->addWidget(m_scope, 1);
    auto *side = new QVBoxLayout;
    side->addWidget(m_includeAll);
    side->addWidget(m_excludeAll);
    side->addStretch(1);
    row->addLayout(side);
    v->addLayout(row, 1);
    return page;
}

QWidget *TSearchForm::createSettingsPage()
{
    auto *page = named(new QWidget, "SettingsSheet");
    m_normalMode = named(new QRadioButton(QStringLiteral("Normal search")), "NormalSearchCheck");
    m_duplicateMode = named(new QRadioButton(QStringLiteral("Search for Duplicate Items")), "DuplicateSearchCheck");
    connect(m_duplicateMode, &QRadioButton::toggled, this, [this](bool on) {
        if (m_syncing || searching() || on == m_work.duplicatesMode)
            return;
        m_work.duplicatesMode = on;
        setupSearchDialog();
    });

    m_normalGroup = named(new QGroupBox(QStringLiteral("Normal Search Settings")), "NormalGroup");
    m_searchType = named(new QComboBox, "SearchTypeCombo");
    m_searchType->addItems({QStringLiteral("All conditions must be fulfilled"),
                            QStringLiteral("At least one condition must be fulfilled")});
    m_searchTypeLabel = new QLabel(QStringLiteral("Search type:"));
    m_limitFound = named(new QCheckBox(QStringLiteral("Stop searching when found")), "LimitFoundCheck");
    m_maxFound = named(new QSpinBox, "MaxFoundNum");
    m_maxFound->setRange(1, kMaxFoundLimit);
    m_itemsLabel = new QLabel(QStringLiteral("items."));
    connect(m_searchType, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (!m_syncing && i >= 0)
            m_work.searchType = i;
    });
    connect(m_limitFound, &QCheckBox::toggled, this, [this](bool on) {
        if (m_syncing)
            return;
        m_work.limitFound = on;
        settingsPageChanged();
    });
    connect(m_maxFound, &QSpinBox::valueChanged, this, [this](int v) {
        if (!m_syncing)
            m_work.maxFound = v;
    });
    auto *ng = new QGridLayout(m_normalGroup);
    ng->addWidget(m_searchTypeLabel, 0, 0);
    ng->addWidget(m_searchType, 0, 1, 1, 2);
    ng->addWidget(m_limitFound, 1, 0);
    ng->addWidget(m_maxFound, 1, 1);
    ng->addWidget(m_itemsLabel, 1, 2);

    m_dupGroup = named(new QGroupBox(QStringLiteral("Duplicates Search Settings")), "DuplicatesGroup");
    m_dupLabel = new QLabel(QStringLiteral("Files or folders are considered the same when they have the same:"));
    m_dupName = named(new QCheckBox(QStringLiteral("Name")), "DuplicateNameCheck");
    m_dupSize = named(new QCheckBox(QStringLiteral("Size")), "DuplicateSizeCheck");
    m_dupDate = named(new QCheckBox(QStringLiteral("Date and Time")), "DuplicateDateCheck");
    m_dupAttr = named(new QCheckBox(QStringLiteral("Attributes")), "DuplicateAttrCheck");
    m_dupArchives = named(new QCheckBox(QStringLiteral("Don't search for duplicates inside compressed files")),
                          "DuplicateArchivesCheck");
    m_dupSingle = named(new QCheckBox(QStringLiteral("List the files of the chosen disks that have no duplicate "
                                                     "on any other disk")),
                        "DuplicateSingleCheck");
    auto dupBox = [this](QCheckBox *box, bool TSearchWork::*field) {
        connect(box, &QCheckBox::toggled, this, [this, field](bool on) {
            if (!m_syncing)
                m_work.*field = on;
        });
    };
    dupBox(m_dupName, &TSearchWork::dupName);
    dupBox(m_dupSize, &TSearchWork::dupSize);
    dupBox(m_dupDate, &TSearchWork::dupDate);
    dupBox(m_dupAttr, &TSearchWork::dupAttr);
    dupBox(m_dupArchives, &TSearchWork::dupSkipArchives);
    dupBox(m_dupSingle, &TSearchWork::dupSingleCopy);
    auto *dg = new QGridLayout(m_dupGroup);
    dg->addWidget(m_dupLabel, 0, 0, 1, 4);
    dg->addWidget(m_dupName, 1, 0);
    dg->addWidget(m_dupSize, 1, 1);
    dg->addWidget(m_dupDate, 1, 2);
    dg->addWidget(m_dupAttr, 1, 3);
    dg->addWidget(m_dupArchives, 2, 0, 1, 4);
    dg->addWidget(m_dupSingle, 3, 0, 1, 4);

    auto *v = new QVBoxLayout(page);
    auto *modes = new QHBoxLayout;
    modes->addWidget(m_normalMode);
    modes->addWidget(m_duplicateMode);
    modes->addStretch(1);
    v->addLayout(modes);
    v->addWidget(m_normalGroup);
    v->addWidget(m_dupGroup);
    v->addStretch(1);
    return page;
}
