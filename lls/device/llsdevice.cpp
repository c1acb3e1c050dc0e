#include "lls/device/llsdevice.h"

#include "device/abstractinterfacedriver.h"
#include "device/boundedfile.h"
#include "device/logcategories.h"
#include "files/fpcfile.h"
#include "files/settingsfile.h"
#include "lls/device/levelarithmetic.h"
#include "lls/protocol/abstractllsprotocol.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QMetaType>
#include <QSaveFile>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

using namespace LevelArithmetic;

namespace {

enum Register {
    SelectedLiquidRegister = 3,
    FeatureRegister = 19,
    LiquidNameFirstRegister = 85,  // + 40 per liquid, ten registers of four characters
    TankProfileLevelRegister = 512,
    TankProfileOutputRegister = 576,
    MeasuringRangeMinRegister = 903,
    MeasuringRangeMaxRegister = 904,
    OutputRangeMinRegister = 905,
    OutputRangeMaxRegister = 906,
    WarningLevelRegister = 907,
    HysteresisRegister = 908,
    NmeaInstanceRegister = 909,
    NmeaInstanceCopyRegister = 910,
    NmeaLiquidTypeRegister = 911,
    OutputNormalRegister = 913,
    MidOutputRegister = 916,
    DescriptionFirstRegister = 1984,
};

constexpr int MaxLiquids = 20;
constexpr int NameRegisters = 10;
constexpr int DescriptionRegisters = 10;
constexpr int TankProfileRegisters = 64;  // per half

constexpr unsigned FeatureVoltage = 0x20;
constexpr unsigned FeatureFiveVolt = 0x40;
constexpr unsigned FeatureTankProfile = 0x80;
constexpr unsigned FeatureResistive = 0x100;
constexpr unsigned FeatureCan = 0x200;
constexpr unsigned FeatureModelBit14 = 0x4000;
constexpr unsigned FeatureModelBit15 = 0x8000;

// Registers hold 32 bits in hex; the sensor always sends all eight digits.
bool isFullRegisterValue(const QByteArray &value)
{
    if (value.size() != 8)
        return false;
    bool ok = false;
    value.toUInt(&ok, 16);
    return ok;
}

QByteArray padded4(int count)
{
    return QByteArray::number(count, 16).rightJustified(4, '0');
}

// What a request's name sets, in the words a user reads when it may be half written.
QString settingName(const QString &name)
{
    static const QMap<QString, const char *> names{
        {QStringLiteral("liquidType"), QT_TRANSLATE_NOOP("LLSDevice", "the liquid")},
        {QStringLiteral("measuringRange"), QT_TRANSLATE_NOOP("LLSDevice", "the measuring range")},
        {QStringLiteral("outputRange"), QT_TRANSLATE_NOOP("LLSDevice", "the output range")},
        {QStringLiteral("switchOutput"), QT_TRANSLATE_NOOP("LLSDevice", "the switch output")},
        // Profiling and its table are one setting: a table goes off while it is rewritten.
        {QStringLiteral("tankProfileEnable"), QT_TRANSLATE_NOOP("LLSDevice", "the tank profile")},
        {QStringLiteral("tankProfile"), QT_TRANSLATE_NOOP("LLSDevice", "the tank profile")},
        {QStringLiteral("NMEAliquidType"), QT_TRANSLATE_NOOP("LLSDevice", "the NMEA liquid type and sensor number")},
        {QStringLiteral("invertOutput"), QT_TRANSLATE_NOOP("LLSDevice", "the output inversion")},
        {QStringLiteral("resetMidpoint"), QT_TRANSLATE_NOOP("LLSDevice", "the midpoint test")},
        {QStringLiteral("disableFixOutput"), QT_TRANSLATE_NOOP("LLSDevice", "the end of the output test")},
    };
    const char *text = names.value(name);
    return text ? QCoreApplication::translate("LLSDevice", text) : QString();
}

// The registers an FPC file sets that mean something only together: the feature bits (the 5 V
// range, tank profiling) with the ranges, counts, midpoint and inversion.
bool isCoupledRegister(int address)
{
    return address == FeatureRegister || (address >= MeasuringRangeMinRegister && address <= MidOutputRegister);
}

}

LLSDevice::LLSDevice(AbstractLLSProtocol *protocol, const DeviceIdentity &identity, const CatalogueEntry &entry)
    : AbstractDevice(identity)
    , protocol(protocol)
{
    setNameAndType(entry.Name, entry.DeviceType, QStringLiteral("Uncatalogued LLS Device [%1]"));

    if (isIndustrial() && !entry.ConstantProperties.isEmpty()) {
        const QStringList parts = entry.ConstantProperties.split(QLatin1Char(';'));
        if (!parts.value(0).isEmpty()) {
            outputUnit = parts.value(0);
            minCalibratedOutput = parts.value(1).toFloat();
            maxCalibratedOutput = parts.value(2).toFloat();
        }
    }

    const QStringList options = entry.Options.split(QLatin1Char(';'));
    if (!options.value(0).isEmpty()) {
        for (const QString &option : options) {
            if (option == QLatin1String("noSwitchOutput")) {
                hasSwitchOutput = false;
            } else if (option == QLatin1String("tankProfile")) {
                hasTankProfileOption = true;
            } else if (option == QLatin1String("dac12bit")) {
                dacMax = 4095;
                dac10bit = false;
            }
        }
    }
}

LLSDevice::~LLSDevice()
{
    delete protocol;
}

