// The preparation of the application object in main(): locale-independent numbers, the
// program's identity (which also names the settings store), resources, icon and look.
#pragma once

class QApplication;

namespace Tervane3 {

// Call right after the application object exists, before any window is built.
void configureApplication(QApplication& app);

} // namespace Tervane3
