// The main window's side of updates and feedback: "Open Downloads..." opens only addresses
// on the download server, and a feedback report built while a measurement is open carries
// neither its path nor its names, in the preview or in what the server receives.
#include "MainWindowTestAccess.h"

#include "app/Log.h"
#include "app/ScriptedPrompts.h"
#include "services/IsolatedSettings.h"
#include "services/LoopbackHttpServer.h"
#include "services/ServiceEndpoints.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPlainTextEdit>
#include <QTemporaryDir>

namespace Tervane3 {
namespace {

using Access = MainWindowTestAccess;
using Kind = ScriptedPrompts::Kind;

TEST(MainWindowReports, DownloadAddressTable)
{
    ::Tervane3::Test::MainWindowEnvironment env;
    ScriptedPrompts& prompts = *env.prompts;
    ServiceEndpoints::setUpdateUrl(QUrl(QStringLiteral("http://127.0.0.1:8642/latest.json")));
    MainWindow w;
    const QString host = ServiceEndpoints::defaultDownloadPage().host();
    const QString fallback = ServiceEndpoints::defaultDownloadPage().toString(QUrl::FullyEncoded);
    struct Case {
        QString sent;
        QString opened;
    };
    const Case cases[] = {
        {QStringLiteral("https://%1/downloads/v3.4.msi").arg(host), QStringLiteral("https://%1/downloads/v3.4.msi").arg(host)},
        {QStringLiteral("http://127.0.0.1:8642/dl"), QStringLiteral("http://127.0.0.1:8642/dl")},
        {QStringLiteral("file:///etc/passwd"), fallback},
        {QStringLiteral("javascript:alert(1)"), fallback},
        {QStringLiteral("tervane3://x"), fallback},
        {QStringLiteral("https://elsewhere.example/%1").arg(host), fallback},
        {QStringLiteral("https://%1.elsewhere.example/dl").arg(host), fallback},
        {QString(), fallback},
    };
    int version = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sent.toStdString());
        prompts.clear();
        prompts.answerMessage(QStringLiteral("Open Downloads..."));
        const bool rejected = c.opened == fallback;
        ::Tervane3::Test::ExpectQtWarnings warnings;
        Access::onUpdateAvailable(w, QStringLiteral("9.0.%1").arg(++version), c.sent, QString());
        ASSERT_EQ(prompts.count(Kind::Url), 1);
        EXPECT_EQ(prompts.last()->text, c.opened);
        // A rejected address is named in the log.
        EXPECT_EQ(warnings.count(), rejected ? 1 : 0);
        if (rejected) {
            EXPECT_NE(warnings.lastMessage().find("\"" + c.sent.toStdString() + "\" is not on the download server"),
                      std::string::npos);
        }
    }
}

TEST(MainWindowReports, ReportHoldsNoPathOrName)
{
    ::Tervane3::Test::MainWindowEnvironment env;
    ScriptedPrompts& prompts = *env.prompts;
    ::Tervane3::Test::LoopbackHttpServer server;
    ::Tervane3::Test::LoopbackHttpServer::Reply ok;
    ok.status = 200;
    ok.contentType = "text/plain";
    server.setReply("/upload/", ok);
    ServiceEndpoints::setFeedbackUrl(server.url(QStringLiteral("/upload/")));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("day one")));
    const QString path = dir.filePath(QStringLiteral("day one/blood sample.rtdc"));
    ::Tervane3::Test::Measurement m = ::Tervane3::Test::smallMeasurement();
    m.attributes["experiment:sample"] = "Donor 7 whole blood";
    ::Tervane3::Test::writeMeasurement(path.toStdString(), m);

    MainWindow w;
    Access::addDataset(w, path);
    ASSERT_TRUE(::Tervane3::Test::waitForCaching(w));

    const QString unknown = QStringLiteral("/home/lab/secret/other.rtdc");
    const auto log = [](const QString& text) { logMessageHandler(QtInfoMsg, QMessageLogContext(), text); };
    log(QStringLiteral("Opened %1").arg(path));
    log(QStringLiteral("Plot of Donor 7 whole blood: 6 events"));
    log(QStringLiteral("Reading %1 failed").arg(unknown));

    QString preview;
    prompts.answerDialog(QDialog::Accepted);
    prompts.whileOpen = [&preview](const ScriptedPrompts::Call& call) {
        if (call.kind != Kind::Dialog)
            return;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* edit = top->findChild<QPlainTextEdit*>(QStringLiteral("feedbackPreview")))
                preview = edit->toPlainText();
    };
    w.sendErrorReport(QStringLiteral("Error"),
                      QStringLiteral("Failed to read %1 (Donor 7 whole blood) and %2").arg(path, unknown));
    ASSERT_TRUE(::Tervane3::Test::waitUntil([&] { return server.requests().size() == 1; }));
    const QString body = QString::fromUtf8(server.requests().front().body);

    ASSERT_FALSE(preview.isEmpty());
    for (const QString& text : {preview, body}) {
        for (const QString& secret : {path, dir.path(), QStringLiteral("blood sample"), QStringLiteral("Donor 7"),
                                      QStringLiteral("/home/lab"), QStringLiteral("secret")})
            EXPECT_FALSE(text.contains(secret)) << secret.toStdString() << "\n" << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Message: Failed to read <path> (<name>) and <path>")));
        EXPECT_TRUE(text.contains(QStringLiteral("Plot of <name>: 6 events")));
    }
}

} // namespace
} // namespace Tervane3
