// Feedback reports: the text assembly, the dialog, and the upload to a loopback server with
// its headers, results, cancellation and failures.
#include "app/Log.h"
#include "app/ScriptedPrompts.h"
#include "services/FeedbackSender.h"
#include "services/ReportScrubber.h"
#include "services/IsolatedSettings.h"
#include "services/LoopbackHttpServer.h"
#include "services/ServiceEndpoints.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTest>

#include <memory>

#ifndef TERVANE3_TEST_FEEDBACK_KEY
#error "The test needs the configured feedback key"
#endif

namespace Tervane3 {
namespace {

using Kind = ScriptedPrompts::Kind;

// Splits a report into its fixed head (checked field by field) and the rest after the
// blank line that ends the head.
struct SplitReport {
    bool headOk = false;
    QString tail;
};

SplitReport splitReport(const QByteArray& report, const QString& version)
{
    const QString text = QString::fromUtf8(report);
    const QRegularExpression head(
        QStringLiteral("^=== Tervane3 Feedback Report ===\nVersion: %1\n"
                       "Timestamp: \\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ\n"
                       "OS: %2\nArch: %3\n\n")
            .arg(QRegularExpression::escape(version),
                QRegularExpression::escape(QSysInfo::prettyProductName()),
                QRegularExpression::escape(QSysInfo::currentCpuArchitecture())));
    const QRegularExpressionMatch match = head.match(text);
    SplitReport split;
    split.headOk = match.hasMatch();
    if (split.headOk)
        split.tail = text.mid(match.capturedLength());
    return split;
}

TEST(FeedbackReport, SectionsTable)
{
    struct Case {
        const char* name;
        QString title, message, comment, summary, log;
        QString tail;
    };
    const QString summary = QStringLiteral("Datasets: 1\n\n--- Dataset 1 ---\nLoaded: yes\n");
    const QString log
        = QStringLiteral("2026-01-01T00:00:00Z [INFO ] one\n2026-01-01T00:00:01Z [WARN ] two\n");
    const QString sessionAndLog
        = QStringLiteral("=== Session ===\n") + summary + QStringLiteral("\n\n=== Log ===\n") + log;
    const Case cases[] = {
        {"no error, no comment", "", "", "", summary, log, sessionAndLog},
        {"error with title and message", "Error", "Bad index 7", "", summary, log,
            QStringLiteral("=== Error ===\nTitle: Error\nMessage: Bad index 7\n\n")
                + sessionAndLog},
        {"title only gives an empty message line", "Export Error", "", "", summary, log,
            QStringLiteral("=== Error ===\nTitle: Export Error\nMessage: \n\n") + sessionAndLog},
        {"message only", "", "std::bad_alloc", "", summary, log,
            QStringLiteral("=== Error ===\nTitle: \nMessage: std::bad_alloc\n\n") + sessionAndLog},
        {"comment after the error", "E", "M", "It crashed\nwhen plotting", summary, log,
            QStringLiteral("=== Error ===\nTitle: E\nMessage: M\n\n=== User Comment ===\nIt "
                           "crashed\nwhen plotting\n\n")
                + sessionAndLog},
        {"empty summary", "", "", "", "", log,
            QStringLiteral("=== Session ===\n(no datasets loaded)\n\n\n=== Log ===\n") + log},
        {"empty log is the last part", "", "", "", summary, "",
            QStringLiteral("=== Session ===\n") + summary
                + QStringLiteral("\n\n=== Log ===\n(log is empty)\n")},
        {"non-ASCII text", "Fehler <µ>", "Größe & Maß", "", summary, log,
            QStringLiteral("=== Error ===\nTitle: Fehler <µ>\nMessage: Größe & Maß\n\n")
                + sessionAndLog},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray report = FeedbackSender::buildReport(
            QStringLiteral("3.2.97"), c.summary, c.title, c.message, c.comment, c.log);
        const SplitReport split = splitReport(report, QStringLiteral("3.2.97"));
        ASSERT_TRUE(split.headOk) << report.toStdString();
        EXPECT_EQ(split.tail, c.tail);
    }
}

TEST(FeedbackReport, NonAsciiIsUtf8)
{
    const QByteArray report = FeedbackSender::buildReport(QStringLiteral("3.2.97"), QString(),
        QStringLiteral("\u00b5m"), QString(), QString(), QString());
    EXPECT_TRUE(report.contains("Title: \xc2\xb5m\n"));
}

TEST(FeedbackReport, ReadsTheProgramLog)
{
    // The program's log handler fills the ring the report reads; no log file is open in
    // the test (initLogging is not called), so only the ring sees the line.
    const QString marker
        = QStringLiteral("feedback-ring-marker %1").arg(QRandomGenerator::global()->generate());
    logMessageHandler(QtWarningMsg, QMessageLogContext(), marker);
    const QByteArray report = FeedbackSender::buildReport(
        QStringLiteral("3.2.97"), QStringLiteral("Datasets: 0\n"), QString(), QString(), QString());
    const QString text = QString::fromUtf8(report);
    const int logStart = text.indexOf(QStringLiteral("=== Log ===\n"));
    ASSERT_GE(logStart, 0);
    EXPECT_EQ(text.mid(logStart + 12), recentLogText());
    EXPECT_TRUE(text.endsWith(QStringLiteral("[WARN ] ") + marker + QStringLiteral("\n")));
}

TEST(FeedbackKey, ConfiguredKeyRoundTrips)
{
    EXPECT_EQ(FeedbackSender::apiKey(), QByteArray(TERVANE3_TEST_FEEDBACK_KEY));
}

TEST(FeedbackDialog, WithoutError)
{
    QPlainTextEdit* comment = nullptr;
    std::unique_ptr<QDialog> dialog(FeedbackSender::createFeedbackDialog(
        QString(), QString(), QStringLiteral("preview text"), &comment, nullptr));
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Send Feedback to KVD Support"));
    EXPECT_EQ(dialog->size(), QSize(640, 540));
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("feedbackErrorLabel")), nullptr);
    ASSERT_NE(comment, nullptr);
    EXPECT_EQ(comment, dialog->findChild<QPlainTextEdit*>(QStringLiteral("feedbackComment")));
    EXPECT_EQ(comment->placeholderText(),
        QStringLiteral("Describe what happened or what you expected..."));
    EXPECT_EQ(comment->maximumHeight(), 100);
    auto* preview = dialog->findChild<QPlainTextEdit*>(QStringLiteral("feedbackPreview"));
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isReadOnly());
    EXPECT_EQ(preview->toPlainText(), QStringLiteral("preview text"));
    EXPECT_EQ(preview->font().family(), QStringLiteral("monospace"));
    EXPECT_EQ(preview->font().pointSize(), 8);
    auto* send = dialog->findChild<QPushButton*>(QStringLiteral("feedbackSend"));
    ASSERT_NE(send, nullptr);
    EXPECT_EQ(send->text(), QStringLiteral("Send"));
    EXPECT_TRUE(send->isDefault());

    // Send accepts the dialog.
    send->click();
    EXPECT_EQ(dialog->result(), int(QDialog::Accepted));
}

