// The settings document: reading, refusing, saving and merging the position.
#include "settings/settings.h"

#include <atomic>
#include <cstdio>
#include <limits>
#include <new>

#include "platform/busy.h"
#include "platform/files.h"
#include "platform/unicode.h"
#include "settings/text.h"
#include "settings/watch.h"

// Multi-key and multi-line off, spaces around "=" when saving: the library's
// defaults. UTF-8 mode is switched on before reading so that the signature
// written by the last save is skipped.
struct SettingsDocument {
    CSimpleIniA ini;
    // The worker's position writes that the document's position entry includes.
    uint32_t positionWrites = 0;
    uint16_t changedSources = 0;
};

bool g_settingsLoaded = false;
uint32_t g_settingsGeneration = 0;
SettingsFileState g_settingsFileState = SettingsFileState::kMissing;

namespace {

// The worker's document. The first is never destroyed: the exit work must not
// free memory. One replaced by an edit is freed by the helper thread.
SettingsDocument* g_document = new SettingsDocument;

const char kSettingsName[] = "settings.ini";
const char kPositionSection[] = "POSITION";
const char kPositionKey[] = "seconds";
const char kTemporarySuffix[] = ".tmp";
const char kGone[] = "there is no such file now";

// Set when a value is stored during the run (only the position ever is): only
// then does the save put the position into the file, so that a hand edit of it
// is kept otherwise.
bool g_positionStored = false;

// The position entry as the worker's document holds it, for a document read
// afresh on the helper thread: the broadcast time is never taken from an edit.
// The worker writes value and presence first, then counts the write.
std::atomic<int32_t> g_positionValue{0};
std::atomic<bool> g_positionPresent{false};
std::atomic<uint32_t> g_positionWrites{0};

void MirrorPosition() {
    const char* position = g_document->ini.GetValue(kPositionSection, kPositionKey, nullptr);
    g_positionPresent = position != nullptr;
    g_positionValue = GetLongValue(kPositionSection, kPositionKey, 0);
    g_positionWrites.fetch_add(1, std::memory_order_release);
}

bool IsPositionEntry(const char* section, const char* key) {
    return LowerCase(section) == LowerCase(kPositionSection) && LowerCase(key) == LowerCase(kPositionKey);
}

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
// stays whole until the new one is on the disk; before is the stamp of the file
// the text was made from, which the watch of the player's edits is told about.
// Allocates nothing.
int ReplaceThroughTemporary(const std::string& text, const char* temporary, const char* path,
                            const FileStamp& before) {
    const WriteResult written = WriteWholeFile(temporary, text.data(), text.size());
    if (written != WriteResult::kOk) {
        // A file it could not finish is removed again.
        if (written == WriteResult::kFailed) std::remove(temporary);
        return written == WriteResult::kCannotOpen ? kSaveCannotOpen : SI_FILE;
    }
    // The rename keeps the write time, so this is what the save leaves.
    const FileStamp after = StampOfFile(temporary);
    // An edit saved since the file was read would be lost under the rename:
    // the text is made again from the file as it is now.
    if (StampOfFile(path) != before) {
        std::remove(temporary);
        return kSaveChangedMeanwhile;
    }
    if (!ReplaceFileWith(temporary, path)) {
        std::remove(temporary);
        return kSaveCannotOpen;
    }
    NoteSettingsSaved(before, after);
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
    const std::string path = BaseDirFile(kSettingsName);
    // Taken before the read: a change while reading is then still a change.
    const FileStamp stamp = StampOfFile(path.c_str());
    g_settingsFileState = ReadSettingsDocument(g_document->ini, path.c_str(), g_fileNote);
    NoteSettingsRead(stamp);
    g_positionStored = false;
    MirrorPosition();
    g_settingsLoaded = true;
    ++g_settingsGeneration;
}

int SaveSettings(const char* path) {
    // The rename would replace a file the player made read-only.
    if (IsReadOnlyFile(path)) return kSaveCannotOpen;

    int status = kSaveChangedMeanwhile;
    for (int attempt = 0; attempt < kSaveAttempts && status == kSaveChangedMeanwhile; ++attempt) {
        const FileStamp before = StampOfFile(path);
        CSimpleIniA onDisk;
        const CSimpleIniA* document = &g_document->ini;
        const SettingsFileState disk = ReadSettingsDocument(onDisk, path, g_saveRefusal);
        if (disk == SettingsFileState::kRefused) return kSaveRefused;
        if (disk == SettingsFileState::kRead) {
            const char* position = g_document->ini.GetValue(kPositionSection, kPositionKey, nullptr);
            if (g_positionStored && position) onDisk.SetValue(kPositionSection, kPositionKey, position);
            document = &onDisk;
        }
        std::string text;
        const SI_Error made = document->Save(text, true);
        if (made < 0) return made;
        status = ReplaceThroughTemporary(text, (std::string(path) + kTemporarySuffix).c_str(), path, before);
    }
    return status;
}

bool SavePosition(int32_t seconds) {
    if (!SettingsFileQuiet()) return false;
    BusyMark files(g_fileWork);
    std::string path, temporary, text;
    bool ready = false;
    FileStamp before;
    {
        BusyMark busy(g_memoryWork);
        path = BaseDirFile(kSettingsName);
        temporary = path + kTemporarySuffix;
        before = StampOfFile(path.c_str());
        CSimpleIniA onDisk;
        std::string why;
        if (!IsReadOnlyFile(path.c_str()) &&
            ReadSettingsDocument(onDisk, path.c_str(), why) == SettingsFileState::kRead) {
            onDisk.SetLongValue(kPositionSection, kPositionKey, seconds);
            ready = onDisk.Save(text, true) >= 0;
        }
    }
    const bool overtaken =
        ready && ReplaceThroughTemporary(text, temporary.c_str(), path.c_str(), before) == kSaveChangedMeanwhile;
    BusyMark busy(g_memoryWork);  // the texts are freed here, before they go out of scope
    std::string().swap(text);
    std::string().swap(temporary);
    std::string().swap(path);
    return !overtaken;
}

const char* SaveRefusal() {
    return g_saveRefusal.c_str();
}

std::string GetValue(const char* section, const char* key, const char* fallback) {
    return g_document->ini.GetValue(section, key, fallback);
}

int32_t GetLongValue(const char* section, const char* key, int32_t fallback) {
    return LongValueIn(*g_document, section, key, fallback);
}

void SetLongValue(const char* section, const char* key, int32_t value) {
    g_document->ini.SetLongValue(section, key, value);
    g_positionStored = true;
    if (!IsPositionEntry(section, key)) return;
    g_positionValue = value;
    g_positionPresent = true;
    g_positionWrites.fetch_add(1, std::memory_order_release);
}

SettingsRead ReadEditedSettings(const FileStamp& stamp, SettingsDocument*& document, std::string& why) {
    document = nullptr;
    BusyMark files(g_fileWork);
    BusyMark memory(g_memoryWork);
    const std::string path = BaseDirFile(kSettingsName);
    SettingsDocument* fresh = new SettingsDocument;
    const SettingsFileState state = ReadSettingsDocument(fresh->ini, path.c_str(), why);
    // A file written while it was read may be half the old and half the new.
    if (StampOfFile(path.c_str()) != stamp) {
        delete fresh;
        return SettingsRead::kChanging;
    }
    NoteSettingsRead(stamp);
    if (state != SettingsFileState::kRead) {
        delete fresh;
        if (state == SettingsFileState::kMissing) why = kGone;
        return SettingsRead::kRefused;
    }
    StampPosition(*fresh);
    document = fresh;
    return SettingsRead::kTaken;
}

void StampPosition(SettingsDocument& document) {
    BusyMark memory(g_memoryWork);
    const uint32_t writes = g_positionWrites.load(std::memory_order_acquire);
    if (g_positionPresent) {
        document.ini.SetLongValue(kPositionSection, kPositionKey, g_positionValue);
    } else {
        document.ini.Delete(kPositionSection, kPositionKey);
    }
    document.positionWrites = writes;
}

bool PositionCurrent(const SettingsDocument& document) {
    return document.positionWrites == g_positionWrites.load(std::memory_order_acquire);
}

std::string ValueIn(const SettingsDocument& document, const char* section, const char* key, const char* fallback) {
    return document.ini.GetValue(section, key, fallback);
}

int32_t LongValueIn(const SettingsDocument& document, const char* section, const char* key, int32_t fallback) {
    // The library reads with strtol, whose long is 32 bits in the game and 64 in
    // the native checker and fuzzer: clamp so that both read the same number.
    const long value = document.ini.GetLongValue(section, key, fallback);
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

uint16_t& ChangedSources(SettingsDocument& document) {
    return document.changedSources;
}

void FreeSettingsDocument(SettingsDocument* document) {
    BusyMark memory(g_memoryWork);
    delete document;
}

SettingsDocument* UseSettingsDocument(SettingsDocument* document) {
    SettingsDocument* const old = g_document;
    g_document = document;
    ++g_settingsGeneration;
    return old;
}
