// The addresses an internet station is tried at, in turn, and the one that worked last.
#include "radio/internet/mirrors.h"

#include <windows.h>

#include <atomic>
#include <cstring>
#include <map>
#include <vector>

#include "platform/bass.h"
#include "platform/busy.h"
#include "platform/runlog.h"
#include "settings/settings.h"
#include "settings/text.h"

namespace {

const char kMirrorsKey[] = "mirrors";
constexpr char kMirrorSeparator = ' ';
constexpr char kSchemeSeparator = ':';
const char kSecureScheme[] = "https";

// The station started last: its source first, then its mirrors. Written by
// the worker, read by the opening and reconnect threads, under the lock; no
// other lock is taken while it is held. Never destroyed: the exit work must
// not free memory.
struct StationAddresses {
    int8_t station = 0;
    std::vector<std::string> list;
};
SRWLOCK g_lock = SRWLOCK_INIT;
StationAddresses& g_station = *new StationAddresses;
// Source of a station to the address that worked last, for this session.
std::map<std::string, std::string>& g_worked = *new std::map<std::string, std::string>;
// Stations whose library was named as lacking https, a bit each.
std::atomic<uint32_t> g_secureRefusalLogged{0};

// The addresses to try for source, in order; source alone when the station
// started since is another one. Under the memory mark.
std::vector<std::string> AddressesOf(const std::string& source, int8_t& station) {
    AcquireSRWLockShared(&g_lock);
    std::vector<std::string> list;
    station = 0;
    if (!g_station.list.empty() && g_station.list.front() == source) {
        list = g_station.list;
        station = g_station.station;
        const auto worked = g_worked.find(source);
        if (worked != g_worked.end()) {
            for (size_t i = 1; i < list.size(); ++i) {
                if (list[i] != worked->second) continue;
                list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
                list.insert(list.begin(), worked->second);
                break;
            }
        }
    }
    ReleaseSRWLockShared(&g_lock);
    if (list.empty()) list.push_back(source);
    return list;
}

}  // namespace

void TakeStationMirrors(int8_t station, const std::string& source) {
    BusyMark memory(g_memoryWork);
    StationAddresses taken;
    taken.station = station;
    taken.list.push_back(source);
    for (std::string& mirror : Fields(GetValue(TrackSection(station).c_str(), kMirrorsKey, ""), kMirrorSeparator)) {
        if (!mirror.empty() && mirror != source) taken.list.push_back(std::move(mirror));
    }
    AcquireSRWLockExclusive(&g_lock);
    std::swap(g_station, taken);
    ReleaseSRWLockExclusive(&g_lock);
}

UrlOpen OpenStationAddresses(const char* source, std::string& address) {
    std::vector<std::string> list;
    int8_t station;
    {
        BusyMark memory(g_memoryWork);
        list = AddressesOf(source, station);
    }
    UrlOpen open{0, 0};
    for (size_t i = 0; i < list.size(); ++i) {
        open = OpenUrlStream(list[i].c_str());
        {
            BusyMark memory(g_memoryWork);
            address = list[i];
        }
        if (open.stream) {
            if (list.size() > 1) NoteAddressWorked(list[i].c_str());
            break;
        }
        NoteAddressRefused(list[i].c_str(), open.error);
        if (i + 1 < list.size()) {
            LogLine("station %d: internet stream %s not opened: %s (error %d); trying %s next", station,
                    list[i].c_str(), AudioErrorText(open.error), open.error, list[i + 1].c_str());
        }
    }
    {
        BusyMark memory(g_memoryWork);
        list = std::vector<std::string>();
    }
    return open;
}

void NextStationAddress(char* address, size_t size) {
    AcquireSRWLockShared(&g_lock);
    const std::vector<std::string>& list = g_station.list;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] != address) continue;
        const std::string& next = list[(i + 1) % list.size()];
        if (next.size() < size) std::memcpy(address, next.c_str(), next.size() + 1);
        break;
    }
    ReleaseSRWLockShared(&g_lock);
}

void NoteAddressWorked(const char* address) {
    BusyMark memory(g_memoryWork);
    AcquireSRWLockExclusive(&g_lock);
    const std::vector<std::string>& list = g_station.list;
    for (const std::string& known : list) {
        if (known == address) {
            g_worked[list.front()] = known;
            break;
        }
    }
    ReleaseSRWLockExclusive(&g_lock);
}

void NoteAddressRefused(const char* address, int32_t error) {
    if (error != BASS_ERROR_SSL && error != BASS_ERROR_PROTOCOL) return;
    int8_t station = 0;
    {
        BusyMark memory(g_memoryWork);
        if (LowerCase(FieldAt(1, address, kSchemeSeparator)) != kSecureScheme) return;
        AcquireSRWLockShared(&g_lock);
        for (const std::string& known : g_station.list)
            if (known == address) station = g_station.station;
        ReleaseSRWLockShared(&g_lock);
    }
    const uint32_t bit = 1u << (static_cast<uint8_t>(station) & 31);
    if (g_secureRefusalLogged.fetch_or(bit) & bit) return;
    LogLine("station %d: this bass.dll cannot open https addresses (error %d); a current 2.4 release of the library can",
            station, error);
}
