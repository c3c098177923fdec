// Text browser for the manual: pages, images and style sheets with a "qthelp" address are
// served from the registered help file instead of the file system or the network.
#pragma once

#include <QTextBrowser>

class QHelpEngineCore;

namespace Tervane3 {

class HelpBrowser : public QTextBrowser {
    Q_OBJECT

public:
    // The engine is not owned; it must outlive the browser (the help window owns both).
    explicit HelpBrowser(QHelpEngineCore* helpEngine, QWidget* parent = nullptr);

    QVariant loadResource(int type, const QUrl& url) override;

private:
    QHelpEngineCore* engine;
};

} // namespace Tervane3
