// The scenario machine images that describe what each family's run does to them.
//
// An image folder under tests/scenarios/images may hold a traces.txt beside its
// registry.reg: one line per item, "gone TOKEN ITEM", "reached TOKEN ITEM",
// "missed TOKEN ITEM", "again TOKEN ITEM" or "kept * ITEM", where ITEM is a key below
// HKEY_LOCAL_MACHINE or a value written KEY "NAME", and stands for its whole subtree.
// Every line of scenarios.txt that names such an image runs here on the in-memory
// machine, as the scenario harness runs it before comparing with Wine, and:
//   - every listed item is on the machine before the run;
//   - afterwards the registry is exactly the image's, less the keys and values whose
//     nearest listed item is "gone" or "reached" for the token (nothing else removed,
//     changed or added), so the maker's traces go and other products' items stay;
//   - a second run of the token removes and logs nothing, and leaves the files alone,
//     except for what the list names "again" for that token.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "app/command_line_run.h"
#include "platform/image/ascii_text.h"
#include "platform/image/machine_image.h"
#include "unit/run_rig.h"

namespace cvp::test {
namespace {

namespace fs = std::filesystem;

// The repository, found from the test data folder (tests/data).
const fs::path kRepository = fs::path(CVP_TEST_DATA_DIR) / ".." / "..";
const fs::path kScenarioList = kRepository / "tests" / "scenarios" / "scenarios.txt";
const fs::path kImagesDir = kRepository / "tests" / "scenarios" / "images";
constexpr const char* kTracesFile = "traces.txt";
constexpr const char* kMachineRoot = "HKEY_LOCAL_MACHINE\\";
const std::vector<std::string> kDumpedAreas = {"HKEY_LOCAL_MACHINE\\SYSTEM",
                                               "HKEY_LOCAL_MACHINE\\SOFTWARE"};

enum class Fate { Gone, Reached, Missed, Again, Kept };

struct TraceItem {
    Fate fate = Fate::Kept;
    std::string token;  // "*" for kept items
    std::string key;    // below HKEY_LOCAL_MACHINE
    bool isValue = false;
    std::string value;
    std::string why;
    int line = 0;

