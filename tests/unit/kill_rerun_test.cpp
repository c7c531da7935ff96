// A run killed after any call and started again ends where one clean run ends, and
// leaves no key open to everyone.
//
// The kill: the tapped seam (fault_rig.h) lets the first N calls through and refuses
// every later one without touching the machine, so the machine stays as the kill left
// it; not even a take-over's Release, which runs from a destructor, reaches it. The
// machine is then run again to the end with a new record, as a restarted process
// would run it, and must end where a clean run ends (or where two do: traces.txt's
// "again" items), every key keeping each DACL entry a clean run leaves it, with no key
// open to everyone that was not before; but for the purger's known limits (fault_rig.h)
// that a kill reaches, each computed from the kill at hand: the values found through
// identifiers the killed run took away, and a value key taken over when it was killed,
// which keeps its Grant's DACL (open to the administrators only).
//
// Kill points per image and token of scenarios.txt:
//   - spread: one N drawn in each of KillsPerRun() equal stretches of the clean run's
//     calls, by a generator seeded with the image's and token's name, so the kills
//     cover the whole run and every build draws the same points;
//   - take-overs: right after a Grant of the clean run, when the key carries the
//     take-over's DACL and is not yet deleted, the worst moment for key security; once
//     on the image as it is, once with the keys holding values closed as Windows
//     closes them.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <set>

#include "app/stoppable_platform.h"
#include "registry/primitives.h"
#include "unit/fault_rig.h"
#include "unit/key_security.h"

