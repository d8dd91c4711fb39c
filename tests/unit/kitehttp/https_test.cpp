// KiteHTTP over TLS and through redirects, against tools/plugin_server.py serving with its test
// authority, which only these tests trust (the native stand-in of the system's root store).
#include <gtest/gtest.h>

#include <thread>
#include <tuple>

#include "location.h"
#include "support/kite_suite.h"
#include "trust.h"

namespace {

using namespace qvk::test;
using namespace kite;

TEST(KiteHttpLocation, ResolvedAgainstTheAddressThatAnswered) {
    const std::string base = "https://h.example:8443/dir/sub/page.php?lang=en";
    const std::pair<const char*, const char*> cases[] = {
        {"  http://o/a.zip \t", "http://o/a.zip"},
        {"//cdn.example/files/a.zip", "https://cdn.example/files/a.zip"},
        {"/files/./x/../a.zip?v=2#part", "https://h.example:8443/files/a.zip?v=2"},
        {"?lang=de", "https://h.example:8443/dir/sub/page.php?lang=de"},
        {"a.zip", "https://h.example:8443/dir/sub/a.zip"},
        {"../../../../a.zip", "https://h.example:8443/a.zip"},
        {"..", "https://h.example:8443/dir/"},
        {"   ", ""},
        {"#only", ""},
        {"ftp://h.example/a.zip", ""},
    };
    for (const auto& [location, expected] : cases)
        EXPECT_EQ(ResolveLocation(base, location), expected) << location;
    EXPECT_EQ(ResolveLocation("http://h", "a.zip"), "http://h/a.zip");
    EXPECT_EQ(ResolveLocation("h/dir/a", "b"), "") << "no scheme: nothing to resolve against";
}

TEST(KiteHttpLocation, HopRulesAndTheTransferAddress) {
    const std::tuple<const char*, const char*, int, HopVerdict> hops[] = {
        {"http://h/a", "http://g/a", 4, HopVerdict::Follow},
        {"HTTPS://h/a", "http://h/a", 1, HopVerdict::Downgrade},
        {"http://h/a", "http://h/a", kMaxRedirects, HopVerdict::TooMany},
        {"http://h/a", "", 0, HopVerdict::Unusable},
    };
    for (const auto& [from, to, done, verdict] : hops)
        EXPECT_EQ(CheckHop(from, to, done), verdict) << from << " -> " << to;
    // The URL; then secure, port, host, target and the address made back of them.
    const std::tuple<const char*, bool, int, std::string, std::string, std::string> urls[] = {
        {"http://h.example:8080/a.zip", false, 80, "h.example", "/a.zip", "http://h.example/a.zip"},
        {"https://h.example/a.zip?x=1", true, 443, "h.example", "/a.zip?x=1",
         "https://h.example/a.zip?x=1"},
        {"HTTPS://u@h.example:4431", true, 4431, "h.example", "/", "https://h.example:4431/"},
        {"https://h.example:99999/a", true, 0, "h.example", "/a", "https://h.example:0/a"},
        {"https://h.example:44x/a", true, 0, "h.example", "/a", "https://h.example:0/a"},
    };
    for (const auto& [url, secure, port, host, target, back] : urls) {
        HttpTransfer t;
        SetTransferUrl(t, url);
        EXPECT_EQ(std::tie(t.secure, t.port, t.host), std::tie(secure, port, host)) << url;
        EXPECT_EQ(t.target, target) << url;
        EXPECT_EQ(TransferUrl(t), back);
    }
}

class KiteHttps : public KiteSuite {
protected:
    static void SetUpTestSuite() {
        dir = new ScratchDir;
        WriteWholeFile(*dir / "a.zip", Noise(300000, 7));
        Start({"--tls-certs", *dir / "certs"});
        trust::SetRootsFile(*dir / ("certs/" + server->address() + "/ca.pem"));
    }
    static void TearDownTestSuite() {
        trust::SetRootsFile("");
        KiteSuite::TearDownTestSuite();
    }
    // One transfer of `url` into a fresh local file; its final state.
    static int Get(const std::string& url, HttpTransfer& t, bool follow = true) {
        t.localFile = *dir / "local.zip";
        std::remove(t.localFile.c_str());
        t.followRedirects = follow;
        SetTransferUrl(t, url);
        return HttpGet(t);
    }
    static std::string Https(const std::string& port, const std::string& target) {
        return "https://" + server->address() + port + target;
    }
};

// The server's ports share one ticket key, so a session offered to the wrong port would be
// resumed there; the roots are taken away for one transfer.
TEST_F(KiteHttps, OnlyATrustedCertificateGivesTheFileAndASessionIsResumedOnlyByItsServer) {
    const std::string roots = *dir / ("certs/" + server->address() + "/ca.pem");
    const std::string resumed = "KiteHTTP: * TLS session resumed";
    const std::string refused = "KiteHTTP: certificate not trusted: ";
    // The port, whether the roots are there, the transfer's end and a line it logged.
    const std::tuple<const char*, bool, int, std::string> cases[] = {
        {":4431", true, NetworkFailure, refused + "issued for another host"},
        {":4432", true, NetworkFailure, refused + "expired"},
        {":4433", true, NetworkFailure, refused + "self-signed"},
        {"", true, Finished, "KiteHTTP: ** FINISHED **"},
        {"", true, Finished, resumed},
        {":4431", true, NetworkFailure, refused + "issued for another host"},
        {"", false, NetworkFailure, refused + "unknown authority"},
    };
    for (const auto& [port, trusted, state, line] : cases) {
        lines.clear();
        trust::SetRootsFile(trusted ? roots : "");
        const std::size_t before = server->Requests().size();
        HttpTransfer t;
        EXPECT_EQ(Get(Https(port, "/a.zip"), t), state) << port << line;
        EXPECT_TRUE(Logged(line)) << ::testing::PrintToString(lines);
        // Nothing is asked of a server whose certificate was refused.
        ASSERT_EQ(server->Requests().size(), before + (state == Finished)) << port << line;
        if (state != Finished) {
            EXPECT_FALSE(PathExists(t.localFile) || PathExists(t.localFile + ".part")) << port;
            EXPECT_EQ(t.connection + t.session, 0);
            continue;
        }
        EXPECT_EQ(server->Resumed().back(), Logged(resumed)) << "the server's view";
        EXPECT_EQ(ReadWholeFile(t.localFile), Noise(300000, 7));
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
            return l.rfind("KiteHTTP: * TLS TLSv1.3, ", 0) == 0 &&
                   l.find("certificate trusted") != std::string::npos;
        }));
    }
    trust::SetRootsFile(roots);
    // Transfers on several threads at once share the kept sessions.
    std::vector<int> whole(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&, i] {
            HttpTransfer t;
            t.localFile = *dir / ("thread" + std::to_string(i) + ".zip");
            SetTransferUrl(t, Https("", "/a.zip"));
            whole[i] = HttpGet(t) == Finished && ReadWholeFile(t.localFile) == Noise(300000, 7);
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(whole, std::vector<int>(4, 1));
    const std::vector<bool> all = server->Resumed();
    EXPECT_EQ(std::count(all.end() - 4, all.end(), true), 4);
}

