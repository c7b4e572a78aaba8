// The properties dialog and the advanced disk window (see PropertiesForm.h).
#include "widgets/ui/PropertiesForm.h"

#include "catalog/Forest.h"
#include "platform/Texts.h"
#include "widgets/ui/DescMenu.h"
#include "widgets/ui/Fonts.h"
#include "widgets/ui/Icons.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWindow>

namespace {

TPropertiesHooks g_hooks;
QPointer<TPropertiesForm> g_dialog;

// The dialog has no parent window: it goes when the application does.
void deleteDialog()
{
    delete g_dialog.data();
}

const char *const kMemoNames[] = {"Memo1", "Memo2", "Memo3", "Memo4"};
const char *const kSheetNames[] = {"FileSheet", "DirectorySheet", "DiskSheet", "CatalogSheet"};

QLabel *valueLabel(const QString &text)
{
    auto *label = new QLabel(text);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void fillRows(QFormLayout *form, const std::vector<TPropRow> &rows)
{
    for (const TPropRow &r : rows) {
        // The disk's compressed mark is a check box that only shows.
        if (r.caption == QLatin1String("Volume is Compressed")) {
            auto *box = new QCheckBox(r.caption);
            box->setObjectName(QStringLiteral("CompressedBox"));
            box->setChecked(r.value == QLatin1String("yes"));
            box->setEnabled(false);
            form->addRow(box);
            continue;
        }
        form->addRow(r.caption, valueLabel(r.value));
    }
}

QString rowOf(const QWidget *holder, const QString &caption)
{
    const auto *form = holder ? qobject_cast<QFormLayout *>(holder->layout()) : nullptr;
    if (!form)
        return {};
    for (int i = 0; i < form->rowCount(); ++i) {
        const auto *label = qobject_cast<QLabel *>(form->itemAt(i, QFormLayout::LabelRole)
                                                       ? form->itemAt(i, QFormLayout::LabelRole)->widget()
                                                       : nullptr);
        const auto *field = qobject_cast<QLabel *>(form->itemAt(i, QFormLayout::FieldRole)
                                                       ? form->itemAt(i, QFormLayout::FieldRole)->widget()
                                                       : nullptr);
        if (label && field && label->text() == caption)
            return field->text();
    }
    return {};
}

} // namespace

// ---- the chart

TPieChart::TPieChart(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PieChart"));
    setMinimumSize(240, 120);
}

void TPieChart::setSlices(const std::vector<TPieSlice> &slices)
{
    m_slices = slices;
    update();
}

void TPieChart::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(width() / 2, height()) - 8;
    if (side <= 0)
        return;
    const QRectF pie(4, (height() - side) / 2.0, side, side);
    int start = 90 * 16;   // from twelve o'clock, clockwise
    for (const TPieSlice &s : m_slices) {
        const int span = -s.value * 360 * 16 / 100;
        p.setBrush(QColor::fromRgb(s.rgb));
        p.setPen(palette().color(QPalette::WindowText));
        if (s.value >= 100)
            p.drawEllipse(pie);
        else
            p.drawPie(pie, start, span);
        start += span;
    }
    // The legend beside the pie.
    const int x = int(pie.right()) + 16;
    int y = int(pie.top()) + 4;
    const int box = fontMetrics().height() - 4;
    for (const TPieSlice &s : m_slices) {
        p.setBrush(QColor::fromRgb(s.rgb));
        p.drawRect(x, y, box, box);
        p.drawText(x + box + 6, y + box, s.label);
        y += fontMetrics().height() + 4;
    }
}

// ---- the advanced disk window

TAdvDiskForm::TAdvDiskForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AdvDiskForm"));
    setWindowTitle(QStringLiteral("Advanced Disk Info"));
    auto *layout = new QVBoxLayout(this);
    m_name = new QLabel;
    QFont bold = m_name->font();
    bold.setBold(true);
    m_name->setFont(bold);
    layout->addWidget(m_name);
    m_rows = new QWidget;
    m_rows->setLayout(new QFormLayout);
    layout->addWidget(m_rows);
    m_chart = new TPieChart;
    layout->addWidget(m_chart, 1);
    m_footer = new QLabel;
    m_footer->setObjectName(QStringLiteral("ChartFooter"));
    m_footer->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_footer);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