TEST(FeedbackDialog, ErrorLabelShowsMarkupLiterally)
{
    std::unique_ptr<QDialog> dialog(
        FeedbackSender::createFeedbackDialog(QStringLiteral("a < b & c"),
            QStringLiteral("<i>not italic</i>"), QString(), nullptr, nullptr));
    auto* label = dialog->findChild<QLabel*>(QStringLiteral("feedbackErrorLabel"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->textFormat(), Qt::RichText);
    EXPECT_EQ(label->text(),
        QStringLiteral("<b>Error:</b> a &lt; b &amp; c<br>&lt;i&gt;not italic&lt;/i&gt;"));
}

// Uploads through the loopback server with scripted prompts.
class FeedbackUpload : public ::testing::Test {
protected:
    void SetUp() override
    {
        ServiceEndpoints::setFeedbackUrl(server.url(QStringLiteral("/upload/")));
        Tervane3::Test::LoopbackHttpServer::Reply ok;
        ok.status = 200;
        ok.body = "stored";
        ok.contentType = "text/plain";
        server.setReply("/upload/", ok);
        window.resize(300, 200);
        window.show();
    }

    // Waits for the result box of an upload.
    bool waitForBox()
    {
        for (int i = 0; i < 200 && prompts->count(Kind::Message) == 0; ++i)
            QTest::qWait(50);
        return prompts->count(Kind::Message) > 0;
    }

    Tervane3::Test::IsolatedSettings settings;
    Tervane3::Test::LoopbackHttpServer server;
    ScriptedPromptsGuard prompts;
    QWidget window;
    FeedbackSender sender;
};

TEST_F(FeedbackUpload, SendPutsReportWithHeaders)
{
    prompts->answerDialog(QDialog::Accepted);
    QString previewSeen;
    prompts->whileOpen = [&previewSeen](const ScriptedPrompts::Call& call) {
        if (call.kind != Kind::Dialog)
            return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(w);
            if (!dialog || dialog->windowTitle() != call.text)
                continue;
            dialog->findChild<QPlainTextEdit*>(QStringLiteral("feedbackComment"))
                ->setPlainText(QStringLiteral("  \n It froze after loading.\t\n"));
            previewSeen = dialog->findChild<QPlainTextEdit*>(QStringLiteral("feedbackPreview"))
                              ->toPlainText();
        }
    };
    sender.sendFeedback(QStringLiteral("3.2.97"), QStringLiteral("Datasets: 2\n"),
        QStringLiteral("Error"), QStringLiteral("Out of range"), &window, ReportSecrets());

    ASSERT_EQ(prompts->count(Kind::Dialog), 1);
    EXPECT_EQ(prompts->calls().at(0).text, QStringLiteral("Send Feedback to KVD Support"));
    EXPECT_EQ(prompts->calls().at(0).parent, &window);
    // The preview is the report without a comment.
    EXPECT_TRUE(previewSeen.contains(
        QStringLiteral("=== Error ===\nTitle: Error\nMessage: Out of range\n")));
    EXPECT_FALSE(previewSeen.contains(QStringLiteral("=== User Comment ===")));

    ASSERT_TRUE(waitForBox());
    const auto* box = prompts->last();
    EXPECT_EQ(box->icon, Prompts::Icon::Information);
    EXPECT_EQ(box->title, QStringLiteral("Feedback Sent"));
    EXPECT_EQ(box->text, QStringLiteral("Thank you! Your report has been sent to KVD support."));
    EXPECT_EQ(box->parent, &window);

    ASSERT_EQ(server.requests().size(), 1);
    const auto& request = server.requests().at(0);
    EXPECT_EQ(request.method, QByteArray("PUT"));
    EXPECT_EQ(request.path, QByteArray("/upload/"));
    EXPECT_EQ(request.headers.value("x-api-key"), QByteArray(TERVANE3_TEST_FEEDBACK_KEY));
    EXPECT_EQ(request.headers.value("x-version"), QByteArray("3.2.97"));
    EXPECT_EQ(request.headers.value("x-setup-id"), QByteArray("Tervane3"));
    EXPECT_EQ(request.headers.value("content-type"), QByteArray("text/plain"));
    const SplitReport split = splitReport(request.body, QStringLiteral("3.2.97"));
    ASSERT_TRUE(split.headOk) << request.body.toStdString();
    EXPECT_TRUE(split.tail.startsWith(
        QStringLiteral("=== Error ===\nTitle: Error\nMessage: Out of range\n\n"
                       "=== User Comment ===\nIt froze after loading.\n\n"
                       "=== Session ===\nDatasets: 2\n\n\n=== Log ===\n")));

    // The progress dialog is gone once the result is shown.
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(window.findChild<QProgressDialog*>(), nullptr);
}

