// Opening an internet stream with the library settings every internet
// station uses, for the station's opening and for its reconnects alike.
#pragma once

#include <cstdint>

// Opens url; 0 when it cannot be opened (the library's error then tells why).
// Blocks until the server answers or the library gives up.
uint32_t OpenUrlStream(const char* url);
