// An internet station's further addresses ([TRACKn] mirrors, separated by
// spaces): tried in turn when its source cannot be opened or is lost, the
// one that worked tried first at the next tune-in of this session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "radio/internet/netopen.h"

// Worker, as a station with an internet source starts: takes its mirrors
// from the settings document.
void TakeStationMirrors(int8_t station, const std::string& source);

// Opening thread: opens the station's addresses in turn until one opens,
// each once, the one that worked last first. Logs each address that failed
// while another was still to come. address: the one tried last, which is the
// one playing when the open gave a stream.
UrlOpen OpenStationAddresses(const char* source, std::string& address);

// Reconnect thread: replaces address (a buffer of size bytes) by the next
// of its station's addresses; an address of no list, or of a list of one,
// stays as it is.
void NextStationAddress(char* address, size_t size);

// An address that opened: the first to try at the next tune-in of its station.
void NoteAddressWorked(const char* address);

// An open of address that failed with error: a library that cannot open
// https is named once per station in the run log.
void NoteAddressRefused(const char* address, int32_t error);
