#include "module/logevents.h"

#include <string>

#include "module/library.h"
#include "module/runlog.h"
#include "platform/files.h"
#include "platform/host.h"
#include "radio/station.h"
#include "settings/settings.h"
#include "settings/text.h"

namespace {

const char kModuleVersion[] = "1.0";
const char kSettingsName[] = "settings.ini";
const char kUrlScheme[] = "http";
constexpr char kSchemeSeparator = ':';
constexpr size_t kTimeText = 16;
constexpr unsigned kByteBits = 8;
constexpr uint32_t kByteMask = 0xFF;

// Paths as the module forms them start with "./"; shown from the game folder.
const char* Shown(const std::string& path) {
    const char* text = path.c_str();
    return path.compare(0, 2, "./") == 0 ? text + 2 : text;
}

const char* GameVariant() {
    return HostSupportedSignature() == host::kSupportedSignatureA ? "A" : "B";
}

// The error of the last library call on this thread, unless the log is closed.
int32_t LastError() {
    return RunLogOpen() ? BASS_ErrorGetCode() : BASS_OK;
}

// The stations as StartStation will take their sources: an existing file
// first, then an http stream; anything else plays nothing.
void LogStations() {
    for (int station = 1; station <= kLastStreamedStation; ++station) {
        const std::string section = TrackSection(static_cast<int8_t>(station));
        const std::string source = GetValue(section.c_str(), "source", "");
        const std::string name = GetValue(section.c_str(), "name", "");
        const std::string playlist = source.empty() ? GetValue(section.c_str(), "playlist", "") : "";
        if (source.empty() && name.empty() && playlist.empty()) continue;
        const std::string named = name.empty() ? "" : " \"" + name + "\"";
        if (!playlist.empty()) {
            LogLine("station %d%s: playlist %s%s", station, named.c_str(), playlist.c_str(),
                    GetLongValue(section.c_str(), "shuffle", 0) != 0 ? ", shuffled" : "");
        } else if (source.empty()) {
            LogLine("station %d%s: no source: the game's own station plays", station, named.c_str());
        } else if (PathExists(source.c_str())) {
            LogLine("station %d%s: file %s", station, named.c_str(), source.c_str());
        } else if (FieldAt(1, source, kSchemeSeparator) == kUrlScheme) {
            LogLine("station %d%s: internet stream %s", station, named.c_str(), source.c_str());
        } else {
            LogLine("station %d%s: %s is no file in the game folder and no http: address: it plays nothing",
                    station, named.c_str(), source.c_str());
        }
    }
}

}  // namespace

void BeginRunLog() {
    OpenRunLog();
    if (!RunLogOpen()) return;
    const uint32_t version = g_audioLibraryVersion;
    LogLine("zorve %s started in game variant %s", kModuleVersion, GameVariant());
    LogLine("audio library bass.dll version %u.%u.%u.%u", version >> 3 * kByteBits, version >> 2 * kByteBits & kByteMask,
            version >> kByteBits & kByteMask, version & kByteMask);
    if (!AudioLibraryAccepted()) {
        LogLine("zorve needs version 2.4 of the audio library: it plays nothing in this run and leaves the "
                "game's own radio alone");
        return;
    }
    const std::string settings = BaseDirFile(kSettingsName);
    if (g_settingsFileState == SettingsFileState::kRefused) {
        LogLine("settings file %s not taken whole, and never saved over in this run: %s", Shown(settings),
                g_settingsFileNote.c_str());
    } else if (g_settingsFileState == SettingsFileState::kMissing) {
        LogLine("no settings file %s: no station of ours is set up", Shown(settings));
    } else if (!g_settingsFileNote.empty()) {
        LogLine("settings read from %s: %s", Shown(settings), g_settingsFileNote.c_str());
    } else {
        LogLine("settings read from %s", Shown(settings));
    }
    LogStations();
}

int32_t OpenError(BassDword handle) {
    return handle ? BASS_OK : LastError();
}

void LogAddOn(const char* name, BassDword plugin) {
    if (plugin) {
        LogLine("add-on %s loaded", name);
        return;
    }
    const int32_t error = LastError();
    LogLine("add-on %s not loaded: %s (error %d)", name, AudioErrorText(error), error);
}

void LogJingleMissing(const char* name) {
    if (*name) LogLine("jingle %s skipped: there is no file %s", name, Shown(BaseDirFile(name)));
}

void LogJingleLoad(const char* name, BassDword sample) {
    if (sample) {
        LogLine("jingle %s loaded", name);
        return;
    }
    const int32_t error = LastError();
    LogLine("jingle %s not loaded: %s (error %d): its turns stay silent", name, AudioErrorText(error), error);
}

void LogFileStart(const char* source, BassDword stream, int32_t openError, BassBool played, double seconds,
                  BassQword bytes, BassQword length, BassQword position) {
    if (!RunLogOpen()) return;
    if (!stream) {
        LogLine("station start: file %s not played: %s (error %d)", source, AudioErrorText(openError), openError);
        return;
    }
    if (!played) {
        const int32_t error = LastError();
        LogLine("station start: file %s opened but not played: %s (error %d)", source, AudioErrorText(error),
                error);
        return;
    }
    if (length == 0 || length == kBassErrorQword) {
        LogLine("station start: file %s playing from its start (its length is not known)", source);
        return;
    }
    // The library's bytes per second, from the broadcast time it converted.
    if (seconds <= 0 || bytes == 0 || bytes == kBassErrorQword) {
        LogLine("station start: file %s playing%s", source, position == 0 ? " from its start" : "");
        return;
    }
    const double bytesPerSecond = static_cast<double>(bytes) / seconds;
    char from[kTimeText];
    char of[kTimeText];
    FormatDuration(from, sizeof from, static_cast<uint32_t>(static_cast<double>(position) / bytesPerSecond));
    FormatDuration(of, sizeof of, static_cast<uint32_t>(static_cast<double>(length) / bytesPerSecond + 0.5));
    LogLine("station start: file %s playing from %s of %s", source, from, of);
}

void LogUrlStart(const char* source, BassDword stream, int32_t openError, BassBool played) {
    if (!RunLogOpen()) return;
    if (!stream) {
        LogLine("station start: internet stream %s not played: %s (error %d)", source, AudioErrorText(openError),
                openError);
    } else if (!played) {
        const int32_t error = LastError();
        LogLine("station start: internet stream %s connected but not played: %s (error %d)", source,
                AudioErrorText(error), error);
    } else {
        LogLine("station start: internet stream %s playing", source);
    }
}

void LogSave(int status) {
    if (status == kSaveOk) {
        LogLine("settings saved at exit");
    } else if (status == kSaveRefused) {
        LogLine("settings not saved at exit, so that nothing in the file is lost: %s; the file stays as it was",
                SaveRefusal());
    } else if (status == kSaveCannotOpen) {
        LogLine("settings not saved at exit: the file or its folder cannot be written (read-only?); the file "
                "stays as it was");
    } else {
        LogLine("settings not saved at exit: writing failed (status %d); the file stays as it was", status);
    }
}
