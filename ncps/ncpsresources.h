#ifndef NCPSRESOURCES_H
#define NCPSRESOURCES_H

// Registers the position sensor images (resources/ncps.qrc). The bundle lives in a static library,
// so nothing pulls it in unless someone asks; call before the first image is used. Runs once.
void ensureNcpsResources();

#endif