namespace cvp::test {
namespace {

// Kills per image and token; a campaign sets CVP_KILLS_PER_RUN=200, or 0 for a kill
// after every call.
size_t KillsPerRun() { return SampleSize("CVP_KILLS_PER_RUN", 20); }
// Take-overs killed per image and token at the most, spread evenly over the run; a
// campaign sets CVP_TAKE_OVER_KILLS_PER_RUN=0 for all.
size_t TakeOverKillsPerRun() { return SampleSize("CVP_TAKE_OVER_KILLS_PER_RUN", 10); }

// --- The kill itself ------------------------------------------------------------------

// A take-over killed right after its Grant: the key keeps the Grant's DACL, as the kill
// left it, though the take-over's Release still runs and tries to put the original
// back; every call after the kill is counted and refused. The Grant opens the key to
// the administrators only, so the sweep finds nothing open to everyone.
TEST(SeamTap, AKillLeavesTheMachineAsTheKillLeftIt) {
    RunRig rig;
    rig.machine.CreateKey(Root::LocalMachine, "SYSTEM\\Vendor\\Device");
    const KeySecuritySweep sweep(ReadKeyDacls(rig.machine));
    SeamTap tap(rig.machine);
    tap.KillAfter(2);  // ReadKeyDacl, then the Grant's WriteKeyDacl
    Platform platform = tap.platform();
    RunContext context{platform, rig.state, nullptr};
    EXPECT_EQ(TakeOverAndDeleteKey(context, Root::LocalMachine, "SYSTEM\\Vendor\\"), 0);

    EXPECT_TRUE(rig.machine.KeyExists(Root::LocalMachine, "SYSTEM\\Vendor\\Device"));
    EXPECT_EQ(rig.machine.KeyDacl(Root::LocalMachine, "SYSTEM\\Vendor"), "D:(A;OICI;GA;;;BA)");
    ExpectNoKeyOpened(sweep, rig.machine, "after a kill inside a take-over");
    EXPECT_EQ(tap.takenOverAtKill(), (std::set<std::string>{"hkey_local_machine\\system\\vendor"}));
    ASSERT_EQ(tap.grants().size(), 1u);
    EXPECT_EQ(tap.grants()[0].call, 2u);
    EXPECT_EQ(tap.grants()[0].dacl, "D:(A;OICI;GA;;;BA)");
    EXPECT_GT(tap.calls(), 2u);
    EXPECT_TRUE(rig.LogLines().empty());
}

// Unkilled, the tap passes every call on and records each deletion with what it took
// and the log line that reported it.
TEST(SeamTap, RecordsEachDeletionWithWhatItTookAndItsLogLine) {
    RunRig rig;
    rig.machine.SetString(Root::LocalMachine, "SYSTEM\\Vendor\\Device", "Name", "x");
    SeamTap tap(rig.machine);
    tap.RecordDeletions();
    Platform platform = tap.platform();
    RunContext context{platform, rig.state, nullptr};
    ASSERT_EQ(TakeOverAndDeleteKey(context, Root::LocalMachine, "SYSTEM\\Vendor\\"), 1);

    ASSERT_EQ(tap.deletions().size(), 1u);
    const DeletionPoint& point = tap.deletions()[0];
    EXPECT_EQ(point.kind, DeletionPoint::Kind::Key);
    EXPECT_EQ(
        point.footprint,
        (std::vector<std::string>{
            "HKEY_LOCAL_MACHINE\\SYSTEM\\Vendor", "HKEY_LOCAL_MACHINE\\SYSTEM\\Vendor\\Device",
            "HKEY_LOCAL_MACHINE\\SYSTEM\\Vendor\\Device \"Name\" = sz:\"x\""}));
    EXPECT_EQ(point.logged, rig.LogLines().at(0));
    ASSERT_EQ(tap.grants().size(), 1u);
    EXPECT_EQ(tap.grants()[0].key, "hkey_local_machine\\system\\vendor");
    EXPECT_EQ(tap.grants()[0].dacl, "D:(A;OICI;GA;;;BA)");
    EXPECT_TRUE(tap.takenOverAtKill().empty());
}

// --- Kills in the scenario runs ------------------------------------------------------------

// FNV-1a of the run's name: a seed that stays the same from build to build.
std::uint32_t Seed(const ImageRun& run) {
    std::uint32_t hash = 2166136261u;
    for (char c : run.image + " " + run.token)
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

// One call in each of `kills` equal stretches of `calls` (every call for 0). The draw
// uses the generator's own output, which the standard fixes, not a distribution, which
// it does not.
std::vector<size_t> SpreadKillPoints(size_t calls, size_t kills, std::uint32_t seed) {
    if (kills == 0 || kills > calls) kills = calls;
    std::mt19937 generator(seed);
    std::vector<size_t> points;
    for (size_t stretch = 0; stretch < kills; ++stretch) {
        const size_t first = 1 + calls * stretch / kills;
        const size_t last = std::max(first, calls * (stretch + 1) / kills);
        points.push_back(first + generator() % (last - first + 1));
    }
    return points;
}

// What the kills of one image and token found.
struct KillFigures {
    int kills = 0;
    int insideTakeOver = 0;                  // killed between a Grant and its Release
    std::map<size_t, std::string> leftOpen;  // kill point -> keys open after the rerun
    KnownLimitTally limits;
};

void KillAndRunAgain(const ImageRun& run, const CleanRun& clean, size_t killAfter,
                     KillFigures* figures) {
    SCOPED_TRACE("killed after call " + std::to_string(killAfter) + " of " +
                 std::to_string(clean.calls));
    RunRig rig;
    ASSERT_TRUE(LoadFresh(clean, &rig.machine));
    SeamTap tap(rig.machine);
    tap.KillAfter(killAfter);
    RunToken(tap.platform(), run.token);
    ++figures->kills;
    if (!tap.takenOverAtKill().empty()) ++figures->insideTakeOver;

    KnownLimits limits(clean);
    limits.AllowTakeOversLeft(tap);
    ASSERT_EQ(RunAgain(rig, run.token, &limits), 1);
    ExpectEndsAsCleanRunEnds(rig, clean, "the run after the kill", limits);
    figures->limits.Add(limits);
    const std::vector<OpenedKey> opened = KeySecuritySweep(clean.dacls).OpenedSince(rig.machine);
    if (!opened.empty()) figures->leftOpen[killAfter] = Describe(opened);
}

// A failure naming each kill point that left keys open to everyone, with the keys.
void ExpectNoneLeftOpen(const KillFigures& figures, const std::string& what) {
    std::string listed;
    for (const auto& [killAfter, keys] : figures.leftOpen) {
        listed += "\n killed after call " + std::to_string(killAfter) + ":" + keys;
    }
    EXPECT_TRUE(figures.leftOpen.empty())
        << figures.leftOpen.size() << " of " << figures.kills << " kills " << what << ":" << listed;
}

void Record(const CleanRun& clean, const KillFigures& figures) {
    testing::Test::RecordProperty("calls", static_cast<int>(clean.calls));
    testing::Test::RecordProperty("kills", figures.kills);
    testing::Test::RecordProperty("kills_inside_a_take_over", figures.insideTakeOver);
    testing::Test::RecordProperty("kills_leaving_a_key_open",
                                  static_cast<int>(figures.leftOpen.size()));
    figures.limits.Report();
}

// Read for the administrators, everything for the system, protected from what its
// parent passes on, as Windows keeps a control set's Enum key.
constexpr const char* kClosedToAdministrators = "D:P(A;CI;KR;;;BA)(A;CI;KA;;;SY)";

class KilledRun : public testing::TestWithParam<ImageRun> {
  protected:
    // Kills right after a Grant, when the key carries the take-over's DACL. A Grant in
    // ControlSet001 or ControlSet003 whose twin in CurrentControlSet is taken over too
    // is left out, the same step on the same names; of the rest at most
    // TakeOverKillsPerRun(), spread evenly over the run.
    void KillAfterGrants(const CleanRun& clean, const std::vector<Grant>& grants) {
        std::vector<Grant> sample;
        for (const Grant& grant : grants) {
            const std::string twin = CurrentControlSetTwin(grant.key);
            if (twin.empty() || std::none_of(grants.begin(), grants.end(), [&](const Grant& other) {
                    return other.key == twin;
                })) {
                sample.push_back(grant);
            }
        }
        KillFigures figures;
        for (const Grant& grant : EvenlySpread(sample, TakeOverKillsPerRun())) {
            KillAndRunAgain(GetParam(), clean, grant.call, &figures);
            if (HasFatalFailure()) return;
        }
        Record(clean, figures);
        EXPECT_EQ(figures.insideTakeOver, figures.kills)
            << "a kill after a Grant found no key taken over";
        ExpectNoneLeftOpen(figures,
                           "between a take-over's Grant and its Release left a key open to "
                           "everyone after the run after the kill");
    }
};

TEST_P(KilledRun, AnywhereThenRunAgainEndsCleanAndLeavesNoKeyOpen) {
    const CleanRun* clean = LearnCleanRun(GetParam(), false);
    ASSERT_NE(clean, nullptr);
    KillFigures figures;
    for (size_t killAfter : SpreadKillPoints(clean->calls, KillsPerRun(), Seed(GetParam()))) {
        KillAndRunAgain(GetParam(), *clean, killAfter, &figures);
        if (HasFatalFailure()) return;
    }
    Record(*clean, figures);
    ExpectNoneLeftOpen(figures, "left a key open to everyone after the run after the kill");
}

TEST_P(KilledRun, BetweenATakeOversGrantAndReleaseThenRunAgainEndsCleanAndLeavesNoKeyOpen) {
    const CleanRun* clean = LearnCleanRun(GetParam(), false);
    ASSERT_NE(clean, nullptr);
    if (clean->grants.empty()) GTEST_SKIP() << "the clean run takes no key over";
    KillAfterGrants(*clean, clean->grants);
}

// Windows keeps a control set's Enum key and the medium-cache entries closed to the
// administrators' changes, its entries passed on to every key below, so a value there
// goes only after a take-over of that key alone. The same kills, after each such Grant,
// on the image with its value keys closed that way.
TEST_P(KilledRun, BetweenAValueKeysGrantAndReleaseThenRunAgainEndsCleanAndLeavesNoKeyOpen) {
    const CleanRun* plain = LearnCleanRun(GetParam(), true);
    ASSERT_NE(plain, nullptr);
    std::set<std::string> valueKeys;
    for (const DeletionPoint& point : plain->deletions) {
        if (point.kind == DeletionPoint::Kind::Value) {
            valueKeys.insert(CanonicalKey(point.root, WithoutTrailingBackslash(point.path)).path);
        }
    }
    if (valueKeys.empty()) GTEST_SKIP() << "the clean run deletes no value";
    const CleanRun* clean =
        LearnCleanRun(GetParam(), false, {"value keys closed", [valueKeys](MemoryMachine& machine) {
                                              for (const std::string& key : valueKeys) {
                                                  machine.SetKeyDacl(Root::LocalMachine, key,
                                                                     kClosedToAdministrators);
                                              }
                                          }});
    ASSERT_NE(clean, nullptr);
    std::vector<Grant> grants;
    for (const Grant& grant : clean->grants) {
        if (std::any_of(valueKeys.begin(), valueKeys.end(), [&](const std::string& key) {
                return KeyName(Root::LocalMachine, key) == grant.key;
            })) {
            grants.push_back(grant);
        }
    }
    ASSERT_FALSE(grants.empty()) << "no value key was taken over";
    KillAfterGrants(*clean, grants);
}

INSTANTIATE_TEST_SUITE_P(Images, KilledRun,
                         testing::ValuesIn(ScenarioRuns(IsInstalledOrFilesImage)), ImageRunName);

// --- The wizard's run, stopped -------------------------------------------------------------

// Cancel or the close box during a run stops the worker's machine (StoppablePlatform):
// the call under way finishes, with the removal it began (a file whose attributes were
// changed to delete it is deleted), and no later call begins anything. A clean run of
// the wizard (expert mode, the token's family) is stopped during each of its removals:
// during the call before the removal began, so that it is the first thing refused; its
// first call (a file's attributes) and its deletion, so that it is the last thing done;
// and during each take-over's Grant, when the key carries the take-over's DACL and its
// deletion is still to come. The stopped run must remove nothing it had not begun and
// log exactly what it removed, leave every key's DACL and every file's attributes as
// they were (no take-over unreleased), and keep the file of device identifiers that the
// next run needs; the run after it must end where a clean run ends, nothing excused.

// Stops per image and token, spread evenly; a campaign sets CVP_STOPS_PER_RUN=0 to stop
// at every one.
size_t StopsPerRun() { return SampleSize("CVP_STOPS_PER_RUN", 10); }

// A stop ends a pause or a wait for a started process at its next slice, however long
// it was to be: a regsvr32 that hangs does not hold the end of the wizard for the 30
// seconds the stage would wait.
TEST(StoppablePlatform, AStopEndsAPauseOrAWaitForAProcessAtOnce) {
    // Pauses and processes that request the stop as soon as they begin.
    struct Stopper : ForwardingSystem, Processes {
        using ForwardingSystem::ForwardingSystem;
        void Sleep(Dword milliseconds) override { slept += milliseconds, worker->RequestStop(); }
        std::unique_ptr<Process> Start(const char*, const char*) override {
            struct Hanging : Process {
                explicit Hanging(Stopper& stopper) : stopper(stopper) {}
                bool Wait(Dword milliseconds) override {
                    stopper.waited += milliseconds, stopper.worker->RequestStop();
                    return false;
                }
                Stopper& stopper;
            };
            return std::make_unique<Hanging>(*this);
        }
        StoppablePlatform* worker = nullptr;
        Dword slept = 0;
        Dword waited = 0;
    };
    MemoryMachine machine;
    Stopper stopper(machine);
    const Platform stopping{machine, machine, machine, stopper, stopper};

    StoppablePlatform paused(stopping);
    stopper.worker = &paused;
    const std::unique_ptr<Process> started =
        paused.platform().processes.Start("regsvr32.exe", nullptr);
    paused.platform().system.Sleep(1000);
    EXPECT_EQ(stopper.slept, 50u);
    EXPECT_FALSE(started->Wait(30000));
    EXPECT_EQ(stopper.waited, 0u);

    StoppablePlatform waiting(stopping);
    stopper.worker = &waiting;
    EXPECT_FALSE(waiting.platform().processes.Start("regsvr32.exe", nullptr)->Wait(30000));
    EXPECT_EQ(stopper.waited, 50u);
}

// The keys whose DACL is not the one they had in `before`, but for entries inherited
// from what their parent passes on now: a Release writes the original DACL back, and
// Windows passes its inheritable entries on to the subkeys again.
std::vector<std::string> DaclsChanged(const KeyDacls& before, const KeyDacls& now) {
    std::vector<std::string> changed;
    for (const auto& [key, sddl] : now) {
        const auto was = before.find(key);
        if (was == before.end() || was->second == sddl) continue;
        const auto parent = now.find(key.substr(0, key.rfind('\\')));
        if (parent == now.end() ||
            !InheritsReplacement(was->second, sddl, parent->second, parent->second)) {
            changed.push_back(key + "  " + was->second + " -> " + sddl);
        }
    }
    return changed;
}

// Every file's attributes, by its path.
std::map<std::string, Dword> FileAttributes(MemoryMachine& machine) {
    std::map<std::string, Dword> attributes;
    for (const std::string& line : machine.DumpFiles()) {
        std::string path = "C:" + line.substr(std::strlen("drive_c"));
        std::replace(path.begin(), path.end(), '/', '\\');
        attributes[path] = machine.GetAttributes(path.c_str());
    }
    return attributes;
}

std::vector<std::string> AttributesChanged(const std::map<std::string, Dword>& before,
                                           const std::map<std::string, Dword>& now) {
    std::vector<std::string> changed;
    for (const auto& [path, attributes] : now) {
        const auto was = before.find(path);
        if (was != before.end() && was->second != attributes) changed.push_back(path);
    }
    return changed;
}

// Which removals a test stops around; all by default.
using Around = bool (*)(const DeletionPoint&);
bool EveryRemoval(const DeletionPoint&) { return true; }

// The calls to stop during: around each removal `around` takes, and each Grant.
std::vector<size_t> StopPoints(const CleanRun& clean, Around around = EveryRemoval) {
    std::set<size_t> calls;
    for (const DeletionPoint& point : clean.deletions) {
        if (around(point)) calls.insert({point.began - 1, point.began, point.call});
    }
    for (const Grant& grant : clean.grants) calls.insert(grant.call);
    return {calls.begin(), calls.end()};
}

void StopAndRunAgain(const ImageRun& run, const CleanRun& clean, size_t stopAt, int* unlisted) {
    SCOPED_TRACE("stopped during call " + std::to_string(stopAt) + " of " +
                 std::to_string(clean.calls));
    RunRig rig;
    ASSERT_TRUE(LoadFresh(clean, &rig.machine));
    const std::map<std::string, Dword> attributes = FileAttributes(rig.machine);
    SeamTap tap(rig.machine);
    tap.RecordDeletions();
    StoppablePlatform worker(tap.platform());
    tap.AtCall(stopAt, [&] { worker.RequestStop(); });
    Platform stoppable = worker.platform();
    ASSERT_EQ(RunWizardFamily(stoppable, FamilyFromToken(run.token.c_str())), 1);

    size_t made = 0;
    std::vector<std::string> logged;
    std::vector<std::string> kept;  // files the clean run deletes later: its own among them
    for (const DeletionPoint& point : clean.deletions) {
        if (point.began <= stopAt) {
            ++made;
            if (!point.logged.empty()) logged.push_back(point.logged);
        } else if (point.kind == DeletionPoint::Kind::File) {
            kept.push_back(point.path);
        }
    }
    std::vector<std::string> late;
    for (const DeletionPoint& point : tap.deletions()) {
        if (point.began > stopAt) late.push_back(Describe(point));
    }
    ExpectNone(late, "removed, though begun after the stop");
    EXPECT_EQ(tap.deletions().size(), made) << "not the clean run's removals up to the stop";
    EXPECT_EQ(rig.LogLines(), logged);
    ExpectNone(DaclsChanged(clean.dacls, ReadKeyDacls(rig.machine)), "DACL changed");
    ExpectNone(AttributesChanged(attributes, FileAttributes(rig.machine)), "attributes changed");
    for (const std::string& path : kept) {
        EXPECT_TRUE(rig.machine.FileExists(path))
            << "gone, though no later call removes it: " << path;
    }

    // Stopped in the registry step, the family may have lost its entry in the list:
    // what is left is the command line's to remove, which also takes items of other
    // vendors (traces.txt's "reached"), so that run is not compared.
    KnownLimits none(clean);
    if (RunWizardToken(rig.platform, run.token) == 0) {
        ++*unlisted;
        return;
    }
    ExpectEndsAsCleanRunEnds(rig, clean, "the run after the stop", none);
}

// The machine an earlier wizard run left when it was stopped in its first pause, after
// its devices: their identifiers are now only in the file it kept. It was started from
// another folder, and its log is not this run's.
Preparation EarlierRunStopped(const std::string& token) {
    return {"an earlier run stopped", [token](MemoryMachine& machine) {
                struct StopInPause : ForwardingSystem {
                    using ForwardingSystem::ForwardingSystem;
                    void Sleep(Dword) override { worker->RequestStop(); }
                    StoppablePlatform* worker = nullptr;
                } system(machine);
                StoppablePlatform worker(Platform{machine, machine, machine, machine, system});
                system.worker = &worker;
                Platform stoppable = worker.platform();
                RunWizardFamily(stoppable, FamilyFromToken(token.c_str()));
                machine.DeleteFileAt(kLogPath);
            }};
}

class StoppedWizardRun : public testing::TestWithParam<ImageRun> {
  protected:
    // Stops the clean run of the wizard made after `preparation` at `stops` of its stop
    // points around the removals `around` takes (all for 0), spread evenly, or at the
    // first `stops` with `first`.
    void StopEach(const Preparation& preparation, size_t stops, bool first = false,
                  Around around = EveryRemoval) {
        RunRig lister;
        std::string error;
        const MachineImage* image = CachedImage(GetParam().folder, &error);
        ASSERT_TRUE(image != nullptr && lister.machine.Apply(*image, &error)) << error;
        if (preparation.apply) preparation.apply(lister.machine);
        if (InstalledEntryOf(lister.platform, FamilyFromToken(GetParam().token.c_str())) < 0) {
            GTEST_SKIP() << "the wizard's installed-driver list names no such family";
        }
        const CleanRun* clean = LearnCleanRun(GetParam(), true, preparation, kWizard);
        ASSERT_NE(clean, nullptr);
        std::vector<size_t> points = StopPoints(*clean, around);
        if (first) points.resize(std::min(points.size(), stops));
        int unlisted = 0;
        for (size_t stopAt : EvenlySpread(points, stops)) {
            StopAndRunAgain(GetParam(), *clean, stopAt, &unlisted);
            if (HasFatalFailure()) return;
        }
        RecordProperty("stop_points", static_cast<int>(StopPoints(*clean, around).size()));
        RecordProperty("stops_leaving_the_family_unlisted", unlisted);
    }
};

TEST_P(StoppedWizardRun, DuringARemovalOrATakeOverEndsThereThenRunAgainEndsClean) {
    StopEach({}, StopsPerRun());
}

// From Vista on, the INF stage takes a driver package out of the driver store and
// reports its INF removed when the INF is gone: on the images with files, as Windows 7,
// the stops come around each removal from the INF folder (and each Grant).
class StoppedWizardRunWithFiles : public StoppedWizardRun {};

TEST_P(StoppedWizardRunWithFiles, OnWindows7AroundTheInfRemovalsEndsThereThenRunAgainEndsClean) {
    StopEach({"Windows 7",
              [](MemoryMachine& machine) {
                  machine.SetOsVersion({kPlatformWin32Nt, 6, 1});
              }},
             StopsPerRun(), false, [](const DeletionPoint& point) {
                 return point.kind == DeletionPoint::Kind::File &&
                        LowerCopy(point.path).find("\\inf\\") != std::string::npos;
             });
}

// The run first rewrites the identifiers file the earlier run kept: a stop before the
// old file's deletion, or after it, must not lose them.
TEST_P(StoppedWizardRun, AfterAnEarlierStopKeepsTheIdentifiersItFound) {
    StopEach(EarlierRunStopped(GetParam().token), 3, true);
}

INSTANTIATE_TEST_SUITE_P(Images, StoppedWizardRun,
                         testing::ValuesIn(ScenarioRuns(IsInstalledOrFilesImage)), ImageRunName);
INSTANTIATE_TEST_SUITE_P(WithFiles, StoppedWizardRunWithFiles,
                         testing::ValuesIn(ScenarioRuns(HasFiles)), ImageRunName);

}  // namespace
}  // namespace cvp::test
