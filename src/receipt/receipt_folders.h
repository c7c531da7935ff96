// Where receipts are kept: one folder per run in %WINDIR%\CVPurger\Receipts, named by
// the run's start and its family's token so that names sort by time
// ("2024-06-07_09-00-00.000_878"), the newest ten kept.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace cvp {

constexpr const char* kReceiptsFolderName = "Receipts";
constexpr const char* kCopiesFolderName = "Files";
constexpr const char* kSummaryName = "Summary.txt";
constexpr const char* kRestoreLogName = "Restore.log";
constexpr const char* kRestoredMarkName = "Restored.txt";
constexpr size_t kReceiptsKept = 10;

// "C:\WINDOWS\CVPurger\Receipts"; "" when the Windows directory is not known.
std::string ReceiptsFolder(Files& files);

std::string ReceiptName(const LocalTime& start, const char* token);

// The receipt folders in `receipts`, oldest first; other entries are not receipts.
std::vector<std::string> ReceiptNames(Files& files, const std::string& receipts);

// Deletes a receipt folder with all it holds.
void DeleteReceipt(Files& files, const std::string& folder);

// Deletes the oldest receipts until at most `keep` are left.
void PruneReceipts(Files& files, const std::string& receipts, size_t keep);

}  // namespace cvp
