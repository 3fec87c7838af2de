#include "numbers.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

NumberResult parseInteger(const char* text, long long min, long long max, long long& value) {
    if (!text || !*text || std::isspace(static_cast<unsigned char>(*text))) return NumberResult::NotANumber;
    const char* digits = text + ((*text == '-' || *text == '+') ? 1 : 0);
    const bool hex = digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    if (!std::isxdigit(static_cast<unsigned char>(digits[hex ? 2 : 0]))) return NumberResult::NotANumber;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text, &end, hex ? 16 : 10);
    if (end == text || *end != '\0') return NumberResult::NotANumber;
    if (errno == ERANGE || parsed < min || parsed > max) return NumberResult::OutOfRange;
    value = parsed;
    return NumberResult::Ok;
}

std::string numberError(const char* name, const char* text, long long min, long long max, NumberResult result) {
    const std::string range = "between " + std::to_string(min) + " and " + std::to_string(max);
    if (result == NumberResult::NotANumber) return std::string(name) + " must be a number " + range + ", not '" + text + "'";
    return std::string(name) + " must be " + range + ", not '" + text + "'";
}
