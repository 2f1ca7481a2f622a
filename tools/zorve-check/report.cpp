// The checker's findings as lines or JSON.
#include "tools/zorve-check/report.h"

#include <cmath>
#include <vector>

#include "platform/timetext.h"

namespace {

const char* VerdictWord(Verdict verdict, const std::string& status) {
    switch (verdict) {
        case Verdict::Plays:
            return status == "loads" ? "loads" : "plays";
        case Verdict::Note:
            return status.c_str();
        case Verdict::Warning:
            return "MAY NOT PLAY";
        case Verdict::Fails:
            return "WILL NOT PLAY";
    }
    return "";
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Plays:
            return "plays";
        case Verdict::Note:
            return "note";
        case Verdict::Warning:
            return "warning";
        case Verdict::Fails:
            return "fails";
    }
    return "";
}

std::string ColourText(const ColourLook& colour) {
    if (!colour.set) return "not set -> the game's own colour";
    std::string text = "\"" + colour.text + "\" -> " + std::to_string(colour.red) + "," +
                       std::to_string(colour.green) + "," + std::to_string(colour.blue);
    if (!colour.note.empty()) text += " (" + colour.note + ")";
    return text;
}

std::vector<std::string> Problems(const FolderLook& look) {
    std::vector<std::string> problems;
    if (!look.settingsFound) problems.push_back("settings.ini");
    if (!look.audioLibraryFound) problems.push_back("bass.dll");
    if (look.audioLibraryRefused) problems.push_back("bass.dll version");
    for (const StationLook& station : look.stations) {
        if (station.verdict == Verdict::Fails) problems.push_back("station " + std::to_string(station.number));
    }
    for (const JingleLook& jingle : look.jingles) {
        if (jingle.verdict == Verdict::Fails) problems.push_back("jingle " + std::to_string(jingle.number));
    }
    return problems;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

const char* Json(bool value) { return value ? "true" : "false"; }

// A loudness of the playlist's levelled tracks, or null when none is.
std::string Lufs(const PlaylistLook& playlist, double lufs) {
    if (playlist.measured + playlist.tagged == 0) return "null";
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", lufs);
    return text;
}

std::string JsonSeconds(double value) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", value);
    return seconds;
}

std::string Json(const ClipsLook& clips) {
    if (clips.folder.empty()) return "null";
    std::string problems;
    for (const SkippedTrack& clip : clips.problems)
        problems += std::string(problems.empty() ? "" : ", ") + "{\"name\": " + Json(clip.name) +
                    ", \"reason\": " + Json(clip.reason) + "}";
    return "{\"folder\": " + Json(clips.folder) + ", \"fault\": " + Json(clips.fault) +
           ", \"clips\": " + std::to_string(clips.clips) + ", \"seconds\": " + JsonSeconds(clips.seconds) +
           ", \"notPlayed\": [" + problems + "]}";
}

std::string ProgrammeJson(const PlaylistLook& playlist, bool tracks) {
    std::string text = ", \"idents\": " + Json(playlist.idents) + ", \"spots\": " + Json(playlist.spots);
    if (!tracks || playlist.firstHour.empty()) return text;
    std::string items;
    for (const ProgrammeLine& line : playlist.firstHour)
        items += std::string(items.empty() ? "" : ", ") + "{\"at\": " + JsonSeconds(line.at) +
                 ", \"kind\": " + Json(line.kind) + ", \"name\": " + Json(line.name) + "}";
    return text + ", \"firstHour\": [" + items + "]";
}

