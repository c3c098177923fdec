// Addresses of the two network services (the version document of the update check and the
// feedback upload). Each is a user setting with a built-in default, so a test or a site
// installation can point the program at another server without rebuilding it.
#pragma once

#include <QUrl>

namespace Tervane3::ServiceEndpoints {

// Settings keys, full endpoint addresses as text.
inline constexpr char updateUrlKey[] = "updates/serverUrl";
inline constexpr char feedbackUrlKey[] = "feedback/serverUrl";

// Built-in addresses; hosts are chosen at build time (TERVANE3_DOWNLOAD_HOST,
// TERVANE3_FEEDBACK_HOST), the paths are fixed.
QUrl defaultUpdateUrl();
QUrl defaultDownloadPage();
QUrl defaultFeedbackUrl();

// The address from the settings, or the default when the setting is absent, empty or not
// a valid absolute address.
QUrl updateUrl();
QUrl feedbackUrl();

// The address "Open Downloads..." may open for the "url" of a version document: the
// server's address when its scheme is https or http and its host is the download host or
// the host of the configured update endpoint; anything else (file:, javascript:, another
// scheme or host, an invalid or empty address) gives the default download page and a
// logged warning naming the rejected address. The document comes from the network, so
// its address is never opened unchecked.
QUrl safeDownloadUrl(const QString& serverUrl);

// Store an address; an empty address removes the setting (back to the default).
void setUpdateUrl(const QUrl& url);
void setFeedbackUrl(const QUrl& url);

} // namespace Tervane3::ServiceEndpoints
