#pragma once
// Numbers on the orvix command line: decimal, or hexadecimal with a 0x prefix, with
// an optional sign; the whole text must be the number, and it must lie in the range
// the caller names (values beyond 64 bits are out of range, not wrapped).

#include <string>

enum class NumberResult { Ok, NotANumber, OutOfRange };

NumberResult parseInteger(const char* text, long long min, long long max, long long& value);

// "NAME must be between MIN and MAX, not 'TEXT'" (or "must be a number ...").
std::string numberError(const char* name, const char* text, long long min, long long max, NumberResult result);
