#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace vlboot {

// The value of a settings text: its leading decimal number. Leading blanks
// are skipped, then an optional sign, digits and an optional decimal part
// are read; reading stops at the first character that cannot continue the
// number. A text without a leading number is worth 0 ("12abc" is 12,
// " 7" is 7, "abc" is 0, "-1.5x" is -1.5).
double NumberValue(QStringView text);

// True when the whole text, blanks (spaces, tabs) around it aside, is one
// decimal number (sign, digits, decimal part). "12" and " 3.5 " are numeric;
// "", "12abc", "?" and "\n5" are not.
bool IsNumeric(QStringView text);

// Rounds to the nearest whole number, halves to the even neighbour
// (0.5 -> 0, 1.5 -> 2, 2.5 -> 2, -1.5 -> -2).
double RoundHalfEven(double value);

// The value rounded half to even, when it fits a 32-bit signed integer.
std::optional<std::int32_t> ToInt32HalfEven(double value);

// Decimal text of a settings number: whole numbers without a decimal part
// ("12", "-3"), others with as many digits as they need to read back as the
// same value ("1.5", "0.00001"), never with an exponent.
QString NumberText(double value);

} // namespace vlboot
