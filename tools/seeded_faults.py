#!/usr/bin/env python3
"""Seeds known faults into the product code one at a time and reports which ones the tests catch.

Each fault replaces one exact text of one source file (it must occur exactly once), rebuilds what
the fault touches, runs the tests named for it and puts the file back, whatever happened. A fault
that every named test survives is "MISSED": the suite has lost power there.

    tools/seeded_faults.py              # every fault (needs the trees tools/test.sh builds)
    tools/seeded_faults.py -k scraper   # only the faults whose name holds "scraper"
    tools/seeded_faults.py --tests unit # only the faults the native unit tests must catch
    tools/seeded_faults.py --list

The tests: "unit" is every native unit test; any other word is a CTest regular expression (the
Wine tests bring their fixture with them). Exit status 0 when every fault run was caught.
"""

import argparse
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NATIVE = os.path.join(ROOT, "build", "native")
WINDOWS = [os.path.join(ROOT, "build", d) for d in ("win32", "win64")]

# (name, file, exact text, replacement, tests)
FAULTS = [
    # KiteHTTP
    ("kitehttp: request names HTTP/1.1", "lib/kitehttp/kitehttp.cpp",
     '"GET " + target + " HTTP/1.0\\r\\n"', '"GET " + target + " HTTP/1.1\\r\\n"', "unit"),
    ("kitehttp: length read from its second digit", "lib/kitehttp/kitehttp.cpp",
     "static_cast<std::size_t>(length) + 16,", "static_cast<std::size_t>(length) + 17,", "unit"),
    ("kitehttp: chunks as large as a receive", "lib/kitehttp/kitehttp.cpp",
     "const long chunk = std::min<long>(kReceiveBufferSize, n - at);",
     "const long chunk = n - at;", "unit"),
    ("kitehttp: redirect from https to http followed", "lib/kitehttp/location.cpp",
     "if (IsHttpsUrl(from) && !IsHttpsUrl(to)) return HopVerdict::Downgrade;", "", "unit"),
    ("kitehttp: a sixth redirect followed", "lib/kitehttp/location.cpp",
     "if (hopsDone >= kMaxRedirects)", "if (hopsDone > kMaxRedirects)", "unit"),
    ("kitehttp: relative location taken from the root", "lib/kitehttp/location.cpp",
     "path = basePath.substr(0, basePath.rfind('/') + 1) + path;", 'path = "/" + path;', "unit"),
    ("kitehttp: refused certificate used", "lib/kitehttp/tls.cpp",
     "if (!refusal.empty()) {", "if (false) {", "unit"),
    ("kitehttp: kept session offered to another port", "lib/kitehttp/tls.cpp",
     'data->server = host + ":" + std::to_string(port);', "data->server = host;", "unit"),
    ("kitehttp: resumed session's chain not judged again", "lib/kitehttp/tls.cpp",
     "const std::string refusal = trust::CheckServerChain(",
     "const std::string refusal = wolfSSL_session_reused(data->ssl) ? std::string() : trust::CheckServerChain(",
     "unit"),
    ("trust: address of the certificate not compared", "lib/kitehttp/trust_win32.cpp",
     "if (problem.empty() && isAddress && !HasAddress(leaf, address))", "if (false)",
     "e2e_test_https"),
    # catalogue
    ("catalogue: language query for every host", "src/catalogue/catalogue.cpp",
     "if (path == kDefaultCataloguePath && bare == kDefaultCatalogueHost)\n        url +=",
     "if (path == kDefaultCataloguePath || bare == kDefaultCatalogueHost)\n        url +=", "unit"),
    ("catalogue: redirect hops off by one", "src/catalogue/catalogue.cpp",
     "if (hops >= kMaxRedirectHops) {", "if (hops > kMaxRedirectHops) {", "unit"),
    ("scraper: sort sees letter case", "src/catalogue/scraper.cpp",
     "const auto x = static_cast<unsigned char>(FoldAscii(a[i]));",
     "const auto x = static_cast<unsigned char>(a[i]);", "unit"),
    # texts
    ("texts: %fichier% without its blank", "src/core/text_helpers.cpp",
     'ReplaceAll(text, "%fichier%", pluginName + " ")', 'ReplaceAll(text, "%fichier%", pluginName)',
     "unit"),
    ("texts: retry question worded otherwise", "src/texts/language.cpp",
     '"Failed to download file %fichier%! Do you want to retry?"',
     '"Failed to download file %fichier%! Do you want to try again?"', "unit"),
    # diagnostics
    ("log: lines end in LF only", "src/core/log.cpp",
     '        WriteLines(text + "\\r\\n");', '        WriteLines(text + "\\n");', "unit"),
    ("os: Home Edition bit ignored", "src/diagnostics/os_description.cpp",
     'if (Has(suite, kSuitePersonal)) return " Home Edition";', "", "unit"),
    ("os: ReactOS folder test case-blind", "src/diagnostics/os_description.cpp",
     'return systemFolder.find("\\\\ReactOS\\\\") != std::string::npos;',
     'return AsciiLower(systemFolder).find("\\\\reactos\\\\") != std::string::npos;', "unit"),
    ("crash: HexWord in upper case", "src/diagnostics/crash_report.cpp",
     'static const char kDigits[] = "0123456789abcdef";',
     'static const char kDigits[] = "0123456789ABCDEF";', "unit"),
    # driver
    ("options: -url keeps the scheme", "src/driver/options.cpp",
     'if (host.compare(0, 7, "http://") == 0) host.erase(0, 7);', "", "unit"),
    ("options: -log= alone leaves the log off", "src/driver/options.cpp",
     'if (arg == "-debug" || StartsWith(arg, "-log=")) {', 'if (arg == "-debug") {', "unit"),
    ("options: the log file named after -debug not the one it opens", "src/driver/options.cpp",
     'if (!StartsWith(arg, "-log=")) continue;', "if (true) continue;", "unit"),
    ("options: /? not taken for the help", "src/driver/options.cpp",
     'return arg == "-help" || arg == "/?";', 'return arg == "-help";', "unit"),
    ("silent: a log file that cannot be made goes unreported", "src/driver/silent.cpp",
     "if (!state.logFileError.empty()) Stop(SilentBadRequest, state.logFileError);", "",
     "e2e_test_silent"),
    ("wizard: same folder twice installs twice", "src/driver/wizard.cpp",
     "if (state.qvsDir == state.qvDir) {", "if (false) {", "unit"),
    ("wizard: folder taken without its backslash", "src/driver/wizard.cpp",
     "dir = AddTrailingBackslash(W().GetText(edition.folderField));",
     "dir = W().GetText(edition.folderField);", "unit"),
    ("cleanup: the end lets workers log after it", "src/core/cleanup.cpp",
     "    KeepLogForThisThread();\n", "", "unit"),
    # install
    ("hosts: one folder for both editions shows Studio", "src/install/hosts.cpp",
     "if (proposed[i] == proposed[QuorvaneEdition]) continue;", "", "unit"),
    ("hosts: a blank value ends the walk", "src/install/hosts.cpp",
     "if (IsBlank(value)) continue;", "", "unit"),
    ("download: percentage rounded up", "src/install/download.cpp",
     "const long long percent = static_cast<long long>(done) * 100 / total;",
     "const long long percent = (static_cast<long long>(done) * 100 + total - 1) / total;", "unit"),
    ("download: the failed record stays marked", "src/install/download.cpp",
     "        record.selected = 0;\n", "", "unit"),
    ("file names: device names allowed", "src/install/file_names.cpp",
     '    {IsDeviceName, "names a device"},\n', "", "unit"),
    ("file names: trailing dot allowed", "src/install/file_names.cpp",
     '    {EndsInDotOrBlank, "has a part ending in a dot or blank"},\n', "", "unit"),
    ("file names: dot parts kept", "src/install/file_names.cpp",
     "    {IsEmptyOrDot, nullptr},", "", "unit"),
    ("archive: an entry name cut to a buffer", "src/install/archive.cpp",
     "std::string rawName(info.size_filename, '\\0');",
     "std::string rawName(std::min<uLong>(info.size_filename, 499), '\\0');", "unit"),
    ("archive: a skipped entry leaves the rest installed", "src/install/archive.cpp",
     "if (Damaged() || !skipped_.empty()) {", "if (Damaged()) {", "unit"),
    ("download: two links share a work file", "src/install/download.cpp",
     "    taken.push_back(fileName);\n", "", "unit"),
    ("download: more than four to one server", "src/install/download_pool.cpp",
     "RunningOn(candidate.server) < kConnectionsPerServer", "RunningOn(candidate.server) < kMaxConnections",
     "unit"),
    ("download: lines written as they come", "src/install/download_pool.cpp",
     "            LogCapture capture;\n", "            struct { std::vector<std::string> Take() { return {}; } } capture;\n",
     "unit"),
    ("download: settled out of list order", "src/install/download_pool.cpp",
     "board.slots[board.flushed].phase == Phase::Done", "board.slots[board.flushed].phase != Phase::Waiting",
     "unit"),
    ("install: does not wait for the downloads before it", "src/install/install.cpp",
     "if (folders.followsDownloads) AwaitDownloadsUpTo(index);", "", "e2e_test_parallel"),
    ("silent: an incomplete plugin counts as installed", "src/driver/silent.cpp",
     "plugin.outcome.stage != PluginStage::Installed;",
     "plugin.outcome.stage != PluginStage::Installed &&\n           plugin.outcome.stage != PluginStage::Incomplete;",
     "unit"),
    ("kitehttp: a raw blank sent as it is", "lib/kitehttp/kitehttp.cpp",
     "target += c == ' ' ? std::string(\"%20\") : std::string(1, c);", "target += c;", "unit"),
    ("install: total bar counts one archive short", "src/install/install.cpp",
     "100 + 100 * std::min(opened, count) / count", "100 + 100 * std::min(opened - 1, count) / count",
     "unit"),
    ("config: keys matched with letter case", "src/install/host_config.cpp",
     "if (items_[i].kind == Kind::Entry && AsciiLower(items_[i].name) == wanted) return i;",
     "if (items_[i].kind == Kind::Entry && items_[i].name == key) return i;", "unit"),
    ("config: a value of 1 written again", "src/install/host_config.cpp",
     'if (ini.ReadInteger(key, 0) != 1) ini.WriteString(key, "1");', 'ini.WriteString(key, "1");',
     "unit"),
    ("archive plan: names compared with letter case", "src/install/archive_plan.cpp",
     "seen.emplace(FoldedName(entries[i].relative), i);", "seen.emplace(entries[i].relative, i);", "unit"),
    ("archive plan: entries sharing bytes unseen", "src/install/archive_plan.cpp",
     "if (k > 0 && entry.dataStart < reach) {", "if (false) {", "unit"),
    ("install: the disk's room not looked at", "src/install/install.cpp",
     "outcome.failure = DisksShortfall(destinations, planned);", "", "unit"),
    ("install: destinations on one disk not added up", "src/install/install.cpp",
     "            disk->second += need;\n", "", "unit"),
    ("window: paced value shows repeats", "src/window/paced_value.h",
     "if (shown_ && *shown_ == value) {", "if (false) {", "unit"),
    # the Windows layer, caught by the Wine tests
    ("win32: expandable registry strings left as written", "src/win32/registry_win32.cpp",
     "if (type == REG_SZ) return TrimRegistryText(buffer);",
     "return TrimRegistryText(buffer);", "e2e_test_hosts"),
    ("win32: running editor matched without letter case", "src/win32/processes_win32.cpp",
     "found = imageName.compare(0, std::string::npos, entry.szExeFile, length) == 0;",
     "found = lstrcmpiA(imageName.c_str(), entry.szExeFile) == 0;", "e2e_test_hosts"),
    ("win32: archive names through the ANSI code page", "src/win32/platform_win32.cpp",
     ": handle_(reinterpret_cast<std::intptr_t>(CreateWritten(CP_UTF8, path.text))) {",
     ": handle_(reinterpret_cast<std::intptr_t>(CreateWritten(CP_ACP, Utf8ToAnsi(path.text)))) {",
     "e2e_test_silent"),
    ("win32: a file's close ignores a failed write", "src/win32/platform_win32.cpp",
     "    handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);\n    return Good();",
     "    handle_ = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);\n    return true;",
     "e2e_test_small_disk"),
    ("win32: (Un)Check all never unticks", "src/win32/check_list.cpp",
     "checkAllState = 1 - checkAllState;", "checkAllState = 1;", "e2e_test_catalogue"),
    ("win32: the fault count loses increments", "src/win32/crash_hook.cpp",
     "r.errorCount = InterlockedIncrement(&errorCount);", "r.errorCount = errorCount + 1;",
     "e2e_test_crash"),
    ("win32: the 32-bit context's EAX and EBX swapped", "src/win32/crash_hook.cpp",
     "r.eax = c.Eax, r.ebx = c.Ebx,", "r.eax = c.Ebx, r.ebx = c.Eax,", "lane32"),
]


