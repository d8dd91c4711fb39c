#include "diagnostics/debug_mode.h"

#include "core/log.h"
#include "core/state.h"
#include "diagnostics/host_os.h"
#include "platform/console.h"

namespace qvk {
namespace {

std::string TwoDigits(int value) {
    return std::string(1, char('0' + value / 10 % 10)) + char('0' + value % 10);
}

}  // namespace

std::string FormatBuildTime(long long seconds, const std::string& mask) {
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) { rest += 86400; --days; }
    // Civil date from a day count (proleptic Gregorian), so no C library time zone is involved.
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int day = int(doy - (153 * mp + 2) / 5 + 1);
    const int month = int(mp < 10 ? mp + 3 : mp - 9);
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    std::string out;
    for (size_t i = 0; i < mask.size();) {
        auto token = [&](const char* t) { return mask.compare(i, std::char_traits<char>::length(t), t) == 0; };
        if (token("%yyyy")) { out += std::to_string(year); i += 5; }
        else if (token("%mm")) { out += TwoDigits(month); i += 3; }
        else if (token("%dd")) { out += TwoDigits(day); i += 3; }
        else if (token("%hh")) { out += TwoDigits(int(rest / 3600)); i += 3; }
        else if (token("%ii")) { out += TwoDigits(int(rest / 60 % 60)); i += 3; }
        else if (token("%ss")) { out += TwoDigits(int(rest % 60)); i += 3; }
        else out += mask[i++];
    }
    return out;
}

std::string ReleaseBannerLine() {
    return std::string("QVK release ") + kRelease + ". Build " +
           FormatBuildTime(kBuildTime, "%dd/%mm/%yyyy, %hh:%ii:%ss");
}

bool ActivateDebug(std::string* why) {
    if (state.debugMode) return true;
    if (!StartLog(state.logFile, why)) return false;
    platform::OpenConsole();
    state.debugMode = true;
    Log("Debug mode launched");
    Log(ReleaseBannerLine());
    DescribeHostOs();
    if (state.safeMode) Log("Safe mode enabled. Use it only if you know what you're doing!");
    return true;
}

void WaitForKey() {
    if (!state.debugMode) return;
    platform::ConsoleWrite("Press key to continue...\r\n");
    platform::ConsoleWaitKey();
}

}  // namespace qvk