// With tracks, every playing track's name, length and title as well.
std::string Json(const PlaylistLook& playlist, bool tracks) {
    if (playlist.playlist.empty()) return "null";
    const auto list = [](const std::vector<SkippedTrack>& tracks) {
        std::string text;
        for (const SkippedTrack& track : tracks)
            text += std::string(text.empty() ? "" : ", ") + "{\"name\": " + Json(track.name) +
                    ", \"reason\": " + Json(track.reason) + "}";
        return text;
    };
    std::string damaged;
    for (const std::string& name : playlist.damagedTags) damaged += (damaged.empty() ? "" : ", ") + Json(name);
    std::string text = "{\"playlist\": " + Json(playlist.playlist) + ", \"shuffle\": " + Json(playlist.shuffle) +
                       ", \"tracks\": " + std::to_string(playlist.tracks) + ", \"seconds\": " +
                       JsonSeconds(playlist.seconds) + ", \"unknownLengths\": " +
                       std::to_string(playlist.unknownLengths) + ", \"cachedLengths\": " +
                       std::to_string(playlist.cachedLengths) + ", \"notPlayed\": [" + list(playlist.problems) +
                       "], \"lengthsInDoubt\": [" + list(playlist.lengthsInDoubt) + "], \"measured\": " +
                       std::to_string(playlist.measured) + ", \"tagged\": " + std::to_string(playlist.tagged) +
                       ", \"quietestLufs\": " + Lufs(playlist, playlist.quietestLufs) +
                       ", \"loudestLufs\": " + Lufs(playlist, playlist.loudestLufs) + ", \"titledTracks\": " +
                       std::to_string(playlist.titled) + ", \"damagedTags\": [" + damaged + "]";
    if (tracks) {
        std::string entries;
        for (const TrackLook& track : playlist.trackLooks)
            entries += std::string(entries.empty() ? "" : ", ") + "{\"name\": " + Json(track.name) +
                       ", \"seconds\": " + JsonSeconds(track.seconds) + ", \"title\": " + Json(track.title) + "}";
        text += ", \"trackList\": [" + entries + "]";
    }
    return text + ProgrammeJson(playlist, tracks) + "}";
}

// A station's idents or spots, how often they come, and the clips that will not play.
void PrintClips(FILE* out, const ClipsLook& clips, const std::string& often) {
    if (clips.folder.empty()) return;
    if (!clips.fault.empty()) {
        std::fprintf(out, "  %s %s: songs only: %s\n", clips.key.c_str(), clips.folder.c_str(), clips.fault.c_str());
    } else {
        char length[16];
        FormatDuration(length, sizeof length, static_cast<uint32_t>(std::lround(clips.seconds)));
        std::fprintf(out, "  %s %s: %d %s, %s; %s\n", clips.key.c_str(), clips.folder.c_str(), clips.clips,
                     clips.clips == 1 ? "clip" : "clips", length, often.c_str());
    }
    for (const SkippedTrack& clip : clips.problems)
        std::fprintf(out, "  %s clip %s: will not play: %s\n", clips.key.c_str(), clip.name.c_str(), clip.reason.c_str());
}

// The programme's keys as the game takes them, and with tracks its first hour.
void PrintProgramme(FILE* out, const PlaylistLook& playlist, bool tracks) {
    for (const std::string& refusal : playlist.refusals) std::fprintf(out, "  %s\n", refusal.c_str());
    const ProgrammeRules& rules = playlist.rules;
    const auto every = [](uint32_t count, const char* one, const char* many) {
        return count == 1 ? std::string(one) : std::to_string(count) + " " + many;
    };
    PrintClips(out, playlist.idents,
               rules.identsEvery ? "one after every " + every(rules.identsEvery, "song", "songs") : "identsEvery 0: none");
    PrintClips(out, playlist.spots,
               rules.spotsCount && rules.spotsEveryMinutes
                   ? "a break of " + std::to_string(rules.spotsCount) + " every " +
                         every(rules.spotsEveryMinutes, "minute", "minutes")
                   : "no breaks");
    if (!tracks || playlist.firstHour.empty()) return;
    std::fprintf(out, "  the programme's first hour from the start of the tape:\n");
    for (const ProgrammeLine& line : playlist.firstHour) {
        char at[16];
        FormatDuration(at, sizeof at, static_cast<uint32_t>(line.at));
        std::fprintf(out, "  %8s  %-5s  %s\n", at, line.kind.c_str(), line.name.c_str());
    }
}

// What the playlist's tags give, and with tracks every track's line.
void PrintTrackTitles(FILE* out, const PlaylistLook& playlist, bool tracks) {
    if (playlist.tracks == 0) return;
    std::fprintf(out, "  titles: %d of %d tracks named by their tags, the others by their file names\n",
                 playlist.titled, playlist.tracks);
    for (const std::string& name : playlist.damagedTags)
        std::fprintf(out, "  track %s: tags damaged in part: what could be read is used\n", name.c_str());
    if (!tracks) return;
    for (const TrackLook& track : playlist.trackLooks) {
        char length[16] = "?:??";
        if (track.seconds > 0) FormatDuration(length, sizeof length, static_cast<uint32_t>(std::lround(track.seconds)));
        std::fprintf(out, "  %s  %s  %s\n", length, track.name.c_str(), track.title.c_str());
    }
}

