// The in-memory machine's set-up, test helpers and faults.
#include "platform/memory/memory_machine.h"

#include "platform/image/machine_manifest.h"
#include "platform/memory/machine_state.h"

namespace cvp {
namespace {

memory::FileNode* PutPath(memory::MachineState& machine, const std::string& path, bool directory) {
    memory::FilePath resolved;
    if (!machine.files.Resolve(path, &resolved) || resolved.names.empty()) return nullptr;
    return machine.files.Put(resolved.names, directory);
}

const memory::FileNode* FindPath(const memory::MachineState& machine, const std::string& path) {
    memory::FilePath resolved;
    return machine.files.Resolve(path, &resolved) ? machine.files.Find(resolved.names) : nullptr;
}

std::shared_ptr<const Dacl> ParsedDacl(const std::string& sddl) {
    auto dacl = std::make_shared<Dacl>();
    return ParseDaclSddl(sddl, dacl.get()) ? dacl : nullptr;
}

}  // namespace

MemoryMachine::MemoryMachine() : state_(std::make_unique<State>()) {
    for (const char* directory :
         {"C:\\windows\\system32\\drivers", "C:\\windows\\inf", "C:\\cvpurger"}) {
        PutPath(state_->machine, directory, true);
    }
}

MemoryMachine::~MemoryMachine() = default;

Platform MemoryMachine::platform() { return Platform{*this, *this, *this, *this, *this}; }

void MemoryMachine::SetValue(Root root, const std::string& path, const std::string& name,
                             Dword type, const std::string& data) {
    if (memory::RegKey* key = state_->machine.registry.Create(CanonicalKey(root, path))) {
        key->SetValue(name, type, std::vector<unsigned char>(data.begin(), data.end()));
    }
}

void MemoryMachine::SetString(Root root, const std::string& path, const std::string& name,
                              const std::string& text) {
    SetValue(root, path, name, kRegSz, text + std::string(1, '\0'));
}

void MemoryMachine::CreateKey(Root root, const std::string& path) {
    state_->machine.registry.Create(CanonicalKey(root, path));
}

bool MemoryMachine::KeyExists(Root root, const std::string& path) const {
    return state_->machine.registry.Find(CanonicalKey(root, path)) != nullptr;
}

bool MemoryMachine::ValueExists(Root root, const std::string& path, const std::string& name) const {
    const memory::RegKey* key = state_->machine.registry.Find(CanonicalKey(root, path));
    return key != nullptr && key->FindValue(name) != nullptr;
}

void MemoryMachine::SetKeyDacl(Root root, const std::string& path, const std::string& sddl) {
    memory::RegKey* key = state_->machine.registry.Find(CanonicalKey(root, path));
    std::shared_ptr<const Dacl> dacl = ParsedDacl(sddl);
    if (key != nullptr && dacl != nullptr) key->SetDacl(std::move(dacl));
}

std::string MemoryMachine::KeyDacl(Root root, const std::string& path) const {
    const memory::RegKey* key = state_->machine.registry.Find(CanonicalKey(root, path));
    return key == nullptr ? "" : FormatDaclSddl(key->dacl());
}

void MemoryMachine::AddFile(const std::string& path, const std::string& content, Dword attributes) {
    if (memory::FileNode* file = PutPath(state_->machine, path, false)) {
        file->SetContent(content);
        file->attributes = ReportedAttributes(false, attributes);
    }
}

void MemoryMachine::AddDirectory(const std::string& path, Dword attributes) {
    if (memory::FileNode* directory = PutPath(state_->machine, path, true)) {
        directory->attributes = ReportedAttributes(true, attributes);
    }
}

void MemoryMachine::AddHardLink(const std::string& existing, const std::string& link) {
    const memory::FileNode* file = FindPath(state_->machine, existing);
    if (file == nullptr || file->directory) return;
    const std::shared_ptr<memory::FileBody> body = file->body;
    const Dword attributes = file->attributes;
    if (memory::FileNode* name = PutPath(state_->machine, link, false)) {
        name->body = body;
        name->attributes = attributes;
    }
}

void MemoryMachine::AddSymbolicLink(const std::string& link, const std::string& target) {
    if (memory::FileNode* file = PutPath(state_->machine, link, false)) {
        file->linkTarget = target;
        file->attributes = kAttrArchive | kAttrReparsePoint;
    }
}

void MemoryMachine::SetFileSecurity(const std::string& path, const std::string& sddl) {
    memory::FilePath resolved;
    memory::FileNode* node = state_->machine.files.Resolve(path, &resolved)
                                 ? state_->machine.files.Find(resolved.names)
                                 : nullptr;
    std::string owner;
    Dacl dacl;
    if (node != nullptr && ParseSecuritySddl(sddl, &owner, &dacl)) {
        node->security = "O:" + owner + FormatDaclSddl(dacl);
    }
}

bool MemoryMachine::FileExists(const std::string& path) const {
    return FindPath(state_->machine, path) != nullptr;
}

std::string MemoryMachine::FileContent(const std::string& path) const {
    const memory::FileNode* file = FindPath(state_->machine, path);
    return file == nullptr ? "" : file->content();
}

void MemoryMachine::SetCountryCode(const std::string& code) { state_->machine.countryCode = code; }

void MemoryMachine::SetOsVersion(const OsVersion& version) { state_->machine.osVersion = version; }

void MemoryMachine::SetAnsiCodePage(Dword codePage) { state_->machine.ansiCodePage = codePage; }

void MemoryMachine::SetPciConfig(Dword bus, Dword device, Dword reg, Dword value) {
    state_->machine.hasPciConfig = true;
    state_->machine.pciConfig[{bus, device, reg}] = value;
}

void MemoryMachine::SetWow64(bool wow64) { state_->machine.wow64 = wow64; }

void MemoryMachine::SetAdministrator(bool member) { state_->machine.administrator = member; }

const std::vector<Dword>& MemoryMachine::sleeps() const { return state_->machine.sleeps; }

const std::vector<std::string>& MemoryMachine::startedProcesses() const {
    return state_->machine.startedProcesses;
}

const std::vector<std::string>& MemoryMachine::startDirectories() const {
    return state_->machine.startDirectories;
}

const std::vector<std::string>& MemoryMachine::uninstalledInfs() const {
    return state_->machine.uninstalledInfs;
}

void MemoryMachine::DenyKey(Root root, const std::string& path) {
    SetKeyDacl(root, path, "D:(D;;KA;;;WD)");
}

void MemoryMachine::DenyKeyTakeover(Root root, const std::string& path) {
    DenyKey(root, path);
    if (const memory::RegKey* key = state_->machine.registry.Find(CanonicalKey(root, path))) {
        state_->machine.foreignOwnedKeys.push_back(key->weak_from_this());
    }
}

void MemoryMachine::FailValueDeletion(Root root, const std::string& path, const std::string& name) {
    if (const memory::RegKey* key = state_->machine.registry.Find(CanonicalKey(root, path))) {
        state_->machine.guardedValues.emplace_back(key->weak_from_this(), name);
    }
}

void MemoryMachine::LockFile(const std::string& path) {
    memory::FilePath resolved;
    if (state_->machine.files.Resolve(path, &resolved)) {
        state_->machine.lockedFiles.insert(memory::FileTree::Key(resolved.names));
    }
}

void MemoryMachine::FailDeviceRemoval(const std::string& instanceId) {
    state_->machine.failingRemovals.push_back(instanceId);
}

void MemoryMachine::FailProcessStart() { state_->machine.failProcessStart = true; }

void MemoryMachine::HangProcesses() { state_->machine.hangProcesses = true; }

void MemoryMachine::ClearFaults() {
    memory::MachineState& machine = state_->machine;
    machine.lockedFiles.clear();
    machine.failingRemovals.clear();
    machine.failProcessStart = false;
    machine.hangProcesses = false;
    machine.foreignOwnedKeys.clear();
    machine.guardedValues.clear();
}

}  // namespace cvp
