#ifndef SIMLEVELSENSOR_H
#define SIMLEVELSENSOR_H

#include "simsensor.h"

#include <QElapsedTimer>
#include <QVector>

// A liquid level sensor of the "LLS", "ILS" or "Murkwell" family with its register bank.
//
// Description fields beyond the common ones:
//   "family"        "LLS" (default), "ILS" or "Murkwell"; the last two need "U 3C7E" before
//                   configuration commands and give the four-field measurement
//   "dacBits"       10 (default) or 12: the output converter's width
//   "liquids"       liquid names, stored space-padded at 85 + 40 n .. 94 + 40 n
//   "selectedLiquid", "features" (register 3 and 19), "description" (1984..1993, zero-padded)
//   "tankProfile"   {"levels": [...], "outputs": [...]} in percent, stored at 512..639
//   "registers"     {"903": "00000066", ...}: any register, decimal address, hex text or number;
//                   applied last, and where register writes go back with --write-back
//   "level"         {"centre": counts, "swing": counts, "periodS": seconds} of the moving level
//   "temperature", "externalTemperature"  degrees Celsius
class SimLevelSensor : public SimSensor
{
public:
    explicit SimLevelSensor(const QJsonObject &description);
    QByteArray answer(const QByteArray &command) override;
    // "locked=1 measuring=1 fixed=-1 3=00000001 19=00000020 ...": every register that is not zero.
    QByteArray state() const override;

    static constexpr int BankSize = 2048;

private:
    QByteArray frame(const QByteArray &command, const QByteArray &payload) const;
    bool industrial() const { return m_family != "LLS"; }
    void storeText(int firstRegister, const QByteArray &text, int registerCount, char pad);
    void storeTankProfile(const QJsonObject &profile);
    void writeBack(int address);
    QByteArray measurement();
    int liveLevel();
    int outputFor(int level) const;
    int profileLevel(int level) const;
    quint32 reg(int address) const { return m_bank.value(address); }

    quint32 m_deviceId = 0;
    quint32 m_firmware = 0;
    QString m_family = "LLS";
    int m_dacMax = 1023;
    QVector<quint32> m_bank;
    bool m_locked = true;
    int m_fixedOutput = -1;  // held until "M 0"
    bool m_measuring = true;
    bool m_alarm = false;
    int m_lastLevel = 0;
    double m_levelCentre = 512;
    double m_levelSwing = 300;
    double m_levelPeriodS = 120;
    double m_temperature = 21.5;
    double m_externalTemperature = 18.0;
    QElapsedTimer m_clock;
};

#endif
