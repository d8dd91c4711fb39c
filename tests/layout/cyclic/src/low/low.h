// Points down, as it should.
#include "net/net.h"
