// Arbitrary bytes as settings.ini: every look-up the module makes, the position
// write, the early and the exit save and the next run's load. Nothing may
// crash; a file the reader refuses must stay byte for byte as it was; any other
// save must succeed, and the saved file must give back every value the module saw.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "hud/colour.h"
#include "platform/files.h"
#include "settings/settings.h"
#include "settings/text.h"

namespace {

constexpr int kStationNumbers = 256;
constexpr int kFirstStreamed = 1;
constexpr int kLastStreamed = 11;
const char* const kColourKeys[] = {"colorA", "colorB", "shadow"};
const char* const kColourFallbacks[] = {"", "", "0,0,0"};
constexpr int kColourComponents = 3;

struct Seen {
    std::vector<std::string> texts;  // every looked-up value and every piece made from it
    std::vector<int> numbers;

    bool operator==(const Seen& other) const { return texts == other.texts && numbers == other.numbers; }
};

void AddComponents(Seen& seen, const std::string& colour) {
    for (int16_t component = 1; component <= kColourComponents; ++component)
        seen.numbers.push_back(ColourComponent(colour, component));
}

Seen LookEverywhere() {
    Seen seen;
    // Most stations have no colours: their fallbacks' components are worked out once.
    Seen fallbacks;
    for (const char* fallback : kColourFallbacks) AddComponents(fallbacks, fallback);

    for (int number = 0; number < kStationNumbers; ++number) {
        const std::string section = TrackSection(static_cast<int8_t>(number));
        seen.texts.push_back(GetValue(section.c_str(), "name", ""));
        for (size_t key = 0; key < std::size(kColourKeys); ++key) {
            const std::string colour = GetValue(section.c_str(), kColourKeys[key], kColourFallbacks[key]);
            seen.texts.push_back(colour);
            if (colour == kColourFallbacks[key]) {
                const auto first = fallbacks.numbers.begin() + key * kColourComponents;
                seen.numbers.insert(seen.numbers.end(), first, first + kColourComponents);
            } else {
                AddComponents(seen, colour);
            }
        }
    }
    for (int station = kFirstStreamed; station <= kLastStreamed; ++station) {
        const std::string source = GetValue(TrackSection(static_cast<int8_t>(station)).c_str(), "source", "");
        seen.texts.push_back(source);
        seen.texts.push_back(FieldAt(1, source, ':'));
    }
    for (const std::string& name : Fields(GetValue("SWITCHER", "samples", ""), ','))
        seen.texts.push_back(BaseDirFile(name));
    seen.numbers.push_back(GetLongValue("POSITION", "seconds", 0));
    return seen;
}

// The private folder of this run, removed at exit.
std::string g_folder;

void RemoveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(g_folder, ignored);
}

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "settings fuzz: %s\n", what);
    RemoveFolder();
    std::abort();
}

void Report(const Seen& before, const Seen& after) {
    for (size_t i = 0; i < before.texts.size() && i < after.texts.size(); ++i) {
        if (before.texts[i] != after.texts[i])
            std::fprintf(stderr, "text %zu: \"%s\" became \"%s\"\n", i, before.texts[i].c_str(),
                         after.texts[i].c_str());
    }
    for (size_t i = 0; i < before.numbers.size() && i < after.numbers.size(); ++i) {
        if (before.numbers[i] != after.numbers[i])
            std::fprintf(stderr, "number %zu: %d became %d\n", i, before.numbers[i], after.numbers[i]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* base = std::getenv("TMPDIR");
    g_folder = std::string(base && *base ? base : "/tmp") + "/zorve-fuzz-XXXXXX";
    if (!mkdtemp(g_folder.data()) || chdir(g_folder.c_str()) != 0) Fail("no private folder");
    std::atexit(RemoveFolder);
    std::error_code error;
    if (!std::filesystem::create_directories(g_baseDir, error)) Fail("no streams folder");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = BaseDirFile("settings.ini");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) Fail("cannot write the input");
    if (std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) Fail("cannot write the input");

    LoadSettings();
    Seen before = LookEverywhere();

    // The module stores the game clock plus an offset: any 32-bit number.
    const int32_t position = static_cast<int32_t>(std::hash<std::string_view>{}(bytes));
    SetLongValue("POSITION", "seconds", position);
    before.numbers.back() = position;

    if (!g_settingsLoaded) Fail("settings not marked loaded");
    if (g_settingsFileState == SettingsFileState::kRefused) {
        SavePosition(position);
        if (SaveSettings(path.c_str()) != kSaveRefused) Fail("a refused file was saved");
        std::string after;
        if (!ReadWholeFile(path.c_str(), after) || after != bytes) Fail("a refused file was changed");
        std::remove(path.c_str());
        LoadSettings();
        return 0;
    }
    if (SaveSettings(path.c_str()) != kSaveOk) Fail("save failed");
    if (access((path + ".tmp").c_str(), F_OK) == 0) Fail("temporary file left behind");

    LoadSettings();
    const Seen after = LookEverywhere();
    if (!(after == before)) {
        Report(before, after);
        Fail("reloaded settings differ");
    }

    // An empty document between inputs, so that the leak check sees each input alone.
    std::remove(path.c_str());
    LoadSettings();
    return 0;
}
