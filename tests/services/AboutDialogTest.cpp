// The About dialog and the licence folder: the search rule, the dialog with and without the
// folder, each link opening its document, and the warnings for missing files.
#include "app/Log.h"
#include "app/ScriptedPrompts.h"
#include "services/AboutDialog.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#ifndef TERVANE3_TEST_LICENSES_DIR
#error "The test needs the licence folder of the source tree"
#endif

namespace Tervane3 {
namespace {

const QString sourceLicenses = QStringLiteral(TERVANE3_TEST_LICENSES_DIR);

bool copyTree(const QString& from, const QString& to)
{
    if (!QDir().mkpath(to))
        return false;
    const QDir source(from);
    for (const QFileInfo& entry :
        source.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (entry.isDir() ? !copyTree(entry.filePath(), target)
                          : !QFile::copy(entry.filePath(), target))
            return false;
    }
    return true;
}

// Installs a licence folder beside the test executable while it lives.
class LicenseFolderBesideProgram {
public:
    LicenseFolderBesideProgram()
        : path(QCoreApplication::applicationDirPath() + QStringLiteral("/licenses"))
    {
        QDir(path).removeRecursively();
        ok = copyTree(sourceLicenses, path);
    }
    ~LicenseFolderBesideProgram() { QDir(path).removeRecursively(); }

    QString path;
    bool ok = false;
};

QStringList linksOf(const QLabel* label)
{
    QStringList links;
    const QRegularExpression href(QStringLiteral("href=\"([^\"]+)\""));
    auto it = href.globalMatch(label->text());
    while (it.hasNext())
        links << it.next().captured(1);
    return links;
}

// Every address goes through the prompts, which record it and open nothing.
class AboutDialogTest : public ::testing::Test {
protected:
    QStringList openedUrls() const
    {
        QStringList urls;
        for (const ScriptedPrompts::Call& call : prompts->calls())
            if (call.kind == ScriptedPrompts::Kind::Url)
                urls << call.text;
        return urls;
    }

