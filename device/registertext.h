#ifndef REGISTERTEXT_H
#define REGISTERTEXT_H

#include <QByteArray>

// Register values that hold text: four characters as eight hex digits.
namespace RegisterText {

// Whether the eight hex digits are four printable characters (0x21..0x7E, or spaces); a value
// of spaces only counts unless rejectAllSpaces.
bool isPrintable(const QByteArray &hexValue, bool rejectAllSpaces);

}

#endif
