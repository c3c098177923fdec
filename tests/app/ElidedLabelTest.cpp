// The eliding label: its size hints do not depend on the text, it shows what fits with the
// middle left out, and offers the whole text as a tooltip only when something is left out.
#include "app/ElidedLabel.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

#include <gtest/gtest.h>

using namespace Tervane3;

namespace {

TEST(ElidedLabelTest, SizeHintsIgnoreTheText)
{
    ElidedLabel label(QStringLiteral("short"));
    const QSize hint = label.sizeHint();
    const QSize least = label.minimumSizeHint();
    label.setText(QString(100000, QLatin1Char('x')));
    EXPECT_EQ(label.sizeHint(), hint);
    EXPECT_EQ(label.minimumSizeHint(), least);
    // Line breaks do not make it taller either.
    label.setText(QStringLiteral("a\nb\nc"));
    EXPECT_EQ(label.minimumSizeHint(), least);

    // In a layout, a long text leaves the window's minimum width as it was.
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* inLayout = new ElidedLabel(QStringLiteral("name"), &window);
    layout->addWidget(inLayout);
    const int before = window.minimumSizeHint().width();
    inLayout->setText(QString(10000, QLatin1Char('S')));
    EXPECT_EQ(window.minimumSizeHint().width(), before);
}

TEST(ElidedLabelTest, ShowsWhatFitsAndTheWholeTextAsTooltip)
{
    QWidget window;
    auto* label = new ElidedLabel(QStringLiteral("Loaded: a short name"), &window);
    label->resize(400, label->sizeHint().height());
    EXPECT_EQ(label->shownText(), QStringLiteral("Loaded: a short name"));

    const QString longText = QStringLiteral("Loaded: ") + QString(500, QLatin1Char('S')) + QStringLiteral(" (0.16 µL/s)");
    label->setText(longText);
    const QString shown = label->shownText();
    EXPECT_LT(label->fontMetrics().horizontalAdvance(shown), 400);
    // Both ends stay readable, the middle is left out.
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Loaded: S")));
    EXPECT_TRUE(shown.endsWith(QStringLiteral("(0.16 µL/s)")));
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_EQ(label->text(), longText);

    window.show();
    {
        Tervane3::Test::ExpectQtWarnings raisedTip; // the offscreen platform cannot raise the tip
        QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), label->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(label, &help);
        EXPECT_TRUE(QToolTip::isVisible());
        EXPECT_EQ(QToolTip::text(), longText);
        QToolTip::hideText();
    }
    label->setText(QStringLiteral("fits"));
    EXPECT_EQ(label->shownText(), QStringLiteral("fits"));
}

} // namespace
