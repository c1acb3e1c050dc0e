#ifndef SETPARAMSTRUCT_H
#define SETPARAMSTRUCT_H

#include <QMetaType>
#include <QString>
#include <QStringList>

// The values of a parameter-set request; which fields count depends on the parameter names.
struct SetParamStruct
{
    QString text;
    float value1 = 0;
    float value2 = 0;
    float value3 = 0;
    QStringList profileLevels;
    QStringList profileOutputs;

    // "outputRange" with this text writes back the sensor's own output counts in the range it is
    // in (a Cancel); any other output range picks its voltage range from its values.
    static QString keepRange() { return QStringLiteral("keep range"); }
};

Q_DECLARE_METATYPE(SetParamStruct)

#endif