void TAdvDiskForm::fill(const TAdvDiskData &adv)
{
    m_data = adv;
    m_name->setText(adv.name);
    auto *form = static_cast<QFormLayout *>(m_rows->layout());
    while (form->rowCount() > 0)
        form->removeRow(0);
    fillRows(form, adv.rows);
    m_chart->setSlices(adv.slices);
    m_footer->setText(adv.footer);
}

QString TAdvDiskForm::rowText(const QString &caption) const
{
    return rowOf(m_rows, caption);
}

QString TAdvDiskForm::footer() const
{
    return m_footer->text();
}

// ---- the properties dialog

void SetPropertiesHooks(TPropertiesHooks hooks)
{
    g_hooks = std::move(hooks);
}

TPropertiesForm::TPropertiesForm(QWidget *parent) : QDialog(parent), m_descFont(SlotFont(g_hooks.descFont))
{
    setObjectName(QStringLiteral("PropertiesForm"));
    setWindowTitle(QStringLiteral("Properties"));
    auto *layout = new QVBoxLayout(this);
    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("Pages"));
    layout->addWidget(m_tabs);
    auto *buttons = new QDialogButtonBox;
    QPushButton *ok = buttons->addButton(QStringLiteral("&OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OKBtn"));
    ok->setDefault(true);
    m_cancel = buttons->addButton(QStringLiteral("C&ancel"), QDialogButtonBox::RejectRole);
    m_cancel->setObjectName(QStringLiteral("CancelBtn"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    m_adv = new TAdvDiskForm(this);
    resize(440, 520);
}

QWidget *TPropertiesForm::buildPage(const TPropPageData &page)
{
    const int index = int(page.kind);
    auto *sheet = new QWidget;
    sheet->setObjectName(QLatin1String(kSheetNames[index]));
    auto *layout = new QVBoxLayout(sheet);
    auto *name = new QLabel(page.name);
    name->setObjectName(QStringLiteral("NameLabel"));
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    layout->addWidget(name);
    auto *rows = new QWidget;
    rows->setObjectName(QStringLiteral("Rows"));
    auto *form = new QFormLayout(rows);
    form->setContentsMargins(0, 0, 0, 0);
    fillRows(form, page.rows);
    layout->addWidget(rows);

    PageControls controls{page.kind};
    if (page.kind == TPropPage::File || page.kind == TPropPage::Folder) {
        const QString n = QString::number(index + 1);
        auto *line = new QHBoxLayout;
        controls.category = new QComboBox;
        controls.category->setObjectName(QStringLiteral("CategoryList") + n);
        controls.category->addItems(m_data.categoryNames);
        controls.category->setCurrentIndex(page.categoryIndex);
        controls.category->setEnabled(m_data.categoriesEnabled);
        line->addWidget(new QLabel(QStringLiteral("Category:")));
        line->addWidget(controls.category, 1);
        auto *flags = new QPushButton(QStringLiteral("&Flags"));
        flags->setObjectName(QStringLiteral("FlagsBtn") + n);
        controls.flags = new QMenu(flags);
        controls.flags->setObjectName(QStringLiteral("FlagsPopup") + n);
        for (size_t i = 0; i < m_data.flagNumbers.size(); ++i) {
            QAction *a = controls.flags->addAction(m_data.flagNames[qsizetype(i)]);
            a->setCheckable(true);
            a->setData(m_data.flagNumbers[i]);
            a->setChecked(page.flagChecked[m_data.flagNumbers[i] - 1]);
        }
        flags->setEnabled(!m_data.flagNumbers.empty());
        QMenu *menu = controls.flags;
        connect(flags, &QPushButton::clicked, this,
                [flags, menu] { menu->popup(flags->mapToGlobal(QPoint(0, flags->height()))); });
        line->addWidget(flags);
        controls.edit = new QPushButton(QStringLiteral("&Edit"));
        controls.edit->setObjectName(QStringLiteral("EditCatBtn") + n);
        controls.edit->setEnabled(bool(g_hooks.editCategories));
        connect(controls.edit, &QPushButton::clicked, this, &TPropertiesForm::editCategories);
        line->addWidget(controls.edit);
        layout->addLayout(line);
        // The attributes, shown only.
        auto *attrs = new QHBoxLayout;
        const std::pair<const char *, uint8_t> boxes[] = {
            {"Archive", faArchive}, {"Hidden", faHidden}, {"System", faSystem}, {"Read-Only", faReadOnly}};
        for (const auto &[caption, bit] : boxes) {
            auto *box = new QCheckBox(QLatin1String(caption));
            box->setChecked(page.attr & bit);
            box->setEnabled(false);
            attrs->addWidget(box);
        }
        layout->addLayout(attrs);
    }
    if (page.kind == TPropPage::Disk) {
        m_advButton = new QPushButton(QStringLiteral("Advanced >>"));
        m_advButton->setObjectName(QStringLiteral("DiskAdvButton"));
        connect(m_advButton, &QPushButton::clicked, this, [this] {
            m_advButton->setEnabled(false);
            m_adv->exec();
            m_advButton->setEnabled(true);
        });
        layout->addWidget(m_advButton, 0, Qt::AlignRight);
    }
    auto *descLabel = new QLabel(page.descLabel);
    descLabel->setEnabled(page.descEnabled);
    layout->addWidget(descLabel);
    controls.memo = new QPlainTextEdit;
    controls.memo->setObjectName(QLatin1String(kMemoNames[index]));
    controls.memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    controls.memo->setPlainText(PlainLineBreaks(DecodeStored(page.desc)));
    controls.memo->setFont(m_descFont);
    controls.memo->setEnabled(page.descEnabled);
    // A box that takes no text has the buttons' colour, not the window's.
    QPalette colours = controls.memo->palette();
    colours.setColor(QPalette::Disabled, QPalette::Base, colours.color(QPalette::Active, QPalette::Button));
    controls.memo->setPalette(colours);
    AttachDescMenu(controls.memo);
    controls.memo->installEventFilter(this);
    // At most 4096 characters, as the records keep.
    QPlainTextEdit *memo = controls.memo;
    connect(memo, &QPlainTextEdit::textChanged, this, [memo] {
        const QString text = memo->toPlainText();
        if (text.size() > kMaxCountedText) {
            QTextCursor c = memo->textCursor();
            memo->setPlainText(text.left(kMaxCountedText));
            c.setPosition(std::min(c.position(), int(kMaxCountedText)));
            memo->setTextCursor(c);
        }
    });
    layout->addWidget(controls.memo, 1);
    m_controls.push_back(controls);
    return sheet;
}

void TPropertiesForm::fill(const TPropertiesData &data)
{
    m_data = data;
    m_controls.clear();
    m_advButton = nullptr;
    // The pages go later: a refill may come from a button on one of them.
    while (m_tabs->count() > 0) {
        QWidget *w = m_tabs->widget(0);
        m_tabs->removeTab(0);
        w->setParent(nullptr);
        w->deleteLater();
    }
    for (const TPropPageData &page : m_data.pages)
        m_tabs->addTab(buildPage(page), page.caption);
    if (m_data.hasDisk)
        m_adv->fill(m_data.adv);
    if (m_tabs->count() > 0) {
        m_tabs->setCurrentIndex(0);
        m_controls.front().memo->setFocus();
    }
}

const TPropertiesForm::PageControls *TPropertiesForm::controls(TPropPage kind) const
{
    for (const PageControls &c : m_controls)
        if (c.kind == kind)
            return &c;
    return nullptr;
}

QPlainTextEdit *TPropertiesForm::memo(TPropPage kind) const
{
    return control(kind, &PageControls::memo);
}

QComboBox *TPropertiesForm::categoryList(TPropPage kind) const
{
    return control(kind, &PageControls::category);
}

QMenu *TPropertiesForm::flagsMenu(TPropPage kind) const
{
    return control(kind, &PageControls::flags);
}

QPushButton *TPropertiesForm::editButton(TPropPage kind) const
{
    return control(kind, &PageControls::edit);
}

void TPropertiesForm::fillFor(TTreeNode *node, TFileRec *file, const TPropertiesContext &context,
                              const TDiskRec *workDisk)
{
    m_node = node;
    m_file = file;
    m_context = context;
    m_workDisk = node ? nullptr : workDisk;
    refill();
}

void TPropertiesForm::refill()
{
    fill(FillProperties(m_node, m_file, m_context, m_workDisk));
}

void TPropertiesForm::editCategories()
{
    if (!g_hooks.editCategories || !g_hooks.editCategories())
        return;
    // Category and flag names may have changed.
    refill();
    if (g_hooks.categoriesChanged)
        g_hooks.categoriesChanged();
}

bool TPropertiesForm::eventFilter(QObject *watched, QEvent *event)
{
    // Escape in a description box presses "C&ancel".
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
        && qobject_cast<QPlainTextEdit *>(watched)) {
        m_cancel->click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

TPropertiesEdits TPropertiesForm::edits() const
{
    TPropertiesEdits edits;
    for (const PageControls &c : m_controls) {
        TPropPageEdits e;
        e.desc = EncodeStored(c.memo->toPlainText());
        if (c.category)
            e.categoryIndex = c.category->currentIndex();
        if (c.flags)
            for (const QAction *a : c.flags->actions()) {
                const int k = a->data().toInt();
                if (k >= 1 && k <= 3)
                    e.flagChecked[k - 1] = a->isChecked();
            }
        edits.pages.push_back({c.kind, e});
    }
    return edits;
}

TPropertiesForm &PropertiesDialog()
{
    if (!g_dialog) {
        g_dialog = new TPropertiesForm;
        qAddPostRoutine(deleteDialog);
    }
    return *g_dialog;
}

namespace {

// The file type names of the desktop's MIME database.
TPropertiesContext desktopContext()
{
    TPropertiesContext context;
    context.typeName = [](const QString &extension) {
        const QString name = FileTypes().typeName(QStringLiteral("x.") + extension.toLower());
        return name == QLatin1String("(unknown)") ? QString() : name;
    };
    return context;
}

// Runs the dialog over parent's window; true when it closed with OK.
bool execOver(TPropertiesForm &form, QWidget *parent)
{
    form.winId();
    if (QWidget *owner = parent ? parent->window() : nullptr; owner && owner->windowHandle())
        form.windowHandle()->setTransientParent(owner->windowHandle());
    const bool accepted = form.exec() == QDialog::Accepted;
    form.windowHandle()->setTransientParent(nullptr);
    return accepted;
}

} // namespace

TPropertiesApplied ShowProperties(QWidget *parent, TTreeNode *node, TFileRec *file)
{
    TPropertiesForm &form = PropertiesDialog();
    form.fillFor(node, file, desktopContext());
    const bool accepted = execOver(form, parent);
    // The records it shows may go once it is closed.
    TPropertiesApplied applied;
    if (accepted)
        applied = ApplyProperties(form.data(), form.edits());
    form.fillFor(nullptr, nullptr);
    return applied;
}

void ShowWorkDiskProperties(QWidget *parent, const TDiskRec &work, QChar letter, TTreeNode *updateCatalog)
{
    TPropertiesContext context = desktopContext();
    context.driveLetter = letter;
    context.updateCatalog = updateCatalog;
    TPropertiesForm &form = PropertiesDialog();
    form.fillFor(nullptr, nullptr, context, &work);
    execOver(form, parent);
    form.fillFor(nullptr, nullptr);
}
