// The rich-text item delegate of the dataset views: markup is laid out, not shown; selected
// items get the highlight fill; text stays inside its clip, or, for the list, is shortened
// to end in "…" inside the item.
#include "mainwindow/HtmlItemDelegate.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QListWidget>
#include <QPainter>

#include <algorithm>

namespace Tervane3 {
namespace {

class HtmlItemDelegateTest : public ::testing::Test
{
protected:
    QStyleOptionViewItem optionFor(const QRect& rect, bool selected) const
    {
        QStyleOptionViewItem option;
        option.initFrom(&list);
        option.rect = rect;
        option.font = list.font();
        option.state = QStyle::State_Enabled | QStyle::State_Active;
        if (selected)
            option.state |= QStyle::State_Selected;
        return option;
    }
    QModelIndex add(const QString& text)
    {
        list.addItem(text);
        return list.model()->index(list.count() - 1, 0);
    }
    QImage paint(const QModelIndex& index, const QSize& size, bool selected) const
    {
        QImage image(size, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        delegate.paint(&painter, optionFor(QRect(QPoint(0, 0), size), selected), index);
        return image;
    }

    QListWidget list;
    HtmlItemDelegate delegate;
};

TEST_F(HtmlItemDelegateTest, MarkupIsLaidOutNotShown)
{
    const QModelIndex bold = add(QStringLiteral("<b>Name</b> (5 events)"));
    const QModelIndex literal = add(QStringLiteral("&lt;b&gt;Name&lt;/b&gt; (5 events)"));
    const QSize boldSize = delegate.sizeHint(optionFor(QRect(), false), bold);
    const QSize literalSize = delegate.sizeHint(optionFor(QRect(), false), literal);
    // The tags shown as text would take the room of seven more characters.
    const int tagWidth = QFontMetrics(list.font()).horizontalAdvance(QStringLiteral("<b></b>"));
    EXPECT_GT(literalSize.width() - boldSize.width(), tagWidth / 2);
    EXPECT_GT(boldSize.width(), QFontMetrics(list.font()).horizontalAdvance(QStringLiteral("Name (5 events)")));
    EXPECT_GE(boldSize.height(), QFontMetrics(list.font()).height());
}

TEST_F(HtmlItemDelegateTest, SelectionFillAndClip)
{
    const QModelIndex index = add(QStringLiteral("<b>WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW</b>"));
    const QSize size(120, 30);
    const QColor highlight = optionFor(QRect(), true).palette.color(QPalette::Active, QPalette::Highlight);

    const QImage selected = paint(index, size, true);
    EXPECT_EQ(QColor(selected.pixel(1, 1)), highlight);
    EXPECT_EQ(QColor(selected.pixel(size.width() - 1, size.height() - 1)), highlight);

    const QImage plain = paint(index, size, false);
    EXPECT_EQ(QColor(plain.pixel(1, 1)), QColor(Qt::white));
    // Long text is clipped 4 pixels before the right edge and starts 4 pixels in.
    bool inked = false;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const bool white = QColor(plain.pixel(x, y)) == QColor(Qt::white);
            if (x < 4 || x >= size.width() - 4)
                EXPECT_TRUE(white) << x << "," << y;
            else
                inked = inked || !white;
        }
    }
    EXPECT_TRUE(inked);
}


TEST_F(HtmlItemDelegateTest, ElidedTextEndsInAnEllipsisInsideTheItem)
{
    const HtmlItemDelegate eliding(nullptr, HtmlItemDelegate::Overflow::Elide);
    const QModelIndex index = add(QStringLiteral("<b>A long sample name &amp; more</b> (0.16 µL/s, 20000 events)"));
    const QString whole = QStringLiteral("A long sample name & more (0.16 µL/s, 20000 events)");
    const int ideal = delegate.sizeHint(optionFor(QRect(), false), index).width();
    // The list lays its items out at its own width: the eliding delegate asks for none.
    EXPECT_EQ(eliding.sizeHint(optionFor(QRect(), false), index).width(), 0);
    EXPECT_EQ(eliding.sizeHint(optionFor(QRect(), false), index).height(),
              delegate.sizeHint(optionFor(QRect(), false), index).height());

    // Narrower items keep less of the text; one too narrow for any of it shows "…" alone.
    int previous = whole.size() + 1;
    for (const int width : {ideal + 10, ideal - 30, 120, 60, 12}) {
        SCOPED_TRACE(width);
        const QString shown = eliding.shownText(optionFor(QRect(0, 0, width, 20), false), index);
        if (width >= ideal) {
            EXPECT_EQ(shown, whole);
        } else {
            ASSERT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
            EXPECT_TRUE(whole.startsWith(shown.chopped(1))) << shown.toStdString();
            EXPECT_LT(shown.size(), previous);
        }
        previous = shown.size();
    }
    EXPECT_EQ(eliding.shownText(optionFor(QRect(0, 0, 12, 20), false), index), QString(QChar(0x2026)));

    // The shortened text is drawn whole, "…" included: no glyph reaches the clip 4 pixels
    // before the right edge.
    const auto lastInkedColumn = [&](const QAbstractItemDelegate& painter, int width) {
        QImage image(width, 24, QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter p(&image);
        painter.paint(&p, optionFor(image.rect(), false), index);
        p.end();
        int last = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (QColor(image.pixel(x, y)) != QColor(Qt::white))
                    last = std::max(last, x);
        return last;
    };
    for (const int width : {ideal - 30, 120}) {
        SCOPED_TRACE(width);
        const int last = lastInkedColumn(eliding, width);
        EXPECT_GT(last, 8);
        EXPECT_LT(last, width - 6);
    }
    // The clipping delegate never shortens.
    EXPECT_EQ(delegate.shownText(optionFor(QRect(0, 0, 80, 20), false), index), whole);
}

} // namespace
} // namespace Tervane3
