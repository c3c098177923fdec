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

// Store an address; an empty address removes the setting (back to the default).
void setUpdateUrl(const QUrl& url);
void setFeedbackUrl(const QUrl& url);

} // namespace Tervane3::ServiceEndpoints