void LLSDevice::RegisterMetaTypes()
{
    qRegisterMetaType<LevelSensorData>("LevelSensorData");
    qRegisterMetaType<SetParamStruct>("SetParamStruct");
}

QObject *LLSDevice::protocolObject() const
{
    return protocol;
}

AbstractInterfaceDriver *LLSDevice::interfaceDriver() const
{
    return protocol->Driver();
}

bool LLSDevice::open()
{
    protocol->Resume();
    return openDriver(protocol->Driver());
}

static_assert(LLSDevice::MaxFailedExchanges == AbstractLLSProtocol::HurriedLoss, "a hurried failure loses the sensor");

bool LLSDevice::SensorLost() const
{
    return protocol->FailedExchanges() >= MaxFailedExchanges;
}

void LLSDevice::Stop()
{
    protocol->Stop();
}

void LLSDevice::Hurry()
{
    protocol->Hurry();
}

void LLSDevice::close()
{
    closingDown = true;
    protocol->SetClosing(true);
    // A test output whose end never reached the sensor (the window closed on it, the request was
    // lost) ends here: a sensor must not go back into its tank holding one.
    if (fixedOutputHeld || midpointUnderTest >= 0)
        endOutputTest();
    // A load or a write leaves an industrial sensor unlocked until the next measurement; one
    // closed after it must not stay open to any command on the line. Tried even after failed
    // exchanges (one lost reply is not a dead line), but once: a dead line costs one wait.
    leftUnlocked = !protocol->Release();
    noteFailure();
    if (leftUnlocked)
        qCDebug(lcDevice).noquote() << "The sensor on" << protocol->Driver()->name() << "could not be locked again";
    protocol->Driver()->close();
    protocol->SetClosing(false);
    closingDown = false;
}

// Ends a test output: measuring again, and a midpoint a test cleared put back.
void LLSDevice::endOutputTest()
{
    if (SensorLost())
        return;
    protocol->SetMeasuringMode(true);
    if (protocol->LastAnswered())
        fixedOutputHeld = false;
    else if (closingDown)
        return;  // on the way out, a line that did not answer this gets nothing more but the lock
    if (midpointUnderTest >= 0) {
        writeNumber(MidOutputRegister, midpointUnderTest);
        midOutput = midpointUnderTest;
        midpointUnderTest = -1;
    }
    commit();
}

bool LLSDevice::isIndustrial() const
{
    return m_deviceType == QLatin1String("ILS") || m_deviceType == QLatin1String("Murkwell");
}

// ---------------------------------------------------------------------------------------------
// Percentages and output values

float LLSDevice::MeasuringRangeMinPercent() const
{
    return percentOfCount(measuringRangeMin, levelMax);
}

float LLSDevice::MeasuringRangeMaxPercent() const
{
    return percentOfCount(measuringRangeMax, levelMax);
}

float LLSDevice::WarningLevelPercent() const
{
    return percentOfCount(warningLevel, levelMax);
}

float LLSDevice::HysteresisPercent() const
{
    return std::fabs(percentOfCount(warningHysteresis, levelMax));
}

int LLSDevice::OutputDecimals() const
{
    return outputDecimals((static_cast<double>(maxCalibratedOutput) - minCalibratedOutput) / dacMax);
}

float LLSDevice::OutputRangeMinValue() const
{
    return outputValue(outputRangeMin, minCalibratedOutput, maxCalibratedOutput, dacMax);
}

float LLSDevice::MidOutputValue() const
{
    return outputValue(midOutput, minCalibratedOutput, maxCalibratedOutput, dacMax);
}

float LLSDevice::OutputRangeMaxValue() const
{
    return outputValue(outputRangeMax, minCalibratedOutput, maxCalibratedOutput, dacMax);
}

float LLSDevice::ExactOutputValue(int count) const
{
    return static_cast<float>(count) * outputStep(minCalibratedOutput, maxCalibratedOutput, dacMax) + minCalibratedOutput;
}

// ---------------------------------------------------------------------------------------------
// Registers

// Once the sensor has stopped answering, the rest of a load or a write costs nothing: no request
// goes out, reads come back empty.
QByteArray LLSDevice::readRegister(int address)
{
    if (SensorLost())
        return {};
    const bool blocked = protocol->Blocked();
    const QByteArray value = protocol->ReadRegister(address);
    if (value.isEmpty() && !blocked)
        ++readFailures;
    noteFailure();
    return value;
}

void LLSDevice::writeRegister(int address, const QByteArray &value)
{
    if (SensorLost() || protocol->Blocked())
        return;
    ++writesSent;
    ++writesInSetting;
    protocol->WriteRegister(address, value);
    noteFailure();
}

void LLSDevice::commit()
{
    if (SensorLost())
        return;
    protocol->Commit();
    noteFailure();
}

// The setting whose writes are going out now, for naming what a sensor lost among them may hold
// half of. A setting spread over several names or lines keeps its count.
void LLSDevice::beginSetting(const QString &name)
{
    if (name == currentSetting)
        return;
    currentSetting = name;
    writesInSetting = 0;
}

// A write whose reply was lost may still have reached the sensor: where a run of failures begins
// is where the sensor may have been left, once the run makes it count as lost.
void LLSDevice::noteFailure()
{
    if (protocol->FailedExchanges() == 1)
        suspectSetting = writesInSetting > 0 ? currentSetting : QString();
    if (SensorLost() && halfWritten.isEmpty())
        halfWritten = suspectSetting;
}

int LLSDevice::readNumber(int address)
{
    bool ok = false;
    const int value = readRegister(address).toInt(&ok, 16);
    return ok ? value : 0;
}

