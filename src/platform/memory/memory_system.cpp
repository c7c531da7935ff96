// The system calls of the in-memory machine: sleeps recorded, the English string
// table, and the locale, version and PCI answers a test sets.
#include <cstring>
#include <string_view>

#include "platform/memory/machine_state.h"
#include "platform/string_table.h"

namespace cvp {
namespace {

constexpr struct {
    unsigned id;
    std::string_view text;
} kEnglishTexts[] = {
    {IDS_STAGE_DEVICES, TEXT_STAGE_DEVICES},
    {IDS_STAGE_INF_FILES, TEXT_STAGE_INF_FILES},
    {IDS_STAGE_DRIVER_FILES, TEXT_STAGE_DRIVER_FILES},
    {IDS_STAGE_OTHER_FILES, TEXT_STAGE_OTHER_FILES},
    {IDS_STAGE_REGISTRY, TEXT_STAGE_REGISTRY},
    {IDS_RESULT_DONE, TEXT_RESULT_DONE},
    {IDS_PROGRESS_LABEL, TEXT_PROGRESS_LABEL},
    {IDS_RESULT_FAILED, TEXT_RESULT_FAILED},
    {IDS_BUTTON_EXIT, TEXT_BUTTON_EXIT},
    {IDS_REFUSED_CAPTION, TEXT_REFUSED_CAPTION},
    {IDS_REFUSED_64_BIT, TEXT_REFUSED_64_BIT},
    {IDS_REFUSED_NOT_ADMINISTRATOR, TEXT_REFUSED_NOT_ADMINISTRATOR},
};

}  // namespace

// Processes still running have surely ended by the time a pause is over, so the
// modules they hold are free again (also those of hung processes: the purger pauses
// after a wait it gave up on).
void MemoryMachine::Sleep(Dword milliseconds) {
    memory::MachineState& machine = state_->machine;
    machine.sleeps.push_back(milliseconds);
    machine.moduleLoads.clear();
}

// LoadStringA: at most size - 1 characters and a NUL; the count copied.
int MemoryMachine::LoadText(unsigned id, char* buffer, int size) {
    if (buffer == nullptr || size <= 0) return 0;
    for (const auto& entry : kEnglishTexts) {
        if (entry.id != id) continue;
        const size_t count = entry.text.size() < static_cast<size_t>(size - 1)
                                 ? entry.text.size()
                                 : static_cast<size_t>(size - 1);
        std::memcpy(buffer, entry.text.data(), count);
        buffer[count] = '\0';
        return static_cast<int>(count);
    }
    buffer[0] = '\0';
    return 0;
}

// GetLocaleInfoA: the size needed when `size` is 0, 0 when the buffer is too small,
// else the characters copied with the NUL.
int MemoryMachine::UserCountryCode(char* buffer, int size) {
    const std::string& code = state_->machine.countryCode;
    const int needed = static_cast<int>(code.size()) + 1;
    if (size == 0) return needed;
    if (buffer == nullptr || size < needed) return 0;
    std::memcpy(buffer, code.c_str(), static_cast<size_t>(needed));
    return needed;
}

bool MemoryMachine::ReadOsVersion(OsVersion* version) {
    if (version == nullptr) return false;
    *version = state_->machine.osVersion;
    return true;
}

Dword MemoryMachine::AnsiCodePage() { return state_->machine.ansiCodePage; }

bool MemoryMachine::ProcessUser(std::string* sid) {
    if (sid == nullptr) return false;
    *sid = state_->machine.processUser;
    return true;
}

bool MemoryMachine::ReadPciConfig(Dword bus, Dword device, Dword reg, Dword* value) {
    const memory::MachineState& machine = state_->machine;
    if (value == nullptr || !machine.hasPciConfig) return false;
    const auto found = machine.pciConfig.find({bus, device, reg});
    *value = found == machine.pciConfig.end() ? 0xFFFFFFFFu : found->second;
    return true;
}

bool MemoryMachine::QueryWow64(bool* wow64) {
    if (wow64 == nullptr) return false;
    *wow64 = state_->machine.wow64;
    return true;
}

bool MemoryMachine::CheckAdministratorsMembership(bool* member) {
    if (member == nullptr) return false;
    *member = state_->machine.administrator;
    return true;
}

}  // namespace cvp
