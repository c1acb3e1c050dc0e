#include "simlevelsensor.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cmath>

namespace {

const QByteArray UnlockCode = "3C7E";

// Strict hexadecimal: one to eight digits, nothing else.
bool parseHex(const QByteArray &text, quint32 *value)
{
    if (text.isEmpty() || text.size() > 8)
        return false;
    quint32 v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        v = v * 16 + static_cast<quint32>(d);
    }
    *value = v;
    return true;
}

QByteArray hex8(quint32 value)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(8, '0');
}

QByteArray hexField(quint32 value)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(4, '0');
}

quint32 jsonNumber(const QJsonValue &value)
{
    if (value.isString()) {
        QByteArray text = value.toString().toLatin1();
        if (text.startsWith("0x") || text.startsWith("0X"))
            text = text.mid(2);
        quint32 v = 0;
        return parseHex(text, &v) ? v : 0;
    }
    return static_cast<quint32>(static_cast<qint64>(value.toDouble()));
}

int percentToCount(double percent)
{
    return qBound(0, static_cast<int>(std::floor(percent * 1023.0 / 100.0 + 0.5)), 1023);
}

}

SimLevelSensor::SimLevelSensor(const QJsonObject &description)
    : SimSensor(description)
    , m_bank(BankSize, 0)
{
    m_deviceId = static_cast<quint32>(description.value("deviceId").toInt());
    m_firmware = static_cast<quint32>(description.value("firmware").toInt());
    m_family = description.value("family").toString("LLS");
    m_dacMax = description.value("dacBits").toInt(10) == 12 ? 4095 : 1023;

    const QJsonArray liquids = description.value("liquids").toArray();
    for (int n = 0; n < liquids.size() && n < 20; ++n)
        storeText(85 + 40 * n, liquids.at(n).toString().toLatin1(), 10, ' ');
    // A name of fewer than 40 characters is followed by an all-space register; the rest of the
    // records stay zero, which also ends the list of liquids.
    m_bank[3] = static_cast<quint32>(description.value("selectedLiquid").toInt());
    m_bank[19] = jsonNumber(description.value("features"));
    storeText(1984, description.value("description").toString().toUtf8(), 10, '\0');
    storeTankProfile(description.value("tankProfile").toObject());

    const QJsonObject registers = description.value("registers").toObject();
    for (auto it = registers.begin(); it != registers.end(); ++it) {
        bool ok = false;
        const int address = it.key().toInt(&ok);
        if (ok && address >= 0 && address < BankSize)
            m_bank[address] = jsonNumber(it.value());
    }

    const QJsonObject level = description.value("level").toObject();
    m_levelCentre = level.value("centre").toDouble(m_levelCentre);
    m_levelSwing = level.value("swing").toDouble(m_levelSwing);
    m_levelPeriodS = qMax(1.0, level.value("periodS").toDouble(m_levelPeriodS));
    m_temperature = description.value("temperature").toDouble(m_temperature);
    m_externalTemperature = description.value("externalTemperature").toDouble(m_externalTemperature);
    m_clock.start();
}

void SimLevelSensor::storeText(int firstRegister, const QByteArray &text, int registerCount, char pad)
{
    const QByteArray padded = text.left(registerCount * 4).leftJustified(registerCount * 4, pad);
    for (int i = 0; i < registerCount; ++i) {
        quint32 value = 0;
        for (int b = 0; b < 4; ++b)
            value = (value << 8) | static_cast<unsigned char>(padded.at(4 * i + b));
        m_bank[firstRegister + i] = value;
    }
}

void SimLevelSensor::storeTankProfile(const QJsonObject &profile)
{
    const QJsonArray levels = profile.value("levels").toArray();
    const QJsonArray outputs = profile.value("outputs").toArray();
    const int n = qMin(qMin(levels.size(), outputs.size()), 128);
    if (n == 0)
        return;
    // 128 points, two 16-bit counts a register; the points after the last repeat it.
    for (int point = 0; point < 128; ++point) {
        const int k = qMin(point, n - 1);
        const quint32 level = static_cast<quint32>(percentToCount(levels.at(k).toDouble()));
        const quint32 output = static_cast<quint32>(percentToCount(outputs.at(k).toDouble()));
        const int shift = point % 2 == 0 ? 16 : 0;
        quint32 &levelReg = m_bank[512 + point / 2];
        quint32 &outputReg = m_bank[576 + point / 2];
        levelReg = (levelReg & ~(0xFFFFu << shift)) | (level << shift);
        outputReg = (outputReg & ~(0xFFFFu << shift)) | (output << shift);
    }
}

