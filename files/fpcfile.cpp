#include "files/fpcfile.h"

#include "device/registertext.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <cmath>
#include <cstring>
#include <limits>

namespace FpcFile {

namespace {

const int ParamRegisters[] = {0, 1, 3, 5, 8, 9, 10, 11, 14, 15, 16, 19, 20, 896, 897, 898, 899, 900, 901, 902, 903, 904,
                              905, 906, 907, 908, 909, 910, 911, 913, 914, 915, 916};
constexpr int InternalTemperatureFirst = 24;
constexpr int ExternalTemperatureFirst = 44;
constexpr int TemperaturePoints = 20;
constexpr int LiquidFirst = 64;  // + 40 per liquid: value, 20 coefficients, 10 name registers
constexpr int LiquidStride = 40;
constexpr int Coefficients = 20;
constexpr int NameOffset = 21;
constexpr int DescriptionFirst = 1984;
constexpr double CoefficientScale = 16384.0;

// Text into ten registers of four bytes: cut at 40 bytes (never inside a character), padded with
// spaces, every register written so that no tail of a longer old text stays.
QVector<RegisterWrite> textRegisters(int first, const QString &text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() > NameRegisters * 4) {
        int cut = NameRegisters * 4;
        while (cut > 0 && (static_cast<unsigned char>(bytes.at(cut)) & 0xC0) == 0x80)
            --cut;
        bytes.truncate(cut);
    }
    bytes = bytes.leftJustified(NameRegisters * 4, ' ');
    QVector<RegisterWrite> writes;
    for (int k = 0; k < NameRegisters; ++k)
        writes.append({first + k, bytes.mid(4 * k, 4).toHex()});
    return writes;
}

// The exact contents of ten text registers, as the export adds them after a name or description:
// eighty upper-case hex digits.
QByteArray exactTextField(const QVector<QByteArray> &digits)
{
    QByteArray out;
    for (const QByteArray &d : digits)
        out += d.toUpper();
    return out;
}

// The name a liquid's ten registers export as: the printable ones, the rest skipped.
QByteArray nameOf(const QByteArray &exact)
{
    QByteArray hex;
    for (int k = 0; k < NameRegisters; ++k) {
        const QByteArray digits = exact.mid(8 * k, 8);
        if (RegisterText::isPrintable(digits, true))
            hex += digits;
    }
    return QByteArray::fromHex(hex);
}

// The description ten registers load as: the bytes up to the first zero.
QByteArray descriptionOf(const QByteArray &exact)
{
    const QByteArray bytes = QByteArray::fromHex(exact);
    const int zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

// A text line's registers: from its exact field when the text beside it is the one those registers
// export as (a hand-edited text wins), else from the text. text is the rest of the line after the
// keyword's fields; a name may hold commas.
QVector<RegisterWrite> textLineRegisters(int first, const QString &line, QByteArray (*exported)(const QByteArray &), QString *text = nullptr)
{
    static const QRegularExpression exactField(QStringLiteral("^(.*),([0-9A-F]{80})$"), QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = exactField.match(line);
    if (match.hasMatch() && exported(match.captured(2).toLatin1()) == match.captured(1).toUtf8()) {
        if (text)
            *text = match.captured(1);
        QVector<RegisterWrite> writes;
        for (int k = 0; k < NameRegisters; ++k)
            writes.append({first + k, match.captured(2).mid(8 * k, 8).toLatin1()});
        return writes;
    }
    // A text edited by hand wins over the registers beside it, which no longer go with it.
    const QString edited = match.hasMatch() ? match.captured(1) : line;
    if (text)
        *text = edited;
    return textRegisters(first, edited);
}

bool parseInt(const QString &text, qint64 low, qint64 high, qint64 *out)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || value < low || value > high)
        return false;
    *out = value;
    return true;
}

// The decimals an export writes for a liquid value and a coefficient.
QByteArray liquidValueText(quint32 bits)
{
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return QByteArray::number(static_cast<double>(value), 'f', 5);
}

QByteArray coefficientText(quint32 bits)
{
    return QByteArray::number(static_cast<qint32>(bits) / CoefficientScale, 'f', 3);
}

// Eight hexadecimal digits, as an export writes an exact field.
bool exactBits(const QStringList &fields, int index, quint32 *bits)
{
    const QString text = fields.value(index);
    bool ok = false;
    *bits = text.toUInt(&ok, 16);
    return ok && text.size() == 8;
}

// Decimals are read as single-precision numbers, as every reader of the format does: read as
// doubles, a coefficient of 10 or more can come out a count apart.
bool parseFloat(const QString &text, float *out)
{
    bool ok = false;
    const float value = text.toFloat(&ok);
    if (!ok || !std::isfinite(value))
        return false;
    *out = value;
    return true;
}

}

