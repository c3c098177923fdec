// The About dialog: program name and version, what it is for, the libraries it is built
// with, and links to the licence documents that ship in a folder beside the program.
#pragma once

#include <QDialog>
#include <QString>

namespace Tervane3 {

class AboutDialog : public QDialog {
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

public slots:
    // Opens the document or folder behind an "app:" link, or any other address with the
    // desktop services; warns when the licence folder or the document is missing.
    void onLinkActivated(const QString& link);
};

// The licence folder: "<app dir>/licenses", else "<app dir>/../share/tervane3/licenses",
// each cleaned of "." and ".." steps; the first existing folder wins, none gives "".
QString findLicensesDir();
// The same search below another application folder.
QString findLicensesDir(const QString& applicationDir);

// The document or folder (relative to the licence folder) behind an "app:" link of the
// dialog, or an empty string for any other link.
QString licenseLinkTarget(const QString& link);

// Opens a licence document or folder with the desktop's default application; warns (title
// "About") when the path is missing or cannot be opened.
void openLicenseDocument(QWidget* parent, const QString& path);

} // namespace Tervane3
