#include "settings/settings.h"

#include <cstdio>
#include <limits>

#include "platform/files.h"
#include "settings/text.h"

#define SI_IMPLEMENTATION
#include <SimpleIni.h>

bool g_settingsLoaded = false;

namespace {

// Multi-key and multi-line off, spaces around "=" when saving: the library's
// defaults. UTF-8 mode is switched on before reading so that the signature
// written by the last save is skipped.
CSimpleIniA g_settings;

const char kPositionSection[] = "POSITION";
const char kPositionKey[] = "seconds";
const char kTemporarySuffix[] = ".tmp";

bool LoadDocument(CSimpleIniA& document, const char* path) {
    document.Reset();
    document.SetUnicode();
    FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    const SI_Error status = document.LoadFile(file);
    std::fclose(file);
    return status >= 0;
}

int WriteDocument(const CSimpleIniA& document, const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return kSaveCannotOpen;
    SI_Error status = document.SaveFile(file, true);
    if (std::ferror(file) && status >= 0) status = SI_FILE;
    if (std::fclose(file) != 0 && status >= 0) status = SI_FILE;
    return status;
}

}  // namespace

void LoadSettings() {
    LoadDocument(g_settings, BaseDirFile("settings.ini").c_str());
    g_settingsLoaded = true;
}

int SaveSettings(const char* path) {
    if (IsReadOnlyFile(path)) return kSaveCannotOpen;

    CSimpleIniA onDisk;
    const CSimpleIniA* document = &g_settings;
    if (LoadDocument(onDisk, path)) {
        const char* position = g_settings.GetValue(kPositionSection, kPositionKey, nullptr);
        if (position) onDisk.SetValue(kPositionSection, kPositionKey, position);
        document = &onDisk;
    }

    const std::string temporary = std::string(path) + kTemporarySuffix;
    int status = WriteDocument(*document, temporary);
    if (status >= 0 && !ReplaceFileWith(temporary.c_str(), path)) status = kSaveCannotOpen;
    if (status < 0) std::remove(temporary.c_str());
    return status < 0 ? status : kSaveOk;
}

std::string GetValue(const char* section, const char* key, const char* fallback) {
    return g_settings.GetValue(section, key, fallback);
}

int32_t GetLongValue(const char* section, const char* key, int32_t fallback) {
    // long is 64 bits on the native tools' platforms and 32 bits in the game.
    const long value = g_settings.GetLongValue(section, key, fallback);
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

void SetLongValue(const char* section, const char* key, int32_t value) {
    g_settings.SetLongValue(section, key, value);
}
