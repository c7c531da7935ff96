#include "receipt/receipt_folders.h"

#include <algorithm>
#include <cstdio>

#include "run/state_folder.h"

namespace cvp {
namespace {

// "dddd-dd-dd_dd-dd-dd.ddd_": a receipt name's start, digits where the 'd's are.
constexpr const char kNamePattern[] = "dddd-dd-dd_dd-dd-dd.ddd_";

bool IsReceiptName(const std::string& name) {
    const size_t length = sizeof kNamePattern - 1;
    if (name.size() <= length) return false;
    for (size_t i = 0; i < length; ++i) {
        const bool digit = name[i] >= '0' && name[i] <= '9';
        if (kNamePattern[i] == 'd' ? !digit : name[i] != kNamePattern[i]) return false;
    }
    return true;
}

// The names in a folder, but "." and "..".
std::vector<FindData> Entries(Files& files, const std::string& folder) {
    std::vector<FindData> entries;
    FindData entry;
    std::unique_ptr<FileSearch> search = files.FindFirst((folder + "\\*").c_str(), &entry);
    for (bool more = search != nullptr; more; more = search->Next(&entry)) {
        const std::string name = entry.name;
        if (name != "." && name != "..") entries.push_back(entry);
    }
    return entries;
}

}  // namespace

// A receipt holds files and one folder of copies; a link is removed as itself.
void DeleteReceipt(Files& files, const std::string& folder) {
    for (const FindData& entry : Entries(files, folder)) {
        const std::string path = folder + "\\" + entry.name;
        if ((entry.attributes & kAttrDirectory) != 0 &&
            (entry.attributes & kAttrReparsePoint) == 0) {
            DeleteReceipt(files, path);
        } else if ((entry.attributes & kAttrDirectory) != 0) {
            files.RemoveDirectoryAt(path.c_str());
        } else {
            files.SetAttributes(path.c_str(), kAttrNormal);
            files.DeleteFileAt(path.c_str());
        }
    }
    files.RemoveDirectoryAt(folder.c_str());
}

std::string ReceiptsFolder(Files& files) {
    char windows[kTextSize];
    const unsigned length = files.WindowsDirectory(windows, kTextSize);
    if (length == 0 || length >= kTextSize) return "";
    return std::string(windows) + "\\" + kStateFolderName + "\\" + kReceiptsFolderName;
}

std::string ReceiptName(const LocalTime& start, const char* token) {
    char time[96];  // room for any unsigned values, whatever the compiler knows of them
    std::snprintf(time, sizeof time, "%04u-%02u-%02u_%02u-%02u-%02u.%03u_", start.year, start.month,
                  start.day, start.hour, start.minute, start.second, start.milliseconds);
    return time + std::string(token);
}

std::vector<std::string> ReceiptNames(Files& files, const std::string& receipts) {
    std::vector<std::string> names;
    for (const FindData& entry : Entries(files, receipts)) {
        if ((entry.attributes & kAttrDirectory) != 0 && IsReceiptName(entry.name)) {
            names.emplace_back(entry.name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

void PruneReceipts(Files& files, const std::string& receipts, size_t keep) {
    const std::vector<std::string> names = ReceiptNames(files, receipts);
    for (size_t i = 0; i + keep < names.size(); ++i) {
        DeleteReceipt(files, receipts + "\\" + names[i]);
    }
}

}  // namespace cvp
