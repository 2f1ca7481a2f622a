// Text and path helpers for settings values, section names and files.
#include "settings/text.h"

#include <cctype>

// Never destroyed: the exit work must not free memory.
const std::string& g_baseDir = *new std::string("./audio/streams/");

namespace {

// Position of the first separator at or after from, or npos.
size_t FindFrom(const std::string& text, size_t from, char separator) {
    return from >= text.size() ? std::string::npos : text.find(separator, from);
}

}  // namespace

std::string FieldAt(int16_t n, const std::string& text, char separator) {
    size_t start = 0;
    size_t end = FindFrom(text, start, separator);
    for (int i = 1; i < n; ++i) {
        const size_t found = FindFrom(text, start, separator);
        start = found == std::string::npos ? 0 : found + 1;
        end = FindFrom(text, start, separator);
    }
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::vector<std::string> Fields(const std::string& text, char separator) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
}

std::string NumberToText(int32_t number) {
    return std::to_string(number);
}

std::string TrackSection(int8_t station) {
    return "TRACK" + NumberToText(station);
}

std::string BaseDirFile(const std::string& name) {
    return g_baseDir + name;
}

std::string LowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsInternetAddress(const std::string& source) {
    // As FieldAt splits it: a text without ':' is its own first field.
    const std::string scheme = LowerCase(FieldAt(1, source, ':'));
    return scheme == "http" || scheme == "https";
}
