// Time as the polling loops need it.
#pragma once
#include <cstdint>

namespace qvk::platform {

// Monotonic milliseconds; wraps after about 49 days like the system's own tick count.
uint32_t TickCount();
void SleepMs(unsigned ms);

}  // namespace qvk::platform
