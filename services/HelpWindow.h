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

    // The collection file every window rebuilds: "<cache folder>/tervane3-help.qhc".
    static QString collectionFilePath();

private:
    QHelpEngine* helpEngine = nullptr;
    HelpBrowser* browser = nullptr;
    QSplitter* splitter = nullptr;
    QLineEdit* indexFilter = nullptr;
};

} // namespace Tervane3
