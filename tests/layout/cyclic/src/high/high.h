// The upper folder uses the lower one.
#include "low/low.h"
