// Where a redirect leads: the "Location:" of a reply resolved against the address that gave it,
// and whether the transfer may go there.
#pragma once
#include <string>

namespace kite {

// True for a scheme of "http://" or "https://" (letters in any case) at the start of `url`.
bool IsHttpsUrl(const std::string& url);
bool HasHttpScheme(const std::string& url);

// The absolute URL a "Location:" value names, resolved against the absolute URL `base`: an
// absolute http(s) URL as it is, "//host/..." with the base's scheme, "/path" on the base's
// host, "?query" on the base's path, anything else relative to the base's folder, with "." and
// ".." segments removed. A fragment is dropped. "" when it names nothing usable (empty, or
// another scheme).
std::string ResolveLocation(const std::string& base, const std::string& location);

// The replies that name their new place in a "Location:": 301, 302, 303, 307 and 308.
bool IsRedirectStatus(int status);

enum class HopVerdict { Follow, Unusable, TooMany, Downgrade };

// Whether a transfer that already followed `hopsDone` redirects may go from `from` to `to`
// (the resolved location; empty when it was unusable).
HopVerdict CheckHop(const std::string& from, const std::string& to, int hopsDone);

// The log line that tells why a hop was refused ("" for Follow).
std::string HopRefusal(HopVerdict verdict);

}  // namespace kite
