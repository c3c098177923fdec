// About dialog and the licence-folder look-up.
#include "services/AboutDialog.h"

#include "app/Log.h"
#include "app/Prompts.h"
#include "services/UpdateChecker.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QUrl>
#include <QVBoxLayout>

namespace Tervane3 {

QString findLicensesDir(const QString& applicationDir)
{
    const QStringList candidates = {
        applicationDir + QStringLiteral("/licenses"),
        applicationDir + QStringLiteral("/../share/tervane3/licenses"),
    };
    for (const QString& candidate : candidates) {
        const QString cleaned = QDir::cleanPath(candidate);
        if (QFileInfo(cleaned).isDir())
            return cleaned;
    }
    return QString();
}

QString findLicensesDir()
{
    return findLicensesDir(QCoreApplication::applicationDirPath());
}

QString licenseLinkTarget(const QString& link)
{
    struct Entry {
        const char* link;
        const char* target;
    };
    // The document names are fixed: installers and older packages ship them this way,
    // including the missing blank in the English notices' name.
    static const Entry entries[] = {
        {"app:license-en", "Software License Agreement.md"},
        {"app:license-de", "Softwarelizenzvereinbarung.md"},
        {"app:notice-en", "(EN) Tervane 3THIRD PARTY SOFTWARE NOTICES.md"},
        {"app:notice-de", "(DE) Tervane 3 THIRD PARTY SOFTWARE NOTICES.md"},
        {"app:thirdparty-folder", "third party licenses"},
    };
    for (const Entry& entry : entries) {
        if (link == QLatin1String(entry.link))
            return QString::fromUtf8(entry.target);
    }
    return QString();
}

void openLicenseDocument(QWidget* parent, const QString& path)
{
    const QString title = QCoreApplication::translate("AboutDialog", "About");
    if (!QFileInfo::exists(path)) {
        prompts().warning(parent, title,
            QCoreApplication::translate("AboutDialog", "Could not find:\n") + path
                + QCoreApplication::translate("AboutDialog",
                    "\n\nThe licenses folder is shipped alongside the application; this build "
                    "appears to be missing it."));
        return;
    }
    if (!prompts().openUrl(QUrl::fromLocalFile(path)))
        prompts().warning(
            parent, title, QCoreApplication::translate("AboutDialog", "Could not open:\n") + path);
}

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("About Tervane3"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(10);

    auto* title = new QLabel(
        QStringLiteral("<div style='font-size:18px; font-weight:bold;'>Tervane3 v%1</div>")
            .arg(UpdateChecker::currentVersion()));
    title->setObjectName(QStringLiteral("aboutTitle"));
    title->setTextFormat(Qt::RichText);
    layout->addWidget(title);

    auto* purpose
        = new QLabel(tr("Data analysis and visualization tool for Quorvantelis RT-DC data."));
    purpose->setWordWrap(true);
    layout->addWidget(purpose);

    // The Qt major version is the one this build links, not a fixed name.
    const QStringList libraries
        = {QStringLiteral("Qt%1").arg(QT_VERSION_MAJOR), QStringLiteral("QWT"),
            QStringLiteral("HDF5"), QStringLiteral("OpenCV"), QStringLiteral("Armadillo")};
    auto* builtWith = new QLabel(tr("Built with %1.").arg(libraries.join(QStringLiteral(", "))));
    builtWith->setObjectName(QStringLiteral("aboutBuiltWith"));
    builtWith->setWordWrap(true);
    layout->addWidget(builtWith);

    // Where this run's log goes: beside the program, or the user's data folder when the
    // program's folder takes no file (a read-only install).
    const QString logs = logFolder();
    auto* folders = new QLabel(tr("Log files: %1")
                                   .arg(logs.isEmpty() ? tr("not written to a file")
                                                       : QDir::toNativeSeparators(logs)));
    folders->setObjectName(QStringLiteral("aboutFolders"));
    folders->setTextFormat(Qt::PlainText);
    folders->setWordWrap(true);
    folders->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(folders);

    layout->addSpacing(4);

    auto* links = new QLabel;
    links->setObjectName(QStringLiteral("aboutLicenseLinks"));
    links->setTextFormat(Qt::RichText);
    links->setWordWrap(true);
    links->setOpenExternalLinks(false);
    if (!findLicensesDir().isEmpty()) {
        links->setText(QStringLiteral(
            "<b>License:</b> <a href=\"app:license-en\">English</a> &middot; "
            "<a href=\"app:license-de\">Deutsch</a><br>"
            "<b>Third-party notices:</b> <a href=\"app:notice-en\">English</a> &middot; "
            "<a href=\"app:notice-de\">Deutsch</a><br>"
            "<a href=\"app:thirdparty-folder\">Open third-party license texts folder\u2026</a>"));
    } else {
        links->setText(tr("<i>License files are not bundled with this build.</i>"));
    }
    connect(links, &QLabel::linkActivated, this, &AboutDialog::onLinkActivated);
    layout->addWidget(links);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void AboutDialog::onLinkActivated(const QString& link)
{
    const QString dir = findLicensesDir();
    if (dir.isEmpty()) {
        prompts().warning(this, tr("About"), tr("License files are not available in this build."));
        return;
    }
    const QString target = licenseLinkTarget(link);
    if (!target.isEmpty()) {
        openLicenseDocument(this, QDir(dir).filePath(target));
        return;
    }
    if (!prompts().openUrl(QUrl(link)))
        prompts().warning(this, tr("About"), tr("Could not open:\n") + link);
}

} // namespace Tervane3
