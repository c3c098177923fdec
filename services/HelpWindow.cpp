// The manual window on a help engine of its own.
#include "services/HelpWindow.h"

#include "services/HelpBrowser.h"

#include <QDir>
#include <QFile>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpIndexWidget>
#include <QHelpLink>
#include <QHelpSearchEngine>
#include <QHelpSearchQueryWidget>
#include <QHelpSearchResultWidget>
#include <QLineEdit>
#include <QSet>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace Tervane3 {

namespace {
// Collection slots taken by the open windows (GUI thread only).
QSet<int>& slotsInUse()
{
    static QSet<int> inUse;
    return inUse;
}
} // namespace

QString HelpWindow::collectionFilePath(int slot)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (slot <= 0)
        return folder + QStringLiteral("/tervane3-help.qhc");
    return folder + QStringLiteral("/tervane3-help-%1.qhc").arg(slot + 1);
}

HelpWindow::~HelpWindow()
{
    slotsInUse().remove(collectionSlot);
}

HelpWindow::HelpWindow(const QString& qchPath, QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(tr("Tervane3 Manual"));
    resize(900, 600);

    // Start from an empty collection every time: the engine keeps the registered files in
    // it, and a collection left by an older program version may point at another help file.
    // Two open windows must not share one collection: removing it under the first window's
    // engine leaves that window (and, through the shared database connection, sometimes the
    // new one) without pages.
    while (slotsInUse().contains(collectionSlot))
        ++collectionSlot;
    slotsInUse().insert(collectionSlot);
    const QString collection = collectionFilePath(collectionSlot);
    QDir().mkpath(QFileInfo(collection).absolutePath());
    QFile::remove(collection);
    QFile::remove(collection + QStringLiteral("-journal"));

    helpEngine = new QHelpEngine(collection, this);
    // Without the filter engine the full-text search of Qt 5 only matches documents of the
    // current custom filter, and the manual declares none: every search would come back empty.
    helpEngine->setUsesFilterEngine(true);
    helpEngine->setupData();
    const bool registered = helpEngine->registerDocumentation(qchPath);

    auto* tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("helpTabs"));
    QHelpContentWidget* contents = helpEngine->contentWidget();
    tabs->addTab(contents, tr("Contents"));

    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexFilter = new QLineEdit;
    indexFilter->setObjectName(QStringLiteral("indexFilter"));
    indexFilter->setPlaceholderText(tr("Filter keywords..."));
    QHelpIndexWidget* index = helpEngine->indexWidget();
    indexLayout->addWidget(indexFilter);
    indexLayout->addWidget(index);
    tabs->addTab(indexPage, tr("Index"));

    QHelpSearchEngine* search = helpEngine->searchEngine();
    auto* searchPage = new QWidget;
    auto* searchLayout = new QVBoxLayout(searchPage);
    QHelpSearchQueryWidget* query = search->queryWidget();
    QHelpSearchResultWidget* results = search->resultWidget();
    searchLayout->addWidget(query);
    searchLayout->addWidget(results);
    tabs->addTab(searchPage, tr("Search"));

    browser = new HelpBrowser(helpEngine, this);
    browser->setObjectName(QStringLiteral("helpBrowser"));
    browser->setOpenExternalLinks(false);

    splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(tabs);
    splitter->addWidget(browser);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({250, 650});
    setCentralWidget(splitter);

    connect(contents, &QHelpContentWidget::linkActivated, browser,
        [this](const QUrl& link) { browser->setSource(link); });
    connect(index, &QHelpIndexWidget::documentActivated, browser,
        [this](const QHelpLink& document, const QString&) { browser->setSource(document.url); });
    connect(results, &QHelpSearchResultWidget::requestShowLink, browser,
        [this](const QUrl& link) { browser->setSource(link); });
    connect(indexFilter, &QLineEdit::textChanged, index,
        [index](const QString& text) { index->filterIndices(text); });
    connect(query, &QHelpSearchQueryWidget::search, search,
        [search, query]() { search->search(query->searchInput()); });

    const QString documentation = QHelpEngineCore::namespaceName(qchPath);
    if (!registered || documentation.isEmpty()) {
        // The tabs stay empty; say why instead of showing a blank page.
        browser->setHtml(tr("<p>The manual could not be loaded from the help file:</p><p>%1</p>")
                             .arg(qchPath.toHtmlEscaped()));
        return;
    }

    search->reindexDocumentation();
    browser->setSource(QUrl(QStringLiteral("qthelp://%1/manual/index.html").arg(documentation)));
}

} // namespace Tervane3