void LLSDevice::writeNumber(int address, int value)
{
    // A negative value goes out as its 32-bit two's complement, whatever the Qt version's number().
    writeRegister(address, QByteArray::number(static_cast<quint32>(value), 16));
}

// Sets bit 6 or 7 of the feature register. The register is rewritten only from a value actually
// read: writing back a failed read would clear every other feature of the sensor. Returns whether
// the sensor now has the bit as asked.
bool LLSDevice::setFeatureBit(unsigned mask, bool value)
{
    const QByteArray raw = readRegister(FeatureRegister);
    bool done = false;
    if (!isFullRegisterValue(raw)) {
        qCDebug(lcDevice).noquote() << "Feature register unreadable (" + QString::fromLatin1(raw) + "); not changed";
    } else {
        const unsigned features = raw.toUInt(nullptr, 16) & 0xFFFFu;
        const bool current = (features & mask) != 0;
        done = current == value;
        if (!done) {
            writeNumber(FeatureRegister, static_cast<int>(value ? features | mask : features & ~mask));
            // Writes report nothing of their own: only the register read back says the bit took.
            const QByteArray back = readRegister(FeatureRegister);
            done = isFullRegisterValue(back) && ((back.toUInt(nullptr, 16) & mask) != 0) == value;
            if (!done)
                qCDebug(lcDevice).noquote() << "Feature register reads " + QString::fromLatin1(back) + " after the write; bit not set";
        }
    }
    commit();
    return done;
}

// ---------------------------------------------------------------------------------------------
// Load sequence

QString LLSDevice::readLiquidName(int index)
{
    QByteArray hex;
    const int first = LiquidNameFirstRegister + 40 * index;
    for (int address = first; address < first + NameRegisters; ++address) {
        const QByteArray value = readRegister(address);
        if (!AbstractLLSProtocol::IsAlphaNumQByte(value, true))
            break;
        hex += value;
    }
    const QByteArray bytes = QByteArray::fromHex(hex);
    const int zero = bytes.indexOf('\0');
    return QString::fromLatin1(zero < 0 ? bytes : bytes.left(zero));
}

void LLSDevice::readLiquidNames()
{
    emit LoadingMessage(QStringLiteral("Reading Liquid Names"));
    liquidNames.clear();
    for (int n = 0; n < MaxLiquids && !SensorLost(); ++n) {
        emit LoadingMessage(QStringLiteral("Reading Liquid Names: %1").arg(liquidNames.size()));
        const QString name = readLiquidName(n);
        if (name.isEmpty())
            break;
        liquidNames.append(name);
    }
}

void LLSDevice::readSelectedLiquid()
{
    const int index = readNumber(SelectedLiquidRegister);
    selectedLiquid = static_cast<unsigned>(index) > 19u ? 0 : index;
}

void LLSDevice::readProbeDescription()
{
    QByteArray hex;
    for (int address = DescriptionFirstRegister; address < DescriptionFirstRegister + DescriptionRegisters; ++address) {
        const QByteArray value = readRegister(address);
        AbstractLLSProtocol::IsAlphaNumQByte(value, true);  // logs a value of the wrong size
        hex += value;
    }
    const QByteArray bytes = QByteArray::fromHex(hex);
    const int zero = bytes.indexOf('\0');
    probeDescription = bytes.isEmpty() ? QString() : QString::fromUtf8(zero < 0 ? bytes : bytes.left(zero));
}

void LLSDevice::readFeatures()
{
    bool ok = false;
    unsigned features = readRegister(FeatureRegister).toUInt(&ok, 16);
    if (!ok)
        features = 0;
    const bool murkwell = m_deviceType == QLatin1String("Murkwell");

    if ((features & FeatureVoltage) && (features & FeatureFiveVolt) && dac10bit) {
        qCDebug(lcDevice) << "FE_VOLTAGE_SELECT";
        outputType = QStringLiteral("5V");
        outputUnit = QStringLiteral("V");
        minCalibratedOutput = 0;
        maxCalibratedOutput = 5.0f;
        minOutputLimit = 0.25f;
        maxOutputLimit = 4.75f;
    } else if (features & FeatureVoltage) {
        qCDebug(lcDevice) << "FE_VOLTAGE_SELECT";
        outputType = QStringLiteral("10V");
        outputUnit = QStringLiteral("V");
        minCalibratedOutput = 0;
        maxCalibratedOutput = murkwell ? 11.2f : 10.0f;
        minOutputLimit = 0.25f;
        maxOutputLimit = 10.0f;
    } else if ((features & FeatureResistive) && murkwell) {
        qCDebug(lcDevice) << "FE_RESISTIVE_SELECT";
        outputType = QStringLiteral("resistive");
        minCalibratedOutput = 0;
        maxCalibratedOutput = 100;
        minOutputLimit = 0;
        maxOutputLimit = 100;
    } else if ((features & FeatureCan) && murkwell) {
        qCDebug(lcDevice) << "FE_CAN_SELECT";
        outputType = QStringLiteral("CAN");
        outputUnit = QStringLiteral("%");
        minCalibratedOutput = 0;
        maxCalibratedOutput = 100;
        minOutputLimit = 0;
        maxOutputLimit = 100;
    } else {
        qCDebug(lcDevice) << "mA";
        outputType = QStringLiteral("mA");
        outputUnit = QStringLiteral("mA");
        minCalibratedOutput = murkwell ? 0.1f : 2.0f;
        maxCalibratedOutput = murkwell ? 21.1f : 20.0f;
        minOutputLimit = 4.0f;
        maxOutputLimit = 20.0f;
    }

    tankProfileEnabled = (features & FeatureTankProfile) != 0;
    if ((features & FeatureModelBit14) && !(features & FeatureModelBit15)) {
        qCDebug(lcDevice) << "7402-115 (Level & Temperature, voltage output)";
        hasSwitchOutput = false;
    }
}

