// The manual viewer: contents, keyword index and full-text search of the help file on the
// left, the pages on the right. Each window builds its own help collection from the help
// file, so an outdated collection of an earlier run never shows.
#pragma once

#include <QMainWindow>

class QHelpEngine;
class QLineEdit;
class QSplitter;

namespace Tervane3 {

class HelpBrowser;

class HelpWindow : public QMainWindow {
    Q_OBJECT

public:
    HelpWindow(const QString& qchPath, QWidget* parent = nullptr);
    ~HelpWindow() override;

    // The collection file a window rebuilds: "<cache folder>/tervane3-help.qhc". A window
    // opened while another is still open builds "tervane3-help-<n>.qhc" (n = 2, 3, ...)
    // instead, so it never deletes the database under the open window's engine.
    static QString collectionFilePath(int slot = 0);

private:
    int collectionSlot = 0;
    QHelpEngine* helpEngine = nullptr;
    HelpBrowser* browser = nullptr;
    QSplitter* splitter = nullptr;
    QLineEdit* indexFilter = nullptr;
};

} // namespace Tervane3
