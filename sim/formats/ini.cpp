#include "sim/formats/ini.h"

#include "sim/base/text.h"
#include "sim/formats/lines.h"

namespace sim::ini {

namespace {

// A line with its own end, so that an edit can give every other line back
// exactly as it was.
struct Line {
    std::string text;
    std::string end;  // "\r\n", "\n", "\r", or "" on a last line without one
};

constexpr const char* kNewLineEnd = "\r\n";

std::vector<Line> SplitLines(std::string_view content) {
    LineRules rules;
    rules.keepLineEnds = true;
    std::vector<Line> lines;
    for (TextLine& line : ReadLines(content, rules)) lines.push_back({std::move(line.text), std::move(line.end)});
    return lines;
}

std::string JoinLines(const std::vector<Line>& lines) {
    std::string out;
    for (const Line& l : lines) out += l.text + l.end;
    return out;
}

bool SectionHeader(const std::string& line, std::string* name) {
    const std::string t = Trim(line);
    if (t.empty() || t[0] != '[') return false;
    const size_t close = t.find(']');
    *name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

// "key=value"; lines without '=' and ';' comments are no keys.
bool KeyLine(const std::string& line, std::string* key, std::string* value) {
    const std::string t = Trim(line);
    if (t.empty() || t[0] == ';' || t[0] == '[') return false;
    const size_t eq = t.find('=');
    if (eq == std::string::npos) return false;
    *key = Trim(t.substr(0, eq));
    if (value) *value = Trim(t.substr(eq + 1));
    return true;
}

// The lines of the first section of that name: its header and the lines up
// to the next header.
struct Span {
    size_t header;
    size_t end;
};

std::optional<Span> FindSection(const std::vector<Line>& lines, std::string_view section) {
    std::string name;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!SectionHeader(lines[i].text, &name) || !EqualNoCase(name, section)) continue;
        size_t end = i + 1;
        while (end < lines.size() && !SectionHeader(lines[end].text, &name)) ++end;
        return Span{i, end};
    }
    return std::nullopt;
}

std::optional<size_t> FindKey(const std::vector<Line>& lines, const Span& span, std::string_view key) {
    std::string name;
    for (size_t i = span.header + 1; i < span.end; ++i) {
        if (KeyLine(lines[i].text, &name, nullptr) && EqualNoCase(name, key)) return i;
    }
    return std::nullopt;
}

long Offset(size_t index) { return static_cast<long>(index); }

}  // namespace

std::vector<std::string> SectionNames(std::string_view text) {
    std::vector<std::string> names;
    std::string name;
    for (const Line& l : SplitLines(text)) {
        if (SectionHeader(l.text, &name)) names.push_back(name);
    }
    return names;
}

std::optional<std::vector<Entry>> SectionEntries(std::string_view text, std::string_view section) {
    const std::vector<Line> lines = SplitLines(text);
    const std::optional<Span> span = FindSection(lines, section);
    if (!span) return std::nullopt;
    std::vector<Entry> entries;
    Entry e;
    for (size_t i = span->header + 1; i < span->end; ++i) {
        if (KeyLine(lines[i].text, &e.key, &e.value)) entries.push_back(e);
    }
    return entries;
}

std::optional<std::vector<std::string>> SectionLines(std::string_view text, std::string_view section) {
    const std::vector<Line> lines = SplitLines(text);
    const std::optional<Span> span = FindSection(lines, section);
    if (!span) return std::nullopt;
    std::vector<std::string> out;
    std::string key;
    std::string value;
    for (size_t i = span->header + 1; i < span->end; ++i) {
        const std::string t = Trim(lines[i].text);
        if (t.empty() || t[0] == ';') continue;
        out.push_back(KeyLine(lines[i].text, &key, &value) ? key + "=" + value : t);
    }
    return out;
}

std::string WithSectionLines(std::string_view text, std::string_view section, const std::vector<std::string>& body) {
    std::vector<Line> lines = SplitLines(text);
    std::vector<Line> added;
    for (const std::string& line : body) added.push_back({line, kNewLineEnd});
    if (const std::optional<Span> span = FindSection(lines, section)) {
        lines.erase(lines.begin() + Offset(span->header + 1), lines.begin() + Offset(span->end));
        if (lines[span->header].end.empty()) lines[span->header].end = kNewLineEnd;
        lines.insert(lines.begin() + Offset(span->header + 1), added.begin(), added.end());
    } else {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = kNewLineEnd;
        lines.push_back({"[" + std::string(section) + "]", kNewLineEnd});
        lines.insert(lines.end(), added.begin(), added.end());
    }
    return JoinLines(lines);
}

std::string WithValue(std::string_view text, std::string_view section, std::string_view key, std::string_view value) {
    std::vector<Line> lines = SplitLines(text);
    const std::optional<Span> span = FindSection(lines, section);
    const std::optional<size_t> at = span ? FindKey(lines, *span, key) : std::nullopt;
    const std::string keyLine = std::string(key) + "=" + std::string(value);
    if (at) {
        std::string& line = lines[*at].text;
        line = line.substr(0, line.find('=') + 1) + std::string(value);
    } else if (span) {
        size_t insert = span->end;
        while (insert > span->header + 1 && Trim(lines[insert - 1].text).empty()) --insert;
        if (lines[insert - 1].end.empty()) lines[insert - 1].end = kNewLineEnd;
        lines.insert(lines.begin() + Offset(insert), Line{keyLine, kNewLineEnd});
    } else {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = kNewLineEnd;
        lines.push_back({"[" + std::string(section) + "]", kNewLineEnd});
        lines.push_back({keyLine, kNewLineEnd});
    }
    return JoinLines(lines);
}

std::string WithoutKey(std::string_view text, std::string_view section, std::string_view key) {
    std::vector<Line> lines = SplitLines(text);
    const std::optional<Span> span = FindSection(lines, section);
    const std::optional<size_t> at = span ? FindKey(lines, *span, key) : std::nullopt;
    if (at) lines.erase(lines.begin() + Offset(*at));
    return JoinLines(lines);
}

std::string WithoutSection(std::string_view text, std::string_view section) {
    std::vector<Line> lines = SplitLines(text);
    if (const std::optional<Span> span = FindSection(lines, section)) {
        lines.erase(lines.begin() + Offset(span->header), lines.begin() + Offset(span->end));
    }
    return JoinLines(lines);
}

}  // namespace sim::ini
