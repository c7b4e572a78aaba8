// The four view styles the item lists share (the main window's list, the
// found list, the user list): a details view beside an icon view that shows
// large icons, small icons or a list, and the four checkable commands that
// switch between them. A window keeps both views over one model and one
// selection model and shows one of them.
#pragma once

#include <QString>

#include <array>
#include <functional>

class QAbstractItemView;
class QAction;
class QListView;
class QObject;
class QStackedWidget;
class QWidget;

// The styles in the order of the stored view style byte.
enum TViewStyle : int { vsIcons = 0, vsSmallIcons = 1, vsList = 2, vsDetails = 3 };

// Lays the icon view out for vsIcons, vsSmallIcons or vsList (vsDetails
// leaves it as it is: the window shows its details view instead).
void ApplyIconViewStyle(QListView *view, int style);

// The icon view beside details, over its model and its selection model,
// owned by parent; both views select whole rows, several at once, and never
// edit.
QListView *CreateIconView(QAbstractItemView *details, const QString &objectName, QWidget *parent);

// Shows in stack the details view for vsDetails, else the icon view laid out
// for style, with painting suspended; the keyboard focus stays in the list
// and the focused row in sight (the views share their selection model).
void ShowViewStyle(QStackedWidget *stack, QAbstractItemView *details, QListView *icons, int style);

// "View Large Icons", "View Small Icons", "View List", "View Details": four
// checkable actions named BtnLargeIcons, BtnSmallIcons, BtnList, BtnDetails,
// owned by parent, each calling choose with its style.
std::array<QAction *, 4> CreateViewStyleActions(QObject *parent, const std::function<void(int style)> &choose);
// Checks the action of style and unchecks the others.
void CheckViewStyleAction(const std::array<QAction *, 4> &actions, int style);
