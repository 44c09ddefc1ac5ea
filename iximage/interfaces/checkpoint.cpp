#include "iximage/interfaces/checkpoint.h"

// Deliberately empty: a place to set a breakpoint, not a log.
void checkpoint(const char* /*label*/) {}
