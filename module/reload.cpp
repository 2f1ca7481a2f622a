// The worker's side of the player's edits: taking a new document and acting on what changed.
#include "module/reload.h"

#include <windows.h>

#include <string>
#include <utility>

#include "module/logevents.h"
#include "platform/busy.h"
#include "platform/runlog.h"
#include "radio/jingles.h"
#include "radio/level/level.h"
#include "radio/playlist/levels.h"
#include "radio/station.h"
#include "settings/live.h"
#include "settings/settings.h"
#include "settings/text.h"
#include "settings/watch.h"

namespace {

const char kLogSection[] = "LOG";
const char kEnabledKey[] = "enabled";
constexpr int32_t kLogOn = 1;
constexpr int32_t kLogOff = 0;

// What of a station's section the module acts on.
struct StationSetup {
    std::string source;    // source, playlist, shuffle and the programme's keys: what plays
    std::string name;
    std::string colours;   // colorA, colorB and shadow
};

struct Setup {
    StationSetup stations[kLastStreamedStation + 1];
    std::string samples;
    bool logOn = true;
};

// The setup of the document the worker has or is about to take. The worker
// sets it once before the watch is armed; the helper thread owns it after.
Setup& g_inForce = *new Setup;

// Lookups in the worker's document, and in one read afresh.
struct WorkerSettings {
    std::string Value(const char* section, const char* key, const char* fallback) const {
        return GetValue(section, key, fallback);
    }
    int32_t Long(const char* section, const char* key, int32_t fallback) const {
        return GetLongValue(section, key, fallback);
    }
};
struct FreshSettings {
    const SettingsDocument& document;
    std::string Value(const char* section, const char* key, const char* fallback) const {
        return ValueIn(document, section, key, fallback);
    }
    int32_t Long(const char* section, const char* key, int32_t fallback) const {
        return LongValueIn(document, section, key, fallback);
    }
};

template <typename Settings>
void ReadSetup(Setup& setup, const Settings& settings) {
    const auto value = [&settings](const char* section, const char* key, const char* fallback) {
        return settings.Value(section, key, fallback);
    };
    for (int station = 1; station <= kLastStreamedStation; ++station) {
        const std::string section = TrackSection(static_cast<int8_t>(station));
        const char* s = section.c_str();
        StationSetup& one = setup.stations[station];
        one.source = value(s, "source", "");
        for (const char* key : {"playlist", "shuffle", "idents", "identsEvery", "spots", "spotsEvery", "spotsCount"})
            one.source += '\n' + value(s, key, "");
        one.name = value(s, "name", "");
        one.colours = value(s, "colorA", "") + '\n' + value(s, "colorB", "") + '\n' + value(s, "shadow", "0,0,0");
    }
    setup.samples = value("SWITCHER", "samples", "");
    setup.logOn = settings.Long(kLogSection, kEnabledKey, kLogOn) != kLogOff;
}

// What changed from before to after, for the run log; sources gets bit n for
// each station n whose source changed.
std::string Changes(const Setup& before, const Setup& after, uint16_t& sources) {
    std::string text;
    for (int station = 1; station <= kLastStreamedStation; ++station) {
        const StationSetup& was = before.stations[station];
        const StationSetup& is = after.stations[station];
        std::string what;
        if (was.source != is.source) {
            what += ", source";
            sources |= static_cast<uint16_t>(1u << station);
        }
        if (was.name != is.name) what += ", name";
        if (was.colours != is.colours) what += ", colours";
        if (!what.empty()) text += "; station " + NumberToText(station) + ": " + what.substr(2);
    }
    return text.empty() ? "; no station's source, name or colours changed" : text;
}

}  // namespace

void NoteSettingsInForce() {
    ReadSetup(g_inForce, WorkerSettings{});
    WatchSettingsFile();
}

bool ReloadSettings() {
    return ReloadSettingsAt(GetTickCount64());
}

bool ReloadSettingsAt(uint64_t nowMs) {
    bool worked = TidySettingsDocuments();
    worked |= FreeReplacedJingles();
    FileStamp stamp;
    if (!SettingsChangeReady(nowMs, stamp)) return worked;

    BusyMark memory(g_memoryWork);
    SettingsDocument* document;
    std::string why;
    switch (ReadEditedSettings(stamp, document, why)) {
    case SettingsRead::kChanging:
        return true;
    case SettingsRead::kRefused:
        LogLine("settings.ini changed but was not taken: %s; the settings in force stay until the next change",
                why.c_str());
        return true;
    case SettingsRead::kTaken:
        break;
    }

    Setup next;
    ReadSetup(next, FreshSettings{*document});
    uint16_t sources = 0;
    const std::string changes = Changes(g_inForce, next, sources);
    ChangedSources(*document) = sources;
    // A log turned on says so in its first line, one turned off in its last.
    const bool logTurns = next.logOn != g_inForce.logOn;
    BusyMark files(g_fileWork);
    if (logTurns && next.logOn) TurnRunLog(true);
    LogLine("settings changed: reloaded%s", changes.c_str());
    if (logTurns && !next.logOn) TurnRunLog(false);
    if (next.samples != g_inForce.samples) PrepareJingles(next.samples);
    OfferSettings(document);
    g_inForce = std::move(next);
    return true;
}

void TakeReloadedSettings() {
    TakeJingles();
    uint16_t sources = 0;
    if (!TakeOfferedSettings(sources)) return;
    ReadLevelSettings();
    PlanFileLevels();
    RestartChangedStation(sources);
}
