#include "settings/settings.h"

#include <cstdio>
#include <limits>
#include <new>

#include "platform/busy.h"
#include "platform/files.h"
#include "platform/unicode.h"
#include "settings/text.h"

bool g_settingsLoaded = false;
uint32_t g_settingsGeneration = 0;
SettingsFileState g_settingsFileState = SettingsFileState::kMissing;

namespace {

// Multi-key and multi-line off, spaces around "=" when saving: the library's
// defaults. UTF-8 mode is switched on before reading so that the signature
// written by the last save is skipped. Never destroyed: the exit work must not
// free memory.
CSimpleIniA& g_settings = *new CSimpleIniA;

const char kSettingsName[] = "settings.ini";
const char kPositionSection[] = "POSITION";
const char kPositionKey[] = "seconds";
const char kTemporarySuffix[] = ".tmp";

// Set when a value is stored during the run (only the position ever is): only
// then does the save put the position into the file, so that a hand edit of it
// is kept otherwise.
bool g_positionStored = false;

// Never destroyed: the exit work must not free memory.
std::string& g_fileNote = *new std::string;
std::string& g_saveRefusal = *new std::string;

const char kUnreadable[] = "it cannot be read whole (another program may hold it open, or the disk failed)";
const char kNotAFile[] = "it is not a plain file (a folder?)";
const char kNoMemory[] = "there was not enough memory to read it";
const char kUtf16Note[] = "it is UTF-16 text: it is read as such, and saves write it as UTF-8";

std::string FaultText(const TextFault& fault) {
    return std::string("it holds ") + fault.what + " on line " + std::to_string(fault.line) + " (byte " +
           std::to_string(fault.byte) + " from its start); only what comes before it is read";
}

// Writes text to temporary, then renames it over path, so that the old file
// stays whole until the new one is on the disk. Allocates nothing.
int ReplaceThroughTemporary(const std::string& text, const char* temporary, const char* path) {
    const WriteResult written = WriteWholeFile(temporary, text.data(), text.size());
    if (written != WriteResult::kOk) {
        // A file it could not finish is removed again.
        if (written == WriteResult::kFailed) std::remove(temporary);
        return written == WriteResult::kCannotOpen ? kSaveCannotOpen : SI_FILE;
    }
    if (!ReplaceFileWith(temporary, path)) {
        std::remove(temporary);
        return kSaveCannotOpen;
    }
    return kSaveOk;
}

}  // namespace

const std::string& g_settingsFileNote = g_fileNote;

SettingsFileState ReadSettingsDocument(CSimpleIniA& document, const char* path, std::string& why) {
    document.Reset();
    document.SetUnicode();
    why.clear();
    std::string bytes;
    const ReadResult read = ReadFileContent(path, bytes);
    if (read == ReadResult::kMissing) return SettingsFileState::kMissing;
    if (read != ReadResult::kOk) {
        why = IsRegularFile(path) ? kUnreadable : kNotAFile;
        return SettingsFileState::kRefused;
    }
    std::string text;
    bool utf16 = false;
    TextFault fault;
    SI_Error loaded = SI_NOMEM;
    try {
        DecodeTextFile(bytes, text, utf16, fault);
        std::string().swap(bytes);
        loaded = document.LoadData(text);
    } catch (const std::bad_alloc&) {
        // Reported below like the library's own lack of memory.
    }
    if (loaded < 0) {
        document.Reset();
        why = kNoMemory;
        return SettingsFileState::kRefused;
    }
    if (fault.what) {
        why = FaultText(fault);
        return SettingsFileState::kRefused;
    }
    if (utf16) why = kUtf16Note;
    return SettingsFileState::kRead;
}

void LoadSettings() {
    g_settingsFileState = ReadSettingsDocument(g_settings, BaseDirFile(kSettingsName).c_str(), g_fileNote);
    g_positionStored = false;
    g_settingsLoaded = true;
    ++g_settingsGeneration;
}

int SaveSettings(const char* path) {
    // The rename would replace a file the player made read-only.
    if (IsReadOnlyFile(path)) return kSaveCannotOpen;

    CSimpleIniA onDisk;
    const CSimpleIniA* document = &g_settings;
    const SettingsFileState disk = ReadSettingsDocument(onDisk, path, g_saveRefusal);
    if (disk == SettingsFileState::kRefused) return kSaveRefused;
    if (disk == SettingsFileState::kRead) {
        const char* position = g_settings.GetValue(kPositionSection, kPositionKey, nullptr);
        if (g_positionStored && position) onDisk.SetValue(kPositionSection, kPositionKey, position);
        document = &onDisk;
    }
    std::string text;
    const SI_Error status = document->Save(text, true);
    if (status < 0) return status;
    return ReplaceThroughTemporary(text, (std::string(path) + kTemporarySuffix).c_str(), path);
}

void SavePosition(int32_t seconds) {
    BusyMark files(g_fileWork);
    std::string path, temporary, text;
    bool ready = false;
    {
        BusyMark busy(g_memoryWork);
        path = BaseDirFile(kSettingsName);
        temporary = path + kTemporarySuffix;
        CSimpleIniA onDisk;
        std::string why;
        if (!IsReadOnlyFile(path.c_str()) &&
            ReadSettingsDocument(onDisk, path.c_str(), why) == SettingsFileState::kRead) {
            onDisk.SetLongValue(kPositionSection, kPositionKey, seconds);
            ready = onDisk.Save(text, true) >= 0;
        }
    }
    if (ready) ReplaceThroughTemporary(text, temporary.c_str(), path.c_str());
    BusyMark busy(g_memoryWork);  // the texts are freed here, before they go out of scope
    std::string().swap(text);
    std::string().swap(temporary);
    std::string().swap(path);
}

const char* SaveRefusal() {
    return g_saveRefusal.c_str();
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
