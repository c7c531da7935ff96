#include "run/plain_file.h"

#include <cstring>

#include "run/text.h"

namespace cvp {
namespace {

constexpr char kLocalPrefix[] = "\\\\?\\";

// Whether the system followed the path to another file. A final path the system can't
// give (before Vista) leaves the question to the other tests.
bool LeadsElsewhere(Files& files, OpenedFile& file, const char* path) {
    char finalPath[kTextSize * 2];
    const Dword finalLength = file.FinalPath(finalPath, sizeof finalPath);
    if (finalLength == 0) return false;
    char fullPath[kTextSize * 2];
    const Dword fullLength = files.FullPath(path, fullPath, sizeof fullPath);
    if (finalLength >= sizeof finalPath || fullLength == 0 || fullLength >= sizeof fullPath) {
        return true;
    }
    const char* opened = finalPath;
    if (std::strncmp(opened, kLocalPrefix, std::strlen(kLocalPrefix)) == 0) {
        opened += std::strlen(kLocalPrefix);
    }
    return std::strlen(opened) != fullLength || !StartsWithIgnoringCase(opened, fullPath);
}

bool IsPlainFile(Files& files, OpenedFile& file, const char* path) {
    FileInformation information;
    return file.ReadInformation(&information) &&
           (information.attributes & kAttrReparsePoint) == 0 && information.links == 1 &&
           !LeadsElsewhere(files, file, path);
}

}  // namespace

bool AppendToPlainFile(Files& files, const char* path, const char* data, Dword size) {
    // Append-only access puts every write at the end of the file, also when another
    // instance appends at the same time; one write per call keeps a line whole. The
    // tests look at the file opened, so that nothing can be swapped in between.
    std::unique_ptr<OpenedFile> file =
        files.OpenFileAt(path, kFileAppendData, kFileShareRead, kOpenAlways,
                         kFileFlagOpenReparsePoint | kAttrNormal);
    return file && IsPlainFile(files, *file, path) && file->Write(data, size);
}

}  // namespace cvp
