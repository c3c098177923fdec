// The application object of a screenshot tool: offscreen unless the caller chose a
// platform, C numbers and the program's own look, as the program itself runs.
#pragma once

#include "app/AppStyle.h"
#include "support/OffscreenApplication.h"

namespace Tervane3::Shot {

class ShotApplication : public Test::OffscreenApplication
{
public:
    ShotApplication(int& argc, char** argv)
        : OffscreenApplication(argc, argv)
    {
        AppStyle::apply(application());
    }
};

} // namespace Tervane3::Shot
