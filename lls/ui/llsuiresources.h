#ifndef LLSUIRESOURCES_H
#define LLSUIRESOURCES_H

// Registers the level sensor pictures (resources/llsui.qrc) and the shared bundle
// (resources/resources.qrc: buttons, loading animation) they are shown with. Both live in a
// static library, so nothing pulls them in unless someone asks, and the tank profile editor
// can be opened without the main window. Call before the first image is used. Runs once.
void ensureLlsUiResources();

#endif
