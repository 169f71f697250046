// How the window manager's parts write window texts into the transcript
// and read them as a person does. Only sim/machine/windows/*.cpp include it.
#pragma once

#include <string>

namespace sim {

// Text as the transcript quotes it: on one line, line breaks shown as \n.
inline std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c != '\r') {
            out += c;
        }
    }
    return out + "\"";
}

// The text as shown: "&&" shows one ampersand, a single one marks the
// mnemonic and is not shown.
inline std::string WithoutMnemonics(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace sim