std::string Json(const ColourLook& colour) {
    return std::string("{\"set\": ") + Json(colour.set) + ", \"text\": " + Json(colour.text) + ", \"rgb\": [" +
           std::to_string(colour.red) + ", " + std::to_string(colour.green) + ", " + std::to_string(colour.blue) +
           "], \"note\": " + Json(colour.note) + "}";
}

}  // namespace

void PrintText(FILE* out, const std::string& folder, const FolderLook& look, bool tracks) {
    std::fprintf(out, "zorve-check: game folder %s\n", folder.c_str());
    std::fprintf(out, "settings: %s\n",
                 look.settingsFound ? "audio/streams/settings.ini found"
                                    : "WILL NOT PLAY: no audio/streams/settings.ini: nothing is configured");
    std::fprintf(out, "audio library: %s\n",
                 look.audioLibraryFound ? "bass.dll found beside the game"
                                        : "WILL NOT PLAY: no bass.dll in the game folder: the module does not load "
                                          "without it");
    if (look.audioLibraryRefused) {
        std::fprintf(out, "audio library version: WILL NOT PLAY: bass.dll is version %s: zorve needs 2.4 and stays "
                          "silent with any other\n", look.audioLibraryVersion.c_str());
    } else if (look.audioLibraryFound) {
        std::fprintf(out, "audio library version: %s\n",
                     look.audioLibraryVersion.empty()
                         ? "could not tell: bass.dll has no version information (zorve needs 2.4)"
                         : look.audioLibraryVersion.c_str());
    }
    std::string addOns;
    for (const std::string& addOn : look.addOns) addOns += (addOns.empty() ? "" : ", ") + addOn;
    std::fprintf(out, "add-ons: %s\n",
                 addOns.empty() ? "none (FLAC, Opus and AAC/M4A files need bassflac.dll, bassopus.dll and "
                                  "bass_aac.dll in the game folder)"
                                : addOns.c_str());

    for (const StationLook& station : look.stations) {
        if (!station.playlist.playlist.empty()) {
            std::fprintf(out, "station %d: %s: playlist %s: %s\n", station.number,
                         VerdictWord(station.verdict, station.status), station.playlist.playlist.c_str(),
                         station.detail.c_str());
            for (const SkippedTrack& track : station.playlist.problems)
                std::fprintf(out, "  track %s: will not play: %s\n", track.name.c_str(), track.reason.c_str());
            for (const SkippedTrack& track : station.playlist.lengthsInDoubt)
                std::fprintf(out, "  track %s: plays; %s until the game has scanned it once\n", track.name.c_str(),
                             track.reason.c_str());
            PrintTrackTitles(out, station.playlist, tracks);
            PrintProgramme(out, station.playlist, tracks);
        } else if (station.source.empty()) {
            std::fprintf(out, "station %d: %s\n", station.number, VerdictWord(station.verdict, station.status));
        } else {
            std::fprintf(out, "station %d: %s: %s: %s\n", station.number,
                         VerdictWord(station.verdict, station.status), station.source.c_str(),
                         station.detail.c_str());
        }
        if (!station.shown) continue;
        if (station.name.empty()) {
            std::fprintf(out, "  name: empty: no name is shown\n");
        } else {
            std::fprintf(out, "  name: \"%s\"\n", station.name.c_str());
        }
        for (const ColourLook* colour : {&station.colorA, &station.colorB, &station.shadow}) {
            std::fprintf(out, "  %s: %s\n", colour->key, ColourText(*colour).c_str());
        }
    }

    if (look.jingles.empty()) {
        std::fprintf(out, "jingles: none listed\n");
    } else {
        std::fprintf(out, "jingles: %d loaded from %zu names\n", look.jinglesLoaded, look.jingles.size());
    }
    for (const JingleLook& jingle : look.jingles) {
        std::fprintf(out, "jingle %d: %s: %s: %s\n", jingle.number, VerdictWord(jingle.verdict, jingle.status),
                     jingle.name.empty() ? "(empty)" : jingle.path.c_str(), jingle.detail.c_str());
    }

    const PositionLook& position = look.position;
    if (position.text.empty()) {
        std::fprintf(out, "position: not set: files start from the game clock alone\n");
    } else if (!position.number) {
        std::fprintf(out, "position: \"%s\": not a whole number, read as 0\n", position.text.c_str());
    } else if (!position.used) {
        std::fprintf(out, "position: %d: above 16384, ignored: files start from the game clock alone\n",
                     position.value);
    } else {
        std::fprintf(out, "position: %d: seconds added to the game clock where a file starts\n", position.value);
    }

    std::fprintf(out, "internet streams: %s\n",
                 look.reconnect ? "reconnect on: a lost stream is opened again after 1, 2, 4, 8, 16, then every 30 s"
                                : "reconnect off: a lost stream stays silent until you tune again "
                                  "([INTERNET] reconnect = 1 opens it again)");

    const std::vector<std::string> problems = Problems(look);
    if (problems.empty()) {
        std::fprintf(out, "result: everything configured will play\n");
        return;
    }
    std::string list;
    for (const std::string& problem : problems) list += (list.empty() ? "" : ", ") + problem;
    std::fprintf(out, "result: %zu %s: %s\n", problems.size(), problems.size() == 1 ? "problem" : "problems",
                 list.c_str());
}

