#ifndef REPLYTEXT_H
#define REPLYTEXT_H

#include <QByteArray>
#include <QString>
#include <cstring>

// Sensor replies are parsed as text up to the first zero byte, one byte per character.
inline QString replyText(const QByteArray &bytes)
{
    const void *zero = std::memchr(bytes.constData(), 0, static_cast<size_t>(bytes.size()));
    const int length = zero ? static_cast<int>(static_cast<const char *>(zero) - bytes.constData()) : bytes.size();
    return QString::fromLatin1(bytes.constData(), length);
}

#endif
