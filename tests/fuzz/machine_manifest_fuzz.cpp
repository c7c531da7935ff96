// The machine.txt reader on arbitrary text, over a small image whose keys and files it
// may name. A refused manifest must leave the image as it was.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "platform/image/machine_image.h"
#include "platform/image/machine_manifest.h"
#include "platform/memory/memory_machine.h"

namespace {

cvp::MachineImage SmallImage() {
    cvp::MachineImage image;
    cvp::RegistryEdit key;
    key.path = "SYSTEM\\CurrentControlSet\\Services\\BT848";
    image.registry.push_back(key);
    image.files.push_back({"C:\\windows", true, 0x10, ""});
    image.files.push_back({"C:\\windows\\inf", true, 0x10, ""});
    image.files.push_back({"C:\\windows\\inf\\oem1.inf", false, 0x80, "[Version]\r\n"});
    image.files.push_back({"C:\\Program Files", true, 0x10, ""});
    return image;
}

std::string Describe(const cvp::MachineImage& image) {
    std::string text;
    for (const cvp::ImageFile& file : image.files) {
        text += file.path + "|" + std::to_string(file.directory) + "|" +
                std::to_string(file.attributes) + "|" + file.content + "\n";
    }
    for (const cvp::KeyDacl& dacl : image.dacls) {
        text += std::to_string(static_cast<int>(dacl.root)) + dacl.path + "|" + dacl.sddl + "\n";
    }
    for (const std::string& locked : image.lockedFiles) text += "locked " + locked + "\n";
    text += std::to_string(image.registry.size());
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    cvp::MachineImage image = SmallImage();
    const std::string before = Describe(image);
    std::string error;
    if (!cvp::ReadMachineManifest(text, &image, &error)) {
        FUZZ_CHECK(Describe(image) == before, "a refused manifest changed the image");
        FUZZ_CHECK(error.rfind("machine.txt:", 0) == 0, "a refusal names no file and line");
        return 0;
    }
    // What the reader accepted, the machine must take or refuse whole.
    cvp::MemoryMachine machine;
    std::string applyError;
    machine.Apply(image, &applyError);
    machine.DumpFiles();
    return 0;
}
