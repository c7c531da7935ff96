// Started processes are recorded, not run. regsvr32 -u -s MODULE is the one program
// whose effect the purger looks at, so it is played out: the CLSID keys whose
// InprocServer32 names the module go, and the module stays loaded until the process
// is known to have ended.
#include <string_view>

#include "platform/image/ascii_text.h"
#include "platform/image/windows_names.h"
#include "platform/memory/key_access.h"
#include "platform/memory/machine_state.h"

namespace cvp {
namespace memory {
namespace {

constexpr const char* kClsidPath = "SOFTWARE\\Classes\\CLSID";

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

// A quoted token up to its closing quote (or the end), else up to the first blank.
std::string_view TakeToken(std::string_view* text) {
    std::string_view token;
    if (!text->empty() && text->front() == '"') {
        const size_t close = text->find('"', 1);
        token =
            text->substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
        text->remove_prefix(close == std::string_view::npos ? text->size() : close + 1);
    } else {
        const size_t blank = text->find_first_of(" \t");
        token = text->substr(0, blank);
        text->remove_prefix(blank == std::string_view::npos ? text->size() : blank);
    }
    return token;
}

// The module of "regsvr32.exe -u -s MODULE" (or /u /s, in either order, the program in
// any directory, quoted or not); false for any other command line.
bool UnregistrationModule(std::string_view commandLine, std::string* module) {
    std::string_view rest = SkipBlanks(commandLine);
    const std::string_view program = TakeToken(&rest);
    const std::string_view base = program.substr(program.find_last_of("\\/") + 1);
    if (!EqualsNoCase(base, "regsvr32.exe") && !EqualsNoCase(base, "regsvr32")) return false;
    std::string switches;
    while (true) {
        rest = SkipBlanks(rest);
        const bool isSwitch = rest.size() >= 2 && (rest[0] == '-' || rest[0] == '/') &&
                              (rest.size() == 2 || rest[2] == ' ' || rest[2] == '\t');
        if (!isSwitch) break;
        switches.push_back(LowerAscii(rest[1]));
        rest.remove_prefix(2);
    }
    if (switches != "us" && switches != "su") return false;
    rest = TrimBlanks(rest);
    const std::string_view path = rest.empty() || rest.front() != '"' ? rest : TakeToken(&rest);
    if (path.empty()) return false;
    *module = std::string(path);
    return true;
}

std::string ExpandSystemVariables(std::string text) {
    static constexpr struct {
        std::string_view name;
        std::string_view value;
    } kVariables[] = {
        {"%systemroot%", "C:\\windows"}, {"%windir%", "C:\\windows"}, {"%systemdrive%", "C:"}};
    for (const auto& variable : kVariables) {
        for (size_t at; (at = LowerCopy(text).find(variable.name)) != std::string::npos;) {
            text.replace(at, variable.name.size(), variable.value);
        }
    }
    return text;
}

// The file a module name leads LoadLibrary to, as a FileTree key: a bare name is
// looked for in system32, the Windows directory and the current directory; "" when
// the name can't be a path on C:.
std::string ModuleFileKey(const MachineState& machine, const std::string& moduleName) {
    if (moduleName.size() > kMaxFilePathLength) return "";
    const std::string text = ExpandSystemVariables(moduleName);
    FilePath path;
    if (text.find_first_of("\\/") != std::string::npos) {
        return machine.files.Resolve(text, &path) ? FileTree::Key(path.names) : "";
    }
    for (const char* directory : {"C:\\windows\\system32\\", "C:\\windows\\", ""}) {
        const std::string candidate = directory + text;
        if (machine.files.Resolve(candidate, &path) && machine.files.Find(path.names) != nullptr) {
            return FileTree::Key(path.names);
        }
    }
    return machine.files.Resolve("C:\\windows\\system32\\" + text, &path)
               ? FileTree::Key(path.names)
               : "";
}

// What DllUnregisterServer of such a module does: its CLSID keys go, each as
// SHDeleteKeyA would take it, so key DACLs still apply.
void UnregisterModule(MachineState& machine, const std::string& moduleKey) {
    RegKey* classIds = machine.registry.Find({Root::LocalMachine, kClsidPath});
    if (classIds == nullptr) return;
    std::vector<std::string> doomed;
    for (size_t i = 0; const RegKey* classId = classIds->ChildAt(i); ++i) {
        const RegKey* server = classId->FindChild("InprocServer32");
        const RegValue* module = server == nullptr ? nullptr : server->FindValue("");
        if (classId->name().front() == '{' && module != nullptr &&
            (module->type == kRegSz || module->type == kRegExpandSz) &&
            ModuleFileKey(machine, ValueText(*module)) == moduleKey) {
            doomed.push_back(classId->name());
        }
    }
    for (const std::string& name : doomed) {
        if (RegKey* classId = classIds->FindChild(name)) DeleteKeyTree(*classIds, *classId);
    }
}

// Programs every Windows has in system32, which this machine's C: does not list.
bool IsSystemProgram(const std::string& fileKey) {
    return fileKey == "C:\\WINDOWS\\SYSTEM32\\REGSVR32.EXE";
}

// A program file as CreateProcessA looks for it: ".exe" added to a name without an
// extension; a name without a directory in the current, system and Windows directories.
bool ProgramFileExists(const MachineState& machine, std::string name) {
    const size_t lastName = name.find_last_of("\\/:");
    if (name.find('.', lastName == std::string::npos ? 0 : lastName) == std::string::npos)
        name += ".exe";
    const bool bare = name.find_first_of("\\/:") == std::string::npos;
    for (const char* directory : {"", "C:\\windows\\system32\\", "C:\\windows\\"}) {
        FilePath path;
        if (!machine.files.Resolve(directory + name, &path)) continue;
        const FileNode* file = machine.files.Find(path.names);
        if ((file != nullptr && !file->directory) || IsSystemProgram(FileTree::Key(path.names)))
            return true;
        if (!bare) break;
    }
    return false;
}

}  // namespace

// An unquoted program path with blanks is tried up to each blank in turn, as
// CreateProcessA does ("C:\Program Files\a b.exe" may be "C:\Program.exe").
bool ProgramExists(const MachineState& machine, std::string_view commandLine) {
    std::string_view text = TrimBlanks(commandLine);
    if (!text.empty() && text.front() == '"')
        return ProgramFileExists(machine, std::string(TakeToken(&text)));
    for (size_t blank = text.find_first_of(" \t");; blank = text.find_first_of(" \t", blank + 1)) {
        if (ProgramFileExists(machine, std::string(text.substr(0, blank)))) return true;
        if (blank == std::string_view::npos) return false;
    }
}

std::shared_ptr<ModuleLoad> RunCommandLine(MachineState& machine, const std::string& commandLine) {
    std::string module;
    if (!UnregistrationModule(commandLine, &module)) return nullptr;
    const std::string moduleKey = ModuleFileKey(machine, module);
    FilePath path;
    // regsvr32 /s fails quietly on a module it can't load.
    if (moduleKey.empty() || !machine.files.Resolve(moduleKey, &path) ||
        machine.files.Find(path.names) == nullptr || machine.files.Find(path.names)->directory) {
        return nullptr;
    }
    UnregisterModule(machine, moduleKey);
    auto load = std::make_shared<ModuleLoad>();
    load->fileKey = moduleKey;
    machine.moduleLoads.push_back(load);
    return load;
}

namespace {

class MemoryProcess final : public Process {
  public:
    MemoryProcess(std::shared_ptr<ModuleLoad> module, bool hangs)
        : module_(std::move(module)), hangs_(hangs) {}

    // A process ends at once unless the machine hangs processes; when it ends, the
    // module it loaded is free again.
    bool Wait(Dword) override {
        if (hangs_) return false;
        if (module_) module_->loaded = false;
        return true;
    }

  private:
    std::shared_ptr<ModuleLoad> module_;
    bool hangs_;
};

}  // namespace
}  // namespace memory

std::unique_ptr<Process> MemoryMachine::Start(const char* commandLine,
                                              const char* currentDirectory) {
    memory::MachineState& machine = state_->machine;
    if (commandLine == nullptr || machine.failProcessStart ||
        !memory::ProgramExists(machine, commandLine)) {
        return nullptr;
    }
    // CreateProcessA refuses a current directory that is no directory.
    if (currentDirectory != nullptr) {
        const Dword attributes = GetAttributes(currentDirectory);
        if (attributes == kInvalidAttributes || (attributes & kAttrDirectory) == 0) return nullptr;
    }
    machine.startedProcesses.emplace_back(commandLine);
    machine.startDirectories.emplace_back(currentDirectory != nullptr ? currentDirectory : "");
    return std::make_unique<memory::MemoryProcess>(memory::RunCommandLine(machine, commandLine),
                                                   machine.hangProcesses);
}

}  // namespace cvp
