#ifndef LEVELARITHMETIC_H
#define LEVELARITHMETIC_H

#include <QString>

// Conversions between sensor counts and the percentages and output values the user sees.
namespace LevelArithmetic {

// floor(x + 0.5): halves go up (2.5 -> 3, -2.5 -> -2). Values beyond the int range are clamped,
// and a value that is not a number gives 0, so a wild input never becomes undefined behaviour.
int roundHalfUp(double x);
// Truncation towards zero with the same guards.
int truncate(double x);

// Count of a percentage of full scale: roundHalfUp(p * fullScale / 100), float arithmetic.
int countOfPercent(float percent, int fullScale);
// Percentage of a count, double precision, unrounded.
float percentOfCount(int count, int fullScale);

// Output value of one converter count.
float outputStep(float minCalibrated, float maxCalibrated, int dacMax);
// Decimals shown for output values: 0 from a step of 0.1, 1 from 0.01, else (or not a number) 2.
int outputDecimals(double step);
// Output value of a count, rounded to the decimals its step calls for.
float outputValue(int count, float minCalibrated, float maxCalibrated, int dacMax);
// Converter count of an output value.
int outputCount(float value, float minCalibrated, float step);

// Tank profile points: count on the level scale to percent text with one decimal, and back.
QString profilePercentText(int count, int levelMax);

}

#endif
