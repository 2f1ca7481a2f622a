// The audio library beside the game as zorve-check sees it: the version its
// version resource gives, and the add-ons (bass*.dll) in the game folder.
#pragma once

#include <string>
#include <vector>

// "2.4.17.0" from the file's version resource; empty when it has none.
std::string LibraryFileVersion(const std::string& path);

// True for a version text of 2.4, the only one zorve plays with.
bool IsSupportedLibraryVersion(const std::string& version);

// Names of the add-ons in folder: bass*.dll other than bass.dll, any letter
// case, sorted.
std::vector<std::string> AddOnsIn(const std::string& folder);

// The add-on the library needs for an audio format AudioFormat names; empty
// for the formats it plays by itself.
std::string AddOnFor(const std::string& format);

// Whether name is among addOns, letters compared without regard to case.
bool HasAddOn(const std::vector<std::string>& addOns, const std::string& name);
