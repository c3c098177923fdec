// A statistical evaluation window over a stand-in host with scripted prompts, and the
// helpers its tests share: widgets by name, categories filled with one-value datasets,
// feature selection by key, table cells as text.
#pragma once

#include "StatsFixture.h"
#include "app/ScriptedPrompts.h"
#include "stats/CategoryPanel.h"
#include "stats/StatisticalEvalWindow.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace Tervane3::Test {

class StatEvalWindowTest : public ::testing::Test
{
protected:
    template <typename T>
    T* widget(const char* name) const
    {
        T* found = window.findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QComboBox* combo(const char* name) const { return widget<QComboBox>(name); }
    QCheckBox* check(const char* name) const { return widget<QCheckBox>(name); }
    QListWidget* features() const { return widget<QListWidget>("featureList"); }
    QTableWidget* table(const char* name = "resultTable") const { return widget<QTableWidget>(name); }
    QString explanation() const { return widget<QLabel>("explanationLabel")->text(); }
    QString testLine() const { return widget<QLabel>("testInfoLabel")->text(); }
    CategoryPanel* panel(size_t i) const { return window.categories().at(i); }

    // Adds a dataset per value to the category; every feature of a dataset has its value.
    void fill(size_t category, const std::vector<double>& values, const QString& prefix = QString())
    {
        while (window.categories().size() <= category)
            window.onAddCategory();
        for (double v : values) {
            const QString name = (prefix.isEmpty() ? QStringLiteral("c%1 ").arg(category) : prefix)
                                 + QString::number(named++);
            ASSERT_TRUE(panel(category)->addDataset(data.addValue(name, v)));
        }
    }
    // Renames the category as the user does: edit the name, finish editing.
    void rename(size_t category, const QString& name)
    {
        auto* edit = panel(category)->findChild<QLineEdit*>(QStringLiteral("nameEdit"));
        edit->setText(name);
        emit edit->editingFinished();
    }
    // The display label of a feature key (from the first dataset's reader).
    QString label(const char* key) const
    {
        return QString::fromStdString(data.host.entries.front()->reader->featureLabel(key));
    }
    // Selects exactly the items of these keys, in this order.
    void select(const std::vector<QString>& keys)
    {
        features()->clearSelection();
        for (const QString& key : keys)
            for (int row = 0; row < features()->count(); ++row)
                if (features()->item(row)->data(Qt::UserRole).toString() == key)
                    features()->item(row)->setSelected(true);
    }
    QString cell(int row, int column, const char* name = "resultTable") const
    {
        const QTableWidgetItem* item = table(name)->item(row, column);
        return item ? item->text() : QString();
    }
    QString header(int column, const char* name = "resultTable") const
    {
        const QTableWidgetItem* item = table(name)->horizontalHeaderItem(column);
        return item ? item->text() : QString();
    }
    // The texts of the boxes shown so far with this title.
    QStringList boxes(const QString& title) const
    {
        QStringList texts;
        for (const ScriptedPrompts::Call& call : prompts->calls())
            if (call.kind == ScriptedPrompts::Kind::Message && call.title == title)
                texts << call.text;
        return texts;
    }

    StatsDatasets data;
    ScriptedPromptsGuard prompts;
    StatisticalEvalWindow window{&data.host};
    int named = 0;
};

} // namespace Tervane3::Test