    ScriptedPromptsGuard prompts;
};

TEST(LicensesDir, SearchRuleTable)
{
    struct Case {
        const char* name;
        QStringList dirs;     // created below the temporary root
        QStringList files;    // created as plain files
        const char* expected; // relative to the root, "" for none
    };
    const Case cases[] = {
        {"none", {}, {}, ""},
        {"beside the program", {"bin/licenses"}, {}, "bin/licenses"},
        {"shared folder, cleaned", {"bin", "share/tervane3/licenses"}, {},
            "share/tervane3/licenses"},
        {"beside the program wins", {"bin/licenses", "share/tervane3/licenses"}, {},
            "bin/licenses"},
        {"a file named licenses is no folder", {"bin", "share/tervane3/licenses"}, {"bin/licenses"},
            "share/tervane3/licenses"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir root;
        ASSERT_TRUE(root.isValid());
        QDir(root.path()).mkpath(QStringLiteral("bin"));
        for (const QString& d : c.dirs)
            ASSERT_TRUE(QDir(root.path()).mkpath(d));
        for (const QString& f : c.files) {
            QFile file(root.filePath(f));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        const QString found = findLicensesDir(root.filePath(QStringLiteral("bin")));
        const QString expected = *c.expected
            ? QDir::cleanPath(root.filePath(QString::fromUtf8(c.expected)))
            : QString();
        EXPECT_EQ(found, expected);
        EXPECT_FALSE(found.contains(QStringLiteral("..")));
    }
}

TEST_F(AboutDialogTest, TextsWithoutLicenseFolder)
{
    ASSERT_TRUE(findLicensesDir().isEmpty()) << "a licence folder lies beside the test program";
    AboutDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Tervane3"));
    EXPECT_TRUE(dialog.isModal());
    auto* title = dialog.findChild<QLabel*>(QStringLiteral("aboutTitle"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(),
        QStringLiteral("<div style='font-size:18px; font-weight:bold;'>Tervane3 v3.2.97</div>"));
    auto* built = dialog.findChild<QLabel*>(QStringLiteral("aboutBuiltWith"));
    ASSERT_NE(built, nullptr);
    EXPECT_EQ(built->text(),
        QStringLiteral("Built with Qt%1, QWT, HDF5, OpenCV, Armadillo.").arg(QT_VERSION_MAJOR));
    bool purposeShown = false;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        purposeShown |= label->text()
            == QStringLiteral("Data analysis and visualization tool for Quorvantelis RT-DC data.");
    EXPECT_TRUE(purposeShown);

    auto* links = dialog.findChild<QLabel*>(QStringLiteral("aboutLicenseLinks"));
    ASSERT_NE(links, nullptr);
    EXPECT_EQ(
        links->text(), QStringLiteral("<i>License files are not bundled with this build.</i>"));
    EXPECT_TRUE(linksOf(links).isEmpty());

    // A link arriving anyway warns that the files are missing.
    dialog.onLinkActivated(QStringLiteral("app:license-en"));
    ASSERT_EQ(prompts->count(ScriptedPrompts::Kind::Message), 1);
    EXPECT_EQ(prompts->last()->title, QStringLiteral("About"));
    EXPECT_EQ(
        prompts->last()->text, QStringLiteral("License files are not available in this build."));
    EXPECT_TRUE(openedUrls().isEmpty());

    // Close rejects.
    auto* box = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    box->button(QDialogButtonBox::Close)->click();
    EXPECT_EQ(dialog.result(), int(QDialog::Rejected));
}

TEST_F(AboutDialogTest, EveryLinkOpensItsDocument)
{
    LicenseFolderBesideProgram folder;
    ASSERT_TRUE(folder.ok);
    ASSERT_EQ(findLicensesDir(), folder.path);

    AboutDialog dialog;
    auto* links = dialog.findChild<QLabel*>(QStringLiteral("aboutLicenseLinks"));
    ASSERT_NE(links, nullptr);
    EXPECT_FALSE(links->openExternalLinks());
    EXPECT_TRUE(
        links->text().contains(QStringLiteral("Open third-party license texts folder\u2026")));
    const QStringList expectedLinks = {QStringLiteral("app:license-en"),
        QStringLiteral("app:license-de"), QStringLiteral("app:notice-en"),
        QStringLiteral("app:notice-de"), QStringLiteral("app:thirdparty-folder")};
    ASSERT_EQ(linksOf(links), expectedLinks);

    const QStringList targets = {QStringLiteral("Software License Agreement.md"),
        QStringLiteral("Softwarelizenzvereinbarung.md"),
        QStringLiteral("(EN) Tervane 3THIRD PARTY SOFTWARE NOTICES.md"),
        QStringLiteral("(DE) Tervane 3 THIRD PARTY SOFTWARE NOTICES.md"),
        QStringLiteral("third party licenses")};
    for (int i = 0; i < expectedLinks.size(); ++i) {
        SCOPED_TRACE(expectedLinks.at(i).toStdString());
        prompts->clear();
        emit links->linkActivated(expectedLinks.at(i));
        ASSERT_EQ(openedUrls().size(), 1);
        const QString path = QUrl(openedUrls().at(0)).toLocalFile();
        EXPECT_EQ(path, folder.path + QLatin1Char('/') + targets.at(i));
        // The shipped document exists and says something.
        const QFileInfo info(path);
        if (info.isDir()) {
            EXPECT_GE(QDir(path).entryList(QDir::Files).size(), 6);
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_GT(file.size(), 500);
        }
    }
    EXPECT_EQ(prompts->count(ScriptedPrompts::Kind::Message), 0);

    // Any other address goes out unchanged.
    prompts->clear();
    dialog.onLinkActivated(QStringLiteral("https://example.org/page"));
    EXPECT_EQ(openedUrls(), QStringList{QStringLiteral("https://example.org/page")});
}

TEST_F(AboutDialogTest, FailedOpenSaysWhat)
{
    LicenseFolderBesideProgram folder;
    ASSERT_TRUE(folder.ok);
    AboutDialog dialog;
    struct Case {
        const char* link;
        QString named; // what "Could not open:" names
    };
    const Case cases[] = {
        {"app:license-en", folder.path + QStringLiteral("/Software License Agreement.md")},
        {"app:thirdparty-folder", folder.path + QStringLiteral("/third party licenses")},
        {"https://example.org/page", QStringLiteral("https://example.org/page")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        prompts->clear();
        prompts->answerUrl(false);
        dialog.onLinkActivated(QString::fromUtf8(c.link));
        ASSERT_EQ(openedUrls().size(), 1);
        ASSERT_EQ(prompts->count(ScriptedPrompts::Kind::Message), 1);
        EXPECT_EQ(prompts->last()->icon, Prompts::Icon::Warning);
        EXPECT_EQ(prompts->last()->title, QStringLiteral("About"));
        EXPECT_EQ(prompts->last()->text, QStringLiteral("Could not open:\n") + c.named);
    }
}

TEST_F(AboutDialogTest, MissingDocumentWarnsWithFullPath)
{
    LicenseFolderBesideProgram folder;
    ASSERT_TRUE(folder.ok);
    const QString german = folder.path + QStringLiteral("/Softwarelizenzvereinbarung.md");
    ASSERT_TRUE(QFile::remove(german));

    AboutDialog dialog;
    dialog.onLinkActivated(QStringLiteral("app:license-de"));
    EXPECT_TRUE(openedUrls().isEmpty());
    ASSERT_EQ(prompts->count(ScriptedPrompts::Kind::Message), 1);
    EXPECT_EQ(prompts->last()->icon, Prompts::Icon::Warning);
    EXPECT_EQ(prompts->last()->title, QStringLiteral("About"));
    EXPECT_EQ(prompts->last()->text,
        QStringLiteral("Could not find:\n") + german
            + QStringLiteral(
                "\n\nThe licenses folder is shipped alongside the application; this build "
                "appears to be missing it."));
    EXPECT_EQ(prompts->last()->parent, &dialog);

    // The other documents still open.
    prompts->clear();
    dialog.onLinkActivated(QStringLiteral("app:license-en"));
    EXPECT_EQ(openedUrls().size(), 1);
}

// The dialog names the folder of this run's log: after start-up with a program folder that
// takes no file, the user's data folder.
TEST_F(AboutDialogTest, ShowsWhereTheLogGoes)
{
    {
        AboutDialog before;
        EXPECT_EQ(before.findChild<QLabel*>(QStringLiteral("aboutFolders"))->text(),
                  QStringLiteral("Log files: not written to a file"));
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile plain(dir.filePath(QStringLiteral("install")));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString fallback = dir.filePath(QStringLiteral("data"));
    initLogging(dir.filePath(QStringLiteral("install/bin")), fallback);
    AboutDialog dialog;
    EXPECT_EQ(dialog.findChild<QLabel*>(QStringLiteral("aboutFolders"))->text(),
              QStringLiteral("Log files: ") + QDir::toNativeSeparators(QFileInfo(fallback).absoluteFilePath()));
}

} // namespace
} // namespace Tervane3

