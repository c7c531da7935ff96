// Loads a machine image folder: registry.reg, drive_c/ and machine.txt, each optional.
#include "platform/image/machine_image.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/image/ascii_text.h"
#include "platform/image/machine_manifest.h"
#include "platform/image/windows_names.h"

namespace cvp {
namespace {

namespace fs = std::filesystem;

bool ReadWholeFile(const fs::path& path, std::string* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string content;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        content.append(buffer, static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) return false;
    *bytes = std::move(content);
    return true;
}

// drive_c/ as ImageFiles, parents before children, each directory's entries in name
// order so that two loads of one folder give the same image.
class DriveReader {
  public:
    explicit DriveReader(std::vector<ImageFile>* files) : files_(files) {}

    bool ReadDirectory(const fs::path& directory, const std::string& windowsPath,
                       const std::string& shownPath) {
        std::vector<fs::path> entries;
        if (!ListSorted(directory, shownPath, &entries)) return false;
        for (const fs::path& entry : entries) {
            const std::string name = entry.filename().string();
            const std::string path = windowsPath + "\\" + name;
            const std::string shown = shownPath + "/" + name;
            if (!IsWindowsFileName(name)) return Fail(shown + ": not a name Windows can hold");
            if (path.size() > kMaxFilePathLength)
                return Fail(shown + ": path longer than MAX_PATH");
            std::error_code code;
            const fs::file_status status = fs::symlink_status(entry, code);
            if (code || fs::is_symlink(status))
                return Fail(shown + ": symbolic links are not taken");
            ImageFile file;
            file.path = path;
            file.directory = fs::is_directory(status);
            file.attributes = file.directory ? kAttrDirectory : kAttrArchive;
            if (!file.directory && !ReadWholeFile(entry, &file.content)) {
                return Fail(shown + ": cannot read");
            }
            files_->push_back(std::move(file));
            if (fs::is_directory(status) && !ReadDirectory(entry, path, shown)) return false;
        }
        return true;
    }

    const std::string& error() const { return error_; }

  private:
    bool ListSorted(const fs::path& directory, const std::string& shownPath,
                    std::vector<fs::path>* entries) {
        std::error_code code;
        for (fs::directory_iterator it(directory, code), end; !code && it != end;
             it.increment(code)) {
            entries->push_back(it->path());
        }
        if (code) return Fail(shownPath + ": cannot list");
        std::sort(entries->begin(), entries->end(),
                  [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });
        // Windows can't hold two names that differ only in case in one directory.
        std::set<std::string> seen;
        for (const fs::path& entry : *entries) {
            if (!seen.insert(UpperCopy(entry.filename().string())).second) {
                return Fail(shownPath + "/" + entry.filename().string() +
                            ": another name differs from it only in case");
            }
        }
        return true;
    }

    bool Fail(const std::string& what) {
        error_ = what;
        return false;
    }

    std::vector<ImageFile>* files_;
    std::string error_;
};

bool Exists(const fs::path& path) {
    std::error_code code;
    return fs::exists(path, code);
}

bool LoadRegistry(const fs::path& folder, MachineImage* image, std::string* error) {
    const fs::path file = folder / "registry.reg";
    if (!Exists(file)) return true;
    std::string bytes;
    if (!ReadWholeFile(file, &bytes)) {
        *error = "registry.reg: cannot read";
        return false;
    }
    return ReadRegistryExport("registry.reg", bytes, &image->registry, error);
}

bool LoadDrive(const fs::path& folder, MachineImage* image, std::string* error) {
    const fs::path drive = folder / "drive_c";
    if (!Exists(drive)) return true;
    std::error_code code;
    if (!fs::is_directory(drive, code)) {
        *error = "drive_c: not a directory";
        return false;
    }
    DriveReader reader(&image->files);
    if (!reader.ReadDirectory(drive, "C:", "drive_c")) {
        *error = reader.error();
        return false;
    }
    return true;
}

bool LoadManifest(const fs::path& folder, MachineImage* image, std::string* error) {
    const fs::path file = folder / "machine.txt";
    if (!Exists(file)) return true;
    std::string text;
    if (!ReadWholeFile(file, &text)) {
        *error = "machine.txt: cannot read";
        return false;
    }
    return ReadMachineManifest(text, image, error);
}

}  // namespace

bool LoadMachineImage(const std::string& folder, MachineImage* image, std::string* error) {
    std::error_code code;
    if (!fs::is_directory(folder, code)) {
        *error = folder + ": not a machine image folder";
        return false;
    }
    MachineImage loaded;
    if (!LoadRegistry(folder, &loaded, error) || !LoadDrive(folder, &loaded, error) ||
        !LoadManifest(folder, &loaded, error)) {
        return false;
    }
    *image = std::move(loaded);
    return true;
}

}  // namespace cvp
