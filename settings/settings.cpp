#include "settings/settings.h"

#include <cstdio>
#include <limits>

#include "platform/files.h"
#include "settings/text.h"

#define SI_IMPLEMENTATION
#include <SimpleIni.h>

bool g_settingsLoaded = false;
uint32_t g_settingsGeneration = 0;

namespace {

// Multi-key and multi-line off, spaces around "=" when saving: the library's
// defaults. UTF-8 mode is switched on before reading so that the signature
// written by the last save is skipped.
CSimpleIniA g_settings;

const char kPositionSection[] = "POSITION";
const char kPositionKey[] = "seconds";
const char kTemporarySuffix[] = ".tmp";

// Set when a value is stored during the run (only the position ever is): only
// then does the save put the position into the file, so that a hand edit of it
// is kept otherwise.
bool g_positionStored = false;

bool LoadDocument(CSimpleIniA& document, const char* path) {
    document.Reset();
    document.SetUnicode();
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    const SI_Error status = document.LoadFile(file);
    std::fclose(file);
    return status >= 0;
}

// Writes document to path and puts it on the disk; a file it could not finish
// is removed again.
int WriteDocument(const CSimpleIniA& document, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return kSaveCannotOpen;
    SI_Error status = document.SaveFile(file, true);
    // The library does not report failed writes.
    const bool written = !std::ferror(file) && CommitFile(file);
    if (std::fclose(file) != 0 || !written) status = SI_FILE;
    if (status < 0) std::remove(path.c_str());
    return status;
}

}  // namespace

void LoadSettings() {
    LoadDocument(g_settings, BaseDirFile("settings.ini").c_str());
    g_positionStored = false;
    g_settingsLoaded = true;
    ++g_settingsGeneration;
}

int SaveSettings(const char* path) {
    // The rename would replace a file the player made read-only.
    if (IsReadOnlyFile(path)) return kSaveCannotOpen;

    CSimpleIniA onDisk;
    const CSimpleIniA* document = &g_settings;
    if (LoadDocument(onDisk, path)) {
        const char* position = g_settings.GetValue(kPositionSection, kPositionKey, nullptr);
        if (g_positionStored && position) onDisk.SetValue(kPositionSection, kPositionKey, position);
        document = &onDisk;
    }

    const std::string temporary = std::string(path) + kTemporarySuffix;
    const int status = WriteDocument(*document, temporary);
    if (status < 0) return status;
    if (!ReplaceFileWith(temporary.c_str(), path)) {
        std::remove(temporary.c_str());
        return kSaveCannotOpen;
    }
    return kSaveOk;
}

std::string GetValue(const char* section, const char* key, const char* fallback) {
    return g_settings.GetValue(section, key, fallback);
}

int32_t GetLongValue(const char* section, const char* key, int32_t fallback) {
    // The library reads with strtol, whose long is 32 bits in the game and 64 in
    // the native checker and fuzzer: clamp so that both read the same number.
    const long value = g_settings.GetLongValue(section, key, fallback);
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

void SetLongValue(const char* section, const char* key, int32_t value) {
    g_settings.SetLongValue(section, key, value);
    g_positionStored = true;
}
