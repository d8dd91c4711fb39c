// The command line: -debug, -tofile, -safemode and -url.
#pragma once
#include <string>
#include <vector>

namespace qvk {

// Examines every argument in order (exact, case-sensitive); unknown ones are ignored.
void ParseOptions(const std::vector<std::string>& args);
// One -url argument: "-url" + one separator + host + "|" + path.
void ParseUrlOption(const std::string& arg);

}  // namespace qvk
