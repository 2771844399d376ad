// The 31-bit checksum's plain loop and vector forms, natively (see Checksum31Cases.h).
#include "tests/native/Checksum31Cases.h"
