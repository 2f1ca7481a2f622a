#include "tests/e2e/timeline.h"

#include <windows.h>

#include <cstdio>
#include <map>

#include "tests/e2e/rig.h"

namespace {

constexpr uint8_t kRadioModeAudible = 3;

std::FILE* g_timeline = nullptr;
std::map<std::string, std::string> g_last;

}  // namespace

double RecordSeconds() {
    LARGE_INTEGER ticks, frequency;
    QueryPerformanceCounter(&ticks);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(ticks.QuadPart) / static_cast<double>(frequency.QuadPart);
}

namespace {

bool InCar() {
    const uintptr_t player = HostPlayer();
    return player && HostPlayerState(player) == host::kPlayerStateDriving && HostPlayerVehicle(player);
}

// The module's rule for a radio that can be heard at all.
bool RadioAudible() {
    const uintptr_t player = HostPlayer();
    const bool inVehicleWithRadio = HostAltStationFlag() == 0 && InCar() &&
                                    HostModelNoRadio(HostVehicleModel(HostPlayerVehicle(player))) == 0 &&
                                    HostVehicleRadioOff() == 0;
    return inVehicleWithRadio || HostRadioMode() == kRadioModeAudible;
}

void Note(const char* key, const std::string& value) {
    auto found = g_last.find(key);
    if (found != g_last.end() && found->second == value) return;
    g_last[key] = value;
    TimelineMark(key, value);
}

}  // namespace

void OpenTimeline(const char* path) {
    g_timeline = std::fopen(path, "w");
    g_last.clear();
    TimelineMark("start", "");
}

void TimelineMark(const char* key, const std::string& value) {
    if (!g_timeline) return;
    std::fprintf(g_timeline, "%.6f %s %s\n", RecordSeconds(), key, value.c_str());
}

void SampleGame() {
    const bool audible = RadioAudible();
    const bool bytesOn = CodeByte(host::kRadioOutputSite) == host::kRadioOutputOn &&
                         CodeByte(host::kRadioRetuneSite) == host::kRadioRetuneOn;
    char volume[16];
    std::snprintf(volume, sizeof volume, "%.4f", HostRadioVolume());
    Note("audible", audible ? "1" : "0");
    Note("game-radio", audible && bytesOn ? "1" : "0");
    Note("in-car", InCar() ? "1" : "0");
    Note("radio-volume", volume);
    Note("cap", HostCapWord() || HostCapByte() ? "1" : "0");
    Note("name", Host().TextEntry());
}

void CloseTimeline() {
    if (!g_timeline) return;
    TimelineMark("end", "");
    std::fclose(g_timeline);
    g_timeline = nullptr;
}
