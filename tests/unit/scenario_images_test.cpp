// The scenario machine images and what each token's run does to them.
//
// Every image a line of scenarios.txt runs has a traces.txt (tools/scenario/traces.h
// describes it). Each line runs here on the in-memory machine, as the scenario harness
// runs it before comparing with Wine, and goes through the same collateral-damage
// check as the Wine side:
//   - the token's preview leaves the machine exactly as it was (keys, values, files,
//     DACLs), and the run then writes its log lines and removes its items, item for
//     item (tools/scenario/preview_check.h);
//   - every listed item is on the machine before the run;
//   - the run removes exactly the keys, values and files whose nearest listed item is
//     "gone" or "reached" for the token, and adds nothing but its log, so the maker's
//     traces go and other products' items stay;
//   - a second run of the token removes and logs nothing, except for what the list
//     names "again" for that token.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/cleanup_worker.h"
#include "app/command_line_run.h"
#include "platform/image/ascii_text.h"
#include "platform/image/machine_image.h"
#include "preview/preview_run.h"
#include "run/family_catalogue.h"
#include "scenario/change_list.h"
#include "scenario/preview_check.h"
#include "scenario/traces.h"
#include "unit/key_security.h"
#include "unit/run_rig.h"
#include "unit/scenario_list.h"

