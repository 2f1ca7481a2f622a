// The lock that makes one playing stream at a time.
#include "radio/common/creation.h"

SRWLOCK g_streamCreation = SRWLOCK_INIT;
