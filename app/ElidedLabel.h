// A one-line label for text that comes from files or users (dataset names, metadata): it
// shows as much as fits, elided in the middle, offers the whole text as its tooltip when
// elided, and its size hints never depend on the text, so no name can widen a window.
// text() and setText() are QLabel's and hold the whole text; plain text only.
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

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

} // namespace Tervane3
