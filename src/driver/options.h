// The command line: -debug, -tofile, -safemode and -url.
#pragma once
#include <string>
#include <vector>

namespace qvk {

// Examines every argument in order (exact, case-sensitive); unknown ones are ignored.
void ParseOptions(const std::vector<std::string>& args);
// One -url argument: "-url" + one separator + host + "|" + path.
void ParseUrlOption(const std::string& arg);
// The host and path of a -url argument; false when the argument leaves the defaults in place.
bool ReadUrlOption(const std::string& arg, std::string& host, std::string& path);

}  // namespace qvk
