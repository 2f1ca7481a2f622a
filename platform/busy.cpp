// The busy marks the exit work reads.
#include "platform/busy.h"

std::atomic<int> g_memoryWork{0};
std::atomic<int> g_audioWork{0};
std::atomic<int> g_fileWork{0};