QString header(const QString &name, const QString &deviceId, const QString &firmware, const QDateTime &when)
{
    return QStringLiteral("* ") + name + ',' + deviceId + ',' + firmware + QStringLiteral(", generated by Pellora ")
        + QStringLiteral("1.2.5") + QStringLiteral("   ") + when.toString(QStringLiteral("dd/MM/yyyy hh:mm:ss"));
}

QVector<int> exportedRegisters()
{
    QVector<int> registers;
    for (int r : ParamRegisters)
        registers.append(r);
    for (int k = 0; k < TemperaturePoints; ++k)
        registers.append(InternalTemperatureFirst + k);
    for (int k = 0; k < TemperaturePoints; ++k)
        registers.append(ExternalTemperatureFirst + k);
    for (int n = 0; n < ExportedLiquids; ++n) {
        for (int j = 0; j <= Coefficients; ++j)
            registers.append(LiquidFirst + LiquidStride * n + j);
        for (int k = 0; k < NameRegisters; ++k)
            registers.append(LiquidFirst + LiquidStride * n + NameOffset + k);
    }
    for (int k = 0; k < NameRegisters; ++k)
        registers.append(DescriptionFirst + k);
    return registers;
}

QByteArray hex8(qint64 value)
{
    return QByteArray::number(static_cast<quint32>(value), 16).toUpper().rightJustified(8, '0');
}

