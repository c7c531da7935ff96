// A registry-stage run on a fresh in-memory machine: keys laid out under
// HKEY_LOCAL_MACHINE, the log read back, and a record of every registry call.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "run/text.h"
#include "unit/run_rig.h"

namespace cvp::test {

using Paths = std::vector<std::string>;

inline const std::string kCcs = "SYSTEM\\CurrentControlSet\\";
inline const std::string kHklm = "HKEY_LOCAL_MACHINE\\";

// The machine's registry, recording each call in order as "open PATH", "create PATH",
// "delete PATH", "read-dacl NAME" or "write-dacl NAME", and calling `watch` before each. It can
// refuse DACL writes, as the system refuses a take-over.
class RecordingRegistry : public Registry {
  public:
    explicit RecordingRegistry(Registry& inner) : inner_(inner) {}

    Long OpenKey(Root root, const char* path, Dword access,
                 std::unique_ptr<RegistryKey>* key) override {
        Record(std::string("open ") + path);
        if (refuseDaclWrites && (access & kWriteDac) != 0) return kErrorAccessDenied;
        return inner_.OpenKey(root, path, access, key);
    }
    Long CreateKey(Root root, const char* path, Dword access, std::unique_ptr<RegistryKey>* key,
                   Dword* disposition) override {
        Record(std::string("create ") + path);
        return inner_.CreateKey(root, path, access, key, disposition);
    }
    Long DeleteTree(Root root, const char* path) override {
        Record(std::string("delete ") + path);
        return inner_.DeleteTree(root, path);
    }
    Long ReadKeyDacl(const char* objectName, std::string* sddl) override {
        Record(std::string("read-dacl ") + objectName);
        return inner_.ReadKeyDacl(objectName, sddl);
    }
    Long WriteKeyDacl(const char* objectName, Dword securityInformation,
                      const char* sddl) override {
        Record(std::string("write-dacl ") + objectName);
        return refuseDaclWrites ? kErrorAccessDenied
                                : inner_.WriteKeyDacl(objectName, securityInformation, sddl);
    }
    Long ReadKeyLink(Root root, const char* path, std::string* target) override {
        return inner_.ReadKeyLink(root, path, target);
    }

    Paths calls;
    bool refuseDaclWrites = false;
    std::function<void()> watch;

  private:
    void Record(std::string call) {
        if (watch) watch();
        calls.push_back(std::move(call));
    }

    Registry& inner_;
};

struct RegistryRig {
    RegistryRig() { state.stage = StageRegistryPlan; }

    void Keys(const Paths& paths) {
        for (const std::string& path : paths) machine.CreateKey(Root::LocalMachine, path);
    }
    void Value(const std::string& path, const std::string& name, const std::string& text) {
        machine.SetString(Root::LocalMachine, path, name, text);
    }
    void Deny(const std::string& path) { machine.DenyKey(Root::LocalMachine, path); }
    // The keys of `paths` that exist.
    Paths Present(const Paths& paths) const {
        Paths present;
        for (const std::string& path : paths) {
            if (machine.KeyExists(Root::LocalMachine, path)) present.push_back(path);
        }
        return present;
    }
    bool Has(const std::string& path) const { return !Present({path}).empty(); }
    bool HasValue(const std::string& path, const std::string& name) const {
        return machine.ValueExists(Root::LocalMachine, path, name);
    }
    std::string Dacl(const std::string& path) const {
        return machine.KeyDacl(Root::LocalMachine, path);
    }
    void Family(ProductFamily family, int expert, const char* primary = "") {
        state.family = family;
        state.usbFamily = family == FamilyEmpiaUsb || family == FamilyWisUsb ? 1 : 0;
        state.expertMode = expert;
        CopyText(state.primaryHardwareId, primary, 1252);
    }
    // The logged items: each line without the (empty) caption and its blank.
    Paths Logged() const {
        Paths items;
        for (const std::string& line : run.LogLines()) items.push_back(line.substr(1));
        return items;
    }

    RunRig run;
    MemoryMachine& machine = run.machine;
    RunState& state = run.state;
    RecordingRegistry registry{machine};
    Platform platform{registry, machine, machine, machine, machine};
    RunContext context{platform, state, nullptr};
};

}  // namespace cvp::test
