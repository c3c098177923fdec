// The main window's side of the update check and of error reports: the boxes for the
// checker's three results, the error box of unhandled exceptions (one at a time), and the
// session summary attached to feedback reports.
#include "mainwindow/MainWindow.h"

#include "app/AppSettings.h"
#include "app/Prompts.h"
#include "core/FilterRule.h"
#include "core/RTDCReader.h"
#include "app/DatasetEntry.h"
#include "services/FeedbackSender.h"
#include "services/ReportScrubber.h"
#include "services/ServiceEndpoints.h"
#include "services/UpdateChecker.h"

#include <QDir>
#include <QFileInfo>

namespace Tervane3 {

namespace {

const QString updateBoxTitle = QStringLiteral("Check for Updates");

void appendSection(QString& text, const char* name, const std::map<std::string, std::string>& section,
                   const char* hiddenKey)
{
    if (section.empty())
        return;
    text += QStringLiteral("[%1]\n").arg(QLatin1String(name));
    for (const auto& [key, value] : section) {
        if (hiddenKey && key == hiddenKey)
            continue;
        text += QStringLiteral("  %1: %2\n").arg(QString::fromStdString(key), QString::fromStdString(value));
    }
}

} // namespace

void MainWindow::checkForUpdates(bool silent)
{
    if (!updateChecker) {
        updateChecker = new UpdateChecker(this);
        connect(updateChecker, &UpdateChecker::updateAvailable, this, &MainWindow::onUpdateAvailable);
        connect(updateChecker, &UpdateChecker::upToDate, this, &MainWindow::onUpToDate);
        connect(updateChecker, &UpdateChecker::checkFailed, this, &MainWindow::onUpdateCheckFailed);
    }
    updateCheckSilent = silent;
    updateChecker->check(silent);
}

void MainWindow::onUpdateAvailable(const QString& latestVersion, const QString& downloadUrl,
                                   const QString& notes)
{
    // Only the start-up check passes over the version the user chose to ignore.
    if (updateCheckSilent && AppSettings::ignoredVersion() == latestVersion)
        return;
    QString text = QStringLiteral("A newer version of Tervane3 is available.\n\nInstalled: %1\nLatest: %2")
                       .arg(UpdateChecker::currentVersion(), latestVersion);
    if (!notes.isEmpty())
        text += QStringLiteral("\n\nWhat's new:\n%1").arg(notes);
    const int clicked = prompts().message(this, Prompts::Icon::Information, QStringLiteral("Update Available"),
                                          text,
                                          {{QStringLiteral("Open Downloads..."), QMessageBox::AcceptRole},
                                           {QStringLiteral("Ignore This Version"), QMessageBox::ActionRole},
                                           {QStringLiteral("Later"), QMessageBox::RejectRole}});
    if (clicked == 0)
        prompts().openUrl(ServiceEndpoints::safeDownloadUrl(downloadUrl));
    else if (clicked == 1)
        AppSettings::setIgnoredVersion(latestVersion);
}

void MainWindow::onUpToDate(const QString& currentVersion)
{
    prompts().information(this, updateBoxTitle,
                          QStringLiteral("You are running the latest version of Tervane3 (%1).").arg(currentVersion));
}

void MainWindow::onUpdateCheckFailed(const QString& errorMessage)
{
    prompts().warning(this, updateBoxTitle, QStringLiteral("Could not check for updates.\n\n%1").arg(errorMessage));
}

void MainWindow::onUnhandledException(const QString& title, const QString& message)
{
    // A box is already open (this call came from its event loop): the error is in the log.
    if (errorBoxOpen)
        return;
    errorBoxOpen = true;
    const QString text =
        QStringLiteral("An unexpected error occurred:\n\n%1\n\nYou can send a diagnostic report to help us fix this.")
            .arg(message);
    const int clicked = prompts().message(this, Prompts::Icon::Critical, title, text,
                                          {{QStringLiteral("Send Feedback..."), QMessageBox::AcceptRole},
                                           {QStringLiteral("Close"), QMessageBox::RejectRole}});
    errorBoxOpen = false;
    if (clicked == 0)
        sendErrorReport(title, message);
}

void MainWindow::sendErrorReport(const QString& title, const QString& message)
{
    if (!feedbackSender)
        feedbackSender = new FeedbackSender(this);
    // What the program knows of the open datasets never leaves in a report.
    ReportSecrets secrets;
    for (const auto& entry : entries) {
        const QString path = QString::fromStdString(entry->filePath);
        const QFileInfo info(path);
        secrets.paths << path << QDir::toNativeSeparators(path) << info.absoluteFilePath() << info.absolutePath();
        secrets.names << info.fileName() << entry->displayName;
        const auto sample = entry->metadata.experiment.find("sample");
        if (sample != entry->metadata.experiment.end())
            secrets.names << QString::fromStdString(sample->second).trimmed();
        const auto renamed = entry->metadata.exportInfo.find("changed sample name");
        if (renamed != entry->metadata.exportInfo.end())
            secrets.names << QString::fromStdString(renamed->second).trimmed();
    }
    feedbackSender->sendFeedback(UpdateChecker::currentVersion(), buildDiagnosticsSummary(), title, message, this,
                                 secrets);
}

QString MainWindow::buildDiagnosticsSummary() const
{
    QString text = QStringLiteral("Datasets: %1\n").arg(entries.size());
    if (plottedIndicesValid)
        text += QStringLiteral("Global filter: active\n");
    int n = 0;
    for (const auto& entry : entries) {
        ++n;
        text += QStringLiteral("\n--- Dataset %1 ---\n").arg(n);
        if (entry->reader)
            text += QStringLiteral("Events: %1\n").arg(entry->reader->eventCount());
        text += QStringLiteral("Loaded: %1\n").arg(entry->featuresLoaded ? QStringLiteral("yes") : QStringLiteral("no"));
        const Metadata& m = entry->metadata;
        // The sample names are left out: reports carry no names or paths.
        appendSection(text, "experiment", m.experiment, "sample");
        appendSection(text, "setup", m.setup, nullptr);
        appendSection(text, "imaging", m.imaging, nullptr);
        appendSection(text, "online_contour", m.onlineContour, nullptr);
        appendSection(text, "online_filter", m.onlineFilter, nullptr);
        appendSection(text, "fluorescence", m.fluorescence, nullptr);
        appendSection(text, "export", m.exportInfo, "changed sample name");

        const std::vector<FilterRule>& rules = entry->filter.rules;
        if (!rules.empty()) {
            text += QStringLiteral("Filter rules (%1, enabled=%2):\n")
                        .arg(rules.size())
                        .arg(entry->filter.isEnabled() ? QStringLiteral("yes") : QStringLiteral("no"));
            for (const FilterRule& rule : rules) {
                const QString inverted = rule.inverted ? QStringLiteral(" [inverted]") : QString();
                if (rule.type == PolygonRule) {
                    text += QStringLiteral("  polygon %1/%2 (%3 verts)%4\n")
                                .arg(QString::fromStdString(rule.featureName),
                                     QString::fromStdString(rule.featureNameY),
                                     QString::number(rule.polygonVertices.size()), inverted);
                } else {
                    text += QStringLiteral("  range %1 [%2, %3]%4\n")
                                .arg(QString::fromStdString(rule.featureName),
                                     QString::number(rule.minValue, 'g', 6),
                                     QString::number(rule.maxValue, 'g', 6), inverted);
                }
            }
        }

        QStringList applied;
        if (entry->flRefinementApplied)
            applied << QStringLiteral("fl-refinement");
        if (entry->ctcApplied)
            applied << QStringLiteral("crosstalk-compensation");
        if (entry->emodApplied)
            applied << QStringLiteral("emodulus");
        if (entry->fourierApplied)
            applied << QStringLiteral("fourier-deformation");
        if (!applied.isEmpty())
            text += QStringLiteral("Calculations: %1\n").arg(applied.join(QStringLiteral(", ")));
    }
    return text;
}

} // namespace Tervane3
