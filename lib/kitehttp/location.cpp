#include "location.h"

#include <cctype>
#include <vector>

#include "kitehttp.h"

namespace kite {

namespace {

bool StartsFolded(const std::string& text, const char* prefix) {
    std::size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() ||
            std::tolower(static_cast<unsigned char>(text[i])) != static_cast<unsigned char>(prefix[i]))
            return false;
    return true;
}

// A scheme as RFC 3986 writes one: a letter, then letters, digits, "+", "-" or ".", then ":".
bool HasAnyScheme(const std::string& text) {
    if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
    for (char c : text) {
        if (c == ':') return true;
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return false;
}

// "/a/b/../c/./d" -> "/a/c/d"; a trailing "." or ".." keeps the folder's slash.
std::string WithoutDotSegments(const std::string& path) {
    std::vector<std::string> kept;
    std::size_t at = 1;  // behind the leading "/"
    bool folder = false;
    while (at <= path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        const std::string segment = path.substr(at, end - at);
        folder = segment == "." || segment == "..";
        if (segment == "..") {
            if (!kept.empty()) kept.pop_back();
        } else if (segment != ".") {
            kept.push_back(segment);
        }
        at = end + 1;
    }
    std::string out;
    for (const std::string& segment : kept) out += "/" + segment;
    if (folder || out.empty()) out += "/";
    return out;
}

}  // namespace

bool IsHttpsUrl(const std::string& url) { return StartsFolded(url, "https://"); }

bool HasHttpScheme(const std::string& url) {
    return StartsFolded(url, "http://") || IsHttpsUrl(url);
}

std::string ResolveLocation(const std::string& base, const std::string& location) {
    std::size_t first = location.find_first_not_of(" \t");
    if (first == std::string::npos) return std::string();
    std::string ref = location.substr(first, location.find_last_not_of(" \t") - first + 1);
    ref = ref.substr(0, ref.find('#'));
    if (ref.empty() || !HasHttpScheme(base)) return std::string();
    if (HasAnyScheme(ref)) return HasHttpScheme(ref) ? ref : std::string();

    const std::size_t schemeEnd = base.find("://") + 3;
    if (ref.compare(0, 2, "//") == 0) return base.substr(0, schemeEnd - 2) + ref;

    const std::size_t pathStart = base.find('/', schemeEnd);
    const std::string origin = base.substr(0, pathStart);
    std::string basePath = pathStart == std::string::npos ? "/" : base.substr(pathStart);
    basePath = basePath.substr(0, basePath.find('?'));
    if (ref[0] == '?') return origin + basePath + ref;

    std::string path = ref.substr(0, ref.find('?'));
    const std::string query = path.size() < ref.size() ? ref.substr(path.size()) : std::string();
    if (path.empty() || path[0] != '/') path = basePath.substr(0, basePath.rfind('/') + 1) + path;
    return origin + WithoutDotSegments(path) + query;
}

bool IsRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

HopVerdict CheckHop(const std::string& from, const std::string& to, int hopsDone) {
    if (to.empty()) return HopVerdict::Unusable;
    if (hopsDone >= kMaxRedirects) return HopVerdict::TooMany;
    if (IsHttpsUrl(from) && !IsHttpsUrl(to)) return HopVerdict::Downgrade;
    return HopVerdict::Follow;
}

std::string HopRefusal(HopVerdict verdict) {
    switch (verdict) {
        case HopVerdict::Follow: return std::string();
        case HopVerdict::Unusable: return "KiteHTTP: redirect without a usable location";
        case HopVerdict::TooMany:
            return "KiteHTTP: too many redirects (more than " + std::to_string(kMaxRedirects) + ")";
        case HopVerdict::Downgrade: return "KiteHTTP: redirect from https to http refused";
    }
    return std::string();
}

}  // namespace kite
