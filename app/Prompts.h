// Every message box, file dialog and modal dialog of the program goes through one
// replaceable object, so that each flow can run headless in a test: the default shows the
// real Qt dialogs, a test installs ScriptedPrompts, which answers from a script and records
// what would have been shown.
#pragma once

#include <QColor>
#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QDialog;
class QUrl;
class QWidget;

namespace Tervane3 {

class Prompts
{
public:
    enum class Icon { NoIcon, Information, Warning, Critical, Question };

    struct Button
    {
        QString text;
        QMessageBox::ButtonRole role;
        // The button that Enter presses; without one the box chooses by role.
        bool isDefault = false;
    };

    virtual ~Prompts();

    // A modal box with the given buttons; returns the index of the clicked button, or -1
    // when the box was closed without one.
    virtual int message(QWidget* parent, Icon icon, const QString& title, const QString& text,
                        const std::vector<Button>& buttons) = 0;

    virtual QStringList getOpenFileNames(QWidget* parent, const QString& caption,
                                         const QString& directory, const QString& filter,
                                         QString* selectedFilter = nullptr) = 0;
    virtual QString getOpenFileName(QWidget* parent, const QString& caption,
                                    const QString& directory, const QString& filter,
                                    QString* selectedFilter = nullptr) = 0;
    virtual QString getSaveFileName(QWidget* parent, const QString& caption,
                                    const QString& directory, const QString& filter,
                                    QString* selectedFilter = nullptr) = 0;
    virtual QString getExistingDirectory(QWidget* parent, const QString& caption,
                                         const QString& directory) = 0;
    // A line of text; ok (when given) tells whether the user accepted.
    virtual QString getText(QWidget* parent, const QString& title, const QString& label,
                            const QString& text, bool* ok) = 0;

    // A choice among fixed items (not editable), `current` preselected; returns the chosen
    // position (items may repeat), -1 when cancelled.
    virtual int getItem(QWidget* parent, const QString& title, const QString& label,
                        const QStringList& items, int current) = 0;
    // A whole number within minimum..maximum; ok (when given) tells whether the user accepted.
    virtual int getInt(QWidget* parent, const QString& title, const QString& label, int value,
                       int minimum, int maximum, int step, bool* ok) = 0;

    // Runs a dialog the caller built (QDialog::exec); returns its result code.
    virtual int execDialog(QDialog* dialog) = 0;

    // A colour chosen starting from `initial`; an invalid colour when the user cancelled.
    virtual QColor getColor(QWidget* parent, const QColor& initial, const QString& title) = 0;

    // Hands an address to the desktop (browser, file manager); false when that failed.
    virtual bool openUrl(const QUrl& url) = 0;

    // A window-modal progress window for long work on the GUI thread, shown at once with the
    // range 0 .. maximum. Closed when the object is destroyed.
    class Progress
    {
    public:
        virtual ~Progress();
        virtual void setLabel(const QString& text) = 0;
        virtual void setValue(int value) = 0;
        // Lets pending events run first, so a click on the cancel button made while the
        // work kept the event loop busy is noticed here.
        virtual bool wasCancelled() = 0;
    };
    virtual std::unique_ptr<Progress> progress(QWidget* parent, const QString& label,
                                               const QString& cancelText, int maximum) = 0;

    // Convenience boxes with one "OK" button.
    void information(QWidget* parent, const QString& title, const QString& text);
    void warning(QWidget* parent, const QString& title, const QString& text);
    void critical(QWidget* parent, const QString& title, const QString& text);
    // Yes/No question; true for Yes.
    bool question(QWidget* parent, const QString& title, const QString& text);
};

// The real dialogs.
class DialogPrompts : public Prompts
{
public:
    int message(QWidget* parent, Icon icon, const QString& title, const QString& text,
                const std::vector<Button>& buttons) override;
    QStringList getOpenFileNames(QWidget* parent, const QString& caption, const QString& directory,
                                 const QString& filter, QString* selectedFilter) override;
    QString getOpenFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter, QString* selectedFilter) override;
    QString getSaveFileName(QWidget* parent, const QString& caption, const QString& directory,
                            const QString& filter, QString* selectedFilter) override;
    QString getExistingDirectory(QWidget* parent, const QString& caption,
                                 const QString& directory) override;
    QString getText(QWidget* parent, const QString& title, const QString& label,
                    const QString& text, bool* ok) override;
    int getItem(QWidget* parent, const QString& title, const QString& label,
                const QStringList& items, int current) override;
    int getInt(QWidget* parent, const QString& title, const QString& label, int value,
               int minimum, int maximum, int step, bool* ok) override;
    int execDialog(QDialog* dialog) override;
    QColor getColor(QWidget* parent, const QColor& initial, const QString& title) override;
    bool openUrl(const QUrl& url) override;
    std::unique_ptr<Progress> progress(QWidget* parent, const QString& label,
                                       const QString& cancelText, int maximum) override;
};

// The prompts in use: DialogPrompts unless another was installed. GUI thread only.
Prompts& prompts();
// Installs another implementation (null restores the real dialogs); returns the old one.
std::unique_ptr<Prompts> setPrompts(std::unique_ptr<Prompts> replacement);

} // namespace Tervane3
