// The eliding label: its size hints do not depend on the text, it shows what fits with the
// middle left out (or, for a text set in pieces, the end of its middle piece), and offers
// the whole text as a tooltip only when something is left out.
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


TEST(ElidedLabelTest, OnlyTheMiddlePieceIsShortenedWhileTheRestFits)
{
    QWidget window;
    auto* label = new ElidedLabel(QString(), &window);
    const QString head = QStringLiteral("Loaded: ");
    const QString name = QStringLiteral("HL60 control ") + QString(300, QLatin1Char('S'));
    const QString tail = QStringLiteral(" (0.16 µL/s, #3, 4521/5000 events shown (90.4% pass filter))");
    label->setTextElidingPart(head, name, tail);
    EXPECT_EQ(label->text(), head + name + tail);
    const QFontMetrics metrics = label->fontMetrics();
    const QChar ellipsis(0x2026);

    struct Case {
        const char* name;
        int width;
        bool whole, headAndTailWhole;
    };
    const int fixedWidth = metrics.horizontalAdvance(head + tail);
    const Case cases[] = {
        {"room for all", metrics.horizontalAdvance(head + name + tail) + 20, true, true},
        {"room for the counts and some of the name", fixedWidth + 120, false, true},
        {"room for the counts and the ellipsis only", fixedWidth + metrics.horizontalAdvance(ellipsis) + 4, false, true},
        {"not even the counts fit", fixedWidth / 2, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        label->resize(c.width, label->sizeHint().height());
        const QString shown = label->shownText();
        EXPECT_LE(metrics.horizontalAdvance(shown), label->contentsRect().width());
        if (c.whole) {
            EXPECT_EQ(shown, head + name + tail);
        } else if (c.headAndTailWhole) {
            EXPECT_TRUE(shown.startsWith(head)) << shown.toStdString();
            EXPECT_TRUE(shown.endsWith(ellipsis + tail)) << shown.toStdString();
            // What is left of the name is its beginning.
            const QString kept = shown.mid(head.size(), shown.size() - head.size() - tail.size() - 1);
            EXPECT_TRUE(name.startsWith(kept)) << kept.toStdString();
        } else {
            EXPECT_TRUE(shown.startsWith(head + ellipsis)) << shown.toStdString();
            EXPECT_TRUE(shown.endsWith(ellipsis)) << shown.toStdString();
        }
    }

    // A text set as a whole again is shortened in its middle.
    label->resize(fixedWidth, label->sizeHint().height());
    const QString other = QStringLiteral("Loading: ") + name + QStringLiteral("...");
    label->setText(other);
    const QString shown = label->shownText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Loading: HL60"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("SSS..."))) << shown.toStdString();
}

} // namespace
