// Settings-backed addresses of the update and feedback servers.
#include "services/ServiceEndpoints.h"

#include <QDebug>
#include <QSettings>
#include <QString>

#ifndef TERVANE3_DOWNLOAD_HOST
#define TERVANE3_DOWNLOAD_HOST "downloads.tervane3.example"
#endif
#ifndef TERVANE3_FEEDBACK_HOST
#define TERVANE3_FEEDBACK_HOST "feedback.tervane3.example"
#endif

namespace Tervane3::ServiceEndpoints {

namespace {

QUrl httpsAddress(const char* host, const QString& path)
{
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(QString::fromUtf8(host));
    url.setPath(path);
    return url;
}

QUrl readUrl(const char* key, const QUrl& fallback)
{
    const QString text = QSettings().value(QString::fromLatin1(key)).toString().trimmed();
    if (text.isEmpty())
        return fallback;
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || url.host().isEmpty())
        return fallback;
    return url;
}

void writeUrl(const char* key, const QUrl& url)
{
    QSettings settings;
    if (url.isEmpty())
        settings.remove(QString::fromLatin1(key));
    else
        settings.setValue(QString::fromLatin1(key), url.toString(QUrl::FullyEncoded));
}

} // namespace

QUrl defaultUpdateUrl()
{
    return httpsAddress(TERVANE3_DOWNLOAD_HOST,
        QStringLiteral("/media/public_001/Downloads/Tervane_3/tervane3_latest.json"));
}

QUrl defaultDownloadPage()
{
    return httpsAddress(TERVANE3_DOWNLOAD_HOST, QStringLiteral("/downloads"));
}

QUrl defaultFeedbackUrl()
{
    return httpsAddress(TERVANE3_FEEDBACK_HOST, QStringLiteral("/upload/"));
}

QUrl updateUrl()
{
    return readUrl(updateUrlKey, defaultUpdateUrl());
}

QUrl feedbackUrl()
{
    return readUrl(feedbackUrlKey, defaultFeedbackUrl());
}

QUrl safeDownloadUrl(const QString& serverUrl)
{
    const QUrl url(serverUrl.trimmed(), QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    const QString host = url.host().toLower();
    const bool webAddress = url.isValid() && !url.isRelative()
        && (scheme == QLatin1String("https") || scheme == QLatin1String("http")) && !host.isEmpty();
    const QString downloadHost = QString::fromUtf8(TERVANE3_DOWNLOAD_HOST).toLower();
    const QString endpointHost = updateUrl().host().toLower();
    if (webAddress && (host == downloadHost || host == endpointHost))
        return url;
    qWarning().noquote() << QStringLiteral("Update check: the download address \"%1\" is not on the download "
                                           "server; opening the download page instead")
                                .arg(serverUrl);
    return defaultDownloadPage();
}

void setUpdateUrl(const QUrl& url)
{
    writeUrl(updateUrlKey, url);
}

void setFeedbackUrl(const QUrl& url)
{
    writeUrl(feedbackUrlKey, url);
}

} // namespace Tervane3::ServiceEndpoints