def run(cmd, cwd=ROOT, timeout=1800):
    return subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, timeout=timeout)


def build(windows):
    if run(["cmake", "--build", NATIVE, "-j2"]).returncode != 0:
        return False
    return not windows or all(run(["cmake", "--build", d, "-j2"]).returncode == 0
                              for d in WINDOWS if os.path.isdir(d))


def tests_pass(tests):
    # A stop at the first failure would skip the Wine fixture's cleanup and leave its Xvfb and
    # wineserver running: only the unit tests, which have no fixture, stop early.
    args = ["ctest", "--test-dir", NATIVE, "-j2"]
    args += ["-L", "unit", "--stop-on-failure"] if tests == "unit" else ["-R", tests]
    return run(args).returncode == 0


def seed(fault):
    name, rel, old, new, tests = fault
    path = os.path.join(ROOT, rel)
    with open(path, newline="") as f:
        original = f.read()
    if original.count(old) != 1:
        return "STALE (text found %d times)" % original.count(old)
    try:
        with open(path, "w", newline="") as f:
            f.write(original.replace(old, new))
        if not build(windows=tests != "unit"):
            return "caught (build)"
        return "MISSED" if tests_pass(tests) else "caught"
    finally:
        with open(path, "w", newline="") as f:
            f.write(original)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("-k", default="", help="only faults whose name holds this text")
    parser.add_argument("--tests", default="", help="only faults whose tests are these (\"unit\")")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    faults = [f for f in FAULTS if args.k in f[0] and args.tests in ("", f[4])]
    if args.list:
        for f in faults:
            print("%-50s %s  [%s]" % (f[0], f[1], f[4]))
        return 0
    if not os.path.isdir(NATIVE):
        sys.exit("no native build in %s: run tools/test.sh first" % NATIVE)
    results = []
    for fault in faults:
        started = time.monotonic()
        verdict = seed(fault)
        results.append(verdict)
        print("%-8s %-50s %5.0f s" % (verdict.split()[0], fault[0], time.monotonic() - started),
              flush=True)
    build(windows=True)  # leave the trees as the sources are
    caught = sum(r.startswith("caught") for r in results)
    print("\n%d of %d seeded faults caught" % (caught, len(results)))
    return 0 if caught == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