QByteArray exportText(const QString &headerLine, const std::function<QByteArray(int)> &readRegister,
                      const QString &description, QString *error)
{
    QByteArray out = headerLine.toUtf8() + '\n';
    bool failed = false;
    auto unreadable = [&](int address) {
        if (!failed)
            *error = QCoreApplication::translate("FpcFile", "Register %1 could not be read.").arg(address);
        failed = true;
    };
    // Signed first; a value that does not fit is read again and taken as unsigned, which gives
    // its two's complement.
    auto signedValue = [&](int address) -> qint32 {
        bool ok = false;
        const qint32 value = readRegister(address).toInt(&ok, 16);
        if (ok)
            return value;
        const QByteArray again = readRegister(address);
        const quint32 bits = again.toUInt(&ok, 16);
        if (!ok || again.size() != 8)
            unreadable(address);
        return static_cast<qint32>(bits);
    };

    for (int r : ParamRegisters) {
        if (failed)
            break;
        const qint32 value = signedValue(r);
        out += "PARAM," + QByteArray::number(r) + ',' + QByteArray::number(value) + '\n';
    }
    for (const auto &table : {qMakePair(QByteArray("ITEMP"), InternalTemperatureFirst), qMakePair(QByteArray("ETEMP"), ExternalTemperatureFirst)})
        for (int k = 0; k < TemperaturePoints && !failed; ++k)
            out += table.first + ',' + QByteArray::number(k) + ',' + QByteArray::number(signedValue(table.second + k)) + '\n';
    for (int n = 0; n < ExportedLiquids && !failed; ++n) {
        const int address = LiquidFirst + LiquidStride * n;
        bool ok = false;
        const QByteArray digits = readRegister(address);
        const quint32 bits = digits.toUInt(&ok, 16);
        if (!ok || digits.size() != 8)
            unreadable(address);
        out += "GRDVL," + QByteArray::number(n) + ',' + liquidValueText(bits) + ',' + hex8(bits) + '\n';
    }
    for (int n = 0; n < ExportedLiquids && !failed; ++n)
        for (int j = 0; j < Coefficients && !failed; ++j) {
            const qint32 value = signedValue(LiquidFirst + LiquidStride * n + 1 + j);
            out += "GRDTC," + QByteArray::number(n) + ',' + QByteArray::number(j) + ','
                + coefficientText(static_cast<quint32>(value)) + ',' + hex8(value) + '\n';
        }
    // Each text line ends in its registers' exact contents: the text alone would come back padded
    // with spaces where the sensor holds zeros (an unused liquid, the end of a description).
    auto textRegisterDigits = [&](int first) {
        QVector<QByteArray> digits;
        for (int k = 0; k < NameRegisters && !failed; ++k) {
            const QByteArray value = readRegister(first + k);
            if (value.size() != 8)
                unreadable(first + k);
            digits.append(value);
        }
        return exactTextField(digits);
    };
    for (int n = 0; n < ExportedLiquids && !failed; ++n) {
        const QByteArray exact = textRegisterDigits(LiquidFirst + LiquidStride * n + NameOffset);
        out += "SLGRD," + QByteArray::number(n) + ',' + nameOf(exact) + ',' + exact + '\n';
    }
    const QByteArray exact = failed ? QByteArray() : textRegisterDigits(DescriptionFirst);
    // The line's text is the device's description; the exact field only where it is what those registers hold.
    out += "DESCR," + description.toUtf8() + (descriptionOf(exact) == description.toUtf8() ? ',' + exact : QByteArray()) + '\n';
    if (failed)
        return QByteArray();
    return out;
}

bool isOwnHeader(const QString &header)
{
    return header.startsWith(QLatin1Char('*')) && header.contains(QLatin1String("Pellora"));
}

QString headerField(const QString &header, int index)
{
    return header.split(QLatin1Char(',')).value(index);
}

