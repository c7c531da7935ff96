// A run's receipt and /restore. Every scenario run is put back whole (every key with its
// values and DACL, every file with its bytes and attributes, every device) and a second
// restore changes nothing; a run stopped at any deletion, or out of disk space on the
// way, leaves a receipt that gives back the machine as it was before; a receipt that
// is not as the run wrote it, or that others could have changed, restores nothing but
// what the message names; only the newest ten receipts are kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/image/ansi_text.h"
#include "receipt/journal.h"
#include "receipt/receipt_folders.h"
#include "unit/fault_rig.h"

namespace cvp::test {
namespace {

constexpr const char* kReceipts = "C:\\windows\\CVPurger\\Receipts";

// Everything a restore gives back. The run's own files (its log, its pending file, the
// program's folder with the receipts) are not part of it.
struct WholeMachine {
    std::vector<std::string> registry;
    KeyDacls dacls;
    std::map<std::string, std::string> files;  // DumpFiles line -> attributes and bytes
    std::vector<std::string> devices;
};

bool IsTheRunsOwn(const std::string& line) {
    const std::string name = LowerCopy(line);
    return scenario::IsProgramStateLine(line) || name == "drive_c/cvpurger/uninstall.log" ||
           name.rfind("drive_c/windows/cvpurgerpending", 0) == 0;
}

WholeMachine Whole(MemoryMachine& machine) {
    WholeMachine whole{machine.DumpRegistry({"HKEY_LOCAL_MACHINE"}),
                       ReadKeyDacls(machine),
                       {},
                       PresentDevices(machine)};
    for (const std::string& line : machine.DumpFiles()) {
        if (IsTheRunsOwn(line)) continue;
        std::string path = "C:" + line.substr(7);
        std::replace(path.begin(), path.end(), '/', '\\');
        whole.files[line] =
            std::to_string(machine.GetAttributes(path.c_str())) + " " + machine.FileContent(path);
    }
    return whole;
}

std::vector<std::string> Differences(const std::map<std::string, std::string>& was,
                                     const std::map<std::string, std::string>& now) {
    std::vector<std::string> differ;
    for (const auto& [name, content] : was) {
        const auto found = now.find(name);
        if (found == now.end()) {
            differ.push_back("missing " + name);
        } else if (found->second != content) {
            differ.push_back("changed " + name + ": " + content.substr(0, 40) + " -> " +
                             found->second.substr(0, 40));
        }
    }
    for (const auto& [name, content] : now) {
        if (was.count(name) == 0) differ.push_back("added " + name);
    }
    return differ;
}

void ExpectSame(const WholeMachine& now, const WholeMachine& was, const std::string& after) {
    ExpectNone(LinesNotIn(was.registry, now.registry), "missing after " + after);
    ExpectNone(LinesNotIn(now.registry, was.registry), "added after " + after);
    ExpectNone(Differences(was.dacls, now.dacls), "DACLs differ after " + after);
    ExpectNone(Differences(was.files, now.files), "files differ after " + after);
    EXPECT_EQ(now.devices, was.devices) << "present devices after " + after;
}

// CVPurger.exe /restore [FOLDER]: what it tells the person who asked.
std::string Restore(Platform platform, const std::string& folder = "") {
    RunState state;
    RunContext context{platform, state, nullptr};
    std::string message;
    const std::string commandLine = folder.empty() ? "/restore" : "/restore " + folder;
    EXPECT_EQ(RunCommandLine(context, commandLine.c_str(), &message), 1);
    return message;
}

std::vector<std::string> Receipts(MemoryMachine& machine) {
    return ReceiptNames(machine, kReceipts);
}

bool Says(const std::string& message, const std::string& part) {
    return message.find(part) != std::string::npos;
}

testing::AssertionResult Load(const ImageRun& run, MemoryMachine* machine) {
    std::string error;
    const MachineImage* image = CachedImage(run.folder, &error);
    if (image == nullptr || !machine->Apply(*image, &error)) {
        return testing::AssertionFailure() << error;
    }
    return testing::AssertionSuccess();
}

// --- Every scenario -------------------------------------------------------------------

class RestoredRun : public testing::TestWithParam<ImageRun> {};

TEST_P(RestoredRun, PutsBackAllTheRunTookAndASecondRestoreChangesNothing) {
    MemoryMachine machine;
    ASSERT_TRUE(Load(GetParam(), &machine));
    const WholeMachine before = Whole(machine);
    if (RunToken(machine.platform(), GetParam().token) == 0) {
        EXPECT_TRUE(Receipts(machine).empty()) << "a command line that names no family";
        return;
    }
    const WholeMachine afterRun = Whole(machine);
    // A run that removes nothing leaves no receipt: /restore finds the last one that did.
    ASSERT_EQ(Receipts(machine).size(),
              afterRun.registry != before.registry || afterRun.files != before.files ? 1u : 0u);
    if (Receipts(machine).empty()) return;

    const std::string message = Restore(machine.platform());
    EXPECT_TRUE(Says(message, "Restored from the receipt")) << message;
    EXPECT_FALSE(Says(message, "Not restored")) << message;
    ExpectSame(Whole(machine), before, "/restore");

    EXPECT_TRUE(Says(Restore(machine.platform()), "restored already"));
    ExpectSame(Whole(machine), before, "a second /restore");
}

// Windows keeps each control set's Enum key closed to the administrators' changes, its
// entries passed on to every key below: a run takes those keys over to delete them,
// and a restore must take over the key above each one it makes again, and give each
// its DACL back.
TEST_P(RestoredRun, PutsBackKeysWindowsProtectsWithTheirOwnDacls) {
    if (!IsInstalledImage(GetParam())) GTEST_SKIP() << "the installed products' images";
    MemoryMachine machine;
    ASSERT_TRUE(Load(GetParam(), &machine));
    for (const char* set : ControlSetRoots) {
        const std::string enumKey = std::string(set) + "Enum";
        if (machine.KeyExists(Root::LocalMachine, enumKey)) {
            machine.WriteKeyDacl(("MACHINE\\" + enumKey).c_str(),
                                 kDaclSecurityInformation | kProtectedDaclSecurityInformation,
                                 kClosedToAdministrators);
        }
    }
    const WholeMachine before = Whole(machine);
    ASSERT_EQ(RunToken(machine.platform(), GetParam().token), 1);
    if (Whole(machine).registry == before.registry) GTEST_SKIP() << "the run removes no key";
    const std::string message = Restore(machine.platform());
    EXPECT_FALSE(Says(message, "Not restored")) << message;
    ExpectSame(Whole(machine), before, "/restore");
}

INSTANTIATE_TEST_SUITE_P(Images, RestoredRun, testing::ValuesIn(ScenarioRuns()), ImageRunName);

// --- Stopped runs -----------------------------------------------------------------------

// Deletions killed at per image and token at the most, spread evenly over the run; a
// campaign sets CVP_RESTORE_KILLS_PER_RUN=0 for every one (about five minutes here).
size_t KillsPerRun() { return SampleSize("CVP_RESTORE_KILLS_PER_RUN", 8); }

class StoppedRun : public testing::TestWithParam<ImageRun> {};

// Killed right before each deletion and right after it (before its log line), as by a
// power cut that loses what was not flushed, then restored: the receipt covers every
// deletion made, and the DACLs and attributes the run had changed on the way.
TEST_P(StoppedRun, KilledAtEachDeletionThenRestoredIsAsBeforeTheRun) {
    const CleanRun* clean = LearnCleanRun(GetParam(), true);
    ASSERT_NE(clean, nullptr);
    MemoryMachine fresh;
    ASSERT_TRUE(LoadFresh(*clean, &fresh));
    const WholeMachine before = Whole(fresh);
    int kills = 0;
    for (const DeletionPoint& point : EvenlySpread(clean->deletions, KillsPerRun())) {
        for (size_t killAfter : {point.call - 1, point.call}) {
            SCOPED_TRACE("killed after call " + std::to_string(killAfter) + ", at " +
                         Describe(point));
            MemoryMachine machine;
            ASSERT_TRUE(LoadFresh(*clean, &machine));
            SeamTap tap(machine);
            tap.KillAfter(killAfter);
            tap.CutPowerAtKill();
            RunToken(tap.platform(), GetParam().token);
            Restore(machine.platform());
            ExpectSame(Whole(machine), before, "the kill and /restore");
            if (HasFailure()) return;
            ++kills;
        }
    }
    testing::Test::RecordProperty("kills", kills);
}

// The disk fills up part-way through the receipt: what could not be written first is
// neither removed nor logged, and /restore gives back all that was.
TEST_P(StoppedRun, OutOfDiskSpaceRemovesOnlyWhatItsReceiptCovers) {
    const CleanRun* clean = LearnCleanRun(GetParam(), false);
    ASSERT_NE(clean, nullptr);
    MemoryMachine measured;
    ASSERT_TRUE(LoadFresh(*clean, &measured));
    RunToken(measured.platform(), GetParam().token);
    std::uint64_t written = 0;
    for (const std::string& line : measured.DumpFiles()) {
        std::string path = "C:" + line.substr(7);
        std::replace(path.begin(), path.end(), '/', '\\');
        if (scenario::IsProgramStateLine(line)) written += measured.FileContent(path).size();
    }
    for (const std::uint64_t room : {std::uint64_t{0}, written / 3, written * 2 / 3}) {
        SCOPED_TRACE("room for " + std::to_string(room) + " of " + std::to_string(written) +
                     " bytes");
        RunRig rig;
        ASSERT_TRUE(LoadFresh(*clean, &rig.machine));
        const WholeMachine before = Whole(rig.machine);
        rig.machine.LimitDiskSpace(room);
        RunToken(rig.platform, GetParam().token);
        const MachineView view = ViewOf(rig.machine);
        const bool cleanRemoves = clean->after.registry != clean->before.registry ||
                                  clean->after.files != clean->before.files;
        EXPECT_TRUE(!cleanRemoves || view.registry != clean->after.registry ||
                    view.files != clean->after.files)
            << "the full disk stopped nothing";
        ExpectNone(LoggedButThere(rig, clean->devices), "logged, but still there");
        rig.machine.ClearFaults();
        Restore(rig.platform);
        ExpectSame(Whole(rig.machine), before, "a full disk and /restore");
    }
}

INSTANTIATE_TEST_SUITE_P(Images, StoppedRun,
                         testing::ValuesIn(ScenarioRuns(IsInstalledOrFilesImage)), ImageRunName);

// A state folder that others may write to is never used: the run removes nothing, as
// it can keep no receipt.
TEST(Receipt, AStateFolderOthersMayWriteToStopsEveryRemoval) {
    const ImageRun run = ScenarioRuns(IsInstalledImage).front();
    RunRig rig;
    ASSERT_TRUE(Load(run, &rig.machine));
    rig.machine.AddDirectory("C:\\windows\\CVPurger");
    rig.machine.SetFileSecurity("C:\\windows\\CVPurger", "O:BAD:(A;OICI;FA;;;BA)(A;OICI;FA;;;BU)");
    const WholeMachine before = Whole(rig.machine);
    ASSERT_EQ(RunToken(rig.platform, run.token), 1);
    ExpectSame(Whole(rig.machine), before, "a run with a state folder users may write to");
    EXPECT_TRUE(rig.LogLines().empty());
    EXPECT_FALSE(rig.machine.FileExists(kReceipts));
}

// The stages name files as their tables spell them; a file comes back under the name
// it had on the disk, attributes and all.
TEST(Receipt, AFileComesBackUnderTheNameItHad) {
    RunRig rig;
    const std::string spelled = "C:\\windows\\system32\\drivers\\VS4KVCAP.Sys";
    rig.machine.AddFile(spelled, std::string("MZ\0\x90", 4), kAttrReadOnly | kAttrArchive);
    const WholeMachine before = Whole(rig.machine);
    ASSERT_EQ(RunToken(rig.platform, "878"), 1);
    ASSERT_FALSE(rig.machine.FileExists(spelled));
    Restore(rig.platform);
    ExpectSame(Whole(rig.machine), before, "/restore");
}

// From Vista on a published INF leaves with its driver package, after its PNF went by
// itself: the package still leaves, and both files come back.
TEST(Receipt, AnInfLeavesTheDriverStoreAfterItsPnfAndBothComeBack) {
    RunRig rig;
    rig.machine.SetOsVersion(OsVersion{kPlatformWin32Nt, 6, 1});
    rig.machine.AddFile("C:\\windows\\inf\\oem1.inf",
                        "[Version]\r\nSignature=\"$CHICAGO$\"\r\nCatalogFile=vs4kvcap.cat\r\n");
    rig.machine.AddFile("C:\\windows\\inf\\oem1.PNF", "pnf");
    const WholeMachine before = Whole(rig.machine);
    ASSERT_EQ(RunToken(rig.platform, "878"), 1);
    EXPECT_EQ(rig.machine.uninstalledInfs(), std::vector<std::string>{"oem1.inf"});
    Restore(rig.platform);
    ExpectSame(Whole(rig.machine), before, "/restore");
}

// --- Receipts that are not as the run wrote them ---------------------------------------------

// The files-and-devices image of the eMPIA family: keys, values, devices, modules, files
// and a folder.
struct DamagedReceipt {
    DamagedReceipt() {
        run = ScenarioRuns([](const ImageRun& r) {
                  return r.image == "installed-empia-usb" && r.token == "EM";
              }).front();
        EXPECT_TRUE(Load(run, &rig.machine));
        before = Whole(rig.machine);
        RunToken(rig.platform, run.token);
        afterRun = Whole(rig.machine);
        folder = std::string(kReceipts) + "\\" + Receipts(rig.machine).at(0);
        journal = folder + "\\" + kJournalName;
    }

