// Recognising the switch words of the command line.
#pragma once

#include <string>

// True when `commandLine` holds "-" followed by `word` as a whole word: the
// text after the "-" up to the next space (only a space ends a switch) or
// the end equals `word`, ignoring case.
bool HasSwitchIn(const char* commandLine, const std::string& word);
