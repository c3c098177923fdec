// Asks the download server for the latest published version and reports whether it is
// newer than the running program. The main window turns the signals into message boxes
// and keeps the "updates/..." settings; this class keeps no state between checks.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QNetworkAccessManager;
class QNetworkReply;

namespace Tervane3 {

class UpdateChecker : public QObject {
    Q_OBJECT

public:
    explicit UpdateChecker(QObject* parent = nullptr);

    // Starts one GET of the version document and returns at once. A silent check reports
    // only a newer version; failures and "up to date" are reported only when not silent.
    // Several checks may run at once; each reply carries its own silent flag.
    void check(bool silent);

    // The running program's version, "3.2.97".
    static QString currentVersion();

    // The leading numeric segments of a version text ("3.3.0-beta" -> 3, 3, 0), each
    // without leading zeros so that segments of any length compare exactly. Empty when the
    // text does not start with a digit.
    static QStringList parseVersion(const QString& text);

    // Segment-wise numeric comparison; when all common segments are equal the longer
    // number is the greater (3.2.97.0 > 3.2.97). Returns <0, 0 or >0.
    static int compareVersions(const QStringList& a, const QStringList& b);

signals:
    void updateAvailable(
        const QString& latestVersion, const QString& downloadUrl, const QString& notes);
    void upToDate(const QString& currentVersion);
    void checkFailed(const QString& errorMessage);

private:
    void onReplyFinished(QNetworkReply* reply, bool silent);

    QNetworkAccessManager* network;
};

} // namespace Tervane3
