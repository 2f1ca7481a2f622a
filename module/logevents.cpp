// The run log's lines for the module's start and exit, and opening the log.
#include "module/logevents.h"

#include <string>

#include "module/library.h"
#include "platform/files.h"
#include "platform/host.h"
#include "platform/runlog.h"
#include "radio/station.h"
#include "settings/settings.h"
#include "settings/text.h"

namespace {

const char kModuleVersion[] = "1.0";
const char kLogName[] = "zorve.log";
const char kPreviousLogName[] = "zorve.log.1";
const char kLogSection[] = "LOG";
const char kEnabledKey[] = "enabled";
constexpr int32_t kLogOn = 1;
constexpr int32_t kLogOff = 0;
const char kSettingsName[] = "settings.ini";
const char kUrlScheme[] = "http";
constexpr char kSchemeSeparator = ':';

const char* GameVariant() {
    return HostSupportedSignature() == host::kSupportedSignatureA ? "A" : "B";
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

void OpenRunLog() {
    TurnRunLog(GetLongValue(kLogSection, kEnabledKey, kLogOn) != kLogOff);
}

void TurnRunLog(bool on) {
    CloseRunLog();
    if (on) OpenRunLogFile(BaseDirFile(kLogName).c_str(), BaseDirFile(kPreviousLogName).c_str());
}

void BeginRunLog() {
    OpenRunLog();
    if (!RunLogOpen()) return;
    LogLine("zorve %s started in game variant %s", kModuleVersion, GameVariant());
    if (!LogAudioLibraryVersion()) return;
    const std::string settings = BaseDirFile(kSettingsName);
    if (g_settingsFileState == SettingsFileState::kRefused) {
        LogLine("settings file %s not taken whole, and never saved over in this run: %s", ShownPath(settings.c_str()),
                g_settingsFileNote.c_str());
    } else if (g_settingsFileState == SettingsFileState::kMissing) {
        LogLine("no settings file %s: no station of ours is set up", ShownPath(settings.c_str()));
    } else if (!g_settingsFileNote.empty()) {
        LogLine("settings read from %s: %s", ShownPath(settings.c_str()), g_settingsFileNote.c_str());
    } else {
        LogLine("settings read from %s", ShownPath(settings.c_str()));
    }
    LogStations();
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
    } else if (status == kSaveChangedMeanwhile) {
        LogLine("settings not saved at exit: the file kept changing while it was saved (an editor saving?); "
                "it stays as last written");
    } else {
        LogLine("settings not saved at exit: writing failed (status %d); the file stays as it was", status);
    }
}
