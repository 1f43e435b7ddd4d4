#pragma once

#include "app/AbsTreeItemModel.h"

#include <QList>
#include <QStringList>

class MainWindow;
class QAction;

// The tree of the main window as the user sees and uses it.
namespace MainWindowTree
{
// Waits (at most 10 s) until the remembered backups the window lists have been read, each on a
// thread of its own; false when a read is still under way.
bool listedRead(const MainWindow& w);
// Selects node in the window's tree, as a click on it does, then waits (at most 30 s) until its page
// stands with its data read; false when it did not.
bool select(MainWindow& w, const AbsTreeItemModel::_ItemNode* node);
// Selects node without waiting for its page.
void click(MainWindow& w, const AbsTreeItemModel::_ItemNode* node);
// Waits (at most ms) until the page shown stands with its data read; false when it does not.
bool pageRead(const MainWindow& w, int ms = 30000);
// The texts the nodes show.
QStringList texts(const QList<AbsTreeItemModel::_ItemNode*>& nodes);
// The texts of a menu's actions, "|" for a separator.
QStringList actionTexts(const QList<QAction*>& actions);
} // namespace MainWindowTree