void LLSDevice::readOutputRanges()
{
    measuringRangeMin = readNumber(MeasuringRangeMinRegister);
    measuringRangeMax = readNumber(MeasuringRangeMaxRegister);
    if (outputType == QLatin1String("resistive")) {
        outputInverted = readNumber(OutputNormalRegister) == 0;
        midOutput = midpointUnderTest >= 0 ? midpointUnderTest : readNumber(MidOutputRegister);
    }
    outputRangeMin = readNumber(OutputRangeMinRegister);
    outputRangeMax = readNumber(OutputRangeMaxRegister);
    rangesValid = measuringRangeMin <= levelMax && measuringRangeMax != 0 && measuringRangeMax <= levelMax
        && measuringRangeMax >= measuringRangeMin && outputRangeMin <= dacMax && outputRangeMax != 0
        && outputRangeMax <= dacMax && outputRangeMax >= outputRangeMin;
    warningLevel = readNumber(WarningLevelRegister);
    // Two's complement: the unsigned reading kept in an int gives the negative hysteresis.
    warningHysteresis = static_cast<int>(readRegister(HysteresisRegister).toUInt(nullptr, 16));
}

void LLSDevice::readNmea()
{
    // Kept as the sensor holds it, listed or not: the form shows it and writes it back unchanged.
    nmeaLiquidType = readNumber(NmeaLiquidTypeRegister);
    const int instance = readNumber(NmeaInstanceRegister);
    nmeaInstance = static_cast<unsigned>(instance) > 15u ? 0 : instance;
}

void LLSDevice::ReadParameter()
{
    ReadSettings(true);
}

void LLSDevice::ReadSettings(bool endTestFirst)
{
    // A load is the user asking again: the sensor gets a fresh chance.
    protocol->ResetFailedExchanges();
    const int failuresBefore = readFailures;
    if (endTestFirst) {
        protocol->SetMeasuringMode(true);
        if (protocol->LastAnswered())
            fixedOutputHeld = false;
    }
    readLiquidNames();

    emit LoadingMessage(QStringLiteral("Reading Selected Liquid"));
    readSelectedLiquid();

    emit LoadingMessage(QStringLiteral("Reading Probe Description"));
    readProbeDescription();

    emit LoadingMessage(QStringLiteral("Reading Device Features"));
    readFeatures();

    if (isIndustrial()) {
        emit LoadingMessage(QStringLiteral("Reading Output Ranges"));
        readOutputRanges();
        if (hasTankProfileOption && tankProfileEnabled) {
            emit LoadingMessage(QStringLiteral("Reading Tank Profile Table"));
            ReadTankProfile();
        }
    }

    if (outputType == QLatin1String("CAN")) {
        readNmea();
        hasSwitchOutput = false;
    }

    // A register that did not answer reads as 0: such a load is shown, but nothing is saved from it.
    loadIncomplete = readFailures > failuresBefore;
    // What was read after the sensor went is zeros and gaps: none of it may be shown or offered.
    if (SensorLost()) {
        emit CommunicationFailed(QStringLiteral("load"), tr("The sensor on %1 stopped answering while it was being read.")
                                                             .arg(protocol->Driver()->name()),
                                 false);
        return;
    }
    emit LoadingMessage(QStringLiteral("Ready"));
    emit ParameterUpdate();
}

// ---------------------------------------------------------------------------------------------
// Measurement

LevelSensorData LLSDevice::processMeasurement(LevelSensorData data) const
{
    if (data.readError)
        return data;
    data.level = data.level / static_cast<float>(levelMax) * 100.0f;
    float reduced = data.output * (maxCalibratedOutput - minCalibratedOutput) / static_cast<float>(dacMax) + minCalibratedOutput;
    if (reduced > maxCalibratedOutput) {
        qCDebug(lcDevice).noquote() << "reducedlevel>maxCalibratedOutput (" + QString::number(reduced) + ">"
                + QString::number(maxCalibratedOutput) + ") !!!!";
        reduced = maxCalibratedOutput;
    } else if (reduced < minCalibratedOutput) {
        qCDebug(lcDevice).noquote() << "reducedlevel<minCalibratedOutput !!!!";
        reduced = minCalibratedOutput;
    }
    data.output = reduced;
    return data;
}

void LLSDevice::ReadMeasurement()
{
    // This pause sets the polling rate: the form asks again as soon as a measurement arrives.
    QThread::msleep(200);
    emit dataUpdate(processMeasurement(protocol->ReadMeasurement()));
}

void LLSDevice::CheckAnswering()
{
    // One attempt: the form counts the failures, as it does for measurements.
    protocol->SetAttemptLimit(1);
    const bool answered = isFullRegisterValue(readRegister(FeatureRegister));
    protocol->SetAttemptLimit(0);
    emit Answering(answered);
}

// ---------------------------------------------------------------------------------------------
// Parameter writes

