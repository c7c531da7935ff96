// A run on a fresh in-memory machine: the machine, the run's record, and helpers
// to put devices on the machine and read the log back.
#pragma once

#include <string>
#include <vector>

#include "app/cleanup_worker.h"
#include "detect/present_devices.h"
#include "detect/scans.h"
#include "platform/memory/memory_machine.h"
#include "run/family_catalogue.h"
#include "run/run_context.h"

namespace cvp::test {

constexpr const char* kLogPath = "C:\\cvpurger\\UnInstall.log";
constexpr const char* kMediaClassGuid = "{4d36e96c-e325-11ce-bfc1-08002be10318}";

// The machine's own system calls, for a test to override the ones it watches.
class ForwardingSystem : public System {
  public:
    explicit ForwardingSystem(System& machine) : machine_(machine) {}
    void Sleep(Dword milliseconds) override { machine_.Sleep(milliseconds); }
    int LoadText(unsigned id, char* buffer, int size) override {
        return machine_.LoadText(id, buffer, size);
    }
    int UserCountryCode(char* buffer, int size) override {
        return machine_.UserCountryCode(buffer, size);
    }
    bool ReadOsVersion(OsVersion* version) override { return machine_.ReadOsVersion(version); }
    void ReadLocalTime(LocalTime* time) override { machine_.ReadLocalTime(time); }
    Dword AnsiCodePage() override { return machine_.AnsiCodePage(); }
    bool ProcessUser(std::string* sid) override { return machine_.ProcessUser(sid); }
    bool ReadPciConfig(Dword bus, Dword device, Dword reg, Dword* value) override {
        return machine_.ReadPciConfig(bus, device, reg, value);
    }
    bool QueryWow64(bool* wow64) override { return machine_.QueryWow64(wow64); }
    bool CheckAdministratorsMembership(bool* member) override {
        return machine_.CheckAdministratorsMembership(member);
    }

  private:
    System& machine_;
};

// What the list page shows: present devices in working mode, installed drivers in
// expert mode. Returns the number of entries.
inline int ListEntries(RunContext& scan, int expertMode) {
    RunState& state = scan.state;
    state.expertMode = expertMode;
    ScanInstalledDrivers(scan);
    if (expertMode == 1) return state.installedDriverCount;
    state.installedDriverCount = 0;
    state.presentDeviceCount = 0;
    EnumeratePresentDevices(scan);
    return state.presentDeviceCount;
}

class SilentView : public ProgressView {
  public:
    void ShowPath(const char*) override {}
    void SetBarPosition(int) override {}
    void ShowCaption(const char*) override {}
};

// The wizard's cleanup of the entry at `index`, as the pages start it, with `state` as
// the run's record.
inline void RunWizardOn(Platform& platform, RunState& state, int expertMode, int index) {
    RunContext scan{platform, state, nullptr};
    ListEntries(scan, expertMode);
    state.selectedIndex = index;
    FamilyFromListEntry(state, ChosenEntry(state));
    SetFamilyHardwareIds(state, state.family, expertMode, 0);
    ScanDeviceInstances(scan, state.primaryHardwareId);
    SilentView view;
    RunContext context{platform, state, &view};
    RunCleanupWorker(context);
}

struct RunRig {
    MemoryMachine machine;
    Platform platform = machine.platform();
    RunState state;
    RunContext context{platform, state, nullptr};

    // A present device: an Enum instance key with a class GUID.
    void AddDevice(const std::string& enumerator, const std::string& device,
                   const std::string& instance, const std::string& description) {
        const std::string path =
            "SYSTEM\\CurrentControlSet\\Enum\\" + enumerator + "\\" + device + "\\" + instance;
        machine.SetString(Root::LocalMachine, path, "ClassGUID", kMediaClassGuid);
        machine.SetString(Root::LocalMachine, path, "DeviceDesc", description);
        machine.SetValue(Root::LocalMachine, path, "HardwareID", kRegMultiSz,
                         enumerator + "\\" + device + std::string(2, '\0'));
    }

    bool DevicePresent(const std::string& enumerator, const std::string& device,
                       const std::string& instance) const {
        return machine.KeyExists(
            Root::LocalMachine,
            "SYSTEM\\CurrentControlSet\\Enum\\" + enumerator + "\\" + device + "\\" + instance);
    }

    std::string LogText() const {
        return machine.FileExists(kLogPath) ? machine.FileContent(kLogPath) : std::string();
    }

    // The log's lines without their CR LF; a missing log reads as no lines.
    std::vector<std::string> LogLines() const {
        std::vector<std::string> lines;
        const std::string text = LogText();
        size_t start = 0;
        for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
            lines.push_back(text.substr(start, end - start));
        }
        if (start != text.size()) lines.push_back("<unterminated>" + text.substr(start));
        return lines;
    }
};

}  // namespace cvp::test