TEST_F(FeedbackUpload, BlankCommentIsDropped)
{
    prompts->answerDialog(QDialog::Accepted);
    prompts->whileOpen = [](const ScriptedPrompts::Call& call) {
        if (call.kind != Kind::Dialog)
            return;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* edit = w->findChild<QPlainTextEdit*>(QStringLiteral("feedbackComment")))
                edit->setPlainText(QStringLiteral(" \n\t "));
        }
    };
    sender.sendFeedback(QStringLiteral("3.2.97"), QString(), QString(), QString(), &window, ReportSecrets());
    ASSERT_TRUE(waitForBox());
    ASSERT_EQ(server.requests().size(), 1);
    const QByteArray& body = server.requests().at(0).body;
    EXPECT_FALSE(body.contains("=== User Comment ==="));
    EXPECT_FALSE(body.contains("=== Error ==="));
    EXPECT_TRUE(body.contains("=== Session ===\n(no datasets loaded)\n"));
}

TEST_F(FeedbackUpload, CancelSendsNothing)
{
    prompts->answerDialog(QDialog::Rejected);
    sender.sendFeedback(
        QStringLiteral("3.2.97"), QStringLiteral("Datasets: 0\n"), QString(), QString(), &window, ReportSecrets());
    QTest::qWait(300);
    EXPECT_EQ(server.requests().size(), 0);
    EXPECT_EQ(prompts->count(Kind::Message), 0);
    EXPECT_EQ(window.findChild<QProgressDialog*>(), nullptr);
}

