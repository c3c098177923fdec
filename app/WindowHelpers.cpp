// Implementation of the shared window helpers.
#include "app/WindowHelpers.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>

#include <algorithm>

namespace Tervane3 {

namespace {

// The extensions a filter names, in its order: "Images (*.png *.jpg)" gives ".png", ".jpg".
QStringList filterExtensions(const QString& filter)
{
    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9.]+)"));
    QStringList extensions;
    QRegularExpressionMatchIterator it = pattern.globalMatch(filter);
    while (it.hasNext()) {
        QString ext = QLatin1Char('.') + it.next().captured(1).toLower();
        while (ext.endsWith(QLatin1Char('.')))
            ext.chop(1);
        if (ext.size() > 1 && !extensions.contains(ext))
            extensions << ext;
    }
    return extensions;
}

bool endsWithAny(const QString& fileName, const QStringList& extensions)
{
    const QString lower = fileName.toLower();
    return std::any_of(extensions.begin(), extensions.end(),
                       [&lower](const QString& ext) { return lower.endsWith(ext); });
}

} // namespace

QString ensureFilterExtension(const QString& fileName, const QString& selectedFilter)
{
    if (fileName.isEmpty())
        return fileName;
    const QStringList extensions = filterExtensions(selectedFilter);
    if (extensions.isEmpty() || endsWithAny(fileName, extensions))
        return fileName;
    return fileName + extensions.first();
}

QString ensureOfferedExtension(const QString& fileName, const QString& selectedFilter, const QString& offeredFilters)
{
    if (!fileName.isEmpty() && endsWithAny(fileName, filterExtensions(offeredFilters)))
        return fileName;
    return ensureFilterExtension(fileName, selectedFilter);
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