void SimLevelSensor::writeBack(int address)
{
    if (m_sourceFile.isEmpty())
        return;
    QFile in(m_sourceFile);
    if (!in.open(QIODevice::ReadOnly))
        return;
    QJsonObject root = QJsonDocument::fromJson(in.readAll()).object();
    in.close();
    if (root.isEmpty())
        return;
    QJsonObject registers = root.value("registers").toObject();
    registers.insert(QString::number(address), QString::fromLatin1(hex8(reg(address))));
    root.insert("registers", registers);
    QSaveFile out(m_sourceFile);
    if (out.open(QIODevice::WriteOnly)) {
        out.write(QJsonDocument(root).toJson(QJsonDocument::Indented));
        out.commit();
    }
}

QByteArray SimLevelSensor::state() const
{
    QByteArray line = "locked=" + QByteArray::number(m_locked ? 1 : 0) + " measuring=" + QByteArray::number(m_measuring ? 1 : 0)
        + " fixed=" + QByteArray::number(m_fixedOutput);
    for (int address = 0; address < BankSize; ++address)
        if (m_bank.at(address) != 0)
            line += ' ' + QByteArray::number(address) + '=' + hex8(m_bank.at(address));
    return line;
}

QByteArray SimLevelSensor::frame(const QByteArray &command, const QByteArray &payload) const
{
    return echoOf(command) + "\r\n\r\x02" + payload + "\r\n>";
}

int SimLevelSensor::liveLevel()
{
    if (m_measuring) {
        const double t = m_clock.elapsed() / 1000.0;
        const double level = m_levelCentre + m_levelSwing * std::sin(2 * M_PI * t / m_levelPeriodS);
        m_lastLevel = qBound(0, static_cast<int>(std::lround(level)), 1023);
    }
    return m_lastLevel;
}

// Piecewise linear through the tank profile, on the level scale.
int SimLevelSensor::profileLevel(int level) const
{
    auto point = [this](int half, int k) {
        const quint32 value = reg(half + k / 2);
        return static_cast<int>(k % 2 == 0 ? value >> 16 : value & 0xFFFF);
    };
    int previousLevel = point(512, 0);
    int previousOutput = point(576, 0);
    if (level <= previousLevel)
        return previousOutput;
    for (int k = 1; k < 128; ++k) {
        const int l = point(512, k);
        const int o = point(576, k);
        if (level <= l && l > previousLevel)
            return previousOutput + (o - previousOutput) * (level - previousLevel) / (l - previousLevel);
        previousLevel = l;
        previousOutput = o;
    }
    return previousOutput;
}

int SimLevelSensor::outputFor(int level) const
{
    const int rangeMin = static_cast<int>(reg(903));
    const int rangeMax = static_cast<int>(reg(904));
    const int outMin = static_cast<int>(reg(905));
    const int outMax = static_cast<int>(reg(906));
    const quint32 features = reg(19);

    double fraction;
    if (features & 0x80)
        fraction = profileLevel(level) / 1023.0;
    else if (rangeMax > rangeMin)
        fraction = qBound(0.0, double(level - rangeMin) / (rangeMax - rangeMin), 1.0);
    else
        fraction = 0;

    double count;
    const bool resistive = (features & 0x100) && m_family == "Murkwell";
    if (resistive && reg(913) == 0)
        fraction = 1.0 - fraction;
    const int mid = static_cast<int>(reg(916));
    if (resistive && mid > 0) {
        count = fraction < 0.5 ? outMin + (mid - outMin) * fraction * 2 : mid + (outMax - mid) * (fraction - 0.5) * 2;
    } else {
        count = outMin + (outMax - outMin) * fraction;
    }
    return qBound(0, static_cast<int>(std::lround(count)), m_dacMax);
}

