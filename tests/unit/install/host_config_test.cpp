#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "install/host_config.h"
#include "platform/files.h"
#include "support/test_support.h"

namespace qvk {
namespace {

// An edition folder; after every update it must hold "Quorvane.ini" and nothing beside it.
class HostConfigTest : public ::testing::Test {
protected:
    test::ScratchDir dir;
    const std::string folder = dir.path() + "/", ini = dir / kHostConfigName;
    std::string Bytes() {
        EXPECT_EQ(platform::ListFiles(dir.path()), std::vector<std::string>{kHostConfigName});
        return test::ReadWholeFile(ini).value_or("(gone)");
    }
};

TEST_F(HostConfigTest, WritesOnlyWhatTheSwitchesNeed) {
    const std::string same;  // the exact bytes kept
    const std::pair<std::string, std::string> cases[] = {
        {"\t[Plugins]\nPluginsBar=1\n\nloadplugins = +1 ;x", same},
        {"; a\r\n[Plugins]\r\n PluginsBar \t=\t0\r\nX=a b \r\n;b\r\n[V]\r\nk=\r\n",
         "; a\r\n[Plugins]\r\nPluginsBar = 1\r\nX = a b \r\n; b\r\nLoadPlugins = 1\r\n[V]\r\nk = \r\n"},
        {"[V]\rk=v\r;  c", "[V]\r\nk = v\r\n;  c\r\n[Plugins]\r\nPluginsBar = 1\r\nLoadPlugins = 1\r\n"},
        {"[plugins]\npluginsbar=1abc\nLOADPLUGINS=abc\n", "[plugins]\r\npluginsbar = 1abc\r\nLoadPlugins = 1\r\n"},
        {"\xEF\xBB\xBF[Plugins]\nLoadPlugins=1", "\xEF\xBB\xBF\r\n[Plugins]\r\nLoadPlugins = 1\r\nPluginsBar = 1\r\n"},
        // First group and first key win; a line without "=" stays as it is.
        {"[Plugins\nLoadPlugins=1\nPluginsBar\nLoadPlugins=0\nPluginsBar=99999999999999999999\n[PLUGINS]\nPluginsBar=1",
         "[Plugins]\r\nLoadPlugins = 1\r\nPluginsBar\r\nLoadPlugins = 0\r\nPluginsBar = 1\r\n[PLUGINS]\r\nPluginsBar = 1\r\n"},
        {std::string("\xFF\xFE[\0P\0", 6), same},  // UTF-16
        {std::string("[Plugins]\nPluginsBar=0\0\n", 24), same},
    };
    for (const auto& [before, after] : cases) {
        test::WriteWholeFile(ini, before);
        UpdateHostConfiguration(folder);
        EXPECT_EQ(Bytes(), after.empty() ? before : after) << before;
    }
}

TEST_F(HostConfigTest, FailuresLeaveTheUsersFileAsItWas) {
    EXPECT_EQ(UpdateHostConfiguration(folder), ConfigUpdate::Missing);
    EXPECT_TRUE(platform::ListFiles(dir.path()).empty());
    std::string user = "[Plugins]\n";
    for (int i = 0; i < 60; ++i) user += "Key" + std::to_string(i) + "=value\n";
    test::WriteWholeFile(ini, user);
    // The disk fills up half-way through the new text (in a child, whose file size limit it is);
    // then the file is read-only in a folder open to all, for an ordinary user (root writes anyway).
    for (bool readOnly : {false, true}) {
        if (readOnly) ::chmod(ini.c_str(), 0444), ::chmod(dir.path().c_str(), 0777);
        const pid_t child = fork();
        if (child == 0) {
            const rlimit small{512, 512};
            if (!readOnly && (signal(SIGXFSZ, SIG_IGN), setrlimit(RLIMIT_FSIZE, &small)) != 0) _exit(98);
            if (readOnly && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(99);
            _exit(static_cast<int>(UpdateHostConfiguration(folder)));
        }
        int status = 0;
        for (int i = 0; i < 1000 && waitpid(child, &status, WNOHANG) == 0; ++i) usleep(10000);
        if (::kill(child, 0) == 0) ::kill(child, SIGKILL), waitpid(child, &status, 0);  // hung: not left behind
        EXPECT_TRUE(WIFEXITED(status)) << readOnly;
        EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(ConfigUpdate::NotWritten)) << readOnly;
        EXPECT_EQ(Bytes(), user);
    }
}

}  // namespace
}  // namespace qvk
