#include <gtest/gtest.h>

#include "core/state.h"
#include "driver/silent.h"
#include "texts/language.h"

namespace qvk {
namespace {

// Every box the run can raise, in the order it raises them, with the answer due: by the slot
// and subject the asking code names, whatever the text says.
TEST(SilentPolicyTest, EachQuestionAnsweredByItsSlot) {
    const struct {
        MessageTopic topic;
        int style, answer;
    } boxes[] = {
        {{RetryQuestion, ""}, ButtonsYesNo, AnswerYes},  // the catalogue: once
        {{RetryQuestion, ""}, ButtonsYesNo, AnswerNo},
        {{RetryQuestion, "Blur & Glow"}, ButtonsYesNo, AnswerYes},  // a plugin: once more
        {{RetryQuestion, "aged Photo"}, ButtonsYesNo, AnswerYes},
        {{RetryQuestion, "Blur & Glow"}, ButtonsYesNo, AnswerNo},
        {{UnreadablePrefix, "cafcolours.zip"}, ButtonsOk, AnswerOk},
        {{ExeNotFoundQuestion, "Quorvane"}, ButtonsYesNo, AnswerNo},
        {{UpdateConfigQuestion, "Quorvane Studio"}, ButtonsYesNo, AnswerYes},
        {{AbortQuestion, ""}, ButtonsYesNo, AnswerNo},
        {{}, ButtonsYesNo, AnswerNo},
    };
    SilentPolicy policy;
    for (const auto& box : boxes)
        EXPECT_EQ(policy.Answer(box.topic, box.style), box.answer) << box.topic.slot;
    EXPECT_FALSE(policy.record.finished);
    EXPECT_EQ(policy.Answer({InstallFinished, ""}, ButtonsOk), AnswerOk);
    EXPECT_TRUE(policy.record.finished);
    EXPECT_EQ(SilentPolicy(false).Answer(boxes[7].topic, ButtonsYesNo), AnswerNo);
}

TEST(SilentOptionsTest, CommandLines) {
    const struct {
        std::vector<std::string> args;
        std::string read;  // language|Quorvane folder|Studio folder|configuration|connections
        std::vector<std::string> plugins;
        std::string errorHead;
    } cases[] = {
        {{"-silent", "-debug", "-url=H|/p", "-log=x.log", "-help", "/?"}, "-1|||1|4", {}, ""},
        {{"-lang=DE", "-plugins= Sharpen Pro ;aged photo;", "-qvdir=C:\\Q", "-qvsdir=D:\\S",
          "-noconfig", "-connections=8"}, "2|C:\\Q|D:\\S|0|8", {"Sharpen Pro", "aged photo"}, ""},
        {{"-connections=1"}, "-1|||1|1", {}, ""},
        {{"-connections=9"}, "-1|||1|4", {}, "Malformed option -connections=9: use -connections=1 to -connections=8"},
        {{"-connections=0"}, "-1|||1|4", {}, "Malformed option -connections=0"},
        {{"-connections=04"}, "-1|||1|4", {}, "Malformed option -connections=04"},
        {{"-lang=it"}, "-1|||1|4", {}, "Malformed option -lang=it"},
        {{"-plugins=;"}, "-1|||1|4", {}, "Malformed option -plugins=;"},
        {{"-qvdir= "}, "-1|||1|4", {}, "Malformed option -qvdir= "},
        {{"-url=H"}, "-1|||1|4", {}, "Malformed option -url=H"},
        {{"-Silent", "-lang=xx"}, "-1|||1|4", {}, "Unknown option -Silent"},
    };
    for (const auto& c : cases) {
        const SilentOptions o = ReadSilentOptions(c.args);
        EXPECT_EQ(std::to_string(o.language) + "|" + o.folders[0] + "|" + o.folders[1] + "|" +
                      std::to_string(o.updateConfig) + "|" + std::to_string(o.connections), c.read) << c.args[0];
        EXPECT_EQ(o.plugins, c.plugins) << c.args[0];
        EXPECT_EQ(o.error.substr(0, c.errorHead.size()), c.errorHead) << c.args[0];
        EXPECT_EQ(o.error.empty(), c.errorHead.empty()) << c.args[0];
    }
}

// The code and the account come from each plugin's own outcome: a failure that asked nothing
// (an incomplete archive) fails the run as a refused download does.
TEST(SilentExitTest, CodeAndAccountFromThePluginsOutcomes) {
    SilentRecord done;
    done.catalogueRead = done.finished = true;
    done.configurations = {{"Q", ConfigUpdate::Rewritten}, {"S", ConfigUpdate::Unchanged}};
    PluginList plugins(6);
    const char* names[] = {"aged Photo", "Blur", "Caf\xE9", "Sharpen", "Unticked", kXnViewDllName};
    const PluginStage stages[] = {PluginStage::Installed, PluginStage::Installed, PluginStage::Installed,
                                  PluginStage::Installed, PluginStage::NotAsked, PluginStage::Installed};
    int i = 0;
    for (PluginRecord& p : plugins) {
        p.name = names[i];
        p.outcome.stage = stages[i++];
        p.outcome.workFile = p.name + ".zip";
        p.outcome.installedInto = {p.name == kXnViewDllName ? "C:\\sys" : "Q\\Plugins\\"};
    }
    EXPECT_EQ(PluginSummary(plugins), (std::vector<std::string>{
        "  Installed into Q\\Plugins\\: aged Photo, Blur, Caf\xE9, Sharpen", "  Installed into C:\\sys: XnViewDll.zip"}));
    SilentRecord notWritten = done, stopped = done;
    notWritten.configurations[1].second = ConfigUpdate::Missing;
    stopped.finished = false;
    for (const auto& [record, code] : {std::pair{done, 0}, {notWritten, 1}, {stopped, 1}, {SilentRecord(), 2}})
        EXPECT_EQ(SilentExitCode(record, plugins), code);

    auto p = plugins.begin();
    p->outcome.stage = PluginStage::DownloadFailed;
    (++p)->outcome.stage = PluginStage::Unreadable;
    (++p)->outcome.stage = PluginStage::Incomplete;
    for (const char* entry : {"./a", "b", "c", "d"}) p->outcome.skipped.push_back({entry, "is absolute"});
    (++p)->outcome.stage = PluginStage::Downloaded;  // the end came before its installation
    EXPECT_EQ(PluginSummary(plugins), (std::vector<std::string>{
        "  Installed into C:\\sys: XnViewDll.zip",
        "  Failed: aged Photo (download failed); Blur (Blur.zip could not be read); Caf\xE9 (not every "
        "file of Caf\xE9.zip could be installed: ./a: is absolute, b: is absolute, c: is absolute, and "
        "1 more); Sharpen (not installed, the run ended first)"}));
    p = plugins.begin();
    for (int left = 4; left > 0; --left, ++p) {  // each of the four fails the run alone
        EXPECT_EQ(SilentExitCode(done, plugins), 1);
        p->outcome.stage = PluginStage::Installed;
    }
    EXPECT_EQ(SilentExitCode(done, plugins), 0);
    EXPECT_EQ(PluginSummary({}), std::vector<std::string>{"  Nothing installed"});
}

}  // namespace
}  // namespace qvk
