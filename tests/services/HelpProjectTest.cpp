// The manual's help project holds together: every listed file exists, every page is listed
// and in the table of contents, every keyword and local link reaches a listed page (and an
// anchor on it), and no page describes filter modes the filter panel does not have.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>

#ifndef TERVANE3_TEST_HELP_DIR
#error "The test needs the help folder of the source tree"
#endif

namespace Tervane3 {
namespace {

const QString helpDir = QStringLiteral(TERVANE3_TEST_HELP_DIR);

struct HelpProject
{
    QStringList files;
    QStringList tocRefs;
    QStringList keywordRefs;
    bool ok = false;
};

HelpProject readProject()
{
    HelpProject project;
    QFile file(helpDir + QStringLiteral("/tervane3.qhp"));
    if (!file.open(QIODevice::ReadOnly))
        return project;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("file"))
            project.files << xml.readElementText();
        else if (xml.name() == QLatin1String("section"))
            project.tocRefs << xml.attributes().value(QStringLiteral("ref")).toString();
        else if (xml.name() == QLatin1String("keyword"))
            project.keywordRefs << xml.attributes().value(QStringLiteral("ref")).toString();
    }
    project.ok = !xml.hasError();
    return project;
}

QString readPage(const QString& name)
{
    QFile file(helpDir + QLatin1Char('/') + name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A reference "page.html" or "page.html#anchor" resolves when the page is listed and the
// anchor, if any, is an id on it.
bool resolves(const QString& ref, const QStringList& files, QString* why)
{
    const QString page = ref.section(QLatin1Char('#'), 0, 0);
    const QString anchor = ref.section(QLatin1Char('#'), 1);
    if (!files.contains(page)) {
        *why = QStringLiteral("%1 is not a listed file").arg(page);
        return false;
    }
    if (!anchor.isEmpty() && !readPage(page).contains(QStringLiteral("id=\"%1\"").arg(anchor))) {
        *why = QStringLiteral("%1 has no anchor %2").arg(page, anchor);
        return false;
    }
    return true;
}

TEST(HelpProject, HoldsTogether)
{
    const HelpProject project = readProject();
    ASSERT_TRUE(project.ok);
    ASSERT_FALSE(project.files.isEmpty());

    for (const QString& name : project.files)
        EXPECT_TRUE(QFile::exists(helpDir + QLatin1Char('/') + name)) << name.toStdString();

    const QStringList pages = QDir(helpDir).entryList({QStringLiteral("*.html")}, QDir::Files);
    ASSERT_FALSE(pages.isEmpty());
    for (const QString& page : pages) {
        SCOPED_TRACE(page.toStdString());
        EXPECT_TRUE(project.files.contains(page)) << "not listed among the files";
        EXPECT_TRUE(project.tocRefs.contains(page)) << "not in the table of contents";
    }

    QString why;
    for (const QString& ref : project.tocRefs + project.keywordRefs)
        EXPECT_TRUE(resolves(ref, project.files, &why)) << ref.toStdString() << ": " << why.toStdString();

    // Local links of every page (web addresses and mail links are not the manual's).
    const QRegularExpression href(QStringLiteral("href=\"([^\"]+)\""));
    for (const QString& page : pages) {
        auto it = href.globalMatch(readPage(page));
        while (it.hasNext()) {
            QString target = it.next().captured(1);
            if (target.contains(QLatin1Char(':')))
                continue;
            if (target.startsWith(QLatin1Char('#')))
                target = page + target;
            EXPECT_TRUE(resolves(target, project.files, &why))
                << page.toStdString() << " -> " << target.toStdString() << ": " << why.toStdString();
        }
    }
}

TEST(HelpProject, FilterModesAsTheDockShowsThem)
{
    // The rules of a dataset must all pass, or the excluded events are shown; there is no
    // AND/OR choice, so no page may describe one.
    const QRegularExpression andOr(QStringLiteral("\\b(AND|OR)\\b"));
    for (const QString& page : QDir(helpDir).entryList({QStringLiteral("*.html")}, QDir::Files)) {
        const QString text = readPage(page);
        EXPECT_FALSE(andOr.match(text).hasMatch()) << page.toStdString();
    }
}

} // namespace
} // namespace Tervane3
