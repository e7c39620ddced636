// Comparing what a test saw with what it expected, line by line, for every runner: the one
// first-difference printout, texts split into lines, and call records in their compact form.
#ifndef SPINDLEWORK_TEXT_COMPARE_H
#define SPINDLEWORK_TEXT_COMPARE_H

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// "" when the two are the same; else the first line that differs, with both around it.
inline std::string FirstDifference(const std::vector<std::string> &want, const std::vector<std::string> &got)
{
    if (want == got) return "";
    size_t at = 0;
    while (at < want.size() && at < got.size() && want[at] == got[at]) ++at;
    size_t column = 0; // in a long line, where it starts to differ
    while (at < want.size() && at < got.size() && column < want[at].size() && want[at][column] == got[at][column])
        ++column;
    std::string out = "first difference at line " + std::to_string(at + 1) + ", character " +
                      std::to_string(column + 1) + " (" + std::to_string(want.size()) + " lines expected, " +
                      std::to_string(got.size()) + " got)\n";
    for (size_t i = at < 3 ? 0 : at - 3; i < at + 4 && (i < want.size() || i < got.size()); ++i)
        out += "  " + std::to_string(i + 1) + (i == at ? " > " : "   ") +
               "expected: " + (i < want.size() ? want[i] : "(none)") + "\n" +
               std::string(std::to_string(i + 1).size(), ' ') +
               "     actual:   " + (i < got.size() ? got[i] : "(none)") + "\n";
    return out;
}

// Appends a line written as printf writes it; returns its index.
inline size_t AddLine(std::vector<std::string> &lines, const char *format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    lines.push_back(text);
    return lines.size() - 1;
}

// Text as lines ending in CR LF; any other CR or LF shows as \r or \n, and a last line without
// its CR LF says so.
inline std::vector<std::string> Lines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find("\r\n", from);
        std::string line = text.substr(from, end == std::string::npos ? std::string::npos : end - from), shown;
        for (char c : line) shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : std::string(1, c);
        lines.push_back(end == std::string::npos ? shown + " (no CR LF)" : shown);
        from = end == std::string::npos ? text.size() : end + 2;
    }
    return lines;
}

// A call record in compact form: entries in a row that read "<head>: <number>" with the same
// head become one line, "<head>:" and their numbers, a number repeated n times in a row as "v×n".
inline std::vector<std::string> Grouped(const std::vector<std::string> &entries)
{
    std::vector<std::string> lines;
    std::string head; // of the line being grouped; "" when there is none
    long value = 0, times = 0;
    auto flush = [&] {
        if (times) lines.back() += " " + std::to_string(value) + (times > 1 ? "×" + std::to_string(times) : "");
        times = 0;
    };
    for (const std::string &entry : entries) {
        size_t colon = entry.rfind(": ");
        char *end = nullptr;
        long number = colon == std::string::npos ? 0 : std::strtol(entry.c_str() + colon + 2, &end, 10);
        bool numbered = colon != std::string::npos && end != entry.c_str() + colon + 2 && !*end;
        std::string entryHead = numbered ? entry.substr(0, colon) : "";
        if (numbered && entryHead == head && number == value) {
            ++times;
            continue;
        }
        flush();
        if (!numbered || entryHead != head) lines.push_back(numbered ? entryHead + ":" : entry);
        head = entryHead, value = number, times = numbered;
    }
    flush();
    return lines;
}

// An expected file's lines; a line "< NAME" stands for the lines of the file NAME beside it.
inline std::vector<std::string> ExpectedLines(const std::string &path)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) return {"(no expected file " + path + ")"};
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;) text += char(c);
    std::fclose(file);
    std::vector<std::string> lines;
    for (size_t from = 0, end; from < text.size(); from = end + 1) {
        end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 2, "< ") != 0) {
            lines.push_back(line);
            continue;
        }
        std::vector<std::string> more = ExpectedLines(path.substr(0, path.find_last_of("/\\") + 1) + line.substr(2));
        lines.insert(lines.end(), more.begin(), more.end());
    }
    return lines;
}

#endif
