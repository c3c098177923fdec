// A one-line label for text that comes from files or users (dataset names, metadata): it
// shows as much as fits, elided in the middle, offers the whole text as its tooltip when
// elided, and its size hints never depend on the text, so no name can widen a window.
// text() and setText() are QLabel's and hold the whole text; plain text only. A text set
// in three pieces shortens only its middle piece (a name), at that piece's end, so that the
// pieces around it (counts, states) stay whole.
#pragma once

#include <QLabel>

namespace Tervane3 {

class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(const QString& text = QString(), QWidget* parent = nullptr);

    // What the label shows at its present width.
    QString shownText() const;
    // Sets head + part + tail as the text. While the whole does not fit, `part` is cut at
    // its end and marked with "…"; head and tail are cut only when not even "…" of the part
    // fits beside them. A later setText() with another text ends this.
    void setTextElidingPart(const QString& head, const QString& part, const QString& tail);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The pieces of the last setTextElidingPart; they count while text() is still their sum.
    QString pieceHead;
    QString piecePart;
    QString pieceTail;
};

} // namespace Tervane3
