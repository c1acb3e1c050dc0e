#include "lls/ui/llsuiresources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE declares the bundle's initialiser in the enclosing scope, so this must stay
// outside any namespace. Registering a bundle twice (the main window does too) is harmless.
static void initLlsUiBundles()
{
    Q_INIT_RESOURCE(llsui);
    Q_INIT_RESOURCE(resources);
}

void ensureLlsUiResources()
{
    static const bool initialised = (initLlsUiBundles(), true);
    Q_UNUSED(initialised)
}