    std::string Describe() const {
        return "traces.txt:" + std::to_string(line) + " " + key +
               (isValue ? " \"" + value + "\"" : "");
    }
};

struct Traces {
    std::vector<TraceItem> items;
    std::vector<std::string> errors;
};

bool ReadText(const fs::path& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream content;
    content << in.rdbuf();
    *text = content.str();
    return true;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string Trimmed(const std::string& text) { return std::string(TrimBlanks(text)); }

bool ParseFate(const std::string& word, Fate* fate) {
    static const std::map<std::string, Fate> kFates = {{"gone", Fate::Gone},
                                                       {"reached", Fate::Reached},
                                                       {"missed", Fate::Missed},
                                                       {"again", Fate::Again},
                                                       {"kept", Fate::Kept}};
    const auto found = kFates.find(word);
    if (found == kFates.end()) return false;
    *fate = found->second;
    return true;
}

// One traces.txt, with every line it could not read as an error.
Traces ReadTraces(const fs::path& file) {
    Traces traces;
    std::string text;
    if (!ReadText(file, &text)) {
        traces.errors.push_back("cannot read " + file.string());
        return traces;
    }
    int number = 0;
    for (const std::string& raw : Lines(text)) {
        ++number;
        std::string line = Trimmed(raw);
        if (line.empty() || line[0] == '#') continue;
        const auto fail = [&](const std::string& what) {
            traces.errors.push_back(file.string() + ":" + std::to_string(number) + ": " + what);
        };
        TraceItem item;
        item.line = number;
        // Key names hold "#" ("##?#PCI#..."), never " # ".
        if (const size_t comment = line.find(" # "); comment != std::string::npos) {
            item.why = Trimmed(line.substr(comment + 3));
            line = Trimmed(line.substr(0, comment));
        }
        const size_t first = line.find(' ');
        const size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
        if (second == std::string::npos || !ParseFate(line.substr(0, first), &item.fate)) {
            fail("expected \"gone|reached|missed|again|kept TOKEN ITEM\"");
            continue;
        }
        item.token = line.substr(first + 1, second - first - 1);
        std::string rest = Trimmed(line.substr(second + 1));
        if (const size_t quote = rest.find(" \""); quote != std::string::npos) {
            if (rest.back() != '"' || rest.size() < quote + 3) {
                fail("a value is written KEY \"NAME\"");
                continue;
            }
            item.isValue = true;
            item.value = rest.substr(quote + 2, rest.size() - quote - 3);
            rest = rest.substr(0, quote);
        }
        item.key = rest;
        if (item.key.empty() || item.key.front() == '\\' || item.key.back() == '\\') {
            fail("a key is written below HKEY_LOCAL_MACHINE, without outer backslashes");
            continue;
        }
        if ((item.fate == Fate::Kept) != (item.token == "*")) {
            fail("\"kept\" and only \"kept\" takes the token \"*\"");
            continue;
        }
        if (item.why.empty() && item.fate != Fate::Gone && item.fate != Fate::Kept) {
            fail("a reached, missed or again item says why, after \" # \"");
            continue;
        }
        traces.items.push_back(item);
    }
    return traces;
}

// --- The registry as lines of MemoryMachine::DumpRegistry -------------------------------

struct RegistryLine {
    std::string key;  // below HKEY_LOCAL_MACHINE
    bool isValue = false;
    std::string value;
};

// Reads back a dump line: KEY, or KEY "NAME" = DATA with the name quoted as the dump
// quotes it (\\, \" and \xNN).
bool ParseDumpLine(const std::string& line, RegistryLine* out) {
    if (line.rfind(kMachineRoot, 0) != 0) return false;
    const size_t quote = line.find(" \"");
    out->key = line.substr(
        std::string(kMachineRoot).size(),
        quote == std::string::npos ? std::string::npos : quote - std::string(kMachineRoot).size());
    out->isValue = quote != std::string::npos;
    out->value.clear();
    if (!out->isValue) return true;
    for (size_t i = quote + 2; i < line.size(); ++i) {
        if (line[i] == '"') return true;
        if (line[i] != '\\') {
            out->value.push_back(line[i]);
        } else if (i + 1 < line.size() && line[i + 1] == 'x' && i + 3 < line.size()) {
            out->value.push_back(
                static_cast<char>(std::strtol(line.substr(i + 2, 2).c_str(), nullptr, 16)));
            i += 3;
        } else if (i + 1 < line.size()) {
            out->value.push_back(line[++i]);
        }
    }
    return false;
}

// Which items decide a registry line's fate: those naming the value itself, else those
// naming its key or the nearest ancestor that has items.
class TraceIndex {
  public:
    explicit TraceIndex(const std::vector<TraceItem>& items) {
        for (const TraceItem& item : items) {
            byName_[Name(item.key, item.isValue, item.value)].push_back(&item);
        }
    }

    std::vector<const TraceItem*> Deciding(const RegistryLine& line) const {
        if (line.isValue) {
            if (const auto found = byName_.find(Name(line.key, true, line.value));
                found != byName_.end()) {
                return found->second;
            }
        }
        for (std::string key = line.key;;) {
            if (const auto found = byName_.find(Name(key, false, "")); found != byName_.end()) {
                return found->second;
            }
            const size_t slash = key.rfind('\\');
            if (slash == std::string::npos) return {};
            key.resize(slash);
        }
    }

  private:
    static std::string Name(const std::string& key, bool isValue, const std::string& value) {
        return LowerCopy(key) + (isValue ? "\n" + LowerCopy(value) : "");
    }

    std::map<std::string, std::vector<const TraceItem*>> byName_;
};

bool Removes(const TraceItem& item, const std::string& token, bool secondRun) {
    if (item.token != token) return false;
    return secondRun ? item.fate == Fate::Again
                     : item.fate == Fate::Gone || item.fate == Fate::Reached;
}

bool RemovedBy(const std::vector<const TraceItem*>& deciding, const std::string& token,
               bool secondRun) {
    return std::any_of(deciding.begin(), deciding.end(),
                       [&](const TraceItem* item) { return Removes(*item, token, secondRun); });
}

std::string Deciders(const std::vector<const TraceItem*>& deciding) {
    if (deciding.empty()) return "not listed";
    std::string text;
    for (const TraceItem* item : deciding) text += (text.empty() ? "" : "; ") + item->Describe();
    return text;
}

// What `before` becomes when the run of `token` removes what the list says it removes.
std::set<std::string> ExpectedAfter(const std::vector<std::string>& before, const TraceIndex& index,
                                    const std::string& token, bool secondRun) {
    std::set<std::string> expected;
    for (const std::string& text : before) {
        RegistryLine line;
        if (!ParseDumpLine(text, &line)) {
            ADD_FAILURE() << "unreadable dump line: " << text;
            continue;
        }
        if (!RemovedBy(index.Deciding(line), token, secondRun)) expected.insert(text);
    }
    return expected;
}

// The differences between the registry a run left and the one the list describes.
void ExpectRegistry(const std::vector<std::string>& before, const std::vector<std::string>& after,
                    const TraceIndex& index, const std::string& token, bool secondRun) {
    const std::set<std::string> expected = ExpectedAfter(before, index, token, secondRun);
    const std::set<std::string> actual(after.begin(), after.end());
    const std::set<std::string> was(before.begin(), before.end());
    int reported = 0;
    for (const std::string& text : expected) {
        if (actual.count(text) != 0) continue;
        RegistryLine line;
        ParseDumpLine(text, &line);
        ADD_FAILURE() << "removed, but the list keeps it (" << Deciders(index.Deciding(line))
                      << "):\n  " << text;
        if (++reported == 40) return;
    }
    for (const std::string& text : actual) {
        if (expected.count(text) != 0) continue;
        RegistryLine line;
        ParseDumpLine(text, &line);
        ADD_FAILURE() << (was.count(text) != 0 ? "still there, but the list removes it ("
                                               : "added (")
                      << Deciders(index.Deciding(line)) << "):\n  " << text;
        if (++reported == 40) return;
    }
}

bool ItemExists(const MemoryMachine& machine, const TraceItem& item) {
    return item.isValue ? machine.ValueExists(Root::LocalMachine, item.key, item.value)
                        : machine.KeyExists(Root::LocalMachine, item.key);
}

// --- The scenarios of scenarios.txt whose image has a traces list -----------------------

struct ScenarioRun {
    std::string image;  // the folder's name
    fs::path folder;
    std::string token;
};

void PrintTo(const ScenarioRun& run, std::ostream* out) { *out << run.image << " " << run.token; }

std::vector<ScenarioRun> ListedRuns() {
    std::vector<ScenarioRun> runs;
    std::string text;
    if (!ReadText(kScenarioList, &text)) return runs;
    for (const std::string& raw : Lines(text)) {
        const std::string line = Trimmed(raw);
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string image;
        std::string token;
        fields >> image >> token;
        const fs::path folder = kRepository / image;
        if (!fs::exists(folder / kTracesFile)) continue;
        runs.push_back({folder.filename().string(), folder, token});
    }
    return runs;
}

std::string RunName(const testing::TestParamInfo<ScenarioRun>& info) {
    std::string name = info.param.image + "_" + info.param.token;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

bool LoadImage(const fs::path& folder, MemoryMachine* machine, std::string* error) {
    MachineImage image;
    return LoadMachineImage(folder.string(), &image, error) && machine->Apply(image, error);
}

class ScenarioImageRun : public testing::TestWithParam<ScenarioRun> {};

TEST_P(ScenarioImageRun, RemovesTheListedTracesAndNothingElseAndOnlyOnce) {
    const ScenarioRun& run = GetParam();
    const Traces traces = ReadTraces(run.folder / kTracesFile);
    ASSERT_TRUE(traces.errors.empty()) << traces.errors.front();
    const TraceIndex index(traces.items);

    RunRig rig;
    std::string error;
    ASSERT_TRUE(LoadImage(run.folder, &rig.machine, &error)) << error;
    for (const TraceItem& item : traces.items) {
        EXPECT_TRUE(ItemExists(rig.machine, item)) << "not on the machine: " << item.Describe();
    }
    const std::vector<std::string> before = rig.machine.DumpRegistry(kDumpedAreas);
    ASSERT_EQ(RunCommandLine(rig.context, run.token.c_str()), 1);
    const std::vector<std::string> after = rig.machine.DumpRegistry(kDumpedAreas);

    for (const TraceItem& item : traces.items) {
        // Several lines may name one item, for several tokens.
        const bool removed =
            RemovedBy(index.Deciding({item.key, item.isValue, item.value}), run.token, false);
        EXPECT_NE(ItemExists(rig.machine, item), removed)
            << (removed ? "still there: " : "removed: ") << item.Describe();
    }
    ExpectRegistry(before, after, index, run.token, false);

    // A second run finds nothing more of the family, unless the list says otherwise.
    const bool again =
        std::any_of(traces.items.begin(), traces.items.end(),
                    [&](const TraceItem& item) { return Removes(item, run.token, true); });
    const std::vector<std::string> logBefore = rig.LogLines();
    const std::vector<std::string> filesBefore = rig.machine.DumpFiles();
    RunState fresh;
    RunContext context{rig.platform, fresh, nullptr};
    ASSERT_EQ(RunCommandLine(context, run.token.c_str()), 1);
    ExpectRegistry(after, rig.machine.DumpRegistry(kDumpedAreas), index, run.token, true);
    EXPECT_EQ(rig.machine.DumpFiles(), filesBefore);
    const std::vector<std::string> logAfter = rig.LogLines();
    if (again) {
        // Appended to, and only appended to.
        ASSERT_GT(logAfter.size(), logBefore.size());
        EXPECT_TRUE(std::equal(logBefore.begin(), logBefore.end(), logAfter.begin()));
    } else {
        EXPECT_EQ(logAfter, logBefore);
    }
}

INSTANTIATE_TEST_SUITE_P(ScenarioImages, ScenarioImageRun, testing::ValuesIn(ListedRuns()),
                         RunName);

// The lists themselves: readable, consistent, and each of their tokens run.
TEST(ScenarioImageList, EveryListIsReadableAndEachOfItsTokensRuns) {
    std::map<std::string, std::set<std::string>> tokensRun;
    for (const ScenarioRun& run : ListedRuns()) tokensRun[run.image].insert(run.token);

    int lists = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(kImagesDir)) {
        const fs::path file = entry.path() / kTracesFile;
        if (!fs::exists(file)) continue;
        ++lists;
        const std::string image = entry.path().filename().string();
        const Traces traces = ReadTraces(file);
        for (const std::string& message : traces.errors) ADD_FAILURE() << message;
        EXPECT_FALSE(traces.items.empty()) << image;
        EXPECT_FALSE(tokensRun[image].empty()) << image << " runs in no line of scenarios.txt";

        std::map<std::string, std::set<Fate>> fates;  // item -> fates, per token
        for (const TraceItem& item : traces.items) {
            if (item.fate != Fate::Kept) {
                EXPECT_EQ(tokensRun[image].count(item.token), 1u)
                    << image << " " << item.Describe() << ": no scenarios.txt line runs "
                    << item.token;
            }
            const std::string name =
                LowerCopy(item.key) + (item.isValue ? "\n" + LowerCopy(item.value) : "");
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
    EXPECT_GT(lists, 0) << "no traces lists under " << kImagesDir;
}

}  // namespace
}  // namespace cvp::test
