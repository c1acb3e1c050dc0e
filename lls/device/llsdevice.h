#ifndef LLSDEVICE_H
#define LLSDEVICE_H

#include "device/abstractdevice.h"
#include "device/catalogueentry.h"
#include "lls/device/levelsensordata.h"
#include "lls/protocol/abstractllsprotocol.h"
#include "device/setparamstruct.h"
#include "files/fpcfile.h"

#include <QStringList>

class AbstractLLSProtocol;

// One liquid level sensor: its configuration as last read, the load sequence, the parameter writes
// and the live measurement. Lives in the device worker thread; the form drives it through slots.
class LLSDevice : public AbstractDevice
{
    Q_OBJECT
public:
    LLSDevice(AbstractLLSProtocol *protocol, const DeviceIdentity &identity, const CatalogueEntry &entry);
    ~LLSDevice() override;

    // Registers "LevelSensorData" and "SetParamStruct" for queued connections; call before connecting.
    static void RegisterMetaTypes();

    QString deviceId() const override { return m_deviceId; }
    QString serialNumber() const override { return m_serialNumber; }
    QString firmwareVersion() const override { return m_firmwareVersion; }
    QString name() const override { return m_name; }
    QString deviceType() const override { return m_deviceType; }
    AbstractInterfaceDriver *interfaceDriver() const override;

    QString OutputType() const { return outputType; }
    QString OutputUnit() const { return outputUnit; }
    QString ProbeDescription() const { return probeDescription; }
    QStringList LiquidNames() const { return liquidNames; }
    QStringList TankProfileLevels() const { return tankProfileLevels; }
    QStringList TankProfileOutputs() const { return tankProfileOutputs; }
    int SelectedLiquid() const { return selectedLiquid; }
    int NmeaLiquidType() const { return nmeaLiquidType; }
    int NmeaInstance() const { return nmeaInstance; }
    int DacMax() const { return dacMax; }
    bool RangesValid() const { return rangesValid; }
    bool OutputInverted() const { return outputInverted; }
    bool HasSwitchOutput() const { return hasSwitchOutput; }
    bool HasTankProfileOption() const { return hasTankProfileOption; }
    bool TankProfileEnabled() const { return tankProfileEnabled; }
    float MinOutputLimit() const { return minOutputLimit; }
    float MaxOutputLimit() const { return maxOutputLimit; }
    bool HysteresisAbove() const { return warningHysteresis > 0; }

    float MeasuringRangeMinPercent() const;
    float MeasuringRangeMaxPercent() const;
    float WarningLevelPercent() const;
    float HysteresisPercent() const;
    int OutputDecimals() const;
    float OutputRangeMinValue() const;
    float MidOutputValue() const;
    float OutputRangeMaxValue() const;
    // A count as an output value before rounding for display: written back, it gives the same count.
    float ExactOutputValue(int count) const;

    // The counts behind the percentages and output values, and the calibration, for the forms and files.
    bool Dac10bit() const { return dac10bit; }
    int LevelMax() const { return levelMax; }
    float MinCalibratedOutput() const { return minCalibratedOutput; }
    float MaxCalibratedOutput() const { return maxCalibratedOutput; }
    int MeasuringRangeMin() const { return measuringRangeMin; }
    int MeasuringRangeMax() const { return measuringRangeMax; }
    int OutputRangeMin() const { return outputRangeMin; }
    int MidOutput() const { return midOutput; }
    int OutputRangeMax() const { return outputRangeMax; }
    int WarningLevel() const { return warningLevel; }
    int WarningHysteresis() const { return warningHysteresis; }

    // The tank profile table in registers 512..639. WriteTankProfile returns whether the sensor
    // now holds the given table; profilingOffMeanwhile switches profiling off before the first
    // write (the caller switches it on again).
    void ReadTankProfile();
    bool WriteTankProfile(const QStringList &levels, const QStringList &outputs, bool profilingOffMeanwhile = false);

    // The FPC files: the sensor's registers to a file and back. FileReport() is empty when the
    // last of them went well, else it says what went wrong; read it once ParamSet has come.
    void ExportFPC(QString fileName);
    void ImportFPC(QString fileName);
    // The same with a file already read and checked: a bench gives every sensor the registers it
    // checked, not what the file holds by the time each sensor gets to it.
    void ImportFPC(const FpcFile::Import &import);
    // Reads every register the file names and says which differ (empty: the sensor holds the file).
    // Writes nothing.
    QString CompareFPC(const FpcFile::Import &import);
    // The load, with (as ReadParameter) or without ending a test output first: a comparison that
    // must write nothing leaves out the measuring-mode command.
    void ReadSettings(bool endTestFirst);
    QString FileReport() const { return fileReport; }
    // The lines the last import skipped, each with its reason.
    QStringList SkippedLines() const { return skippedLines; }

