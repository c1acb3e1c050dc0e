#ifndef LLSRIG_H
#define LLSRIG_H

#include "lls/device/llsdevice.h"
#include "lls/protocol/industriallevelsensorprotocol.h"
#include "lls/protocol/liquidlevelsensorprotocol.h"
#include "scripteddriver.h"

#include <QMap>
#include <QSignalSpy>
#include <QTest>
#include <QVariantMap>

inline SetParamStruct values(float v1, float v2 = 0, float v3 = 0, const QString &text = {}) { return {text, v1, v2, v3, {}, {}}; }
inline SetParamStruct profile(const QStringList &levels, const QStringList &outputs) { return {{}, 0, 0, 0, levels, outputs}; }

// The device's state by short names, so a test can compare any subset with expected values.
inline QVariantMap llsFields(const LLSDevice &d)
{
    return {{"names", d.LiquidNames()}, {"selected", d.SelectedLiquid()}, {"description", d.ProbeDescription()}, {"type", d.OutputType()},
            {"unit", d.OutputUnit()}, {"minCal", d.MinCalibratedOutput()}, {"maxCal", d.MaxCalibratedOutput()}, {"minLimit", d.MinOutputLimit()},
            {"maxLimit", d.MaxOutputLimit()}, {"switch", d.HasSwitchOutput()}, {"valid", d.RangesValid()}, {"minValue", d.OutputRangeMinValue()},
            {"maxValue", d.OutputRangeMaxValue()}, {"mid", d.MidOutput()}, {"midValue", d.MidOutputValue()}, {"inverted", d.OutputInverted()},
            {"warning", d.WarningLevel()}, {"hysteresis", d.WarningHysteresis()}, {"hysteresisPercent", d.HysteresisPercent()},
            {"nmeaType", d.NmeaLiquidType()}, {"nmeaInstance", d.NmeaInstance()}, {"tankOption", d.HasTankProfileOption()},
            {"tankEnabled", d.TankProfileEnabled()}, {"levels", d.TankProfileLevels()}, {"outputs", d.TankProfileOutputs()}};
}

// "key: actual" for every expected field the device does not match (floats to 1e-4); empty if all do.
inline QString llsMismatches(const LLSDevice &device, const QVariantMap &expected)
{
    const QVariantMap actual = llsFields(device);
    QStringList out;
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        const QVariant a = actual.value(it.key());
        const bool same = a.userType() == QMetaType::Float ? qAbs(a.toDouble() - it.value().toDouble()) < 1e-4
                                                                         : a == it.value();
        if (!same)
            out << it.key() + ": " + (a.canConvert<QStringList>() ? a.toStringList().join('|') : a.toString());
    }
    return out.join("; ");
}

#define LLS_COMPARE_FIELDS(device, expected) QCOMPARE(llsMismatches(device, expected), QString())

// A device on a scripted register bank: "G" reads `registers` (0 if unset, nothing if `unreadable`), "S"
// stores, "B" selects, "A" answers `measurement`. An industrial rig, like the sensor, is configured only
// unlocked ("U 3C7E") and measured locked ("U 0"); any other order fails the test using it.
struct LLSRig
{
    ScriptedDriver *driver = new ScriptedDriver;
    AbstractLLSProtocol *protocol;  // owned by the device
    QMap<int, quint32> registers;
    QList<int> unreadable;
    QList<int> readOnly;  // written, but keeping their value
    QByteArray measurement = "A,0,0,0,0,";
    bool locked = true;
    QString lockFault;  // the first command out of order
    LLSDevice device;

    explicit LLSRig(const QString &type, const QString &options = {})
        : protocol(type == "LLS" ? static_cast<AbstractLLSProtocol *>(new LiquidLevelSensorProtocol(driver))
                                 : new IndustrialLevelSensorProtocol(driver))
        , device(protocol, DeviceIdentity{"4301", "5", "000000"}, CatalogueEntry{"4301", "", "Probe", type, options, "Ohm;0;190"})
    {
        const bool industrial = type != "LLS";
        driver->responder = [this, industrial](const QByteArray &request, QByteArray &response) {
            const bool outOfOrder = industrial ? (request.startsWith('A') ? !locked : locked && QByteArray("GSFMZ").contains(request.at(0)))
                                               : request.startsWith("U ");
            if (outOfOrder && lockFault.isEmpty())
                lockFault = QString::fromLatin1(request).trimmed() + (locked ? " while locked" : " while unlocked");
            if (request.startsWith("U "))
                locked = request != "U 3C7E\r";
            const QByteArray echo = request.left(request.size() - 1);
            const QList<QByteArray> words = echo.split(' ');
            const int address = words.value(1).toInt(nullptr, 16);
            QByteArray payload = words.first() + ",";
            if (words.first() == "G" && !unreadable.contains(address))
                payload += QByteArray::number(registers.value(address), 16).toUpper().rightJustified(8, '0') + ",";
            else if (words.first() == "S" && !readOnly.contains(address))
                registers.insert(address, words.value(2).toUInt(nullptr, 16));
            else if (words.first() == "B")
                registers.insert(3, address - 1);
            else if (words.first() == "A")
                payload = measurement;
            response = echo + "\r\n\r\x02" + payload + "\r\n>";
            return true;
        };
    }

    ~LLSRig()
    {
        if (!lockFault.isEmpty())
            QTest::qFail(qPrintable(lockFault), __FILE__, __LINE__);
    }

    void setText(int firstRegister, const QByteArray &text, int registerCount)
    {
        const QByteArray padded = text.leftJustified(registerCount * 4, ' ', true);
        for (int i = 0; i < registerCount; ++i)
            registers.insert(firstRegister + i, padded.mid(4 * i, 4).toHex().toUInt(nullptr, 16));
    }
    void load(quint32 features)
    {
        registers.insert(19, features);
        device.ReadParameter();
        driver->requests.clear();
    }
    // The requests so far without the industrial lock commands.
    QByteArrayList sent() const
    {
        QByteArrayList out;
        for (const QByteArray &request : std::as_const(driver->requests))
            if (!request.startsWith("U "))
                out.append(request);
        return out;
    }
};

#endif