bool LLSDevice::writeOutputRange(const SetParamStruct &s, int *written)
{
    const bool resistive = outputType == QLatin1String("resistive");
    // Work out the range the values call for and their counts in it before anything is written: the
    // sensor must never be left in a new range with counts meant for the old one.
    QString type = outputType;
    float maxCalibrated = maxCalibratedOutput;
    float maxLimit = maxOutputLimit;
    float step = outputStep(minCalibratedOutput, maxCalibrated, dacMax);
    int rangeBit = -1;  // -1: the range stays; else the new value of the 5 V bit
    if (outputUnit == QLatin1String("V") && dac10bit) {
        // The higher end picks the range: an output that falls as the tank fills has it first.
        const int hi = outputCount(std::max(s.value1, s.value2), minCalibratedOutput, step);
        const float exactTop = static_cast<float>(hi) * step + minCalibratedOutput;
        const float top = static_cast<float>(truncate(exactTop * 100.0f + 0.5f)) / 100.0f;
        // The sensor's own counts written back by a Cancel keep its range. A file, a preset or a SET
        // gives the same registers whatever the sensor held before.
        const bool held = s.text == SetParamStruct::keepRange() && outputCount(s.value1, minCalibratedOutput, step) == outputRangeMin
            && outputCount(s.value2, minCalibratedOutput, step) == outputRangeMax;
        if (!held && top > maxCalibratedOutput) {
            rangeBit = 0;
            type = QStringLiteral("10V");
            // A Murkwell sensor's 10 V range runs to 11.2 V at full scale, as its load says.
            maxCalibrated = m_deviceType == QLatin1String("Murkwell") ? 11.2f : 10.0f;
            maxLimit = 10.0f;
        } else if (!held && top <= 4.75f) {
            rangeBit = 1;
            type = QStringLiteral("5V");
            maxCalibrated = 5.0f;
            maxLimit = 4.75f;
        }
        step = outputStep(minCalibratedOutput, maxCalibrated, dacMax);
    }

    int lo = outputCount(s.value1, minCalibratedOutput, step);
    int hi = outputCount(s.value2, minCalibratedOutput, step);
    int mid = resistive ? outputCount(s.value3, minCalibratedOutput, step) : 0;
    // A count outside the converter would set the output to a value the sensor cannot give.
    auto fits = [this, resistive, &lo, &hi, &mid, &s] {
        auto outside = [this](int count) { return count < 0 || count > dacMax; };
        if (!outside(lo) && !outside(hi) && !(resistive && outside(mid)))
            return true;
        qCDebug(lcDevice).noquote() << QStringLiteral("Output range %1..%2 outside the converter (counts %3..%4); not written")
                                  .arg(s.value1).arg(s.value2).arg(lo).arg(hi);
        return false;
    };
    if (!fits())
        return false;

    if (rangeBit >= 0) {
        if (setFeatureBit(FeatureFiveVolt, rangeBit == 1)) {
            outputType = type;
            maxCalibratedOutput = maxCalibrated;
            maxOutputLimit = maxLimit;
        } else {
            // The sensor keeps its range: the counts must be those of that range.
            step = outputStep(minCalibratedOutput, maxCalibratedOutput, dacMax);
            lo = outputCount(s.value1, minCalibratedOutput, step);
            hi = outputCount(s.value2, minCalibratedOutput, step);
            if (!fits())
                return false;
        }
    }
    written[0] = lo;
    written[1] = hi;
    written[2] = mid;

    if (resistive) {
        // The three counts, then one commit: no moment leaves the sensor with a midpoint of 0 or
        // a committed half of a range, which nobody chose, should the line go between two writes.
        writeNumber(OutputRangeMinRegister, lo);
        writeNumber(MidOutputRegister, mid);
        midpointUnderTest = -1;
        writeNumber(OutputRangeMaxRegister, hi);
        commit();
    } else {
        writeNumber(OutputRangeMinRegister, lo);
        writeNumber(OutputRangeMaxRegister, hi);
        commit();
    }
    return true;
}

