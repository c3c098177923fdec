// Removal of paths and names from feedback report text.
#include "services/ReportScrubber.h"

#include <QRegularExpression>

#include <algorithm>

namespace Tervane3 {

namespace {

QStringList longestFirst(QStringList items)
{
    items.removeAll(QString());
    items.removeDuplicates();
    std::stable_sort(items.begin(), items.end(),
                     [](const QString& a, const QString& b) { return a.size() > b.size(); });
    return items;
}

} // namespace

QString scrubReportText(const QString& text, const ReportSecrets& secrets)
{
    QString out = text;

    static const QRegularExpression fileUrl(QStringLiteral("file:[^\\s\"']*"),
                                            QRegularExpression::CaseInsensitiveOption);
    out.replace(fileUrl, QStringLiteral("<path>"));

    for (const QString& path : longestFirst(secrets.paths)) {
        // Shown with either separator (a Windows path may be logged with "/").
        QString other = path;
        other.replace(QLatin1Char('\\'), QLatin1Char('/'));
        out.replace(path, QStringLiteral("<path>"));
        if (other != path)
            out.replace(other, QStringLiteral("<path>"));
    }

    for (const QString& name : longestFirst(secrets.names)) {
        const QRegularExpression whole(QStringLiteral("(?<![\\p{L}\\p{N}_])%1(?![\\p{L}\\p{N}_])")
                                           .arg(QRegularExpression::escape(name)));
        out.replace(whole, QStringLiteral("<name>"));
    }

    // A start that is no part of a word, an address or a longer path; then at least two
    // separators before the next blank or quote.
    static const QRegularExpression absolutePath(
        QStringLiteral("(?<![\\p{L}\\p{N}_.:/\\\\<>-])(?:[A-Za-z]:[\\\\/]|/)[^\\s\"'\\\\/]+[\\\\/][^\\s\"']*"));
    out.replace(absolutePath, QStringLiteral("<path>"));
    return out;
}

} // namespace Tervane3