void PrintJson(FILE* out, const std::string& folder, const FolderLook& look, bool tracks) {
    std::fprintf(out, "{\n  \"gameFolder\": %s,\n  \"settingsFound\": %s,\n  \"audioLibraryFound\": %s,\n",
                 Json(folder).c_str(), Json(look.settingsFound), Json(look.audioLibraryFound));
    std::string addOns;
    for (const std::string& addOn : look.addOns) addOns += (addOns.empty() ? "" : ", ") + Json(addOn);
    std::fprintf(out, "  \"audioLibraryVersion\": %s,\n  \"audioLibraryRefused\": %s,\n  \"addOns\": [%s],\n",
                 Json(look.audioLibraryVersion).c_str(), Json(look.audioLibraryRefused), addOns.c_str());
    std::fprintf(out, "  \"stations\": [\n");
    for (size_t i = 0; i < look.stations.size(); ++i) {
        const StationLook& s = look.stations[i];
        std::fprintf(out,
                     "    {\"number\": %d, \"source\": %s, \"verdict\": \"%s\", \"status\": %s, \"detail\": %s, "
                     "\"name\": %s, \"colorA\": %s, \"colorB\": %s, \"shadow\": %s, \"playlist\": %s}%s\n",
                     s.number, Json(s.source).c_str(), VerdictName(s.verdict), Json(s.status).c_str(),
                     Json(s.detail).c_str(), Json(s.name).c_str(), Json(s.colorA).c_str(), Json(s.colorB).c_str(),
                     Json(s.shadow).c_str(), Json(s.playlist, tracks).c_str(), i + 1 < look.stations.size() ? "," : "");
    }
    std::fprintf(out, "  ],\n  \"jinglesLoaded\": %d,\n  \"jingles\": [\n", look.jinglesLoaded);
    for (size_t i = 0; i < look.jingles.size(); ++i) {
        const JingleLook& j = look.jingles[i];
        std::fprintf(out,
                     "    {\"number\": %d, \"name\": %s, \"path\": %s, \"verdict\": \"%s\", \"status\": %s, "
                     "\"detail\": %s}%s\n",
                     j.number, Json(j.name).c_str(), Json(j.path).c_str(), VerdictName(j.verdict),
                     Json(j.status).c_str(), Json(j.detail).c_str(), i + 1 < look.jingles.size() ? "," : "");
    }
    const PositionLook& p = look.position;
    std::fprintf(out, "  ],\n  \"position\": {\"text\": %s, \"value\": %d, \"number\": %s, \"used\": %s},\n",
                 Json(p.text).c_str(), p.value, Json(p.number), Json(p.used));
    std::fprintf(out, "  \"reconnect\": %s,\n", Json(look.reconnect));
    std::fprintf(out, "  \"playable\": %s\n}\n", Json(!AnyFailure(look)));
}