void LLSDevice::SetParam(QString param, SetParamStruct a_setParamStruct)
{
    const SetParamStruct &s = a_setParamStruct;
    // Not a number, or an infinity, would reach the sensor as 0, 1 or 7fffffff: such a value
    // writes nothing.
    auto numbers = [](const QString &name, std::initializer_list<float> values) {
        for (const float v : values) {
            if (!std::isfinite(v)) {
                qCDebug(lcDevice).noquote() << "Param: " + name + ": value " + QString::number(v) + " is not a number; not written";
                return false;
            }
        }
        return true;
    };
    // Every write is read back; what the sensor does not hold afterwards is named for the form.
    QStringList notTaken;
    // A read-back that went unanswered tells nothing either way.
    auto held = [this, &notTaken](const QString &what, bool same) {
        if (!same && !SensorLost() && protocol->LastAnswered())
            notTaken << what;
    };
    const QStringList names = param.split(QLatin1Char(','));
    bool tableRefused = false;
    halfWritten.clear();
    // A stop that came before the request began: nothing of it goes out, and nothing is read back
    // into the device's fields (a blocked read is no reading of zero).
    if (protocol->Blocked()) {
        emit ParamSet(param, a_setParamStruct);
        return;
    }
    suspectSetting.clear();
    // A request is the writes of one user action (a range bit and its counts, a table and its
    // enable bit): a stop waits for its end. A file's import makes groups of its own.
    std::optional<AbstractLLSProtocol::Group> group;
    if (!names.contains(QStringLiteral("importFPC")) && !names.contains(QStringLiteral("exportFPC")))
        group.emplace(protocol);
    for (const QString &name : names) {
        beginSetting(settingName(name));
        if (name == QLatin1String("liquidType")) {
            const int index = roundHalfUp(s.value1);
            const bool ok = numbers(name, {s.value1}) && index >= 0 && index <= 19;
            if (ok && !SensorLost())
                protocol->SelectLiquid(index);
            readSelectedLiquid();
            held(tr("the liquid"), ok && selectedLiquid == index);
        } else if (name == QLatin1String("measuringRange")) {
            const bool ok = numbers(name, {s.value1, s.value2});
            const int low = roundHalfUp(s.value1 * static_cast<float>(levelMax) / 100.0f);
            const int high = roundHalfUp(static_cast<float>(levelMax) * s.value2 / 100.0f);
            if (ok) {
                writeNumber(MeasuringRangeMinRegister, low);
                writeNumber(MeasuringRangeMaxRegister, high);
                commit();
            }
            readOutputRanges();
            held(tr("the measuring range"), ok && measuringRangeMin == low && measuringRangeMax == high);
        } else if (name == QLatin1String("outputRange")) {
            const bool resistive = outputType == QLatin1String("resistive");
            int counts[3] = {};
            const bool written = numbers(name, {s.value1, s.value2, resistive ? s.value3 : 0.0f}) && writeOutputRange(s, counts);
            readOutputRanges();
            held(tr("the output range"), written && outputRangeMin == counts[0] && outputRangeMax == counts[1]
                                             && (!resistive || midOutput == counts[2]));
        } else if (name == QLatin1String("switchOutput")) {
            const bool ok = numbers(name, {s.value1, s.value2});
            const int level = roundHalfUp(s.value1 * static_cast<float>(levelMax) / 100.0f);
            const int hysteresis = roundHalfUp(static_cast<float>(levelMax) * s.value2 / 100.0f);
            if (ok) {
                writeNumber(WarningLevelRegister, level);
                writeNumber(HysteresisRegister, hysteresis);
                commit();
            }
            readOutputRanges();
            held(tr("the switch output"), ok && warningLevel == level && warningHysteresis == hysteresis);
        } else if (name == QLatin1String("tankProfileEnable")) {
            const bool enable = s.text == QLatin1String("true");
            // Switching on a profile whose new table was just refused would run the tank on the
            // old table the user meant to replace.
            if (enable && tableRefused)
                qCDebug(lcDevice) << "Tank profile not switched on: its table was refused";
            else if (setFeatureBit(FeatureTankProfile, enable))
                tankProfileEnabled = enable;
            else
                held(tr("tank profiling %1").arg(enable ? tr("on") : tr("off")), false);
        } else if (name == QLatin1String("tankProfile")) {
            // Only a table the sensor now holds becomes the device's table.
            // Profiling that is on while its table is rewritten would run the tank on half a
            // table should the line go part-way: it is off until the request's enable bit.
            const bool enableFollows = names.mid(names.indexOf(name)).contains(QStringLiteral("tankProfileEnable"));
            if (WriteTankProfile(s.profileLevels, s.profileOutputs, enableFollows)) {
                tankProfileLevels = s.profileLevels;
                tankProfileOutputs = s.profileOutputs;
            } else {
                tableRefused = true;
            }
        } else if (name == QLatin1String("NMEAliquidType")) {
            const bool finite = numbers(name, {s.value1, s.value2});
            const int type = roundHalfUp(s.value1);
            // Only what changed is written: a type or number the sensor holds but the form cannot
            // show (unreadable, or out of range) is left as it is.
            const bool typeWritten = finite && type >= 0 && type <= 5 && type != nmeaLiquidType;
            if (typeWritten)
                writeNumber(NmeaLiquidTypeRegister, type);
            const int instance = roundHalfUp(s.value2);
            const bool instanceWritten = finite && instance >= 0 && instance <= 15 && instance != nmeaInstance;
            if (instanceWritten) {
                writeNumber(NmeaInstanceRegister, instance);
                writeNumber(NmeaInstanceCopyRegister, instance);
            }
            readNmea();
            held(tr("the NMEA liquid type and sensor number"), (!typeWritten || nmeaLiquidType == type) && (!instanceWritten || nmeaInstance == instance));
        } else if (name == QLatin1String("setFixOutputValue")) {
            // The protocol drops counts outside the converter.
            if (numbers(name, {s.value1}) && !SensorLost()) {
                protocol->SetFixedOutput(truncate(s.value1));
                fixedOutputHeld = true;
                // Nothing is polled during a test: its own requests tell whether the sensor is there.
                emit Answering(protocol->LastAnswered());
            }
        } else if (name == QLatin1String("disableFixOutput")) {
            // A midpoint test cleared the midpoint so that the test output could show: it goes back.
            endOutputTest();
        } else if (name == QLatin1String("resetMidpoint")) {
            if (midpointUnderTest < 0)
                midpointUnderTest = midOutput;
            writeNumber(MidOutputRegister, 0);
            commit();
        } else if (name == QLatin1String("invertOutput")) {
            writeNumber(OutputNormalRegister, s.text == QLatin1String("true") ? 0 : 1);
            commit();
            // The device's inversion follows the sensor, so that a later refresh shows what it holds.
            outputInverted = readNumber(OutputNormalRegister) == 0;
            held(tr("the output inversion"), outputInverted == (s.text == QLatin1String("true")));
        } else if (name == QLatin1String("importFPC")) {
            emit LoadingMessage(QStringLiteral("Importing Fluid Probe Configuration (*.fpc) files"));
            ImportFPC(s.text);
        } else if (name == QLatin1String("exportFPC")) {
            ExportFPC(s.text);
        } else if (name == QLatin1String("loadingFinish")) {
            // Marks the end of a settings file load; answered below like any request.
        } else {
            qCDebug(lcDevice).noquote() << "Param:  " + name + "  not recognized!!! ";
        }
    }
    group.reset();
    if (SensorLost())
        emit CommunicationFailed(QStringLiteral("set"),
                                 halfWritten.isEmpty() ? tr("The sensor on %1 stopped answering: %2 may not have been written.")
                                                             .arg(protocol->Driver()->name(), param)
                                                       : tr("The sensor on %1 stopped answering: %2 may be half written.")
                                                             .arg(protocol->Driver()->name(), halfWritten),
                                 false);
    if (!notTaken.isEmpty())
        emit NotTaken(notTaken);
    emit ParamSet(param, a_setParamStruct);
}

