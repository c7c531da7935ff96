// The key-security sweep itself: what counts as open to everyone, and which keys a
// change opened.
#include "unit/key_security.h"

#include <gtest/gtest.h>

namespace cvp::test {
namespace {

TEST(OpenToEveryone, FullRightsForTheWorldSidInAnyFormOrANullDacl) {
    for (const char* open : {"D:(A;OICI;GA;;;WD)", "D:(A;;KA;;;WD)", "D:(A;;0xf003f;;;S-1-1-0)",
                             "D:(A;;KR;;;WD)(A;;KW;;;WD)(A;;SDWDWOWP;;;WD)",
                             "D:(A;CIID;GA;;;WD)(A;;KA;;;BA)", "D:NO_ACCESS_CONTROL", "O:BA"}) {
        EXPECT_TRUE(OpenToEveryone(open)) << open;
    }
}

TEST(OpenToEveryone, NotForOtherTrusteesPartRightsSubkeysOnlyOrAnEarlierDeny) {
    for (const char* closed :
         {"D:(A;OICI;GA;;;BA)", "D:(A;CIIO;GR;;;BU)(A;;KA;;;BA)", "D:(A;;KR;;;WD)",
          "D:(A;CIIO;GA;;;WD)", "D:(D;;KA;;;WD)(A;OICI;GA;;;WD)", "D:(D;;SD;;;WD)(A;;KA;;;WD)",
          "D:(A;;GA;;;AU)", "D:"}) {
        EXPECT_FALSE(OpenToEveryone(closed)) << closed;
    }
}

// A grant to everyone on a key with a subkey (as the take-over wrote it before it
// granted the administrators only), then the original put back: the sweep names the
// key and the subkey that inherited the entry, and nothing once the original is back.
TEST(KeysOpenedToEveryone, NamesWhatAGrantToEveryoneOpensUntilTheOriginalIsBack) {
    MemoryMachine machine;
    machine.CreateKey(Root::LocalMachine, "SYSTEM\\Vendor\\Device");
    machine.CreateKey(Root::LocalMachine, "SYSTEM\\Open");
    machine.SetKeyDacl(Root::LocalMachine, "SYSTEM\\Open", "D:(A;;KA;;;WD)");
    const KeySecuritySweep sweep(ReadKeyDacls(machine));
    const std::string original = machine.KeyDacl(Root::LocalMachine, "SYSTEM\\Vendor");

    ASSERT_EQ(machine.WriteKeyDacl("MACHINE\\SYSTEM\\Vendor", kDaclSecurityInformation,
                                   "D:(A;OICI;GA;;;WD)"),
              kErrorSuccess);
    machine.CreateKey(Root::LocalMachine, "SYSTEM\\Vendor\\New");
    std::vector<std::string> opened;
    for (const OpenedKey& key : sweep.OpenedSince(machine)) opened.push_back(key.path);
    EXPECT_EQ(opened, (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\SYSTEM\\Vendor",
                                                "HKEY_LOCAL_MACHINE\\SYSTEM\\Vendor\\Device"}));

    ASSERT_EQ(
        machine.WriteKeyDacl("MACHINE\\SYSTEM\\Vendor", kDaclSecurityInformation, original.c_str()),
        kErrorSuccess);
    EXPECT_EQ(Describe(sweep.OpenedSince(machine)), "");
}

TEST(KeysOpenedToEveryone, CountsAKeyMadeOpenButNotOneOpenBefore) {
    const KeyDacls before = {{"HKEY_LOCAL_MACHINE\\A", "D:(A;;KA;;;WD)"},
                             {"HKEY_LOCAL_MACHINE\\B", "D:(A;;KA;;;BA)"}};
    const KeyDacls after = {{"HKEY_LOCAL_MACHINE\\A", "D:(A;OICI;GA;;;WD)"},
                            {"HKEY_LOCAL_MACHINE\\B", "D:(A;;KA;;;BA)"},
                            {"HKEY_LOCAL_MACHINE\\C", "D:NO_ACCESS_CONTROL"}};
    const std::vector<OpenedKey> opened = KeysOpenedToEveryone(before, after);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].path, "HKEY_LOCAL_MACHINE\\C");
    EXPECT_EQ(opened[0].before, "");
}

}  // namespace
}  // namespace cvp::test
