// Text helpers of the emulator: Windows compares names of keys, files,
// services and windows without regard to ASCII letter case. These are the
// emulator's one set of case-folding helpers (ASCII only, as Windows' own
// comparisons of these names are for the tool's texts); none can fail.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sim {

// One character folded to upper or lower case: ASCII letters only, as the
// single-byte code page of the emulated machines folds them.
char UpperChar(char c);
char LowerChar(char c);

std::string Upper(std::string_view text);
std::string Lower(std::string_view text);
bool EqualNoCase(std::string_view a, std::string_view b);
// Orders as Windows orders registry key names: by the upper-cased text.
bool LessNoCase(std::string_view a, std::string_view b);
bool ContainsNoCase(std::string_view text, std::string_view part);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// Splits "A\B\C" at backslashes; empty parts (doubled or trailing
// backslashes) are kept so that callers can reject them.
std::vector<std::string> SplitPath(std::string_view path);
std::string JoinPath(const std::vector<std::string>& parts, size_t count);

std::string Trim(std::string_view text);
// "a, b,c" as its comma-separated items, each trimmed; "" is one empty item.
std::vector<std::string> SplitList(std::string_view text);
// "0x1F" or "31" as a number; false for anything else.
bool ParseNumber(std::string_view text, unsigned long long& value);
std::string Hex(unsigned long long value, int width = 8);

}  // namespace sim