TEST_F(FeedbackUpload, FailuresTable)
{
    struct Case {
        const char* name;
        int status;
        bool refused;
    };
    const Case cases[] = {
        {"server error", 500, false},
        {"key rejected", 403, false},
        // A redirect is not followed for an upload; reporting success here would hide a
        // report that never arrived.
        {"redirect", 302, false},
        {"connection refused", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts->clear();
        if (c.refused) {
            ServiceEndpoints::setFeedbackUrl(
                Tervane3::Test::LoopbackHttpServer::closedPortUrl(QStringLiteral("/upload/")));
        } else {
            Tervane3::Test::LoopbackHttpServer::Reply reply;
            reply.status = c.status;
            reply.body = "no";
            reply.contentType = "text/plain";
            if (c.status == 302)
                reply.location = server.url(QStringLiteral("/elsewhere/")).toEncoded();
            server.setReply("/upload/", reply);
        }
        sender.upload("report", QStringLiteral("3.2.97"), &window);
        ASSERT_TRUE(waitForBox());
        ASSERT_EQ(prompts->count(Kind::Message), 1);
        const auto* box = prompts->last();
        EXPECT_EQ(box->icon, Prompts::Icon::Warning);
        EXPECT_EQ(box->title, QStringLiteral("Feedback Failed"));
        EXPECT_TRUE(box->text.startsWith(QStringLiteral("Could not send feedback.\n\n")));
        EXPECT_GT(box->text.size(), QStringLiteral("Could not send feedback.\n\n").size());
    }
}

TEST_F(FeedbackUpload, CancelDuringUploadIsSilent)
{
    server.setHolding(true);
    QSignalSpy arrived(&server, &Tervane3::Test::LoopbackHttpServer::requestReceived);
    sender.upload(QByteArray(5000, 'x'), QStringLiteral("3.2.97"), &window);

    auto* progress = window.findChild<QProgressDialog*>();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->windowModality(), Qt::WindowModal);
    EXPECT_EQ(progress->labelText(), QStringLiteral("Sending feedback..."));

    ASSERT_TRUE(arrived.wait(10000));
    EXPECT_EQ(server.requests().at(0).body.size(), 5000);
    QPointer<QProgressDialog> guard(progress);
    // The user's "Cancel" button (the cancel() slot alone does not abort anything).
    QPushButton* cancel = nullptr;
    for (QPushButton* button : progress->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("Cancel"))
            cancel = button;
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    for (int i = 0; i < 100 && guard; ++i) {
        QTest::qWait(20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_TRUE(guard.isNull());
    QTest::qWait(100);
    EXPECT_EQ(prompts->count(Kind::Message), 0);
}

} // namespace
} // namespace Tervane3
