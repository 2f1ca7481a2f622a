// Working out what every station and jingle of a game folder will play.
#include "tools/zorve-check/inspect.h"

#include <cctype>

#include "hud/colour.h"
#include "radio/common/dial.h"
#include "radio/common/stream.h"
#include "radio/jingles.h"
#include "settings/settings.h"
#include "settings/text.h"
#include "tools/zorve-check/audiolib.h"
#include "tools/zorve-check/gamepath.h"

const char kSettingsFile[] = "settings.ini";
const char kAudioLibrary[] = "bass.dll";

namespace {

constexpr char kSchemeSeparator = ':';
constexpr char kMirrorSeparator = ' ';
constexpr char kListSeparator = ',';
constexpr int kColourParts = 3;
// No settings value holds this byte: a lookup that gives it back found no key.
const char kAbsent[] = "\x7f";
const char kNoCodec[] = "not a WAV, AIFF, MP3 or OGG file: plays only if Windows has a codec for it";

// Add-ons found in the game folder, read once per inspection.
std::vector<std::string> g_addOns;

// The add-on a file's format needs, when it is not in the game folder.
std::string MissingAddOn(const PathLook& file) {
    const std::string addOn = file.kind == PathKind::Audio ? AddOnFor(file.format) : "";
    return addOn.empty() || HasAddOn(g_addOns, addOn) ? "" : addOn;
}

std::string ThroughAddOn(const PathLook& file) {
    const std::string addOn = AddOnFor(file.format);
    return addOn.empty() ? "" : " through the add-on " + addOn;
}

// Paths as the module forms them start with "./"; shown from the game folder.
std::string Shown(const std::string& path) {
    return path.compare(0, 2, "./") == 0 ? path.substr(2) : path;
}

bool HasKey(const std::string& section, const char* key) {
    return GetValue(section.c_str(), key, kAbsent) != kAbsent;
}

// A name colour left empty takes the game's own; the shadow has no such fall-back.
ColourLook LookAtColour(const std::string& section, const char* key, const char* fallback, bool gameColour) {
    ColourLook look{key, false, GetValue(section.c_str(), key, fallback), 0, 0, 0, ""};
    look.set = !look.text.empty() || !gameColour;
    if (!look.set) return look;
    look.red = ColourComponent(look.text, 1);
    look.green = ColourComponent(look.text, 2);
    look.blue = ColourComponent(look.text, 3);
    const size_t parts = Fields(look.text, kListSeparator).size();
    if (look.text.empty()) {
        look.note = "empty: every part is 0";
    } else if (parts != kColourParts) {
        look.note = std::to_string(parts) + (parts == 1 ? " number" : " numbers") +
                    ": the missing ones repeat the list from its start";
    }
    return look;
}

// Why a source that names no file and no internet address plays nothing.
std::string WhyNotPlayed(const std::string& source) {
    std::string why = "no file " + source + " in the game folder";
    if (ExistsForGame(BaseDirFile(source))) {
        why += "; it is in audio/streams/: sources are found from the game folder, write audio/streams/" + source;
    } else if (source.front() == '"') {
        why += "; the quotes count as part of the file name";
    }
    return why;
}

// An internet station's addresses, and what can be told of https before the game tries.
std::string StreamDetail(const std::string& section, const std::string& source) {
    std::string detail = "internet stream (not checked: that needs the network)";
    size_t mirrors = 0;
    for (const std::string& mirror : Fields(GetValue(section.c_str(), "mirrors", ""), kMirrorSeparator))
        mirrors += !mirror.empty();
    if (mirrors) detail += "; " + std::to_string(mirrors) + (mirrors == 1 ? " mirror" : " mirrors") + " tried in turn";
    // A 2.4 library's version does not tell whether it opens https: that needs the connection.
    if (LowerCase(FieldAt(1, source, kSchemeSeparator)) == "https")
        detail += "; whether this bass.dll can open https addresses is not known until the game tries (the run log then says)";
    return detail;
}

StationLook LookAtStation(int number) {
    const std::string section = TrackSection(static_cast<int8_t>(number));
    StationLook station{};
    station.number = number;
    station.source = GetValue(section.c_str(), "source", "");
    station.name = GetValue(section.c_str(), "name", "");
    station.colorA = LookAtColour(section, "colorA", "", true);
    station.colorB = LookAtColour(section, "colorB", "", true);
    station.shadow = LookAtColour(section, "shadow", "0,0,0", false);
    station.shown = HasKey(section, "name") || HasKey(section, "colorA") || HasKey(section, "colorB") ||
                    HasKey(section, "shadow") || !station.source.empty() || HasKey(section, "playlist");

    const std::string& source = station.source;
    const bool url = IsInternetAddress(source);
    const PathLook file = source.empty() ? PathLook{PathKind::Missing, ""} : LookAt(source);
    auto set = [&](Verdict verdict, const char* status, const std::string& detail) {
        station.verdict = verdict;
        station.status = status;
        station.detail = detail;
    };
    switch (file.kind) {
        case PathKind::Folder:
            set(Verdict::Fails, "folder", "a folder, not a file: the open fails and the station stays silent");
            break;
        case PathKind::EmptyFile:
            set(Verdict::Fails, "empty", "an empty file: the open fails and the station stays silent");
            break;
        case PathKind::Audio:
            if (!MissingAddOn(file).empty()) {
                set(Verdict::Fails, "no add-on",
                    file.format + " file: needs the add-on " + MissingAddOn(file) + ", which is not in the game folder");
            } else {
                set(Verdict::Plays, "file", file.format + " file, played live" + ThroughAddOn(file));
            }
            break;
        case PathKind::Unknown:
            set(Verdict::Warning, "file", kNoCodec);
            break;
        case PathKind::Unchecked:
            set(Verdict::Warning, "unchecked", "a drive or network path: run zorve-check.exe on Windows to check it");
            break;
        case PathKind::Missing:
            if (source.empty()) {
                station.playlist = LookAtPlaylist(section, number);
                const PlaylistLook& playlist = station.playlist;
                if (playlist.playlist.empty()) {
                    set(Verdict::Note, "no source", "the station plays nothing of ours");
                } else if (playlist.fault.empty()) {
                    set(Verdict::Plays, "playlist", PlaylistSummary(playlist));
                } else {
                    set(Verdict::Fails, "playlist", playlist.fault);
                }
            } else if (url) {
                set(Verdict::Plays, "stream", StreamDetail(section, source));
            } else {
                set(Verdict::Fails, "not played", WhyNotPlayed(source));
            }
            return station;
    }
    if (url && file.kind != PathKind::Unchecked) station.detail += "; also an internet address, but it opens as the file";
    return station;
}

std::vector<JingleLook> LookAtJingles(int& loaded) {
    std::vector<JingleLook> jingles;
    loaded = 0;
    const std::string list = GetValue("SWITCHER", "samples", "");
    if (list.empty()) return jingles;
    for (const std::string& name : Fields(list, kListSeparator)) {
        JingleLook jingle{static_cast<int>(jingles.size()) + 1, name, Shown(BaseDirFile(name)), Verdict::Plays, "", ""};
        auto set = [&](Verdict verdict, const char* status, const std::string& detail) {
            jingle.verdict = verdict;
            jingle.status = status;
            jingle.detail = detail;
        };
        const PathLook file = LookAt(BaseDirFile(name));
        if (name.empty()) {
            set(Verdict::Note, "skipped", "empty name (two commas in a row, or a comma at an end of the list)");
        } else if (loaded >= kJingleSlots) {
            set(Verdict::Fails, "ignored", "past the " + std::to_string(kJingleSlots) + "th loaded jingle");
        } else if (file.kind == PathKind::Missing) {
            const bool blank = std::isspace(static_cast<unsigned char>(name.front()));
            std::string why = blank ? "begins with a blank, and there is no file " : "no file ";
            why += jingle.path;
            const size_t first = name.find_first_not_of(" \t");
            if (blank && first != std::string::npos && ExistsForGame(BaseDirFile(name.substr(first)))) {
                why += "; remove the blank after the comma";
            }
            set(Verdict::Fails, "skipped", why);
        } else {
            ++loaded;
            switch (file.kind) {
                case PathKind::Folder:
                    set(Verdict::Fails, "no sound", "a folder, not a file: its turns play nothing");
                    break;
                case PathKind::EmptyFile:
                    set(Verdict::Fails, "no sound", "an empty file: its turns play nothing");
                    break;
                case PathKind::Audio:
                    if (!MissingAddOn(file).empty()) {
                        set(Verdict::Fails, "no add-on", file.format + " file: needs the add-on " +
                                                             MissingAddOn(file) + ", which is not in the game folder");
                    } else {
                        set(Verdict::Plays, "loads", file.format + " file" + ThroughAddOn(file));
                    }
                    break;
                default:
                    set(Verdict::Warning, "loads", kNoCodec);
                    break;
            }
        }
        jingles.push_back(jingle);
    }
    return jingles;
}

PositionLook LookAtPosition() {
    PositionLook position{};
    position.text = GetValue("POSITION", "seconds", "");
    // The reader gives back whatever fallback it is handed when the text is not a number.
    const int32_t read = GetLongValue("POSITION", "seconds", 0);
    position.number = !position.text.empty() && read == GetLongValue("POSITION", "seconds", 1);
    position.value = position.number ? read : 0;
    position.used = position.number && position.value <= kMaxStartOffset;
    return position;
}

}  // namespace

