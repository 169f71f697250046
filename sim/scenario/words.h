// Words that stand for values: the tables through which scenario.txt and
// the runner's options turn a word into an enum, a flag or a number, and
// the list of accepted words their messages show.
//
// A table is a plain array of Word rows owned by the file that reads the
// word; looking a word up never fails, it finds a row or none, and the
// caller says what is wrong in its own words.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sim/base/text.h"

namespace sim {

template <typename T>
struct Word {
    const char* text;
    T value;
    bool listed = true;  // false for a second spelling that messages leave out ("esc", "minimize")
};

// The row of `text` (letter case ignored), or null.
template <typename T, size_t N>
const Word<T>* FindWord(const Word<T> (&words)[N], std::string_view text) {
    for (const Word<T>& word : words) {
        if (EqualNoCase(word.text, text)) return &word;
    }
    return nullptr;
}

// "a, b or c".
inline std::string JoinChoices(const std::vector<std::string>& items) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += i + 1 == items.size() ? " or " : ", ";
        out += items[i];
    }
    return out;
}

enum class WordList {
    Plain,   // stop, pause-continue or none
    Quoted,  // 'running', 'stopped' or 'paused'
};

// The listed words of a table as a message shows them, with `more` after
// them ("a number").
template <typename T, size_t N>
std::string ListWords(const Word<T> (&words)[N], WordList style, std::vector<std::string> more = {}) {
    std::vector<std::string> items;
    for (const Word<T>& word : words) {
        if (!word.listed) continue;
        items.push_back(style == WordList::Quoted ? "'" + std::string(word.text) + "'" : word.text);
    }
    items.insert(items.end(), more.begin(), more.end());
    return JoinChoices(items);
}

}  // namespace sim
