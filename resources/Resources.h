// The compiled-in pictures: ":/logo_icon.png", ":/logo_splash.png" and the style sheet's
// ":/checkmark.svg", ":/arrow-up.svg", ":/arrow-down.svg".
#pragma once

namespace Tervane3 {

// Registers the resources of this static library; call once before they are used (the
// linker may drop an unreferenced static initialiser). Repeated calls do no harm.
void initResources();

} // namespace Tervane3
