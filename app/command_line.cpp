#include "app/command_line.h"

#include <cstring>

#include "sys/text.h"

bool HasSwitchIn(const char* commandLine, const std::string& word) {
    if (!commandLine) return false;
    const size_t length = std::strlen(commandLine);
    bool found = false;
    size_t position = 0;
    while (position < length && !found) {
        if (commandLine[position] == '-') {
            const size_t start = position + 1;
            size_t end = start;
            while (end < length && commandLine[end] != ' ') ++end;
            const std::string collected(commandLine + start, end - start);
            found = SameText(collected.c_str(), word.c_str());
            position = end;
        } else {
            ++position;
        }
    }
    return found;
}
