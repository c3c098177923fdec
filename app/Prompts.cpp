// The default prompts on QMessageBox, QFileDialog and QInputDialog, and the global slot.
#include "app/Prompts.h"

#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QProgressDialog>
#include <QPushButton>

namespace Tervane3 {

namespace {

std::unique_ptr<Prompts>& currentPrompts()
{
    static std::unique_ptr<Prompts> current;
    return current;
}

QMessageBox::Icon boxIcon(Prompts::Icon icon)
{
    switch (icon) {
    case Prompts::Icon::Information:
        return QMessageBox::Information;
    case Prompts::Icon::Warning:
        return QMessageBox::Warning;
    case Prompts::Icon::Critical:
        return QMessageBox::Critical;
    case Prompts::Icon::Question:
        return QMessageBox::Question;
    case Prompts::Icon::NoIcon:
        break;
    }
    return QMessageBox::NoIcon;
}

const QString okText = QStringLiteral("OK");

class DialogProgress : public Prompts::Progress
{
public:
    DialogProgress(QWidget* parent, const QString& label, const QString& cancelText, int maximum)
        : dialog(label, cancelText, 0, maximum, parent)
    {
        dialog.setWindowModality(Qt::WindowModal);
        dialog.setMinimumDuration(0);
        // The caller decides when the work is over; the window stays until it is destroyed.
        dialog.setAutoClose(false);
        dialog.setAutoReset(false);
        dialog.setValue(0);
    }
    void setLabel(const QString& text) override { dialog.setLabelText(text); }
    void setValue(int value) override { dialog.setValue(value); }
    bool wasCancelled() override
    {
        QCoreApplication::processEvents();
        return dialog.wasCanceled();
    }

private:
    QProgressDialog dialog;
};

} // namespace

Prompts::~Prompts() = default;

Prompts::Progress::~Progress() = default;

void Prompts::information(QWidget* parent, const QString& title, const QString& text)
{
    message(parent, Icon::Information, title, text, {{okText, QMessageBox::AcceptRole}});
}

void Prompts::warning(QWidget* parent, const QString& title, const QString& text)
{
    message(parent, Icon::Warning, title, text, {{okText, QMessageBox::AcceptRole}});
}

void Prompts::critical(QWidget* parent, const QString& title, const QString& text)
{
    message(parent, Icon::Critical, title, text, {{okText, QMessageBox::AcceptRole}});
}

bool Prompts::question(QWidget* parent, const QString& title, const QString& text)
{
    return message(parent, Icon::Question, title, text,
                   {{QStringLiteral("&Yes"), QMessageBox::YesRole},
                    {QStringLiteral("&No"), QMessageBox::NoRole}})
           == 0;
}

int DialogPrompts::message(QWidget* parent, Icon icon, const QString& title, const QString& text,
                           const std::vector<Button>& buttons)
{
    QMessageBox box(boxIcon(icon), title, text, QMessageBox::NoButton, parent);
    std::vector<QAbstractButton*> made;
    made.reserve(buttons.size());
    for (const Button& b : buttons) {
        made.push_back(box.addButton(b.text, b.role));
        if (b.isDefault)
            box.setDefaultButton(qobject_cast<QPushButton*>(made.back()));
    }
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (size_t i = 0; i < made.size(); ++i) {
        if (made[i] == clicked)
            return static_cast<int>(i);
    }
    return -1;
}

QStringList DialogPrompts::getOpenFileNames(QWidget* parent, const QString& caption,
                                            const QString& directory, const QString& filter,
                                            QString* selectedFilter)
{
    return QFileDialog::getOpenFileNames(parent, caption, directory, filter, selectedFilter);
}

QString DialogPrompts::getOpenFileName(QWidget* parent, const QString& caption,
                                       const QString& directory, const QString& filter,
                                       QString* selectedFilter)
{
    return QFileDialog::getOpenFileName(parent, caption, directory, filter, selectedFilter);
}

QString DialogPrompts::getSaveFileName(QWidget* parent, const QString& caption,
                                       const QString& directory, const QString& filter,
                                       QString* selectedFilter)
{
    return QFileDialog::getSaveFileName(parent, caption, directory, filter, selectedFilter);
}

QString DialogPrompts::getExistingDirectory(QWidget* parent, const QString& caption,
                                            const QString& directory)
{
    return QFileDialog::getExistingDirectory(parent, caption, directory);
}

QString DialogPrompts::getText(QWidget* parent, const QString& title, const QString& label,
                               const QString& text, bool* ok)
{
    return QInputDialog::getText(parent, title, label, QLineEdit::Normal, text, ok);
}

int DialogPrompts::getItem(QWidget* parent, const QString& title, const QString& label,
                           const QStringList& items, int current)
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setComboBoxItems(items);
    dialog.setComboBoxEditable(false);
    if (current >= 0 && current < items.size())
        dialog.setTextValue(items.at(current));
    auto* combo = dialog.findChild<QComboBox*>();
    if (combo && current >= 0 && current < items.size())
        combo->setCurrentIndex(current);
    if (dialog.exec() != QDialog::Accepted)
        return -1;
    // The position, not the text: items may repeat.
    return combo ? combo->currentIndex() : static_cast<int>(items.indexOf(dialog.textValue()));
}

int DialogPrompts::getInt(QWidget* parent, const QString& title, const QString& label, int value,
                          int minimum, int maximum, int step, bool* ok)
{
    return QInputDialog::getInt(parent, title, label, value, minimum, maximum, step, ok);
}

int DialogPrompts::execDialog(QDialog* dialog)
{
    return dialog ? dialog->exec() : QDialog::Rejected;
}

QColor DialogPrompts::getColor(QWidget* parent, const QColor& initial, const QString& title)
{
    return QColorDialog::getColor(initial, parent, title);
}

bool DialogPrompts::openUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

std::unique_ptr<Prompts::Progress> DialogPrompts::progress(QWidget* parent, const QString& label,
                                                           const QString& cancelText, int maximum)
{
    return std::make_unique<DialogProgress>(parent, label, cancelText, maximum);
}

Prompts& prompts()
{
    std::unique_ptr<Prompts>& current = currentPrompts();
    if (!current)
        current = std::make_unique<DialogPrompts>();
    return *current;
}

std::unique_ptr<Prompts> setPrompts(std::unique_ptr<Prompts> replacement)
{
    std::unique_ptr<Prompts> old = std::move(currentPrompts());
    currentPrompts() = std::move(replacement);
    return old;
}

} // namespace Tervane3