// ---------------------------------------------------------------------------------------------
// Tank profile table: registers 512..575 hold the levels, 576..639 the outputs, two 16-bit counts
// on the level scale per register. Points after the last repeat the last one.

void LLSDevice::ReadTankProfile()
{
    QStringList levels;
    QStringList outputs;
    for (int half = 0; half < 2; ++half) {
        QStringList &list = half == 0 ? levels : outputs;
        const int first = half == 0 ? TankProfileLevelRegister : TankProfileOutputRegister;
        for (int i = 0; i < TankProfileRegisters; ++i) {
            const QByteArray value = readRegister(first + i);
            // A missing register would shift every later point into the wrong place; a table
            // shown, saved or written back that way is worse than none.
            if (!isFullRegisterValue(value)) {
                qCDebug(lcDevice).noquote() << QStringLiteral("Tank profile register %1 unreadable (%2); table dropped")
                                          .arg(first + i)
                                          .arg(QString::fromLatin1(value));
                tankProfileLevels.clear();
                tankProfileOutputs.clear();
                return;
            }
            list.append(profilePercentText(value.left(4).toInt(nullptr, 16), levelMax));
            list.append(profilePercentText(value.mid(4).toInt(nullptr, 16), levelMax));
        }
    }
    while (levels.size() > 1 && levels.at(levels.size() - 2) == levels.last()
           && outputs.at(outputs.size() - 2) == outputs.last()) {
        levels.removeLast();
        outputs.removeLast();
    }
    tankProfileLevels = levels;
    tankProfileOutputs = outputs;
}

static_assert(LLSDevice::MaxTankProfilePoints == SettingsFile::MaxTablePoints, "a settings file plans the tables the sensor holds");

// A table longer than the 128 points the registers hold is refused as a whole rather than cut:
// a cut table would leave the sensor mapping a tank the user did not describe, while a refusal
// leaves the sensor's own table in place and the device's lists still show it. Points outside
// 0..100 % are refused the same way, since they do not fit the four digits of a point.
bool LLSDevice::WriteTankProfile(const QStringList &levels, const QStringList &outputs, bool profilingOffMeanwhile)
{
    if (levels.size() != outputs.size())
        return false;
    const int n = levels.size();
    if (n > MaxTankProfilePoints) {
        qCDebug(lcDevice).noquote() << QStringLiteral("Tank profile of %1 points refused: the sensor holds at most %2")
                                  .arg(n)
                                  .arg(MaxTankProfilePoints);
        return false;
    }

    QVector<int> levelCounts;
    QVector<int> outputCounts;
    for (int k = 0; k < n; ++k) {
        const int level = countOfPercent(levels.at(k).toFloat(), levelMax);
        const int output = countOfPercent(outputs.at(k).toFloat(), levelMax);
        if (level < 0 || level > levelMax || output < 0 || output > levelMax) {
            qCDebug(lcDevice).noquote() << QStringLiteral("Tank profile point %1 (%2, %3) outside 0..100 %; table refused")
                                      .arg(k)
                                      .arg(levels.at(k), outputs.at(k));
            return false;
        }
        levelCounts.append(level);
        outputCounts.append(output);
    }

    if (n >= 2) {
        if (profilingOffMeanwhile && tankProfileEnabled && setFeatureBit(FeatureTankProfile, false))
            tankProfileEnabled = false;
        for (int i = 0; i < n / 2; ++i) {
            writeRegister(TankProfileLevelRegister + i, padded4(levelCounts[2 * i]) + padded4(levelCounts[2 * i + 1]));
            writeRegister(TankProfileOutputRegister + i, padded4(outputCounts[2 * i]) + padded4(outputCounts[2 * i + 1]));
        }
        const QByteArray levelFill = padded4(levelCounts.last()).repeated(2);
        const QByteArray outputFill = padded4(outputCounts.last()).repeated(2);
        int next = n / 2;
        if (n % 2 == 1) {
            writeRegister(TankProfileLevelRegister + next, levelFill);
            writeRegister(TankProfileOutputRegister + next, outputFill);
            ++next;
        }
        for (int k = next; k < TankProfileRegisters; ++k) {
            writeRegister(TankProfileLevelRegister + k, levelFill);
            writeRegister(TankProfileOutputRegister + k, outputFill);
        }
    }
    commit();
    // A single point writes nothing; no points clears the table the device shows. A sensor that
    // stopped answering part-way holds no table the device can vouch for.
    return n != 1 && !SensorLost();
}

// ---------------------------------------------------------------------------------------------
// FPC files. The text format is FpcFile's; here the registers are read and written.

