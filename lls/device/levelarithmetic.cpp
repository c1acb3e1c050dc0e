#include "lls/device/levelarithmetic.h"

#include <climits>
#include <cmath>

namespace LevelArithmetic {

namespace {
int clampToInt(double x)
{
    if (std::isnan(x))
        return 0;
    if (x >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (x <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return static_cast<int>(x);
}
}

int roundHalfUp(double x)
{
    return clampToInt(std::floor(x + 0.5));
}

int truncate(double x)
{
    return clampToInt(std::trunc(x));
}

int countOfPercent(float percent, int fullScale)
{
    return roundHalfUp(percent * static_cast<float>(fullScale) / 100.0f);
}

float percentOfCount(int count, int fullScale)
{
    return static_cast<float>(static_cast<double>(count) * 100.0 / fullScale);
}

float outputStep(float minCalibrated, float maxCalibrated, int dacMax)
{
    return (maxCalibrated - minCalibrated) / static_cast<float>(dacMax);
}

int outputDecimals(double step)
{
    if (step >= 0.1)
        return 0;
    if (step >= 0.01)
        return 1;
    return 2;
}

float outputValue(int count, float minCalibrated, float maxCalibrated, int dacMax)
{
    const float step = outputStep(minCalibrated, maxCalibrated, dacMax);
    const float value = static_cast<float>(count) * step + minCalibrated;
    const double scale = std::pow(10.0, outputDecimals(step));
    return static_cast<float>(std::round(value * scale) / scale);
}

int outputCount(float value, float minCalibrated, float step)
{
    return roundHalfUp((value - minCalibrated) / step);
}

QString profilePercentText(int count, int levelMax)
{
    const double tenths = static_cast<double>(count) * 100.0 / levelMax * 10.0 + 0.5;
    return QString::number(static_cast<double>(clampToInt(tenths)) / 10.0, 'g', 6);
}

}
