#include <gtest/gtest.h>

#include "registry/primitives.h"
#include "unit/registry_rig.h"

namespace cvp::test {
namespace {

const std::string kKey = "SYSTEM\\Vendor";
const std::string kPath = kKey + "\\";

TEST(RegistryTakeover, GrantsAdministratorsFullControlAndReleasePutsTheDaclBack) {
    RegistryRig rig;
    rig.Keys({kKey});
    rig.machine.SetKeyDacl(Root::LocalMachine, kKey, "D:(A;;KR;;;BU)(D;;KA;;;BA)");
    KeyAccessTakeover takeover(rig.registry, KeyAccessTakeover::Reach::Subtree);
    EXPECT_EQ(takeover.Grant(Root::LocalMachine, kPath.c_str()), 1);
    EXPECT_EQ(rig.Dacl(kKey), "D:(A;OICI;GA;;;BA)");
    takeover.Release();
    EXPECT_EQ(rig.Dacl(kKey), "D:(A;;KR;;;BU)(D;;KA;;;BA)");

    rig.machine.CreateKey(Root::ClassesRoot, "CLSID\\{1}");
    EXPECT_EQ(takeover.Grant(Root::ClassesRoot, "CLSID\\{1}\\"), 1);
    EXPECT_EQ(rig.registry.calls.back(), "write-dacl CLASSES_ROOT\\CLSID\\{1}\\");
    EXPECT_EQ(takeover.Grant(Root::LocalMachine, "SYSTEM\\Missing\\"), 0);
    EXPECT_EQ(rig.registry.calls.back(), "read-dacl MACHINE\\SYSTEM\\Missing\\");
}

TEST(RegistryTakeover, ReportsAKeyOnlyOnceItIsDeleted) {
    RegistryRig rig;
    rig.Keys({kKey + "\\Instance\\Control", "SYSTEM\\Stuck\\Protected"});
    rig.Deny(kKey);  // denies administrators too
    rig.Deny("SYSTEM\\Stuck");
    rig.Deny("SYSTEM\\Stuck\\Protected");
    EXPECT_EQ(TakeOverAndDeleteKey(rig.context, Root::LocalMachine, kPath.c_str()), 1);
    EXPECT_EQ(TakeOverAndDeleteKey(rig.context, Root::LocalMachine, "SYSTEM\\Stuck\\"), 0);
    EXPECT_EQ(TakeOverAndDeleteKey(rig.context, Root::LocalMachine, "SYSTEM\\Missing\\"), 0);
    EXPECT_EQ(rig.Present({kKey, "SYSTEM\\Stuck\\Protected"}), Paths{"SYSTEM\\Stuck\\Protected"});
    EXPECT_EQ(rig.Dacl("SYSTEM\\Stuck"), "D:(D;;KA;;;WD)");
    EXPECT_EQ(rig.Logged(), Paths{kHklm + kPath});
    EXPECT_EQ(rig.state.progressTotal, 1);
}

// A subtree that inherits a deny from its top, as Windows lays out protected keys: the
// take-over's inheritable entry replaces what the subkeys inherited, so the whole
// subtree goes.
TEST(RegistryTakeover, LiftsADenyTheSubkeysInherit) {
    RegistryRig rig;
    rig.Keys({"SYSTEM\\Guarded\\Instance\\Device Parameters"});
    // Subkeys with no entries of their own, only what they inherit.
    rig.machine.SetKeyDacl(Root::LocalMachine, "SYSTEM\\Guarded\\Instance", "D:");
    rig.machine.SetKeyDacl(Root::LocalMachine, "SYSTEM\\Guarded\\Instance\\Device Parameters", "D:");
    ASSERT_EQ(rig.machine.WriteKeyDacl("MACHINE\\SYSTEM\\Guarded", kDaclSecurityInformation,
                                       "D:(D;OICI;KA;;;BA)"),
              kErrorSuccess);
    std::unique_ptr<RegistryKey> child;
    ASSERT_EQ(rig.machine.OpenKey(Root::LocalMachine, "SYSTEM\\Guarded\\Instance", kKeyAllAccess,
                                  &child),
              kErrorAccessDenied);
    EXPECT_EQ(TakeOverAndDeleteKey(rig.context, Root::LocalMachine, "SYSTEM\\Guarded\\"), 1);
    EXPECT_FALSE(rig.Has("SYSTEM\\Guarded"));
}

// A control set's Enum key as Windows keeps it: protected, the administrators may only
// read it, and its device keys inherit that. A value of it goes after a take-over of
// that key alone: no device key's DACL changes at any moment, and the key gets its DACL
// back exactly, protected flag and all.
TEST(RegistryTakeover, AValuesTakeOverOpensItsKeyAloneAndPutsItsDaclBackExactly) {
    RegistryRig rig;
    const std::string enumKey = kCcs + "Enum";
    const std::string device = enumKey + "\\PCI\\VEN_109E&DEV_036E\\4&1&0";
    rig.Keys({device});
    rig.Value(enumKey, "NextParentID.1a2b3c4d.1", "1");
    const std::string closed = "D:P(A;CI;KR;;;BA)(A;CI;KA;;;SY)";
    const std::string inherited = "D:(A;CIID;KR;;;BA)(A;CIID;KA;;;SY)";
    rig.machine.SetKeyDacl(Root::LocalMachine, enumKey, closed);
    for (const std::string& below :
         {enumKey + "\\PCI", enumKey + "\\PCI\\VEN_109E&DEV_036E", device}) {
        rig.machine.SetKeyDacl(Root::LocalMachine, below, inherited);
    }
    rig.registry.watch = [&] { EXPECT_EQ(rig.Dacl(device), inherited); };
    EXPECT_EQ(TakeOverAndDeleteValue(rig.context, Root::LocalMachine, (enumKey + "\\").c_str(),
                                     "NextParentID.1a2b3c4d.1"),
              1);
    EXPECT_FALSE(rig.HasValue(enumKey, "NextParentID.1a2b3c4d.1"));
    EXPECT_EQ(rig.Dacl(enumKey), closed);
    EXPECT_EQ(rig.Dacl(device), inherited);
}

// A protected key whose deletion stops at a subkey no take-over reaches: the key and
// the subkeys that inherited the grant get their DACLs back as they were.
TEST(RegistryTakeover, AKeyThatOutlivesItsTakeOverGetsItsProtectedDaclBack) {
    RegistryRig rig;
    rig.Keys({"SYSTEM\\Stuck\\Held", "SYSTEM\\Stuck\\Inheriting"});
    const std::string closed = "D:P(A;CI;KR;;;BA)(A;CI;KA;;;SY)";
    const std::string inherited = "D:(A;CIID;KR;;;BA)(A;CIID;KA;;;SY)";
    rig.machine.SetKeyDacl(Root::LocalMachine, "SYSTEM\\Stuck", closed);
    rig.machine.SetKeyDacl(Root::LocalMachine, "SYSTEM\\Stuck\\Inheriting", inherited);
    rig.machine.DenyKeyTakeover(Root::LocalMachine, "SYSTEM\\Stuck\\Held");
    EXPECT_EQ(TakeOverAndDeleteKey(rig.context, Root::LocalMachine, "SYSTEM\\Stuck\\"), 0);
    EXPECT_EQ(rig.Dacl("SYSTEM\\Stuck"), closed);
    EXPECT_EQ(rig.Dacl("SYSTEM\\Stuck\\Inheriting"), inherited);
}

TEST(RegistryTakeover, DeletesOneValueAndLogsTheKeyAndTheValue) {
    RegistryRig rig;
    rig.Value(kKey, "NextParentID.1a2b3c4d.1", "1");
    rig.Value(kKey, "Other", "2");
    rig.machine.SetKeyDacl(Root::LocalMachine, kKey, "D:(A;;KR;;;WD)");
    const char* value = "NextParentID.1a2b3c4d.1";
    EXPECT_EQ(TakeOverAndDeleteValue(rig.context, Root::LocalMachine, kPath.c_str(), value), 1);
    EXPECT_EQ(TakeOverAndDeleteValue(rig.context, Root::LocalMachine, kPath.c_str(), value), 0);
    EXPECT_TRUE(rig.HasValue(kKey, "Other"));
    EXPECT_EQ(rig.Dacl(kKey), "D:(A;;KR;;;WD)");
    EXPECT_EQ(rig.Logged(), Paths{kHklm + kPath + " " + value});

    rig.registry.refuseDaclWrites = true;
    EXPECT_EQ(TakeOverAndDeleteValue(rig.context, Root::LocalMachine, kPath.c_str(), "Other"), 0);
    EXPECT_TRUE(rig.HasValue(kKey, "Other"));
}

// The control set's Enum key holds the values; taking it over would open and rewrite
// every device key below it, so that is done only when the key refuses the deletion.
TEST(RegistryTakeover, AValueGoesWithoutATakeOverWhenItsKeyAllowsIt) {
    RegistryRig rig;
    rig.Value(kKey, "NextParentID.1a2b3c4d.1", "1");
    const std::string dacl = rig.Dacl(kKey);
    EXPECT_EQ(TakeOverAndDeleteValue(rig.context, Root::LocalMachine, kPath.c_str(),
                                     "NextParentID.1a2b3c4d.1"),
              1);
    EXPECT_FALSE(rig.HasValue(kKey, "NextParentID.1a2b3c4d.1"));
    for (const std::string& call : rig.registry.calls) {
        EXPECT_EQ(call.find("dacl"), std::string::npos) << call;
    }
    EXPECT_EQ(rig.Dacl(kKey), dacl);
    EXPECT_EQ(rig.Logged(), Paths{kHklm + kPath + " NextParentID.1a2b3c4d.1"});
}

TEST(RegistryPrimitives, ReadDeleteAndCountNeedTheRightAccess) {
    RegistryRig rig;
    Registry& registry = rig.registry;
    rig.Value(kKey, "Sz", "text");
    rig.machine.SetValue(Root::LocalMachine, kKey, "Expand", kRegExpandSz, std::string("%x%\0", 4));
    rig.machine.SetValue(Root::LocalMachine, kKey, "Dword", kRegDword, std::string(4, '\1'));
    rig.machine.SetValue(Root::LocalMachine, kKey, "Multi", kRegMultiSz, std::string("a\0\0", 3));
    rig.Keys({kKey + "\\A\\control", kKey + "\\B\\Control", kKey + "\\B\\Device Parameters"});
    char text[kTextSize];
    auto read = [&](const char* name) {
        return ReadRegistryString(registry, Root::LocalMachine, kPath.c_str(), name, text,
                                  kTextSize);
    };
    EXPECT_EQ(read("Expand"), 1);
    EXPECT_STREQ(text, "%x%");
    EXPECT_EQ(read("Dword") + read("Multi"), 0);
    EXPECT_EQ(ReadRegistryString(registry, Root::LocalMachine, "", "Sz", text, kTextSize), 0);
    EXPECT_EQ(CountSubkeys(registry, Root::LocalMachine, (kPath + "B\\").c_str()), 2);
    EXPECT_EQ(HasSubkey(registry, Root::LocalMachine, (kPath + "A\\").c_str(), "Control"), 0);
    EXPECT_EQ(HasSubkey(registry, Root::LocalMachine, (kPath + "B\\").c_str(), "Control"), 1);

    rig.machine.SetKeyDacl(Root::LocalMachine, kKey, "D:(A;;KR;;;WD)");  // read, not change
    EXPECT_EQ(read("Sz"), 0);
    EXPECT_EQ(DeleteRegistryValue(registry, Root::LocalMachine, kPath.c_str(), "Sz"), 0);
    EXPECT_EQ(DeleteRegistryKey(registry, Root::LocalMachine, kPath.c_str()), 0);
    EXPECT_EQ(CountSubkeys(registry, Root::LocalMachine, kPath.c_str()), 2);
    rig.machine.SetKeyDacl(Root::LocalMachine, kKey, "D:(A;;KA;;;BA)");
    EXPECT_EQ(DeleteRegistryValue(registry, Root::LocalMachine, kPath.c_str(), "Sz"), 1);
    EXPECT_EQ(DeleteRegistryKey(registry, Root::LocalMachine, kPath.c_str()), 1);
    EXPECT_EQ(CountSubkeys(registry, Root::LocalMachine, kPath.c_str()), 0);
}

TEST(RegistryPrimitives, AWalkStepPassesOverANameTooLongForItsBuffer) {
    RegistryRig rig;
    rig.Value(kKey, std::string(300, 'a'), "1");
    rig.Value(kKey, "b", "2");
    std::unique_ptr<RegistryKey> key;
    ASSERT_EQ(rig.registry.OpenKey(Root::LocalMachine, kKey.c_str(), kKeyRead, &key),
              kErrorSuccess);
    char name[kTextSize];
    EXPECT_EQ(NextValueName(*key, 0, name), WalkStep::Skip);
    EXPECT_EQ(NextValueName(*key, 1, name), WalkStep::Name);
    EXPECT_STREQ(name, "b");
    EXPECT_EQ(NextValueName(*key, 2, name), WalkStep::End);
}

}  // namespace
}  // namespace cvp::test
