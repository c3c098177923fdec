// Paints the items of a category panel's dataset list as HTML (the dataset name with its
// coloured replicate tag) over the style's item panel. Stateless.
#pragma once

#include "app/RichTextItemDelegate.h"

namespace Tervane3 {

class RichTextDelegate : public RichTextItemDelegate
{
    Q_OBJECT

public:
    explicit RichTextDelegate(QObject* parent = nullptr)
        : RichTextItemDelegate(Panel::Drawn, parent)
    {
    }
};

} // namespace Tervane3
