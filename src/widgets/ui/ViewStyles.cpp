// The item lists' view styles.
#include "widgets/ui/ViewStyles.h"

#include "widgets/ui/Icons.h"

#include <QAction>
#include <QListView>
#include <QStackedWidget>

void ApplyIconViewStyle(QListView *view, int style)
{
    if (!view || style < vsIcons || style >= vsDetails)
        return;
    const bool large = style == vsIcons;
    view->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    view->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    // Small icons run in rows, the list in columns; both wrap at the edge.
    view->setFlow(style == vsList ? QListView::TopToBottom : QListView::LeftToRight);
    view->setWrapping(true);
    view->setResizeMode(QListView::Adjust);
    view->setMovement(QListView::Static);
    // A large icon's cell holds its name in two lines below it.
    view->setGridSize(large ? QSize(96, 64) : QSize());
    view->setWordWrap(large);
}

QListView *CreateIconView(QAbstractItemView *details, const QString &objectName, QWidget *parent)
{
    auto *icons = new QListView(parent);
    icons->setObjectName(objectName);
    icons->setModel(details->model());
    icons->setSelectionModel(details->selectionModel());
    icons->setLayoutMode(QListView::Batched);
    icons->setUniformItemSizes(true);
    for (QAbstractItemView *view : {details, static_cast<QAbstractItemView *>(icons)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    }
    return icons;
}

void ShowViewStyle(QStackedWidget *stack, QAbstractItemView *details, QListView *icons, int style)
{
    QAbstractItemView *shown = style == vsDetails ? details : icons;
    const bool hadFocus = stack->currentWidget() && stack->currentWidget()->hasFocus();
    // Painted once, in the new style.
    stack->setUpdatesEnabled(false);
    if (style != vsDetails)
        ApplyIconViewStyle(icons, style);
    stack->setCurrentWidget(shown);
    if (const QModelIndex current = shown->currentIndex(); current.isValid())
        shown->scrollTo(current);
    if (hadFocus)
        shown->setFocus();
    stack->setUpdatesEnabled(true);
}

std::array<QAction *, 4> CreateViewStyleActions(QObject *parent, const std::function<void(int style)> &choose)
{
    static const struct {
        const char *name, *hint;
        TAppImage icon;
    } styles[] = {
        {"BtnLargeIcons", "View Large Icons", TAppImage::ViewIcons},
        {"BtnSmallIcons", "View Small Icons", TAppImage::ViewSmallIcons},
        {"BtnList", "View List", TAppImage::ViewList},
        {"BtnDetails", "View Details", TAppImage::ViewDetails},
    };
    std::array<QAction *, 4> actions{};
    for (int i = 0; i < 4; ++i) {
        auto *a = new QAction(AppIcon(styles[i].icon), QLatin1String(styles[i].hint), parent);
        a->setObjectName(QLatin1String(styles[i].name));
        a->setCheckable(true);
        QObject::connect(a, &QAction::triggered, parent, [choose, i] { choose(i); });
        actions[size_t(i)] = a;
    }
    return actions;
}

void CheckViewStyleAction(const std::array<QAction *, 4> &actions, int style)
{
    for (int i = 0; i < 4; ++i)
        if (actions[size_t(i)])
            actions[size_t(i)]->setChecked(i == style);
}
