#ifndef NCPSPARAMETER_H
#define NCPSPARAMETER_H

#include <QMetaType>

// A position sensor's output parameters, each a sign-extended 16-bit value.
struct NCPSParameter
{
    int posn_offset = 0;
    int posn_scale = 0;
    int output_lower = 0;
    int output_upper = 0;
    int output_noact = 0;
    int activator_min = 0;
    int output_direct = 0;
};

Q_DECLARE_METATYPE(NCPSParameter)

#endif
