// Feedback report assembly, dialog and upload. GUI thread only.
#include "services/FeedbackSender.h"

#include "app/Log.h"
#include "app/Prompts.h"
#include "services/ReportScrubber.h"
#include "services/ServiceEndpoints.h"

#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>

#include <array>
#include <limits>
#include <cstddef>

#ifndef TERVANE3_FEEDBACK_API_KEY
#define TERVANE3_FEEDBACK_API_KEY "unset"
#endif

namespace Tervane3 {

namespace {

// The key is masked at compile time, so the plain text never lands in the binary.
constexpr unsigned char keyMask = 0xA7;

template <std::size_t N> constexpr std::array<unsigned char, N - 1> maskKey(const char (&text)[N])
{
    std::array<unsigned char, N - 1> masked{};
    for (std::size_t i = 0; i + 1 < N; ++i)
        masked[i] = static_cast<unsigned char>(static_cast<unsigned char>(text[i]) ^ keyMask);
    return masked;
}

constexpr auto maskedKey = maskKey(TERVANE3_FEEDBACK_API_KEY);

} // namespace

FeedbackSender::FeedbackSender(QObject* parent)
    : QObject(parent)
    , network(new QNetworkAccessManager(this))
{
}

QByteArray FeedbackSender::apiKey()
{
    QByteArray key;
    key.reserve(static_cast<int>(maskedKey.size()));
    for (unsigned char c : maskedKey)
        key.append(static_cast<char>(c ^ keyMask));
    return key;
}

QByteArray FeedbackSender::buildReport(const QString& version, const QString& sessionSummary,
    const QString& errorTitle, const QString& errorMessage, const QString& comment)
{
    return buildReport(version, sessionSummary, errorTitle, errorMessage, comment, recentLogText());
}

QByteArray FeedbackSender::buildReport(const QString& version, const QString& sessionSummary,
    const QString& errorTitle, const QString& errorMessage, const QString& comment,
    const QString& logText)
{
    QByteArray report;
    report.reserve(262144);
    const auto add = [&report](const QString& text) { report.append(text.toUtf8()); };

    add(QStringLiteral("=== Tervane3 Feedback Report ===\n"));
    add(QStringLiteral("Version: ") + version + QStringLiteral("\n"));
    add(QStringLiteral("Timestamp: ") + QDateTime::currentDateTimeUtc().toString(Qt::ISODate)
        + QStringLiteral("\n"));
    add(QStringLiteral("OS: ") + QSysInfo::prettyProductName() + QStringLiteral("\n"));
    add(QStringLiteral("Arch: ") + QSysInfo::currentCpuArchitecture() + QStringLiteral("\n"));
    add(QStringLiteral("\n"));

    if (!errorTitle.isEmpty() || !errorMessage.isEmpty()) {
        add(QStringLiteral("=== Error ===\n"));
        add(QStringLiteral("Title: ") + errorTitle + QStringLiteral("\n"));
        add(QStringLiteral("Message: ") + errorMessage + QStringLiteral("\n"));
        add(QStringLiteral("\n"));
    }

    if (!comment.isEmpty())
        add(QStringLiteral("=== User Comment ===\n") + comment + QStringLiteral("\n\n"));

    add(QStringLiteral("=== Session ===\n"));
    add(sessionSummary.isEmpty() ? QStringLiteral("(no datasets loaded)\n") : sessionSummary);
    add(QStringLiteral("\n\n"));

    add(QStringLiteral("=== Log ===\n"));
    add(logText.isEmpty() ? QStringLiteral("(log is empty)\n") : logText);
    return report;
}

QDialog* FeedbackSender::createFeedbackDialog(const QString& errorTitle,
    const QString& errorMessage, const QString& previewText, QPlainTextEdit** commentField,
    QWidget* parent)
{
    auto* dialog = new QDialog(parent);
    dialog->setWindowTitle(tr("Send Feedback to KVD Support"));
    dialog->resize(640, 540);
    auto* layout = new QVBoxLayout(dialog);

    if (!errorTitle.isEmpty() || !errorMessage.isEmpty()) {
        auto* errorLabel = new QLabel(QStringLiteral("<b>Error:</b> ") + errorTitle.toHtmlEscaped()
            + QStringLiteral("<br>") + errorMessage.toHtmlEscaped());
        errorLabel->setObjectName(QStringLiteral("feedbackErrorLabel"));
        errorLabel->setTextFormat(Qt::RichText);
        errorLabel->setWordWrap(true);
        layout->addWidget(errorLabel);
    }

    layout->addWidget(
        new QLabel(tr("The information below will be sent to KVD support:\n"
                      "  \u2022 Application version and system info\n"
                      "  \u2022 A summary of the current session (no file paths or sample names)\n"
                      "  \u2022 Recent diagnostic log messages")));

    layout->addWidget(new QLabel(tr("Your comment (optional):")));
    auto* comment = new QPlainTextEdit;
    comment->setObjectName(QStringLiteral("feedbackComment"));
    comment->setPlaceholderText(tr("Describe what happened or what you expected..."));
    comment->setMaximumHeight(100);
    layout->addWidget(comment);

    layout->addWidget(new QLabel(tr("Preview of data to be sent:")));
    auto* preview = new QPlainTextEdit;
    preview->setObjectName(QStringLiteral("feedbackPreview"));
    preview->setReadOnly(true);
    preview->setFont(QFont(QStringLiteral("monospace"), 8));
    preview->setPlainText(previewText);
    layout->addWidget(preview);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    QPushButton* send = buttons->addButton(tr("Send"), QDialogButtonBox::AcceptRole);
    send->setObjectName(QStringLiteral("feedbackSend"));
    send->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);

