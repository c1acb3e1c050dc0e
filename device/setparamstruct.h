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
};

Q_DECLARE_METATYPE(SetParamStruct)

#endif