    static constexpr int MaxTankProfilePoints = 128;
    // Exchanges in a row without a reply after which the sensor counts as gone: a load or a
    // write stops there instead of paying every remaining request's waits.
    static constexpr int MaxFailedExchanges = 3;
    bool SensorLost() const;
    // From any thread: the operation under way ends after its current exchange (after the writes
    // that belong with it, for a setting), and nothing more reaches the sensor until the next
    // open(); close() still ends a test output and locks an industrial sensor a write left open.
    void Stop();
    // From any thread, as the window closes: the requests still queued go on, but a line that
    // fails one is given up at once (see AbstractLLSProtocol::Hurry).
    void Hurry();
    // The setting whose writes were under way when the sensor stopped answering, for the user
    // ("the output range"); empty when none was cut. Reset by each request.
    QString HalfWritten() const { return halfWritten; }
    // The last close() could not lock again the industrial sensor a load or a write had unlocked.
    bool LeftUnlocked() const { return leftUnlocked; }
    // Register writes sent to the sensor so far: whether a request wrote anything at all.
    int WritesSent() const { return writesSent; }
    // Some register of the last load did not answer: its value reads as 0, which is no reading.
    bool LoadIncomplete() const { return loadIncomplete; }
    // The last exchange brought no reply (one lost reply is not yet a lost sensor).
    bool LastExchangeFailed() const { return !protocol->LastAnswered(); }
    bool IsStopped() const { return protocol->IsStopped(); }

signals:
    void ParameterUpdate();
    void dataUpdate(LevelSensorData a_levelSensorData);
    void LoadingMessage(QString msg);
    void ParamSet(QString param, SetParamStruct a_setParamStruct);
    // Just before ParamSet: the settings the request wrote that the sensor does not hold when
    // read back (or refused to write), by name.
    void NotTaken(QStringList settings);
    // The answer to CheckAnswering(), and to each test output set: whether the sensor answered.
    void Answering(bool answered);
    // How far an FPC export, import or comparison has come, in its exchanges.
    void Progress(int done, int total);

public slots:
    bool open() override;
    void close() override;
    void ReadParameter();
    void ReadMeasurement();
    void SetParam(QString param, SetParamStruct a_setParamStruct);
    // One light read, while a test output holds the sensor and no measurement is asked for: a
    // sensor unplugged meanwhile is noticed.
    void CheckAnswering();

protected:
    QObject *protocolObject() const override;

private:
    bool isIndustrial() const;
    QByteArray readRegister(int address);
    void writeRegister(int address, const QByteArray &value);
    void commit();
    int readNumber(int address);
    QString readLiquidName(int index);
    void readLiquidNames();
    void readSelectedLiquid();
    void readProbeDescription();
    void readFeatures();
    void readOutputRanges();
    void readNmea();
    void writeNumber(int address, int value);
    bool setFeatureBit(unsigned mask, bool value);
    void endOutputTest();
    void beginSetting(const QString &name);
    void noteFailure();
    // Writes the range; false when nothing was written. written: the counts low, high, midpoint.
    bool writeOutputRange(const SetParamStruct &s, int *written);
    QString compareRegisters(const QVector<FpcFile::RegisterWrite> &writes, bool written);
    LevelSensorData processMeasurement(LevelSensorData data) const;

    AbstractLLSProtocol *protocol;

    QString outputType;
    bool dac10bit = true;
    float minCalibratedOutput = 0;
    float maxCalibratedOutput = 0;
    float minOutputLimit = 0;
    float maxOutputLimit = 0;
    QString outputUnit;
    int dacMax = 1023;
    int levelMax = 1023;
    QStringList liquidNames;
    int selectedLiquid = 0;
    int nmeaLiquidType = 0;
    int nmeaInstance = 0;
    QString probeDescription;
    bool rangesValid = false;
    int measuringRangeMin = 0;
    int measuringRangeMax = 0;
    int outputRangeMin = 0;
    int midOutput = 0;
    int outputRangeMax = 0;
    bool outputInverted = false;
    bool hasSwitchOutput = true;
    int warningLevel = 0;
    int warningHysteresis = 0;
    QStringList tankProfileLevels;
    QStringList tankProfileOutputs;
    bool hasTankProfileOption = false;
    bool tankProfileEnabled = false;
    QString fileReport;
    QStringList skippedLines;
    QString halfWritten;
    QString currentSetting;
    int writesInSetting = 0;
    QString suspectSetting;
    bool leftUnlocked = false;
    int writesSent = 0;
    int readFailures = 0;
    bool loadIncomplete = false;
    // A fixed output was sent and no answered "M 0" has ended it since: close() ends it.
    bool fixedOutputHeld = false;
    bool closingDown = false;
    // The sensor's midpoint while a midpoint test holds register 916 at 0: it stays the sensor's
    // value for every refresh, and goes back into the register when the test ends.
    int midpointUnderTest = -1;
};

#endif
