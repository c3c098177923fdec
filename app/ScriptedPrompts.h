// Prompts for tests: nothing is shown. Each prompt is recorded, and answered from queues
// the test fills beforehand (a box without a scripted answer counts as closed, a file
// dialog as cancelled, a dialog as rejected). An optional hook runs while a prompt is
// "open", so a test can deliver events that would arrive during a modal dialog.
#pragma once

#include "app/Prompts.h"

#include <deque>
#include <functional>

namespace Tervane3 {

class ScriptedPrompts : public Prompts
{
public:
    enum class Kind { Message, OpenFileNames, OpenFileName, SaveFileName, Directory, Text, Dialog, Url, Color, Progress, Item, Int };

    struct Call
    {
        Kind kind = Kind::Message;
        Icon icon = Icon::NoIcon;
        QString title;           // box title, dialog caption, dialog class name or progress label
        QString text;            // box text, start directory, input label, address or cancel text
        QStringList buttons;     // button texts of a box
        QString filter;          // file-dialog filter
        QStringList items;       // items of an item choice
        int value = 0;           // start value (integer prompt) or preselected position
        int minimum = 0;         // range of an integer prompt
        int maximum = 0;
        QWidget* parent = nullptr;
    };

    // Clicks the button with this text on the next box (-1 when the box has no such button).
    void answerMessage(const QString& buttonText);
    // The next file or folder dialog returns these paths (one for the single-file dialogs)
    // and reports this filter as the selected one.
    void answerFiles(const QStringList& paths, const QString& selectedFilter = QString());
    void answerText(const QString& text, bool ok = true);
    void answerDialog(int result);
    // The next openUrl reports this result (without an answer it reports success).
    void answerUrl(bool opened);
    // The next item choice returns this position (-1: cancelled).
    void answerItem(int position);
    void answerInt(int value, bool ok = true);
    // The next colour dialog returns this colour (invalid: cancelled, as with no answer).
    void answerColor(const QColor& color);
    // The user presses Cancel on the next progress window once its value reaches `value`;
    // the next wasCancelled() reports it (a negative value: never).
    void cancelProgressAt(int value);

    // Runs during each prompt, after it was recorded and before it returns.
    std::function<void(const Call&)> whileOpen;

    const std::vector<Call>& calls() const { return recorded; }
    int count(Kind kind) const;
    // Boxes with this title.
    int countTitled(const QString& title) const;
    const Call* last() const { return recorded.empty() ? nullptr : &recorded.back(); }
    void clear() { recorded.clear(); }
    // Every label and value set on the progress windows, in order.
    const QStringList& progressLabels() const { return labelsShown; }
    const std::vector<int>& progressValues() const { return valuesShown; }

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
    // Unanswered: cancelled.
    int getItem(QWidget* parent, const QString& title, const QString& label,
                const QStringList& items, int current) override;
    int getInt(QWidget* parent, const QString& title, const QString& label, int value,
               int minimum, int maximum, int step, bool* ok) override;
    int execDialog(QDialog* dialog) override;
    // Records the title and the initial colour's name as the text.
    QColor getColor(QWidget* parent, const QColor& initial, const QString& title) override;
    // Records the address; opens nothing and reports the scripted result (success by default).
    bool openUrl(const QUrl& url) override;
    std::unique_ptr<Progress> progress(QWidget* parent, const QString& label,
                                       const QString& cancelText, int maximum) override;

private:
    class ScriptedProgress;

    struct FileAnswer
    {
        QStringList paths;
        QString selectedFilter;
    };
    const Call& record(Call call);
    QStringList takeFiles(QString* selectedFilter);
    // Records a file or folder dialog and returns the scripted paths (none: cancelled).
    QStringList fileDialog(Kind kind, QWidget* parent, const QString& caption,
                           const QString& directory, const QString& filter,
                           QString* selectedFilter);

    std::vector<Call> recorded;
    std::deque<QString> messageAnswers;
    std::deque<FileAnswer> fileAnswers;
    std::deque<std::pair<QString, bool>> textAnswers;
    std::deque<int> dialogAnswers;
    std::deque<bool> urlAnswers;
    std::deque<int> itemAnswers;
    std::deque<std::pair<int, bool>> intAnswers;
    std::deque<QColor> colorAnswers;
    std::deque<int> progressCancelValues;
    QStringList labelsShown;
    std::vector<int> valuesShown;
};

// Installs a ScriptedPrompts for the lifetime of the guard and restores the previous prompts.
class ScriptedPromptsGuard
{
public:
    ScriptedPromptsGuard();
    ~ScriptedPromptsGuard();
    ScriptedPrompts& operator*() const { return *scripted; }
    ScriptedPrompts* operator->() const { return scripted; }

    ScriptedPromptsGuard(const ScriptedPromptsGuard&) = delete;
    ScriptedPromptsGuard& operator=(const ScriptedPromptsGuard&) = delete;

private:
    ScriptedPrompts* scripted;
    std::unique_ptr<Prompts> previous;
};

} // namespace Tervane3