    // Replaces the journal with `text` (as the narrow text of its lines), as an editor
    // that keeps its encoding would.
    void Rewrite(const std::string& text) {
        rig.machine.AddFile(journal, "\xFF\xFE" + AnsiToUtf16Le(text));
    }
    std::string Text() {
        std::string text;
        Utf16LeToAnsi(rig.machine.FileContent(journal).substr(2), &text);
        return text;
    }

    ImageRun run;
    RunRig rig;
    WholeMachine before;
    WholeMachine afterRun;
    std::string folder;
    std::string journal;
};

TEST(Receipt, ABadReceiptRestoresNothingButWhatTheMessageNames) {
    {
        SCOPED_TRACE("a receipt that is not there");
        DamagedReceipt receipt;
        EXPECT_TRUE(Says(Restore(receipt.rig.platform, "2024-01-01_00-00-00.000_EM"),
                         "There is no receipt 2024-01-01_00-00-00.000_EM"));
        EXPECT_TRUE(Says(Restore(receipt.rig.platform, "C:\\cvpurger"), "is not a receipt in"));
        ExpectSame(Whole(receipt.rig.machine), receipt.afterRun, "a restore of no receipt");
    }
    {
        SCOPED_TRACE("cut short");
        DamagedReceipt receipt;
        const std::string text = receipt.Text();
        receipt.Rewrite(text.substr(0, text.size() / 2));
        EXPECT_TRUE(Says(Restore(receipt.rig.platform), "is cut short"));
        ExpectSame(Whole(receipt.rig.machine), receipt.afterRun, "a restore of a cut receipt");
    }
    {
        SCOPED_TRACE("edited into something else");
        DamagedReceipt receipt;
        std::string text = receipt.Text();
        text.insert(text.find("\r\n[", text.size() / 2) + 2, "an edit\r\n");
        receipt.Rewrite(text);
        const std::string message = Restore(receipt.rig.platform);
        EXPECT_TRUE(Says(message, "Receipt.reg:")) << message;
        EXPECT_TRUE(Says(message, "Nothing was restored")) << message;
        ExpectSame(Whole(receipt.rig.machine), receipt.afterRun, "a restore of an edited receipt");
    }
    {
        SCOPED_TRACE("writable by everyone");
        DamagedReceipt receipt;
        receipt.rig.machine.SetFileSecurity(receipt.folder, "O:BAD:(A;OICI;FA;;;WD)");
        const std::string message = Restore(receipt.rig.platform);
        EXPECT_TRUE(Says(message, "may be written by WD")) << message;
        ExpectSame(Whole(receipt.rig.machine), receipt.afterRun, "a restore of an open receipt");
    }
    {
        SCOPED_TRACE("a copy missing");
        DamagedReceipt receipt;
        const std::string copies = receipt.folder + "\\" + kCopiesFolderName;
        FindData first;
        ASSERT_NE(receipt.rig.machine.FindFirst((copies + "\\0*").c_str(), &first), nullptr);
        ASSERT_TRUE(receipt.rig.machine.DeleteFileAt((copies + "\\" + first.name).c_str()));
        const std::string message = Restore(receipt.rig.platform);
        // The file the copy was of is named, and it alone is not restored.
        const std::string name = std::string(first.name).substr(5);
        EXPECT_TRUE(Says(message, "Not restored (1)")) << message;
        EXPECT_TRUE(Says(LowerCopy(message), LowerCopy(name) + ": its copy")) << message;
        WholeMachine expected = receipt.before;
        std::erase_if(expected.files, [&](const auto& file) {
            return EqualsNoCase(file.first.substr(file.first.rfind('/') + 1), name);
        });
        ExpectSame(Whole(receipt.rig.machine), expected, "a restore without one copy");
    }
}

// --- The journal ------------------------------------------------------------------------------

// Values of every kind go through the journal byte for byte, and the journal is a
// regedit file (UTF-16LE with its BOM, CRLF) whose key and value lines a regedit import
// reads as they were; an entry the run was writing when it stopped is left out.
TEST(Receipt, TheJournalKeepsEveryValueExactlyAndIsARegeditFile) {
    JournalEntry entry;
    entry.kind = JournalEntry::Kind::Key;
    entry.number = 1;
    entry.subject = "HKEY_LOCAL_MACHINE\\SYSTEM\\Vendor";
    const std::vector<CapturedValue> values = {
        {"", kRegSz, std::string("default\0", 8)},
        {"quote \" and \\ back", kRegSz, std::string("C:\\x \"y\"\0", 9)},
        {"no terminator", kRegSz, "abc"},
        {"two terminators", kRegSz, std::string("abc\0\0", 5)},
        {"line\r\nbreak", kRegSz, std::string("a\r\nb\0", 5)},
        {"high bytes \xE9", kRegSz, std::string("\xA5\x59\x51\x5F\0", 5)},
        {"expand", kRegExpandSz, std::string("%SystemRoot%\\x\0", 15)},
        {"multi", kRegMultiSz, std::string("a\0bc\0\0", 6)},
        {"dword", kRegDword, std::string("\x01\x02\x03\x04", 4)},
        {"short dword", kRegDword, std::string("\x01", 1)},
        {"binary", kRegBinary, std::string(100, '\xAB')},
        {"empty", kRegBinary, ""},
        {"qword", kRegQword, std::string("\0\1\2\3\4\5\6\7", 8)},
        {"odd type", 0x123, "xyz"},
    };
    entry.keys = {{Root::LocalMachine, "SYSTEM\\Vendor", "D:P(A;CI;KA;;;SY)", values},
                  {Root::ClassesRoot, "CLSID\\{0}\\Sub", "", {}}};
    const std::string text =
        JournalHeader("a test") + FormatEntry(entry) + "; #2 file C:\\windows\\x.txt\r\n; attribu";
    const std::string bytes = "\xFF\xFE" + JournalBytes(text);

    Journal journal;
    std::string problem;
    ASSERT_TRUE(ReadJournal(bytes, &journal, &problem)) << problem;
    EXPECT_EQ(journal.unfinished, 2);
    EXPECT_FALSE(journal.ended);
    ASSERT_EQ(journal.entries.size(), 1u);
    const JournalEntry& read = journal.entries[0];
    ASSERT_EQ(read.keys.size(), 2u);
    EXPECT_EQ(read.keys[0].dacl, "D:P(A;CI;KA;;;SY)");
    EXPECT_EQ(read.keys[1].root, Root::ClassesRoot);
    ASSERT_EQ(read.keys[0].values.size(), values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(read.keys[0].values[i].name, values[i].name);
        EXPECT_EQ(read.keys[0].values[i].type, values[i].type) << values[i].name;
        EXPECT_EQ(read.keys[0].values[i].data, values[i].data) << values[i].name;
    }
    // Every line ends in CR LF.
    std::string narrow;
    Utf16LeToAnsi(bytes.substr(2), &narrow);
    const std::string whole = narrow.substr(0, narrow.rfind("; #2"));
    for (size_t at = whole.find('\n'); at != std::string::npos; at = whole.find('\n', at + 1)) {
        ASSERT_EQ(whole[at - 1], '\r') << "a bare LF at " << at;
    }
}

// --- Keeping receipts ---------------------------------------------------------------------------

// Eleven runs that each remove a service: the newest ten receipts stay, each restorable
// by its name, and /restore alone takes the newest.
TEST(Receipt, TheNewestTenAreKept) {
    RunRig rig;
    const std::string service = "SYSTEM\\CurrentControlSet\\Services\\BT848";
    std::vector<std::string> all;
    for (int run = 0; run < 11; ++run) {
        rig.machine.SetString(Root::LocalMachine, service, "Run", std::to_string(run));
        ASSERT_EQ(RunToken(rig.platform, "878"), 1);
        ASSERT_FALSE(rig.machine.KeyExists(Root::LocalMachine, service));
        const std::vector<std::string> now = Receipts(rig.machine);
        ASSERT_FALSE(now.empty());
        all.push_back(now.back());
    }
    std::vector<std::string> newestTen(all.begin() + 1, all.end());
    EXPECT_EQ(Receipts(rig.machine), newestTen);

    Restore(rig.platform, all[3]);
    const auto restoredRun = [&] {
        std::unique_ptr<RegistryKey> key;
        char text[8] = {};
        Dword size = sizeof text;
        if (rig.machine.OpenKey(Root::LocalMachine, service.c_str(), kKeyRead, &key) != 0) {
            return std::string();
        }
        key->QueryValue("Run", nullptr, reinterpret_cast<unsigned char*>(text), &size);
        return std::string(text);
    };
    EXPECT_EQ(restoredRun(), "3");
    ASSERT_EQ(RunToken(rig.platform, "878"), 1);
    Restore(rig.platform);
    EXPECT_EQ(restoredRun(), "3") << "the newest receipt holds what its run removed";
}

}  // namespace
}  // namespace cvp::test