namespace cvp::test {
namespace {

using scenario::CheckChanges;
using scenario::Fate;
using scenario::kTracesFile;
using scenario::ReadTraces;
using scenario::RunOf;
using scenario::TraceIndex;
using scenario::TraceItem;
using scenario::Traces;

namespace fs = std::filesystem;

// The registry areas a run may touch.
const std::vector<std::string> kDumpedAreas = {"HKEY_LOCAL_MACHINE\\SYSTEM",
                                               "HKEY_LOCAL_MACHINE\\SOFTWARE"};

bool ItemExists(const MemoryMachine& machine, const TraceItem& item) {
    if (item.IsFile()) return machine.FileExists(item.name.key);
    return item.name.isValue
               ? machine.ValueExists(Root::LocalMachine, item.name.key, item.name.value)
               : machine.KeyExists(Root::LocalMachine, item.name.key);
}

// The registry areas and the files a run may touch, one line each.
std::vector<std::string> MachineLines(const MemoryMachine& machine) {
    std::vector<std::string> lines = machine.DumpRegistry(kDumpedAreas);
    const std::vector<std::string> files = machine.DumpFiles();
    lines.insert(lines.end(), files.begin(), files.end());
    return lines;
}

// The collateral-damage check of one run, as the Wine side runs it (`scenario check`).
void ExpectChanges(const Traces& traces, const std::string& token,
                   const std::vector<std::string>& before, const std::vector<std::string>& after,
                   RunOf run) {
    const std::vector<std::string> faults =
        CheckChanges(traces, token, scenario::SplitLines(scenario::ChangeList(before, after)), run);
    for (size_t i = 0; i < faults.size() && i < 40; ++i) ADD_FAILURE() << faults[i];
}

// --- The scenarios of scenarios.txt whose image has a traces list -----------------------

bool LoadImage(const fs::path& folder, MemoryMachine* machine, std::string* error) {
    MachineImage image;
    return LoadMachineImage(folder.string(), &image, error) && machine->Apply(image, error);
}

class ScenarioImageRun : public testing::TestWithParam<ImageRun> {};

TEST_P(ScenarioImageRun, RemovesTheListedTracesAndNothingElseAndOnlyOnce) {
    const ImageRun& run = GetParam();
    const Traces traces = ReadTraces((run.folder / kTracesFile).string());
    ASSERT_TRUE(traces.errors.empty()) << traces.errors.front();
    const TraceIndex index(traces.items);

    RunRig rig;
    std::string error;
    ASSERT_TRUE(LoadImage(run.folder, &rig.machine, &error)) << error;
    for (const TraceItem& item : traces.items) {
        EXPECT_TRUE(ItemExists(rig.machine, item)) << "not on the machine: " << item.Describe();
    }
    const std::vector<std::string> before = MachineLines(rig.machine);
    const std::map<std::string, std::string> dacls = ReadKeyDacls(rig.machine);
    const KeySecuritySweep sweep(dacls);

    bool known = false;
    const std::string preview = PreviewFileText(rig.platform, run.token.c_str(), &known);
    ASSERT_EQ(MachineLines(rig.machine), before) << "the preview changed the machine";
    ASSERT_EQ(ReadKeyDacls(rig.machine), dacls) << "the preview changed a DACL";
    const scenario::PreviewAllowance allowance =
        scenario::AllowanceOf(rig.platform, preview, false);

    // A token the command line refuses ("wis") must change nothing, as its list says.
    RunCommandLine(rig.context, run.token.c_str());
    const std::vector<std::string> after = MachineLines(rig.machine);
    for (const std::string& fault : scenario::CheckPreview(
             run.token, preview, rig.LogText(),
             scenario::SplitLines(scenario::ChangeList(before, after)), allowance)) {
        ADD_FAILURE() << "preview: " << fault;
    }
    const std::vector<OpenedKey> opened = sweep.OpenedSince(rig.machine);
    EXPECT_TRUE(opened.empty()) << "open to everyone:" << Describe(opened);
    const std::vector<OpenedKey> weakened = sweep.WeakenedSince(rig.machine);
    EXPECT_TRUE(weakened.empty()) << "DACL weakened:" << Describe(weakened);
    for (const TraceItem& item : traces.items) {
        // Several lines may name one item, for several tokens.
        const bool removed =
            scenario::RemovedBy(index.Deciding(item.name), run.token, RunOf::First);
        EXPECT_NE(ItemExists(rig.machine, item), removed)
            << (removed ? "still there: " : "removed: ") << item.Describe();
    }
    ExpectChanges(traces, run.token, before, after, RunOf::First);

    // A second run finds nothing more of the family, unless the list says otherwise.
    const std::vector<std::string> logBefore = rig.LogLines();
    RunState fresh;
    RunContext context{rig.platform, fresh, nullptr};
    RunCommandLine(context, run.token.c_str());
    ExpectChanges(traces, run.token, after, MachineLines(rig.machine), RunOf::Second);
    const std::vector<std::string> logAfter = rig.LogLines();
    if (scenario::RemovesAnything(traces, run.token, RunOf::Second)) {
        // Appended to, and only appended to.
        ASSERT_GT(logAfter.size(), logBefore.size());
        EXPECT_TRUE(std::equal(logBefore.begin(), logBefore.end(), logAfter.begin()));
    } else {
        EXPECT_EQ(logAfter, logBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(ScenarioImages, ScenarioImageRun, testing::ValuesIn(ScenarioRuns()),
                         ImageRunName);

// --- The wizard on the same images ----------------------------------------------------

// The token that names `family` on the command line; empty for none.
std::string TokenOf(ProductFamily family) {
    for (const char* token : {"878", "88X", "DV", "BB", "NV", "EM", "WIS"}) {
        if (FamilyFromToken(token) == family) return token;
    }
    return "";
}

class ScenarioImageWizard : public testing::TestWithParam<fs::path> {};

// Every entry of both list pages, on every scenario image: the worker removes only
// items the image's list gives that entry's family, never another product's. An entry
// of a family that no scenario line of the image runs is left to the images that
// describe that family.
TEST_P(ScenarioImageWizard, EachListedEntryRemovesOnlyItsFamilysItems) {
    const fs::path& folder = GetParam();
    const Traces traces = ReadTraces((folder / kTracesFile).string());
    ASSERT_TRUE(traces.errors.empty()) << traces.errors.front();
    std::set<std::string> described;
    for (const ImageRun& run : ScenarioRuns()) {
        if (run.folder == folder) described.insert(run.token);
    }
    for (int expertMode : {0, 1}) {
        RunRig lister;
        std::string error;
        ASSERT_TRUE(LoadImage(folder, &lister.machine, &error)) << error;
        RunContext scan{lister.platform, lister.state, nullptr};
        const int entries = ListEntries(scan, expertMode);
        for (int index = 0; index < entries; ++index) {
            RunRig rig;
            ASSERT_TRUE(LoadImage(folder, &rig.machine, &error)) << error;
            const std::vector<std::string> before = MachineLines(rig.machine);
            RunWizardOn(rig.platform, rig.state, expertMode, index);
            const std::string token = TokenOf(rig.state.family);
            if (described.count(token) == 0) continue;
            SCOPED_TRACE(std::string(expertMode == 1 ? "expert" : "working") + " mode, entry " +
                         ChosenEntry(rig.state) + ", token " + token);
            ExpectChanges(traces, token, before, MachineLines(rig.machine), RunOf::Part);

            // Its receipt puts it all back; only its log stays.
            RunState restoring;
            RunContext restore{rig.platform, restoring, nullptr};
            std::string message;
            RunCommandLine(restore, "/restore", &message);
            std::vector<std::string> left =
                scenario::SplitLines(scenario::ChangeList(before, MachineLines(rig.machine)));
            std::erase(left, "+ drive_c/cvpurger/UnInstall.log");
            EXPECT_TRUE(left.empty()) << message << "\n" << left.front();
        }
    }
}

std::vector<fs::path> ScenarioImages() {
    std::set<fs::path> folders;
    for (const ImageRun& run : ScenarioRuns()) folders.insert(run.folder);
    return {folders.begin(), folders.end()};
}

INSTANTIATE_TEST_SUITE_P(ScenarioImages, ScenarioImageWizard, testing::ValuesIn(ScenarioImages()),
                         [](const testing::TestParamInfo<fs::path>& info) {
                             std::string name = info.param.filename().string();
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return name;
                         });

// The lists themselves: readable, consistent, and each of their tokens run.
TEST(ScenarioImageList, EveryListIsReadableAndEachOfItsTokensRuns) {
    std::map<fs::path, std::set<std::string>> tokensRun;
    for (const ImageRun& run : ScenarioRuns()) tokensRun[run.folder].insert(run.token);
    ASSERT_FALSE(tokensRun.empty()) << "no scenarios in " << ScenarioList();

    for (const auto& [folder, tokens] : tokensRun) {
        const std::string image = folder.filename().string();
        const Traces traces = ReadTraces((folder / kTracesFile).string());
        for (const std::string& message : traces.errors) ADD_FAILURE() << message;
        EXPECT_FALSE(traces.items.empty()) << image;

        std::map<std::string, std::set<Fate>> fates;  // item -> fates, per token
        for (const TraceItem& item : traces.items) {
            if (item.fate != Fate::Kept) {
                EXPECT_EQ(tokens.count(item.token), 1u)
                    << image << " " << item.Describe() << ": no scenarios.txt line runs "
                    << item.token;
            }
            const std::string name = LowerCopy(item.name.key) +
                                     (item.name.isValue ? "\n" + LowerCopy(item.name.value) : "");
            fates[name + "\t" + item.token].insert(item.fate);
            fates[name + "\t*"].insert(item.fate);
        }
        for (const auto& [name, set] : fates) {
            const bool tokenLevel = name.back() != '*';
            // An item is kept by every run or by none; for one token it has one fate.
            if (!tokenLevel) {
                EXPECT_TRUE(set.count(Fate::Kept) == 0 || set.size() == 1)
                    << image << ": kept and not kept: " << name;
            } else {
                EXPECT_EQ(set.size(), 1u) << image << ": two fates for one token: " << name;
            }
        }
    }
}

}  // namespace
}  // namespace cvp::test