void LLSDevice::ExportFPC(QString fileName)
{
    fileReport.clear();
    const QString header = FpcFile::header(m_name, m_deviceId, m_firmwareVersion, QDateTime::currentDateTime());
    QString error;
    int reads = 0;
    const int total = FpcFile::exportedRegisters().size();
    const QByteArray text = FpcFile::exportText(header, [this, &reads, total](int address) {
        if (++reads % 8 == 0)
            emit Progress(reads, total);
        return readRegister(address);
    }, probeDescription, &error);
    if (text.isEmpty()) {
        fileReport = tr("Nothing was exported: %1").arg(error);
        qCDebug(lcDevice).noquote() << "Export to" << fileName << "failed:" << error;
        return;
    }
    // Written whole or not at all: a full disk never leaves half a file behind.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        fileReport = tr("%1 could not be written: %2").arg(fileName, file.errorString());
        qCDebug(lcDevice).noquote() << fileReport;
    }
}

void LLSDevice::ImportFPC(QString fileName)
{
    fileReport.clear();
    skippedLines.clear();
    QByteArray text;
    if (readBoundedFile(fileName, FpcFile::MaxBytes, &text) != BoundedRead::Ok) {
        fileReport = tr("%1 could not be read (an FPC file is a text file under %2 KB).").arg(fileName).arg(FpcFile::MaxBytes / 1024);
        qCDebug(lcDevice).noquote() << fileReport;
        return;
    }
    ImportFPC(FpcFile::parse(text));
}

void LLSDevice::ImportFPC(const FpcFile::Import &import)
{
    fileReport.clear();
    halfWritten.clear();
    suspectSetting.clear();
    skippedLines = import.skipped;
    if (import.skippedLines > 0)
        qCDebug(lcDevice).noquote() << "FPC import skipped:" << import.skipped.join(QStringLiteral("; "));

    // A stop takes effect between lines (a name or the description is several registers), and
    // not at all from the feature register to the last range register: a range bit goes with its
    // counts, a midpoint with its range. The file's order is kept.
    const QVector<FpcFile::RegisterWrite> &writes = import.writes;
    int spanFirst = -1;
    int spanLast = -1;
    for (int i = 0; i < writes.size(); ++i) {
        if (isCoupledRegister(writes.at(i).address)) {
            spanLast = i;
            if (spanFirst < 0)
                spanFirst = i;
        }
    }
    std::unique_ptr<AbstractLLSProtocol::Group> span;
    int done = 0;
    while (done < writes.size() && !SensorLost()) {
        // A stop that came before the span keeps all of it out.
        if (!span && protocol->Blocked())
            break;
        if (done == spanFirst)
            span = std::make_unique<AbstractLLSProtocol::Group>(protocol);
        int end = done;
        while (end < writes.size() && writes.at(end).line == writes.at(done).line)
            ++end;
        beginSetting(span ? tr("the ranges and feature bits (registers 19 and 903 to 916)") : tr("line %1 of the file").arg(writes.at(done).line));
        {
            AbstractLLSProtocol::Group line(protocol);
            for (int i = done; i < end && !SensorLost(); ++i)
                writeRegister(writes.at(i).address, writes.at(i).value);
        }
        if (SensorLost())
            break;
        done = end;
        emit Progress(done, 2 * writes.size());
        if (done > spanLast)
            span.reset();
    }
    span.reset();
    if (done < writes.size()) {
        fileReport = SensorLost() ? tr("The sensor stopped answering after %1 of the file's %2 register writes.").arg(done).arg(writes.size())
                                  : tr("Stopped after %1 of the file's %2 register writes.").arg(done).arg(writes.size());
        qCDebug(lcDevice).noquote() << fileReport;
        return;
    }

    // Register writes report nothing: what the sensor holds now is what counts.
    fileReport = compareRegisters(writes, true);
}

// Reads every register the file names and says which do not hold the file's value (a register
// named twice holds its last), which could not be read, and whether a stop cut the reading short.
// Empty when the sensor holds the file.
QString LLSDevice::compareRegisters(const QVector<FpcFile::RegisterWrite> &writes, bool written)
{
    QMap<int, quint32> expected;
    for (const FpcFile::RegisterWrite &write : writes)
        expected.insert(write.address, write.value.toUInt(nullptr, 16));
    QStringList differ;
    QStringList unread;
    int checked = 0;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it, ++checked) {
        const QByteArray value = readRegister(it.key());
        if (value.isEmpty() && protocol->Blocked())
            break;
        bool ok = false;
        const quint32 held = value.toUInt(&ok, 16);
        if (!ok)
            unread << QString::number(it.key());
        else if (held != it.value())
            differ << QString::number(it.key());
        if (checked % 8 == 0)
            emit Progress(written ? writes.size() + checked : checked, written ? writes.size() + expected.size() : expected.size());
    }
    // Twenty addresses are enough to act on; the count says how many there are.
    auto addresses = [](const QStringList &list) {
        return list.mid(0, 20).join(QStringLiteral(", ")) + (list.size() > 20 ? QStringLiteral(", ...") : QString());
    };
    QStringList report;
    if (!differ.isEmpty())
        report << tr("%1 of %2 registers do not hold the file's values: %3").arg(differ.size()).arg(expected.size()).arg(addresses(differ));
    if (!unread.isEmpty())
        report << tr("%1 of %2 could not be read back to check them: %3").arg(unread.size()).arg(expected.size()).arg(addresses(unread));
    if (checked < expected.size())
        report << tr("the check was stopped after %1 of %2").arg(checked).arg(expected.size());
    if (written && differ.isEmpty() && !report.isEmpty())
        report.prepend(tr("Every register was written"));
    const QString text = report.join(QStringLiteral("; "));
    if (!text.isEmpty())
        qCDebug(lcDevice).noquote() << text;
    return text;
}

QString LLSDevice::CompareFPC(const FpcFile::Import &import)
{
    return compareRegisters(import.writes, false);
}
