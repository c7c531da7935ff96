#include <memory>
#include <string>

#include "contract/test_machine.h"
#include "platform/memory/memory_machine.h"

namespace cvp::contract {
namespace {

class MemoryTestMachine : public TestMachine {
  public:
    Platform platform() override { return machine_.platform(); }

    bool Apply(const MachineImage& image, std::string* error) override {
        return machine_.Apply(image, error);
    }

    bool ReadFileBytes(const std::string& path, std::string* content) override {
        if (!machine_.FileExists(path)) return false;
        *content = machine_.FileContent(path);
        return true;
    }

    // Where a new MemoryMachine puts the program's current directory.
    std::string CurrentDirectory() override { return "C:\\cvpurger"; }

    bool AddHardLink(const std::string& existing, const std::string& link) override {
        machine_.AddHardLink(existing, link);
        return machine_.FileExists(link);
    }

    bool ReadOnlyFilesRefuseWrites() override { return true; }

    bool MakeKeyLink(const std::string&, const std::string&) override { return false; }

  private:
    MemoryMachine machine_;
};

}  // namespace

// Every test gets a new machine, so there is nothing left to clear.
std::unique_ptr<TestMachine> NewTestMachine() { return std::make_unique<MemoryTestMachine>(); }

}  // namespace cvp::contract
