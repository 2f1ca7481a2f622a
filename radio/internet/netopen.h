// Opening an internet stream with the library settings every internet
// station uses, for the station's opening and for its reconnects alike.
#pragma once

#include <cstdint>

struct UrlOpen {
    uint32_t stream;  // 0 when it could not be opened
    int32_t error;    // then the library's error, as OpenError gives it
};

// Opens url. Blocks until the server answers or the library gives up.
UrlOpen OpenUrlStream(const char* url);
