// Implementation of the shared window helpers.
#include "app/WindowHelpers.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>

namespace Tervane3 {

QString ensureFilterExtension(const QString& fileName, const QString& selectedFilter)
{
    if (fileName.isEmpty())
        return fileName;
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9.]+)"));
    QStringList extensions;
    QRegularExpressionMatchIterator it = pattern.globalMatch(selectedFilter);
    while (it.hasNext()) {
        QString ext = QLatin1Char('.') + it.next().captured(1).toLower();
        while (ext.endsWith(QLatin1Char('.')))
            ext.chop(1);
        if (ext.size() > 1 && !extensions.contains(ext))
            extensions << ext;
    }
    if (extensions.isEmpty())
        return fileName;
    const QString lower = fileName.toLower();
    for (const QString& ext : extensions) {
        if (lower.endsWith(ext))
            return fileName;
    }
    return fileName + extensions.first();
}

QMenu* findOrCreateViewMenu(QMainWindow* window)
{
    QMenuBar* bar = window->menuBar();
    const QList<QAction*> actions = bar->actions();
    for (QAction* action : actions) {
        QMenu* menu = action->menu();
        if (!menu)
            continue;
        QString title = menu->title();
        title.remove(QLatin1Char('&'));
        if (title.compare(QLatin1String("View"), Qt::CaseInsensitive) == 0)
            return menu;
    }
    return bar->addMenu(QStringLiteral("&View"));
}

QAction* addKeepOnTopAction(QMainWindow* window)
{
    if (!window)
        return nullptr;
    QMenu* viewMenu = findOrCreateViewMenu(window);
    auto* action = new QAction(QStringLiteral("Keep on &Top"), window);
    action->setCheckable(true);
    action->setChecked(false);
    action->setToolTip(QStringLiteral("Keep this window above the main window."));
    viewMenu->addAction(action);
    QObject::connect(action, &QAction::toggled, window, [window](bool on) {
        // Changing a window flag hides the window; show it again where it was.
        const QPoint position = window->pos();
        const QSize size = window->size();
        window->setWindowFlag(Qt::WindowStaysOnTopHint, on);
        window->show();
        window->resize(size);
        window->move(position);
    });
    return action;
}

} // namespace Tervane3
