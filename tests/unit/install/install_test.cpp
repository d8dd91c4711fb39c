#include <cerrno>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <ctime>
#include <set>

#include "diagnostics/debug_mode.h"
#include "install/archive.h"
#include "install/install.h"
#include "posix/fake_system.h"
#include "support/core_test.h"
#include "support/zip_maker.h"

namespace qvk {
namespace {

namespace fs = std::filesystem;
using test::ZipEntry;

TEST(SafeEntryPath, KeepsPlainNamesAndRefusesEveryWayOut) {
    const char* kept[][2] = {{"a.dll", "a.dll"}, {"sub\\deep/b.txt", "sub/deep/b.txt"}, {"dir/", "dir/"},
                             {"C:\\x\\y.txt", "x/y.txt"}, {"a//b", "a//b"}, {"console.txt", "console.txt"},
                             {"COM10", "COM10"}, {"..x", "..x"}};
    for (const auto& [name, relative] : kept) EXPECT_EQ(SafeEntryPath(name, '/').relative, relative);
    for (const char* name : {"", "C:\\", "/abs", "\\\\server\\share\\f", "../up", "a/../../up", "C:\\..\\up", "./a",
                             "C:rel", "a:b", "CON", "nul.txt", "Nul .txt", "COM1", "lpt9.log", "com\xB9", "dir/aux/x",
                             "trail.", "blank ", "q?.txt", "a\x01", "a|b"})
        EXPECT_TRUE(SafeEntryPath(name, '/').refused) << name;
    EXPECT_TRUE(SafeEntryPath("dir/", '/').folder);
}

class InstallTest : public test::CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        ActivateDebug();
        for (const char* dir : {"work", "sys"}) fs::create_directory(root / dir);
        state.workDir = root / "work";
        OsFacts system;
        system.systemFolder = root / "sys";
        platform::fake::SetOsFacts(system);
    }
    void TearDown() override {
        CoreTest::TearDown();
        platform::fake::Reset();
    }
    void AddArchive(const std::string& file, const std::vector<ZipEntry>& entries, uint8_t selected = 1) {
        ASSERT_TRUE(test::MakeZip(root / ("work/" + file), entries));
        PluginRecord& record = state.plugins.emplace_back();
        record.name = file == kXnViewDllName ? file : "Plugin " + file;
        record.url = "http://h/files/" + file;
        record.selected = selected;
    }
    void Run(int count, bool both = true) {
        InstallJob job{count, 0, root / "qv/", both ? root / "qvs/" : ""};
        InstallThread(&job);
    }
    // Every file below the scratch folder, relative to it.
    std::set<std::string> Files() {
        std::set<std::string> files;
        for (const auto& item : fs::recursive_directory_iterator(root.path()))
            if (item.is_regular_file()) files.insert(fs::relative(item.path(), root.path()).string());
        return files;
    }
    const test::ScratchDir& root = cwd;
};

