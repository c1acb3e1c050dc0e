#ifndef LLSBANK_H
#define LLSBANK_H

#include "scripteddriver.h"

#include <QMap>

// Header only, so each test that needs it simply includes it.
// A register bank behind a scripted driver, for level sensor device tests: answers "G" from the
// bank, stores "S", acknowledges everything else. Unset registers read as 0; registers listed in
// unreadable answer without a value.
struct LLSBank
{
    QMap<int, quint32> registers;
    QList<int> unreadable;
    QByteArray measurement = "A,0,0,0,0,";

    explicit LLSBank(ScriptedDriver *driver);

    void setText(int firstRegister, const QByteArray &text, int registerCount);
    void setName(int liquid, const QByteArray &name) { setText(85 + 40 * liquid, name, 10); }
    // The requests after the first `from`, without the industrial lock commands.
    static QByteArrayList withoutLocking(const QByteArrayList &requests, int from = 0);
};

inline LLSBank::LLSBank(ScriptedDriver *driver)
{
    driver->responder = [this](const QByteArray &request, QByteArray &response) {
        QByteArray echo = request;
        echo.chop(1);
        const QList<QByteArray> words = echo.split(' ');
        QByteArray payload = words.first() + ",";
        if (words.first() == "G" && words.size() == 2) {
            const int address = words.at(1).toInt(nullptr, 16);
            if (!unreadable.contains(address))
                payload += QByteArray::number(registers.value(address), 16).toUpper().rightJustified(8, '0') + ",";
        } else if (words.first() == "S" && words.size() == 3) {
            registers.insert(words.at(1).toInt(nullptr, 16), words.at(2).toUInt(nullptr, 16));
        } else if (words.first() == "A") {
            payload = measurement;
        }
        response = echo + "\r\n\r\x02" + payload + "\r\n>";
        return true;
    };
}

inline void LLSBank::setText(int firstRegister, const QByteArray &text, int registerCount)
{
    const QByteArray padded = text.leftJustified(registerCount * 4, ' ', true);
    for (int i = 0; i < registerCount; ++i) {
        const QByteArray four = padded.mid(4 * i, 4);
        registers.insert(firstRegister + i, four.toHex().toUInt(nullptr, 16));
    }
}

inline QByteArrayList LLSBank::withoutLocking(const QByteArrayList &requests, int from)
{
    QByteArrayList out;
    for (int i = from; i < requests.size(); ++i)
        if (!requests.at(i).startsWith("U "))
            out.append(requests.at(i));
    return out;
}

#endif
