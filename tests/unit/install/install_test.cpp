#include <cerrno>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstring>
#include <ctime>
#include <set>

#include "diagnostics/debug_mode.h"
#include "install/archive.h"
#include "core/text_helpers.h"
#include "install/install.h"
#include "posix/fake_system.h"
#include "support/core_test.h"
#include "support/zip_maker.h"

namespace qvk {
namespace {

namespace fs = std::filesystem;
using test::ZipEntry;

// One table of rules over the parts of a name, as unzip and Windows read them.
TEST(SafeEntryPath, DropsDotAndEmptyPartsAndRefusesEveryWayOut) {
    const struct { const char *name, *relative; bool folder; } kept[] = {
        {"a.dll", "a.dll", false}, {"sub\\deep/b.txt", "sub/deep/b.txt", false},
        {"dir/", "dir", true}, {"./", "", true}, {".", "", true},
        {"Folder/./file.txt", "Folder/file.txt", false},
        {"a//b", "a/b", false}, {"dir/.", "dir", true}, {"C:\\x\\y.txt", "x/y.txt", false},
        {"console.txt", "console.txt", false}, {"COM10", "COM10", false}, {"..x", "..x", false},
        {"\xE5\x86\x99\xE7\x9C\x9F.txt", "\xE5\x86\x99\xE7\x9C\x9F.txt", false}};
    for (const auto& k : kept) {
        const EntryPath entry = SafeEntryPath(k.name, '/');
        EXPECT_FALSE(entry.refused) << k.name;
        EXPECT_EQ(entry.relative + (entry.folder ? "|folder" : ""),
                  k.relative + std::string(k.folder ? "|folder" : ""));
    }
    // One row per rule and boundary; a device or a forbidden character refuses in any part.
    const std::pair<const char*, const char*> refused[] = {
        {"", "is empty"}, {"C:\\", "is empty"}, {"/abs", "is absolute"},
        {"\\\\server\\share\\f", "is absolute"}, {"../up", "leads to a parent folder"},
        {"C:\\..\\up", "leads to a parent folder"}, {"C:rel", "holds a character Windows forbids"},
        {"q?.txt", "holds a character Windows forbids"},
        {"tab\x1f", "holds a character Windows forbids"},
        {"CON", "names a device"}, {"Nul .txt", "names a device"}, {"./lpt9.log", "names a device"},
        {"dir/aux/x", "names a device"}, {"Presets/COM1.prs", "names a device"},
        {"com\xC2\xB9.txt", "names a device"},
        {"trail.", "has a part ending in a dot or blank"},
        {"blank /x", "has a part ending in a dot or blank"},
        {"caf\xE9", "is not UTF-8"}, {"\xED\xA0\x80", "is not UTF-8"}, {"\xC0\xAE", "is not UTF-8"},
        {"\xF4\x90\x80\x80", "is not UTF-8"}};
    for (const auto& [name, why] : refused) {
        const EntryPath entry = SafeEntryPath(name, '/');
        EXPECT_TRUE(entry.refused && entry.relative.empty()) << name;
        EXPECT_EQ(entry.why, why) << name;
    }
    EXPECT_TRUE(IsUtf8("\xC3\xA9\xF0\x9F\x98\x80") && !IsUtf8("\xC3") && !IsUtf8("\xE9t\xE9"));
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
        if (selected) record.outcome = {PluginStage::Downloaded, file, "", {}, {}};
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
    // What became of each archive, as the workers recorded it: stage, folders, skipped entries, failure.
    std::vector<std::string> Outcomes() {
        std::vector<std::string> outcomes;
        for (const PluginRecord& r : state.plugins) {
            std::string line = std::to_string(static_cast<int>(r.outcome.stage)) + " " + Joined(r.outcome.installedInto, ",");
            for (const SkippedEntry& e : r.outcome.skipped) line += "|" + e.name + ": " + e.why;
            outcomes.push_back(line + (r.outcome.failure.empty() ? "" : " " + r.outcome.failure));
        }
        return outcomes;
    }
    const test::ScratchDir& root = cwd;
};

TEST_F(InstallTest, InstallsWhatIsSoundAndNothingElse) {
    const std::string longName = "long/" + std::string(200, 'a') + "/" + std::string(200, 'b') + "/" +
                                 std::string(200, 'c') + ".txt";  // beyond any 500-byte buffer
    const std::vector<ZipEntry> good = {
        {"./", ""}, {"./readme.txt", "hello"}, {"sub/./deep//file.dll", test::Noise(300000, 1)}, {"emptydir/", ""},
        {"ro.txt", "locked", 0x01}, {"old.txt", "new"}, {"caf\x82.txt", "dos"},
        {"\xE5\x86\x99\xE7\x9C\x9F/\xC3\xA9.txt", "utf8", 0, true}, {longName, "long"}};
    AddArchive("good.zip", good);
    // A refused entry (here: one that leaves the folder, a false UTF-8 mark) keeps the sound
    // entries of its archive out too.
    AddArchive("hostile.zip",
               {{"fine.txt", "f"}, {"sub/../../escape.txt", "e"}, {"\xE9t\xE9", "e", 0, true}});
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
    Run(6);

    std::set<std::string> expected = {"qvk.log", "sys/Xn/format.dll"};
    for (const char* zip : {"good", "hostile", "skipped", "empty", "crc", "cut", "XnViewDll"})
        expected.insert(std::string("work/") + zip + ".zip");
    std::tm date = {};
    date.tm_sec = 30, date.tm_min = 20, date.tm_hour = 10, date.tm_mday = 15, date.tm_mon = 5, date.tm_year = 107;
    date.tm_isdst = -1;
    for (const std::string dest : {"qv/Plugins/", "qvs/Plugins/"}) {
        for (const std::string file : {"readme.txt", "sub/deep/file.dll", "ro.txt", "old.txt",
                                       "caf\xC3\xA9.txt", "\xE5\x86\x99\xE7\x9C\x9F/\xC3\xA9.txt", longName.c_str()})
            expected.insert(dest + file);
        EXPECT_TRUE(fs::is_directory(root / (dest + "emptydir")));
        EXPECT_EQ(test::ReadWholeFile(root / (dest + "sub/deep/file.dll")), good[2].data);
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
    EXPECT_EQ(m[1].topic.slot * 1000 + m[1].topic.subject.size(), UnreadablePrefix * 1000 + 7);
    EXPECT_EQ(ui.Progress(TotalProgressBar), (std::vector<int>{116, 133, 150, 166}));
    EXPECT_EQ(ui.Values("text", HeadingText).front(), "Installing: good.zip");
    const std::string qv = root / "qv/", qvs = root / "qvs/";
    EXPECT_EQ(Outcomes(), (std::vector<std::string>{
        "5 " + qv + "Plugins/," + qvs + "Plugins/",
        "4 |sub/../../escape.txt: its name leads to a parent folder|"
        "\xE9t\xE9: its name is not UTF-8",
        "0 ", "5 " + qv + "Plugins/," + qvs + "Plugins/", "3  damaged data in noise.bin", "3  not a ZIP archive",
        "5 " + root / "sys"}));
    // The tail: the empty archive's 0, the damaged one's 0 and 50, the DLL archive's 0 and 100.
    const std::vector<int> bar = ui.Progress(installprog);
    EXPECT_EQ(std::vector<int>(bar.end() - 5, bar.end()), (std::vector<int>{0, 0, 50, 0, 100}));
    const std::string log = LogText();
    for (const std::string& part :
         {"Install dir (QV) : " + qv + "\r\nInstall dir (QVS) : " + qvs + "\r\n",
          std::string("Is downloaded=0\r\nIs downloaded=1\r\nFile name : empty.zip\r\n"),
          "Open ZIP file\r\nNumber of files: 0\r\nReturnValue=0\r\nPlugin, extract in " + qv + "/Plugins/\r\nPlugin, extract in " +
              qvs + "/Plugins/\r\nClose ZIP file\r\n",
          std::string("File name : cut.zip\r\nOpen ZIP file\r\nError\r\n"), "XnViewDll, extract in " + root.path() + "/sys\r\n",
          std::string("Entry skipped, its name leads to a parent folder: sub/../../escape.txt\r\n"),
          std::string("Incomplete plugin, nothing installed from it, entries skipped: 2\r\n")})
        EXPECT_NE(log.find(part), std::string::npos) << part;
}

// What the central directory tells decides before a byte is written: two entries that would be
// one file on Windows, entries that share bytes, more than the disk holds beside what is kept
// free (each destination on one disk adds up), a name the system folder cannot hold.
TEST_F(InstallTest, ArchivesUnfitForTheDiskWriteNothing) {
    AddArchive("case.zip", {{"Filter.8bf", "1"}, {"x/ok.txt", "ok"}, {"filter.8bf", "2"}});
    AddArchive("folders.zip", {{"Presets/a.prs", "a"}, {"presets/b.prs", "b"}});
    AddArchive("bomb.zip", {{"a.txt", "same"}, {"b.txt", "same"}});
    AddArchive("huge.zip", {{"more.txt", "m"}, {"zeros.bin", std::string(12 << 20, '\0')}});
    AddArchive(kXnViewDllName, {{"Xn/ok.dll", "o"}, {"Xn/Nul.dll", "n"}});
    // Every central record pointed at the first entry's local header, as a bomb does.
    std::string bomb = *test::ReadWholeFile(root / "work/bomb.zip");
    const std::string record = "PK\x01\x02";
    for (auto at = bomb.find(record); at != std::string::npos; at = bomb.find(record, at + 4))
        bomb.replace(at + 42, 4, 4, '\0');
    test::WriteWholeFile(root / "work/bomb.zip", bomb);
    platform::DiskRoom room;
    room.known = true;
    room.disk = "Q:\\";
    room.free = 80 << 20;
    room.total = 2ull << 30;
    platform::fake::SetDiskRoom(room);
    ui.Answer({AnswerOk});
    Run(5);

    std::set<std::string> expected = {"qvk.log"};
    for (const char* zip : {"case", "folders", "bomb", "huge", "XnViewDll"}) expected.insert(std::string("work/") + zip + ".zip");
    for (const char* dest : {"qv", "qvs"})
        for (const char* file : {"/Plugins/Presets/a.prs", "/Plugins/presets/b.prs"}) expected.insert(dest + std::string(file));
    EXPECT_EQ(Files(), expected);
    EXPECT_EQ(Outcomes(), (std::vector<std::string>{
        "7  Filter.8bf and filter.8bf would be one file on Windows", "5 " + root / "qv/Plugins/," + root / "qvs/Plugins/",
        "3  entries overlap: a.txt and b.txt share bytes",
        "7  not enough room on Q:\\: 25 MB needed, 80 MB free, 64 MB kept free", "4 |Xn/Nul.dll: its name names a device"}));
    const auto m = ui.Messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].text, "Unable to read bomb.zip !");
    const std::string log = LogText();
    for (const char* line : {"\r\nUnfit ZIP file, nothing installed from it: Filter.8bf and filter.8bf would be one file on Windows\r\n",
                             "\r\nDamaged ZIP file, nothing installed from it: entries overlap: a.txt and b.txt share bytes\r\n",
                             "\r\nEntry skipped, its name names a device: Xn/Nul.dll\r\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
}

// A write that fails (here: past the file size limit, as on a full disk) takes the plugin back:
// the old file stays whole, the sound ones are not installed either, nothing half-written is
// left. So does a folder where a file should go.
TEST_F(InstallTest, FailedWriteTakesThePluginBack) {
    AddArchive("big.zip", {{"small.txt", "s"}, {"big.bin", test::Noise(3 << 20, 3)}});
    AddArchive("blocked.zip", {{"new/one.txt", "1"}, {"SharpenPro.8bf", "p"}});
    fs::create_directories(root / "qv/Plugins/SharpenPro.8bf/x");
    test::WriteWholeFile(root / "qv/Plugins/big.bin", "old");
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 1 << 20;
    std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    Run(2, false);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(Files(), (std::set<std::string>{"qvk.log", "work/big.zip", "work/blocked.zip", "qv/Plugins/big.bin"}));
    EXPECT_EQ(test::ReadWholeFile(root / "qv/Plugins/big.bin"), "old");
    EXPECT_FALSE(test::PathExists(root / "qv/Plugins/new"));  // the folder made for it went too
    // The line carries what the system said, for support requests; the record keeps it.
    const std::string error = " (" + std::to_string(EFBIG) + ": " + std::strerror(EFBIG) + ")";
    EXPECT_NE(LogText().find("Unable to write " + root / "qv//Plugins/big.bin" + error), std::string::npos);
    EXPECT_EQ(Outcomes(), (std::vector<std::string>{"4 |big.bin: could not be written" + error,
                                                   "4 |SharpenPro.8bf: could not be written, a folder has that name"}));
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