Import parse(const QByteArray &text)
{
    Import result;
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (lines.isEmpty())
        return result;
    auto strip = [](QByteArray line) {
        if (line.endsWith('\r'))
            line.chop(1);
        return line;
    };
    result.header = QString::fromUtf8(strip(lines.first()));
    static const QSet<int> params = [] {
        QSet<int> set;
        for (int r : ParamRegisters)
            set.insert(r);
        return set;
    }();

    static const QStringList keywords{QStringLiteral("PARAM"), QStringLiteral("ITEMP"), QStringLiteral("ETEMP"), QStringLiteral("GRDVL"),
                                      QStringLiteral("GRDTC"), QStringLiteral("SLGRD"), QStringLiteral("DESCR")};
    for (int i = 1; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(strip(lines.at(i)));
        if (line.isEmpty())
            continue;
        const QStringList f = line.split(QLatin1Char(','));
        const QString &keyword = f.first();
        qint64 a = 0;
        qint64 b = 0;
        qint64 value = 0;
        float real = 0;
        bool taken = false;
        QString why;
        const int writesBefore = result.writes.size();
        if (keyword == QLatin1String("PARAM") && f.size() >= 3) {
            if (parseInt(f.at(1), 0, 1023, &a) && params.contains(static_cast<int>(a)) && parseInt(f.at(2), INT32_MIN, INT32_MAX, &value)) {
                result.writes.append({static_cast<int>(a), hex8(value)});
                taken = true;
            }
        } else if ((keyword == QLatin1String("ITEMP") || keyword == QLatin1String("ETEMP")) && f.size() >= 3) {
            if (parseInt(f.at(1), 0, TemperaturePoints - 1, &a) && parseInt(f.at(2), INT32_MIN, INT32_MAX, &value)) {
                const int first = keyword == QLatin1String("ITEMP") ? InternalTemperatureFirst : ExternalTemperatureFirst;
                result.writes.append({first + static_cast<int>(a), hex8(value)});
                taken = true;
            }
        } else if (keyword == QLatin1String("GRDVL") && f.size() >= 3) {
            quint32 bits = 0;
            if (!parseInt(f.at(1), 0, ExportedLiquids - 1, &a)) {
                why = QStringLiteral("no liquid 0 to 9");
            } else if (exactBits(f, 3, &bits) && liquidValueText(bits) == f.at(2).toLatin1()) {
                taken = true;
            } else if (f.size() == 3 && f.at(2) == QLatin1String("nan")) {
                bits = 0xFFFFFFFFu;  // an unused slot, as an export without exact bits wrote it
                taken = true;
            } else {
                const QString text = f.at(2);
                const bool infinite = text == QLatin1String("inf") || text == QLatin1String("-inf");
                real = infinite ? (text.startsWith(QLatin1Char('-')) ? -HUGE_VALF : HUGE_VALF) : text.toFloat(&taken);
                taken = infinite || (taken && std::isfinite(real));
                if (taken) {
                    std::memcpy(&bits, &real, sizeof bits);
                } else {
                    why = QStringLiteral("not a number a liquid value can hold");
                }
            }
            if (taken)
                result.writes.append({LiquidFirst + LiquidStride * static_cast<int>(a), QByteArray::number(bits, 16).toUpper()});
        } else if (keyword == QLatin1String("GRDTC") && f.size() >= 4) {
            quint32 bits = 0;
            if (!parseInt(f.at(1), 0, ExportedLiquids - 1, &a) || !parseInt(f.at(2), 0, Coefficients - 1, &b)) {
                why = QStringLiteral("no liquid 0 to 9 or coefficient 0 to 19");
            } else if (exactBits(f, 4, &bits) && coefficientText(bits) == f.at(3).toLatin1()) {
                taken = true;
            } else if (parseFloat(f.at(3), &real) && std::trunc(real * static_cast<float>(CoefficientScale)) >= float(INT32_MIN)
                       && std::trunc(real * static_cast<float>(CoefficientScale)) < 2147483648.0f) {
                bits = static_cast<quint32>(static_cast<qint32>(std::trunc(real * static_cast<float>(CoefficientScale))));
                taken = true;
            } else {
                why = QStringLiteral("not a coefficient a register can hold");
            }
            if (taken)
                result.writes.append({LiquidFirst + LiquidStride * static_cast<int>(a) + 1 + static_cast<int>(b), hex8(bits)});
        } else if (keyword == QLatin1String("SLGRD") && f.size() >= 3) {
            if (parseInt(f.at(1), 0, ExportedLiquids - 1, &a)) {
                // A name is the rest of the line: "Grey, black water" keeps its comma.
                result.writes += textLineRegisters(LiquidFirst + LiquidStride * static_cast<int>(a) + NameOffset, line.section(QLatin1Char(','), 2), nameOf);
                taken = true;
            }
        } else if (keyword == QLatin1String("DESCR") && f.size() >= 2) {
            QString description;
            result.writes += textLineRegisters(DescriptionFirst, line.section(QLatin1Char(','), 1), descriptionOf, &description);
            result.descriptions.append(description);
            taken = true;
        }
        for (int w = writesBefore; w < result.writes.size(); ++w)
            result.writes[w].line = i + 1;
        if (!taken) {
            ++result.skippedLines;
            if (why.isEmpty())
                why = keywords.contains(keyword) ? QStringLiteral("a field is missing or out of range") : QStringLiteral("unknown keyword");
            QString shown = line.left(60);
            if (line.size() > 60)
                shown += QStringLiteral("...");
            result.skipped.append(QStringLiteral("line %1 (%2): %3").arg(i + 1).arg(shown, why));
        }
    }
    return result;
}

}
