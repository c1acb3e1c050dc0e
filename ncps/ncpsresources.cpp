#include "ncps/ncpsresources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the bundle's initialiser in the enclosing scope, so this must stay
// outside any namespace.
static void initNcpsBundle()
{
    Q_INIT_RESOURCE(ncps);
    // The shared bundle (buttons, spin box arrows) too: the form is also shown without the window.
    Q_INIT_RESOURCE(resources);
}

void ensureNcpsResources()
{
    static const bool initialised = (initNcpsBundle(), true);
    Q_UNUSED(initialised)
}