TEST_F(InstallTest, InstallsWhatIsSoundAndNothingElse) {
    const std::vector<ZipEntry> good = {
        {"readme.txt", "hello"}, {"sub/deep/file.dll", test::Noise(300000, 1)}, {"emptydir/", ""},
        {"C:\\drive\\x.txt", "x"}, {"ro.txt", "locked", 0x01}, {"old.txt", "new"},
        // Each would land outside the folder or under another name, were it not refused.
        {"sub/../../escape.txt", "e"}, {"/abs.txt", "e"}, {"C:\\..\\up.txt", "e"}, {"C:rel.txt", "e"},
        {"nul.txt", "e"}, {"a:b", "e"}, {"blank ", "e"}};
    AddArchive("good.zip", good);
    AddArchive("skipped.zip", {{"never.txt", "n"}}, 0);
    AddArchive("empty.zip", {});
    const std::vector<ZipEntry> pair = {{"first.txt", "fine"}, {"noise.bin", test::Noise(20000, 2)}};
    AddArchive("crc.zip", pair);
    AddArchive("cut.zip", pair);
    AddArchive(kXnViewDllName, {{"Xn/format.dll", "dll"}});
    std::string bytes = *test::ReadWholeFile(root / "work/crc.zip");
    bytes[bytes.size() / 2] ^= 0x55;
    test::WriteWholeFile(root / "work/crc.zip", bytes);
    fs::resize_file(root / "work/cut.zip", bytes.size() * 6 / 10);
    fs::create_directories(root / "qv/Plugins");
    test::WriteWholeFile(root / "qv/Plugins/old.txt", "old");
    chmod((root / "qv/Plugins/old.txt").c_str(), 0444);
    ui.Answer({AnswerOk, AnswerOk});
    Run(5);

    std::set<std::string> expected = {"qvk.log", "sys/Xn/format.dll"};
    for (const char* zip : {"good", "skipped", "empty", "crc", "cut", "XnViewDll"}) expected.insert(std::string("work/") + zip + ".zip");
    std::tm date = {};
    date.tm_sec = 30, date.tm_min = 20, date.tm_hour = 10, date.tm_mday = 15, date.tm_mon = 5, date.tm_year = 107;
    date.tm_isdst = -1;
    for (const std::string dest : {"qv/Plugins/", "qvs/Plugins/"}) {
        for (const char* file : {"readme.txt", "sub/deep/file.dll", "drive/x.txt", "ro.txt", "old.txt"}) expected.insert(dest + file);
        EXPECT_TRUE(fs::is_directory(root / (dest + "emptydir")));
        EXPECT_EQ(test::ReadWholeFile(root / (dest + "sub/deep/file.dll")), good[1].data);
        EXPECT_EQ(test::ReadWholeFile(root / (dest + "old.txt")), "new");
        struct stat st;
        ASSERT_EQ(stat((root / (dest + "ro.txt")).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0222, 0u);
        EXPECT_EQ(st.st_mtime, std::mktime(&date));
    }
    EXPECT_EQ(Files(), expected);
    const auto m = ui.Messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].text + "|" + m[1].text + "|" + m[1].title, "Unable to read crc.zip !|Unable to read cut.zip !|Error");
    EXPECT_EQ(m[1].style, IconError | ButtonsOk);
    EXPECT_EQ(ui.Progress(TotalProgressBar), (std::vector<int>{120, 140, 160}));
    EXPECT_TRUE(state.incompleteArchives.empty());  // refused entries are not failed writes
    EXPECT_EQ(ui.Values("text", HeadingText).front(), "Installing: good.zip");
    // The tail: the empty archive's 0, the damaged one's 0 and 50, the DLL archive's 0 and 100.
    const std::vector<int> bar = ui.Progress(installprog);
    EXPECT_EQ(std::vector<int>(bar.end() - 5, bar.end()), (std::vector<int>{0, 0, 50, 0, 100}));
    const std::string log = LogText(), qv = root / "qv/", qvs = root / "qvs/";
    for (const std::string& part :
         {"Install dir (QV) : " + qv + "\r\nInstall dir (QVS) : " + qvs + "\r\n",
          std::string("Is downloaded=0\r\nIs downloaded=1\r\nFile name : empty.zip\r\n"),
          "Open ZIP file\r\nNumber of files: 0\r\nReturnValue=0\r\nPlugin, extract in " + qv + "/Plugins/\r\nPlugin, extract in " +
              qvs + "/Plugins/\r\nClose ZIP file\r\n",
          std::string("File name : cut.zip\r\nOpen ZIP file\r\nError\r\n"), "XnViewDll, extract in " + root.path() + "/sys\r\n",
          std::string("Entry skipped, its name is not safe to write: blank \r\n")})
        EXPECT_NE(log.find(part), std::string::npos) << part;
    size_t refused = 0;
    for (size_t at = 0; (at = log.find("Entry skipped", at)) != std::string::npos; ++at) ++refused;
    EXPECT_EQ(refused, 7u);
}

// A write that fails (here: past the file size limit, as on a full disk) loses only that file
// at that place: the old one stays whole, nothing half-written is left, the rest installs.
TEST_F(InstallTest, FailedWriteKeepsTheOldFile) {
    AddArchive("big.zip", {{"small.txt", "s"}, {"big.bin", test::Noise(3 << 20, 3)}});
    fs::create_directories(root / "qv/Plugins");
    test::WriteWholeFile(root / "qv/Plugins/big.bin", "old");
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1 << 20;
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    Run(1, false);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(Files(), (std::set<std::string>{"qvk.log", "work/big.zip", "qv/Plugins/small.txt", "qv/Plugins/big.bin"}));
    EXPECT_EQ(test::ReadWholeFile(root / "qv/Plugins/big.bin"), "old");
    // The line carries what the system said, for support requests.
    EXPECT_NE(LogText().find("Unable to write " + root / "qv//Plugins/big.bin" + " (" +
                             std::to_string(EFBIG) + ": "),
              std::string::npos);
    EXPECT_EQ(ui.Progress(TotalProgressBar), std::vector<int>{200});
    EXPECT_EQ(state.incompleteArchives, std::vector<std::string>{"big.zip"});
    // A cancelled reading leaves nothing either.
    const std::atomic<bool> stop{true};
    ArchiveReader reader;
    reader.SetCancel(&stop);
    ASSERT_TRUE(reader.Open(root / "work/big.zip"));
    EXPECT_EQ(reader.FirstEntry(), 0);
    reader.ExtractCurrentEntry({root / "out"});
    EXPECT_TRUE(reader.Cancelled() && reader.Damaged());
    EXPECT_EQ(reader.Commit(), 0);
    EXPECT_FALSE(test::PathExists(root / "out"));
}

}  // namespace
}  // namespace qvk
