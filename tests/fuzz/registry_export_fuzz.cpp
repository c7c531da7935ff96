// The regedit export reader on arbitrary bytes. A refused export must leave the edit
// list exactly as it was (images are never half-loaded); an accepted one must apply to
// the memory machine, or be refused there with the machine untouched, and dump.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "platform/image/machine_image.h"
#include "platform/memory/memory_machine.h"

namespace {

const std::vector<std::string> kRoots = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                         "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                         "HKEY_CURRENT_CONFIG"};

bool SameEdit(const cvp::RegistryEdit& a, const cvp::RegistryEdit& b) {
    return a.kind == b.kind && a.root == b.root && a.path == b.path &&
           a.valueName == b.valueName && a.type == b.type && a.data == b.data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // A list that already holds an edit, as when several exports are read into one.
    cvp::RegistryEdit earlier;
    earlier.kind = cvp::RegistryEdit::Kind::SetValue;
    earlier.path = "SOFTWARE\\Earlier";
    earlier.valueName = "Kept";
    earlier.type = 1;
    earlier.data = {'k', 0};
    std::vector<cvp::RegistryEdit> edits = {earlier};
    std::string error = "untouched";

    if (!cvp::ReadRegistryExport("registry.reg", bytes, &edits, &error)) {
        FUZZ_CHECK(edits.size() == 1 && SameEdit(edits[0], earlier),
                   "a refused export changed the edit list");
        FUZZ_CHECK(error.rfind("registry.reg:", 0) == 0, "a refusal names no file and line");
        return 0;
    }
    FUZZ_CHECK(!edits.empty() && SameEdit(edits[0], earlier),
               "an accepted export lost the edits read before it");

    cvp::MemoryMachine machine;
    const std::vector<std::string> before = machine.DumpRegistry(kRoots);
    const std::vector<std::string> filesBefore = machine.DumpFiles();
    cvp::MachineImage image;
    image.registry = std::move(edits);
    std::string applyError;
    if (!machine.Apply(image, &applyError)) {
        FUZZ_CHECK(machine.DumpRegistry(kRoots) == before,
                   "a refused image changed the registry");
        FUZZ_CHECK(machine.DumpFiles() == filesBefore, "a refused image changed the files");
        return 0;
    }
    const std::vector<std::string> after = machine.DumpRegistry(kRoots);
    FUZZ_CHECK(!after.empty(), "an applied image dumps nothing, not even its earlier key");
    machine.DumpFiles();
    return 0;
}
