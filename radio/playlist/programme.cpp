// A playlist station's programme: songs, idents and breaks of spots laid out as one tape.
#include "radio/playlist/programme.h"

#include <cstdio>

#include "settings/settings.h"

namespace {

constexpr uint32_t kMostClipsEvery = 100;
constexpr uint32_t kMostBreakMinutes = 240;
constexpr double kSecondsPerMinute = 60;
// A programme goes round the songs again until it has had a break, when it
// has spots, and the idents and spots are back at their first, so that each
// clip is heard before any is heard again, even over the tape's wrap; a tape
// this long may wrap with its rotations elsewhere.
constexpr size_t kMostItems = 1 << 16;

struct CountKey {
    const char* key;
    uint32_t last;
    uint32_t ProgrammeRules::*value;
    const char* what;
};

const CountKey kCountKeys[] = {
    {"identsEvery", kMostClipsEvery, &ProgrammeRules::identsEvery, "songs"},
    {"spotsEvery", kMostBreakMinutes, &ProgrammeRules::spotsEveryMinutes, "minutes"},
    {"spotsCount", kMostClipsEvery, &ProgrammeRules::spotsCount, "spots"},
};

// The next playable clip of the tape from cursor on, in its order and over
// again; null when none is playable.
Track* NextClip(Tape& tape, size_t& cursor) {
    const size_t count = tape.tracks.size();
    for (size_t step = 0; step < count; ++step) {
        Track& clip = tape.tracks[(cursor + step) % count];
        if (!(clip.seconds > 0)) continue;
        cursor = (cursor + step + 1) % count;
        return &clip;
    }
    return nullptr;
}

}  // namespace

bool ParseProgrammeCount(const std::string& text, uint32_t last, uint32_t& value) {
    // Three digits are enough for every limit, and keep the sum from overflowing.
    constexpr size_t kMostDigits = 3;
    if (text.empty() || text.size() > kMostDigits) return false;
    uint32_t number = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + static_cast<uint32_t>(c - '0');
    }
    if (number > last) return false;
    value = number;
    return true;
}

ClipFolders ReadClipFolders(const std::string& section) {
    return {GetValue(section.c_str(), TapeKey(TapeKind::kIdents), ""), GetValue(section.c_str(), TapeKey(TapeKind::kSpots), "")};
}

ProgrammeSetup ReadProgrammeSetup(const std::string& section) {
    ProgrammeSetup setup;
    setup.clips = ReadClipFolders(section);
    for (const CountKey& key : kCountKeys) {
        const std::string text = GetValue(section.c_str(), key.key, "");
        if (text.empty() || ParseProgrammeCount(text, key.last, setup.rules.*key.value)) continue;
        char line[160];
        std::snprintf(line, sizeof line, "settings: [%s] %s = %.40s refused (a whole number of %s from 0 to %u); %u is used",
                      section.c_str(), key.key, text.c_str(), key.what, key.last, setup.rules.*key.value);
        setup.refusals.push_back(line);
    }
    return setup;
}

void LayOutProgramme(Tape& songs, Tape* idents, Tape* spots, const ProgrammeRules& rules, Programme& programme) {
    programme.clear();
    const bool identsOn = idents && rules.identsEvery > 0;
    const bool breaksOn = spots && rules.spotsEveryMinutes > 0 && rules.spotsCount > 0;
    const double breakEvery = rules.spotsEveryMinutes * kSecondsPerMinute;
    size_t identCursor = 0;
    size_t spotCursor = 0;
    uint32_t songsSinceIdent = 0;
    double at = 0;  // the programme's time at the end of what is laid out
    double breakDue = breakEvery;
    bool breakWanted = false;  // spots that play, and no break laid out yet
    if (breaksOn)
        for (const Track& spot : spots->tracks) breakWanted = breakWanted || spot.seconds > 0;
    bool again = true;
    while (again) {
        bool played = false;
        for (Track& song : songs.tracks) {
            programme.push_back({&songs, &song});
            if (!(song.seconds > 0)) continue;
            played = true;
            at += song.seconds;
            ++songsSinceIdent;
            bool broke = false;
            if (breaksOn && at >= breakDue) {
                for (uint32_t n = 0; n < rules.spotsCount; ++n) {
                    Track* spot = NextClip(*spots, spotCursor);
                    if (!spot) break;
                    programme.push_back({spots, spot, n == 0});
                    at += spot->seconds;
                    broke = true;
                    breakWanted = false;
                }
                // Due times stay on the programme's clock: those passed meanwhile are met by this break.
                while (breakDue <= at) breakDue += breakEvery;
            }
            if (!broke && identsOn && songsSinceIdent >= rules.identsEvery) {
                if (Track* ident = NextClip(*idents, identCursor)) {
                    programme.push_back({idents, ident});
                    at += ident->seconds;
                }
                songsSinceIdent = 0;
            }
        }
        again = played && (breakWanted || identCursor != 0 || spotCursor != 0) && programme.size() < kMostItems;
    }
}