TEST_F(KiteHttps, RedirectsAreFollowedWithinTheirRules) {
    const std::string a = server->address();
    WriteWholeFile(*dir / "rules.json",
                   "{\"/moved.zip\": {\"mode\": \"status-301\", \"location\": \"https://" + a +
                       "/a.zip\"},"
                       "\"/dir/rel.zip\": {\"mode\": \"status-307\", \"location\": \"../x/./../a.zip\"},"
                       "\"/loop.zip\": {\"mode\": \"status-302\", \"location\": \"/loop.zip\"}}");
    const std::string moved = "KiteHTTP: * Redirected to https://" + a + "/a.zip";
    const std::vector<std::string> loop(kMaxRedirects + 1, "/loop.zip");
    // The address, the transfer's end, the targets asked for in order and a line it logged.
    const std::tuple<std::string, int, std::vector<std::string>, std::string> cases[] = {
        {"http://" + a + "/moved.zip", Finished, {"/moved.zip", "/a.zip"}, moved},
        {Https("", "/dir/rel.zip"), Finished, {"/dir/rel.zip", "/a.zip"}, moved},
        {"http://" + a + "/loop.zip", BadReply, loop, "KiteHTTP: too many redirects (more than 5)"},
    };
    for (const auto& [url, state, path, line] : cases) {
        lines.clear();
        const std::size_t before = server->Requests().size();
        HttpTransfer t;
        EXPECT_EQ(Get(url, t), state) << url;
        const std::vector<std::string> targets = server->Targets();
        EXPECT_EQ(std::vector<std::string>(targets.begin() + before, targets.end()), path) << url;
        EXPECT_TRUE(Logged(line)) << url;
        EXPECT_FALSE(PathExists(t.localFile + ".part")) << url;
        const std::string file = state == Finished ? Noise(300000, 7) : "(none)";
        EXPECT_EQ(ReadWholeFile(t.localFile).value_or("(none)"), file) << url;
    }
    // A transfer that does not follow keeps the redirect's body and says where it points.
    HttpTransfer t;
    EXPECT_EQ(Get("http://" + a + "/moved.zip", t, false), Finished);
    EXPECT_EQ(t.status, 301);
    EXPECT_EQ(t.location, "https://" + a + "/a.zip");
    EXPECT_EQ(t.redirects, 0);
}

}  // namespace