FolderLook InspectGameFolder() {
    FolderLook look{};
    const PathLook settings = LookAt(BaseDirFile(kSettingsFile));
    look.settingsFound = settings.kind != PathKind::Missing && settings.kind != PathKind::Folder;
    const PathLook library = LookAt(kAudioLibrary);
    look.audioLibraryFound = library.kind != PathKind::Missing && library.kind != PathKind::Folder;
    if (look.audioLibraryFound) {
        look.audioLibraryVersion = LibraryFileVersion(kAudioLibrary);
        look.audioLibraryRefused =
            !look.audioLibraryVersion.empty() && !IsSupportedLibraryVersion(look.audioLibraryVersion);
    }
    look.addOns = g_addOns = AddOnsIn(".");

    LoadSettings();
    for (int number = 1; number <= kLastStreamedStation; ++number) look.stations.push_back(LookAtStation(number));
    look.jingles = LookAtJingles(look.jinglesLoaded);
    look.position = LookAtPosition();
    look.reconnect = GetLongValue("INTERNET", "reconnect", 0) != 0;
    return look;
}

bool AnyFailure(const FolderLook& look) {
    if (!look.settingsFound || !look.audioLibraryFound || look.audioLibraryRefused) return true;
    for (const StationLook& station : look.stations) {
        if (station.verdict == Verdict::Fails) return true;
    }
    for (const JingleLook& jingle : look.jingles) {
        if (jingle.verdict == Verdict::Fails) return true;
    }
    return false;
}
