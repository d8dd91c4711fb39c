// The fault: the lower folder reaches back up.
#include "high/high.h"
