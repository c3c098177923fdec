// Resource loading of the manual's browser.
#include "services/HelpBrowser.h"

#include <QHelpEngineCore>

namespace Tervane3 {

HelpBrowser::HelpBrowser(QHelpEngineCore* helpEngine, QWidget* parent)
    : QTextBrowser(parent)
    , engine(helpEngine)
{
}

QVariant HelpBrowser::loadResource(int type, const QUrl& url)
{
    // Whatever kind of resource is asked for, the help file holds its bytes; an address
    // the file lacks yields empty bytes and so an empty page.
    if (url.scheme() == QLatin1String("qthelp"))
        return QVariant(engine->fileData(url));
    return QTextBrowser::loadResource(type, url);
}

} // namespace Tervane3
