// Update check: one HTTP GET of the version document per check, handled on the GUI thread.
#include "services/UpdateChecker.h"

#include "services/ServiceEndpoints.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>

#ifndef TERVANE3_VERSION
#define TERVANE3_VERSION "3.2.97"
#endif

namespace Tervane3 {

namespace {

QString stringValue(const QJsonObject& object, const QString& key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

} // namespace

UpdateChecker::UpdateChecker(QObject* parent)
    : QObject(parent)
    , network(new QNetworkAccessManager(this))
{
}

QString UpdateChecker::currentVersion()
{
    return QStringLiteral(TERVANE3_VERSION);
}

QStringList UpdateChecker::parseVersion(const QString& text)
{
    QStringList segments;
    int pos = 0;
    const int length = text.size();
    while (pos < length) {
        const int start = pos;
        while (pos < length && text.at(pos) >= QLatin1Char('0') && text.at(pos) <= QLatin1Char('9'))
            ++pos;
        if (pos == start)
            break;
        int firstNonZero = start;
        while (firstNonZero < pos - 1 && text.at(firstNonZero) == QLatin1Char('0'))
            ++firstNonZero;
        segments.append(text.mid(firstNonZero, pos - firstNonZero));
        if (pos < length && text.at(pos) == QLatin1Char('.'))
            ++pos;
        else
            break;
    }
    return segments;
}

int UpdateChecker::compareVersions(const QStringList& a, const QStringList& b)
{
    const int common = std::min(a.size(), b.size());
    for (int i = 0; i < common; ++i) {
        // Segments carry no leading zeros, so a longer digit string is the larger number.
        if (a.at(i).size() != b.at(i).size())
            return a.at(i).size() < b.at(i).size() ? -1 : 1;
        const int c = a.at(i).compare(b.at(i));
        if (c != 0)
            return c < 0 ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

void UpdateChecker::check(bool silent)
{
    QNetworkRequest request(ServiceEndpoints::updateUrl());
    request.setHeader(
        QNetworkRequest::UserAgentHeader, QStringLiteral("Tervane3/%1").arg(currentVersion()));
    request.setAttribute(
        QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = network->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply, silent]() {
        onReplyFinished(reply, silent);
        reply->deleteLater();
    });
}

void UpdateChecker::onReplyFinished(QNetworkReply* reply, bool silent)
{
    if (reply->error() != QNetworkReply::NoError) {
        if (!silent)
            emit checkFailed(reply->errorString());
        return;
    }

    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        if (!silent)
            emit checkFailed(tr("Could not read version information from the server."));
        return;
    }

    const QJsonObject object = document.object();
    const QString latest = stringValue(object, QStringLiteral("version"));
    QString url = stringValue(object, QStringLiteral("url"));
    if (!object.value(QStringLiteral("url")).isString())
        url = ServiceEndpoints::defaultDownloadPage().toString();
    const QString notes = stringValue(object, QStringLiteral("notes"));

    const QStringList published = parseVersion(latest);
    if (published.isEmpty()) {
        if (!silent)
            emit checkFailed(tr("The server returned an unrecognized version string."));
        return;
    }

    if (compareVersions(published, parseVersion(currentVersion())) > 0)
        emit updateAvailable(latest, url, notes);
    else if (!silent)
        emit upToDate(currentVersion());
}

} // namespace Tervane3
