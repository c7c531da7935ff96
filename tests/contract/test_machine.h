// The machine a seam contract test runs on: the in-memory machine natively, the real
// Windows calls (under Wine) in the Windows build. The suite sets both up from the
// same image and expects the same answers from both.
#pragma once

#include <memory>
#include <string>

#include "platform/image/machine_image.h"
#include "platform/platform.h"

namespace cvp::contract {

// Where a test puts what it sets up. A new machine has neither; devices and anything
// else an image adds outside them are taken away again when the machine goes.
inline constexpr char kScratchKey[] = "SOFTWARE\\CVPurgerContract";  // under HKLM
inline constexpr char kScratchKeyObject[] = "MACHINE\\SOFTWARE\\CVPurgerContract";
inline constexpr char kScratchDir[] = "C:\\cvpurger-contract";

class TestMachine {
  public:
    virtual ~TestMachine() = default;

    virtual Platform platform() = 0;

    // Registry edits in order, then files in order (parents first), then key DACLs,
    // then file locks. False with `error` set when the image can't be applied.
    virtual bool Apply(const MachineImage& image, std::string* error) = 0;

    // The bytes of a file, read behind the seam's back, to check what was written.
    virtual bool ReadFileBytes(const std::string& path, std::string* content) = 0;

    // The directory a relative path lies in, without a trailing backslash.
    virtual std::string CurrentDirectory() = 0;

    // A second name for the file `existing` (CreateHardLinkA).
    virtual bool AddHardLink(const std::string& existing, const std::string& link) = 0;

    // Whether opening a read-only file for writing fails, as Windows makes it. Wine
    // leaves that to the Unix permissions, which do not stop root.
    virtual bool ReadOnlyFilesRefuseWrites() = 0;

    // Makes HKLM\`link` a registry link to HKLM\`target` (volatile, left for the prefix to
    // go with); false where the machine holds no links, as the in-memory one.
    virtual bool MakeKeyLink(const std::string& link, const std::string& target) = 0;
};

// A machine with the scratch key and directory absent.
std::unique_ptr<TestMachine> NewTestMachine();

}  // namespace cvp::contract
