// Recording, script-answered prompts for headless tests.
#include "app/ScriptedPrompts.h"

#include <QDialog>
#include <QUrl>

namespace Tervane3 {

namespace {

// The first scripted answer, or the fallback when none is left.
template <typename T>
T takeAnswer(std::deque<T>& answers, const typename std::deque<T>::value_type& fallback)
{
    if (answers.empty())
        return fallback;
    T answer = answers.front();
    answers.pop_front();
    return answer;
}

} // namespace

void ScriptedPrompts::answerMessage(const QString& buttonText)
{
    messageAnswers.push_back(buttonText);
}

void ScriptedPrompts::answerFiles(const QStringList& paths, const QString& selectedFilter)
{
    fileAnswers.push_back({paths, selectedFilter});
}

void ScriptedPrompts::answerText(const QString& text, bool ok)
{
    textAnswers.emplace_back(text, ok);
}

void ScriptedPrompts::answerDialog(int result)
{
    dialogAnswers.push_back(result);
}

void ScriptedPrompts::answerItem(int position)
{
    itemAnswers.push_back(position);
}

void ScriptedPrompts::answerInt(int value, bool ok)
{
    intAnswers.emplace_back(value, ok);
}

void ScriptedPrompts::answerColor(const QColor& color)
{
    colorAnswers.push_back(color);
}

void ScriptedPrompts::cancelProgressAt(int value)
{
    progressCancelValues.push_back(value);
}

int ScriptedPrompts::count(Kind kind) const
{
    int n = 0;
    for (const Call& c : recorded)
        n += c.kind == kind ? 1 : 0;
    return n;
}

int ScriptedPrompts::countTitled(const QString& title) const
{
    int n = 0;
    for (const Call& c : recorded)
        n += (c.kind == Kind::Message && c.title == title) ? 1 : 0;
    return n;
}

const ScriptedPrompts::Call& ScriptedPrompts::record(Call call)
{
    recorded.push_back(std::move(call));
    // The hook may prompt again (a nested event), which may grow the vector: hand it a copy.
    if (whileOpen) {
        const Call copy = recorded.back();
        whileOpen(copy);
    }
    return recorded.back();
}

QStringList ScriptedPrompts::takeFiles(QString* selectedFilter)
{
    if (fileAnswers.empty())
        return {};
    FileAnswer answer = std::move(fileAnswers.front());
    fileAnswers.pop_front();
    if (selectedFilter && !answer.selectedFilter.isEmpty())
        *selectedFilter = answer.selectedFilter;
    return answer.paths;
}

int ScriptedPrompts::message(QWidget* parent, Icon icon, const QString& title, const QString& text,
                             const std::vector<Button>& buttons)
{
    Call call;
    call.kind = Kind::Message;
    call.icon = icon;
    call.title = title;
    call.text = text;
    call.parent = parent;
    for (const Button& b : buttons)
        call.buttons << b.text;
    const QString answer = takeAnswer(messageAnswers, QString());
    const QStringList texts = call.buttons;
    record(std::move(call));
    return answer.isNull() ? -1 : static_cast<int>(texts.indexOf(answer));
}

QStringList ScriptedPrompts::fileDialog(Kind kind, QWidget* parent, const QString& caption,
                                        const QString& directory, const QString& filter,
                                        QString* selectedFilter)
{
    Call call;
    call.kind = kind;
    call.title = caption;
    call.text = directory;
    call.filter = filter;
    call.parent = parent;
    const QStringList paths = takeFiles(selectedFilter);
    record(std::move(call));
    return paths;
}

QStringList ScriptedPrompts::getOpenFileNames(QWidget* parent, const QString& caption,
                                              const QString& directory, const QString& filter,
                                              QString* selectedFilter)
{
    return fileDialog(Kind::OpenFileNames, parent, caption, directory, filter, selectedFilter);
}

QString ScriptedPrompts::getOpenFileName(QWidget* parent, const QString& caption,
                                         const QString& directory, const QString& filter,
                                         QString* selectedFilter)
{
    return fileDialog(Kind::OpenFileName, parent, caption, directory, filter, selectedFilter).value(0);
}

QString ScriptedPrompts::getSaveFileName(QWidget* parent, const QString& caption,
                                         const QString& directory, const QString& filter,
                                         QString* selectedFilter)
{
    return fileDialog(Kind::SaveFileName, parent, caption, directory, filter, selectedFilter).value(0);
}

QString ScriptedPrompts::getExistingDirectory(QWidget* parent, const QString& caption,
                                              const QString& directory)
{
    return fileDialog(Kind::Directory, parent, caption, directory, QString(), nullptr).value(0);
}

QString ScriptedPrompts::getText(QWidget* parent, const QString& title, const QString& label,
                                 const QString& text, bool* ok)
{
    Call call;
    call.kind = Kind::Text;
    call.title = title;
    call.text = label;
    call.parent = parent;
    const std::pair<QString, bool> answer = takeAnswer(textAnswers, {text, false});
    record(std::move(call));
    if (ok)
        *ok = answer.second;
    return answer.second ? answer.first : QString();
}

int ScriptedPrompts::getItem(QWidget* parent, const QString& title, const QString& label,
                             const QStringList& items, int current)
{
    Call call;
    call.kind = Kind::Item;
    call.title = title;
    call.text = label;
    call.items = items;
    call.value = current;
    call.parent = parent;
    const int answer = takeAnswer(itemAnswers, -1);
    record(std::move(call));
    return answer;
}

int ScriptedPrompts::getInt(QWidget* parent, const QString& title, const QString& label, int value,
                            int minimum, int maximum, int, bool* ok)
{
    Call call;
    call.kind = Kind::Int;
    call.title = title;
    call.text = label;
    call.value = value;
    call.minimum = minimum;
    call.maximum = maximum;
    call.parent = parent;
    const std::pair<int, bool> answer = takeAnswer(intAnswers, {value, false});
    record(std::move(call));
    if (ok)
        *ok = answer.second;
    return answer.second ? answer.first : value;
}

int ScriptedPrompts::execDialog(QDialog* dialog)
{
    Call call;
    call.kind = Kind::Dialog;
    call.title = dialog ? QString::fromLatin1(dialog->metaObject()->className()) : QString();
    call.text = dialog ? dialog->windowTitle() : QString();
    call.parent = dialog ? dialog->parentWidget() : nullptr;
    const int result = takeAnswer(dialogAnswers, QDialog::Rejected);
    record(std::move(call));
    if (dialog)
        dialog->setResult(result);
    return result;
}

QColor ScriptedPrompts::getColor(QWidget* parent, const QColor& initial, const QString& title)
{
    Call call;
    call.kind = Kind::Color;
    call.title = title;
    call.text = initial.name(QColor::HexArgb);
    call.parent = parent;
    const QColor answer = takeAnswer(colorAnswers, QColor());
    record(std::move(call));
    return answer;
}

bool ScriptedPrompts::openUrl(const QUrl& url)
{
    Call call;
    call.kind = Kind::Url;
    call.text = url.toString(QUrl::FullyEncoded);
    record(std::move(call));
    return takeAnswer(urlAnswers, true);
}

void ScriptedPrompts::answerUrl(bool opened)
{
    urlAnswers.push_back(opened);
}

class ScriptedPrompts::ScriptedProgress : public Prompts::Progress
{
public:
    ScriptedProgress(ScriptedPrompts& owner, int cancelValue)
        : prompts(owner), cancelAt(cancelValue)
    {
    }
    void setLabel(const QString& text) override { prompts.labelsShown << text; }
    void setValue(int value) override
    {
        prompts.valuesShown.push_back(value);
        if (cancelAt >= 0 && value >= cancelAt)
            pressed = true;
    }
    bool wasCancelled() override { return pressed; }

private:
    ScriptedPrompts& prompts;
    int cancelAt;
    bool pressed = false;
};

std::unique_ptr<Prompts::Progress> ScriptedPrompts::progress(QWidget* parent, const QString& label,
                                                             const QString& cancelText, int)
{
    Call call;
    call.kind = Kind::Progress;
    call.title = label;
    call.text = cancelText;
    call.parent = parent;
    int cancelValue = -1;
    if (!progressCancelValues.empty()) {
        cancelValue = progressCancelValues.front();
        progressCancelValues.pop_front();
    }
    record(std::move(call));
    return std::make_unique<ScriptedProgress>(*this, cancelValue);
}

ScriptedPromptsGuard::ScriptedPromptsGuard()
{
    auto owned = std::make_unique<ScriptedPrompts>();
    scripted = owned.get();
    previous = setPrompts(std::move(owned));
}

ScriptedPromptsGuard::~ScriptedPromptsGuard()
{
    setPrompts(std::move(previous));
}

} // namespace Tervane3