    if (commentField)
        *commentField = comment;
    return dialog;
}

void FeedbackSender::sendFeedback(const QString& version, const QString& sessionSummary,
    const QString& errorTitle, const QString& errorMessage, QWidget* parent,
    const ReportSecrets& secrets)
{
    const QString title = scrubReportText(errorTitle, secrets);
    const QString message = scrubReportText(errorMessage, secrets);
    const QByteArray preview = buildReport(version, sessionSummary, title, message, QString(),
        scrubReportText(recentLogText(), secrets));
    QPlainTextEdit* commentField = nullptr;
    QDialog* dialog = createFeedbackDialog(
        errorTitle, errorMessage, QString::fromUtf8(preview), &commentField, parent);
    if (prompts().execDialog(dialog) == QDialog::Accepted) {
        const QString comment = commentField->toPlainText().trimmed();
        upload(buildReport(version, sessionSummary, title, message, comment,
                   scrubReportText(recentLogText(), secrets)),
            version, parent);
    }
    dialog->deleteLater();
}

void FeedbackSender::upload(const QByteArray& report, const QString& version, QWidget* parent)
{
    QNetworkRequest request(ServiceEndpoints::feedbackUrl());
    request.setRawHeader(QByteArrayLiteral("X-Api-Key"), apiKey());
    request.setRawHeader(QByteArrayLiteral("X-Version"), version.toUtf8());
    request.setRawHeader(QByteArrayLiteral("X-Setup-Id"), QByteArrayLiteral("Tervane3"));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain"));
    QNetworkReply* reply = network->put(request, report);

    auto* progress = new QProgressDialog(tr("Sending feedback..."), tr("Cancel"), 0, 0, parent);
    progress->setObjectName(QStringLiteral("feedbackProgress"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(0);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->show();

    connect(reply, &QNetworkReply::uploadProgress, progress, [progress](qint64 sent, qint64 total) {
        if (total > 0) {
            progress->setMaximum(
                static_cast<int>(qMin<qint64>(total, std::numeric_limits<int>::max())));
            progress->setValue(
                static_cast<int>(qMin<qint64>(sent, std::numeric_limits<int>::max())));
        }
    });
    connect(progress, &QProgressDialog::canceled, reply, &QNetworkReply::abort);

    // The parent may be gone when the reply arrives (the window closed meanwhile).
    QPointer<QWidget> parentGuard(parent);
    QPointer<QProgressDialog> progressGuard(progress);
    connect(reply, &QNetworkReply::finished, this, [this, reply, progressGuard, parentGuard]() {
        onUploadFinished(reply, progressGuard.data(), parentGuard.data());
    });
}

void FeedbackSender::onUploadFinished(
    QNetworkReply* reply, QProgressDialog* progress, QWidget* parent)
{
    if (progress) {
        // Closing a progress dialog emits canceled(); the reply must not see it.
        progress->disconnect(reply);
        reply->disconnect(progress);
        progress->close();
        progress->deleteLater();
    }

    const QNetworkReply::NetworkError error = reply->error();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (error == QNetworkReply::NoError && (status == 0 || (status >= 200 && status < 300))) {
        prompts().information(parent, tr("Feedback Sent"),
            tr("Thank you! Your report has been sent to KVD support."));
    } else if (error != QNetworkReply::OperationCanceledError) {
        // A redirect is not followed for an upload, so a 3xx answer means the report did
        // not arrive although the network layer reports no error.
        const QString reason = error != QNetworkReply::NoError
            ? reply->errorString()
            : tr("The server answered with HTTP status %1.").arg(status);
        prompts().warning(
            parent, tr("Feedback Failed"), tr("Could not send feedback.\n\n%1").arg(reason));
    }
    reply->deleteLater();
}

} // namespace Tervane3
