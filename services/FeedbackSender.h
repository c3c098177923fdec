// Feedback reports: composes the plain-text report (version, system, the error if any, the
// user's comment, the session summary the main window builds and the recent log lines),
// shows it in a dialog with a comment field and uploads it with one HTTP PUT.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QDialog;
class QNetworkAccessManager;
class QNetworkReply;
class QPlainTextEdit;
class QProgressDialog;
class QWidget;

namespace Tervane3 {

struct ReportSecrets;

class FeedbackSender : public QObject {
    Q_OBJECT

public:
    explicit FeedbackSender(QObject* parent = nullptr);

    // The whole interaction: report preview, dialog, and on "Send" the upload. Returns when
    // the dialog is closed; the upload continues in the background. An empty title and
    // message means a report without an error section (the Help menu's entry). The error
    // and the log lines are scrubbed of the secrets and of every absolute path before the
    // preview and the upload are built.
    void sendFeedback(const QString& version, const QString& sessionSummary,
        const QString& errorTitle, const QString& errorMessage, QWidget* parent,
        const ReportSecrets& secrets);

    // The report with the program's recent log lines.
    static QByteArray buildReport(const QString& version, const QString& sessionSummary,
        const QString& errorTitle, const QString& errorMessage, const QString& comment);
    // The same with the log text given.
    static QByteArray buildReport(const QString& version, const QString& sessionSummary,
        const QString& errorTitle, const QString& errorMessage, const QString& comment,
        const QString& logText);

    // The feedback dialog (owned by the caller); commentField receives its comment editor.
    static QDialog* createFeedbackDialog(const QString& errorTitle, const QString& errorMessage,
        const QString& previewText, QPlainTextEdit** commentField, QWidget* parent);

    // Starts the PUT and shows a window-modal busy dialog whose "Cancel" aborts it; the
    // result is reported in a box on the parent.
    void upload(const QByteArray& report, const QString& version, QWidget* parent);

    // The access key sent as X-Api-Key; chosen at build time (TERVANE3_FEEDBACK_API_KEY) and
    // kept masked in the binary.
    static QByteArray apiKey();

private:
    void onUploadFinished(QNetworkReply* reply, QProgressDialog* progress, QWidget* parent);

    QNetworkAccessManager* network;
};

} // namespace Tervane3
