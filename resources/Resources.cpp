// Registration of the compiled-in resources.
#include "resources/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares a function of the global namespace and must be used there.
static void registerTervane3Resources()
{
    Q_INIT_RESOURCE(tervane3);
}

namespace Tervane3 {

void initResources()
{
    static const bool done = (registerTervane3Resources(), true);
    (void)done;
}

} // namespace Tervane3
