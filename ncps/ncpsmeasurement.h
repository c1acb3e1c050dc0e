#ifndef NCPSMEASUREMENT_H
#define NCPSMEASUREMENT_H

#include <QMetaType>

// One live reading of a position sensor, each a sign-extended 16-bit value.
struct NCPSMeasurement
{
    int activator = 0;
    int raw_position = 0;
    int position = 0;
};

Q_DECLARE_METATYPE(NCPSMeasurement)

#endif
