// The look of the application: the "Fusion" style, a fixed light palette and one style
// sheet, sharing the teal accent #00abad. The three icons the sheet names are compiled-in
// resources (resources/).
#pragma once

#include <QPalette>
#include <QString>

class QApplication;

namespace Tervane3 {

class AppStyle
{
public:
    static QPalette palette();
    static QString styleSheet();
    // Style "Fusion", the palette and the style sheet on the application.
    static void apply(QApplication& app);
};

} // namespace Tervane3
