// The command line: -debug, -log=, -tofile, -safemode, -url and the help.
#pragma once
#include <string>
#include <vector>

namespace qvk {

// Examines every argument in order (exact, case-sensitive); unknown ones are ignored. The
// file that -log= names, wherever it stands, is the one the first switch-on of the log opens.
// When that file cannot be created the reason is kept in state.logFileError, and outside the
// unattended mode a box says so before anything else happens.
void ParseOptions(const std::vector<std::string>& args);
// One -url argument: "-url" + one separator + host + "|" + path.
void ParseUrlOption(const std::string& arg);
// The host and path of a -url argument; false when the argument leaves the defaults in place.
bool ReadUrlOption(const std::string& arg, std::string& host, std::string& path);

// "-help" or "/?" among the arguments.
bool HelpRequested(const std::vector<std::string>& args);
// The options and the exit codes, in English. For a box an option and its effect are parted by
// a tab (the box's font is proportional); for a console by blanks that line up.
std::string HelpText(bool forBox);
// The help on the output in the unattended mode, in a box otherwise; then the bare exit, with
// exit code 0: nothing is fetched, no log is opened.
[[noreturn]] void ShowHelpAndExit(bool unattended);

}  // namespace qvk
