// Binding the audio library's calls by name once its version is accepted.
#include "platform/bass.h"

#include <windows.h>

#include <type_traits>

namespace {

const char kLibraryName[] = "bass.dll";

using Found = FARPROC;

// Stores what the lookup found in one call pointer, with that pointer's own type.
template <auto& call>
void Store(Found found) {
    call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(reinterpret_cast<void*>(found));
}

struct Binding {
    const char* name;
    void (*store)(Found);
};

// One line per bound call of platform/bass.h.
const Binding kBindings[] = {
    {"BASS_Init", Store<BASS_Init>},
    {"BASS_SetConfig", Store<BASS_SetConfig>},
    {"BASS_StreamCreateFile", Store<BASS_StreamCreateFile>},
    {"BASS_StreamCreateURL", Store<BASS_StreamCreateURL>},
    {"BASS_StreamFree", Store<BASS_StreamFree>},
    {"BASS_ChannelSeconds2Bytes", Store<BASS_ChannelSeconds2Bytes>},
    {"BASS_ChannelGetLength", Store<BASS_ChannelGetLength>},
    {"BASS_ChannelSetPosition", Store<BASS_ChannelSetPosition>},
    {"BASS_ChannelPlay", Store<BASS_ChannelPlay>},
    {"BASS_ChannelIsActive", Store<BASS_ChannelIsActive>},
    {"BASS_ChannelStop", Store<BASS_ChannelStop>},
    {"BASS_ChannelSetAttribute", Store<BASS_ChannelSetAttribute>},
    {"BASS_SampleLoad", Store<BASS_SampleLoad>},
    {"BASS_SampleGetChannel", Store<BASS_SampleGetChannel>},
    {"BASS_SampleFree", Store<BASS_SampleFree>},
    {"BASS_ChannelSetSync", Store<BASS_ChannelSetSync>},
    {"BASS_ChannelBytes2Seconds", Store<BASS_ChannelBytes2Seconds>},
    {"BASS_ChannelGetAttribute", Store<BASS_ChannelGetAttribute>},
    {"BASS_Stop", Store<BASS_Stop>},
    {"BASS_Free", Store<BASS_Free>},
    {"BASS_Start", Store<BASS_Start>},
    {"BASS_ChannelGetTags", Store<BASS_ChannelGetTags>},
    {"BASS_ErrorGetCode", Store<BASS_ErrorGetCode>},
    {"BASS_PluginLoad", Store<BASS_PluginLoad>},
    {"BASS_GetConfig", Store<BASS_GetConfig>},
    {"BASS_StreamCreate", Store<BASS_StreamCreate>},
    {"BASS_ChannelGetData", Store<BASS_ChannelGetData>},
    {"BASS_ChannelGetInfo", Store<BASS_ChannelGetInfo>},
    {"BASS_GetInfo", Store<BASS_GetInfo>},
    {"BASS_ChannelSetDSP", Store<BASS_ChannelSetDSP>},
};

}  // namespace

int BindAudioCalls(const char*& firstMissing) {
    // Loaded with the module, as the one import of it: no load of our own.
    const HMODULE library = GetModuleHandleA(kLibraryName);
    int missing = 0;
    firstMissing = nullptr;
    for (const Binding& binding : kBindings) {
        const Found found = library ? GetProcAddress(library, binding.name) : nullptr;
        binding.store(found);
        if (found) continue;
        if (!missing) firstMissing = binding.name;
        ++missing;
    }
    return missing;
}