QByteArray SimLevelSensor::measurement()
{
    const int level = liveLevel();

    // Switch output: a positive hysteresis watches for an empty tank, otherwise for a full one.
    const int warning = static_cast<int>(reg(907));
    const int hysteresis = static_cast<qint32>(reg(908));
    if (hysteresis > 0)
        m_alarm = m_alarm ? level < warning + hysteresis : level < warning;
    else
        m_alarm = m_alarm ? level > warning + hysteresis : level > warning;

    quint32 status = 0;
    if (m_alarm)
        status |= 0x100;
    if (level < static_cast<int>(reg(903)) || level > static_cast<int>(reg(904)))
        status |= 0x8;

    const quint32 output = static_cast<quint32>(m_fixedOutput >= 0 ? m_fixedOutput : outputFor(level));
    const quint32 internal = static_cast<quint32>(std::lround(m_temperature * 8));
    const quint32 external = static_cast<quint32>(std::lround(m_externalTemperature * 8));

    QList<quint32> fields;
    if (industrial())
        fields = {status, static_cast<quint32>(level), output, internal};
    else  // status, level, output, frequency, supply, internal, reserved, external, five reserved
        fields = {status, static_cast<quint32>(level), output, 0x1F40, 0x78, internal, 0, external, 0, 0, 0, 0, 0};
    QByteArray payload = "A,";
    for (quint32 f : fields)
        payload += hexField(f) + ",";
    return payload;
}

QByteArray SimLevelSensor::answer(const QByteArray &command)
{
    if (command == "ID\r") {
        const QByteArray payload = "I," + QByteArray::number(m_deviceId, 16).toUpper().rightJustified(4, '0') + ","
            + QByteArray::number(m_firmware, 16).toUpper().rightJustified(4, '0') + ",0000,";
        return frame(command, payload);
    }

    QByteArray line = command;
    if (line.endsWith('\r'))
        line.chop(1);
    const QList<QByteArray> words = line.split(' ');
    const QByteArray verb = words.value(0);
    quint32 a = 0;
    quint32 b = 0;
    const bool oneArg = words.size() == 2 && parseHex(words.at(1), &a);
    const bool twoArgs = words.size() == 3 && parseHex(words.at(1), &a) && parseHex(words.at(2), &b);
    const bool refused = industrial() && m_locked && (verb == "G" || verb == "S" || verb == "F" || verb == "M" || verb == "Z");
    const QByteArray noValue = verb + ",,";

    if (verb == "A" && words.size() == 1)
        return frame(command, measurement());
    if (verb == "U" && industrial() && words.size() == 2) {
        if (words.at(1) == UnlockCode) {
            m_locked = false;
            return frame(command, "U,1,");
        }
        if (words.at(1) == "0") {
            m_locked = true;
            return frame(command, "U,0,");
        }
        return frame(command, noValue);
    }
    if (refused)
        return frame(command, noValue);

    if (verb == "G" && oneArg && a < BankSize)
        return frame(command, "G," + hex8(reg(static_cast<int>(a))) + ",");
    if (verb == "S" && twoArgs && a < BankSize) {
        m_bank[static_cast<int>(a)] = b;
        writeBack(static_cast<int>(a));
        return frame(command, "S," + hex8(b) + ",");
    }
    if (verb == "B" && oneArg && a >= 1 && a <= 20) {
        m_bank[3] = a - 1;
        return frame(command, "B," + hexField(a) + ",");
    }
    if (verb == "F" && oneArg && static_cast<int>(a) <= m_dacMax) {
        m_fixedOutput = static_cast<int>(a);
        return frame(command, "F," + hexField(a) + ",");
    }
    if (verb == "M" && oneArg && a <= 1) {
        m_measuring = a == 0;
        if (m_measuring)
            m_fixedOutput = -1;
        return frame(command, "M," + hexField(a) + ",");
    }
    if (verb == "Z" && oneArg)
        return frame(command, "Z,0,");
    if (verb == "G" || verb == "S" || verb == "B" || verb == "F" || verb == "M" || verb == "Z")
        return frame(command, noValue);
    return frame(command, "?,");
}
