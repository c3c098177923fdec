// Draws the items of the dataset list and the folder tree as rich text (HTML): the bold
// dataset name with its summary, folder names escaped as text. Icons, check boxes and
// focus frames are not drawn; selected text keeps its normal colour. Stateless.
#pragma once

#include "app/RichTextItemDelegate.h"

namespace Tervane3 {

class HtmlItemDelegate : public RichTextItemDelegate
{
    Q_OBJECT

public:
    explicit HtmlItemDelegate(QObject* parent = nullptr, Overflow textOverflow = Overflow::Clip)
        : RichTextItemDelegate(Panel::Hidden, parent, textOverflow)
    {
    }
};

} // namespace Tervane3
