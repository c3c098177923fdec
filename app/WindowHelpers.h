// Small helpers shared by the main window and the tool windows: completing a file name
// from the selected filter of a save dialog, and the "Keep on Top" entry of a View menu.
#pragma once

#include <QString>

class QAction;
class QMainWindow;
class QMenu;

namespace Tervane3 {

// Appends the first extension of the selected filter ("PNG Images (*.png)") unless the
// name already ends with one of the filter's extensions (case-insensitive). An empty name
// and a filter without extensions ("All Files (*)") leave the name unchanged.
QString ensureFilterExtension(const QString& fileName, const QString& selectedFilter);

// For dialogs whose file's format follows its extension: a name that already ends with an
// extension of any offered filter (the dialog's whole ";;"-separated filter text) keeps it,
// so a typed "plot.pdf" is a PDF while the type box still says PNG; any other name is
// completed as by ensureFilterExtension from the selected filter.
QString ensureOfferedExtension(const QString& fileName, const QString& selectedFilter, const QString& offeredFilters);

// The window's View menu (title "View" without "&", any case), or a new "&View" menu at
// the end of its menu bar.
QMenu* findOrCreateViewMenu(QMainWindow* window);

// Adds the checkable "Keep on &Top" entry to the window's View menu; null for a null window.
QAction* addKeepOnTopAction(QMainWindow* window);

} // namespace Tervane3
