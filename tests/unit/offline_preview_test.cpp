// The offline preview's reading of what a technician sends: regedit exports (refused with
// FILE:LINE when they are none, malformed or cut short, and when they hold more than the
// preview keeps in memory), the started devices they show, and the folder listing. That
// its preview equals the live one on every scenario image is held under Wine
// (tests/scenarios/wine_side.sh).
#include <gtest/gtest.h>

#include <sstream>
#include <streambuf>
#include <string>

#include "offline/offline_machine.h"
#include "preview/preview_run.h"
#include "scenario/traces.h"

namespace cvp::test {
namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

std::string ReadError(OfflineMachine& machine, const std::string& text) {
    std::istringstream in(text);
    std::string error;
    EXPECT_FALSE(machine.ReadExport("system.reg", in, &error));
    return error;
}

TEST(OfflinePreview, AnExportThatIsNoneOrIsMalformedOrCutShortIsRefusedWithFileAndLine) {
    OfflineMachine machine;
    const std::string key = "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\BT848]\r\n";
    EXPECT_EQ(ReadError(machine, "MZ\x90\0\3\0\0\0"),
              "system.reg:1: not a regedit export (unknown header)");
    EXPECT_EQ(ReadError(machine, kHeader + key + "\"Start\"=dword:00000003\r\n"),
              "system.reg:4: the export stops before regedit's closing empty line: is it cut "
              "short?");
    EXPECT_EQ(ReadError(machine, kHeader + key + "\"ImagePath\"=\"system32\\\\dri"),
              "system.reg:4: unterminated quote");
    EXPECT_EQ(ReadError(machine, kHeader + key + "\"Start\"=dword:3\r\nStart=3\r\n\r\n"),
              "system.reg:5: unexpected text");
    // A UTF-16 export cut in the middle of a character.
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string(kHeader) + key) utf16 += std::string{c, '\0'};
    utf16.pop_back();
    EXPECT_EQ(ReadError(machine, utf16), "system.reg:3: odd number of bytes in UTF-16 text");
}

// An export as big as a caller likes, made as it is read: `keys` keys below Enum, each
// with one value.
class GeneratedExport : public std::streambuf {
  public:
    explicit GeneratedExport(int keys) : keys_(keys) { Refill(); }

  protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        return Refill() ? traits_type::to_int_type(*gptr()) : traits_type::eof();
    }

  private:
    bool Refill() {
        if (next_ > keys_) return false;
        chunk_ = next_ == 0 ? kHeader : "";
        for (int end = std::min(next_ + 1000, keys_ + 1); next_ < end; ++next_) {
            chunk_ += "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\LEGACY_" +
                      std::to_string(next_) + "]\r\n\"DeviceDesc\"=\"Device\"\r\n\r\n";
        }
        setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
        return true;
    }

    int keys_;
    int next_ = 0;
    std::string chunk_;
};

TEST(OfflinePreview, AnExportBeyondWhatThePreviewHoldsIsRefusedSayingWhy) {
    OfflineLimits limits;
    limits.entries = 5000;
    OfflineMachine machine(limits);
    GeneratedExport million(1'000'000);
    std::istream in(&million);
    std::string error;
    EXPECT_FALSE(machine.ReadExport("system.reg", in, &error));
    // After 2,500 keys and their values comes the key that is one too many: the header
    // takes two lines, each key three.
    EXPECT_EQ(error,
              "system.reg:7503: the areas a run reads hold more than 5000 keys and "
              "values or 128 MiB of data here; the offline preview holds them in memory "
              "and stops");
}

TEST(OfflinePreview, DevicesAreTheStartedOnesAndFilesAreTheListedOnes) {
    const std::string video = "SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_109E&DEV_036E\\4&1&0&20F0";
    const std::string audio = "SYSTEM\\CurrentControlSet\\Enum\\PCI\\VEN_109E&DEV_0878\\4&1&0&21F0";
    const std::string started =
        std::string(kHeader) + "[HKEY_LOCAL_MACHINE\\" + video + "]\r\n" +
        "\"DeviceDesc\"=\"@oem3.inf,%vcap%;Vistrel QX4100 XP WDM Video Capture\"\r\n"
        "\"ClassGUID\"=\"{4D36E96C-E325-11CE-BFC1-08002BE10318}\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\" +
        video +
        "\\Control]\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\" +
        audio +
        "]\r\n"
        "\"DeviceDesc\"=\"Vistrel QX4100 XP WDM Audio Capture\"\r\n"
        "\"ClassGUID\"=\"{4D36E96C-E325-11CE-BFC1-08002BE10318}\"\r\n\r\n";
    // Windows 2000's folder, a folder below it the run does not look in, and an INF whose
    // catalogue names the family.
    const std::string listing =
        "C:\\WINNT\\inf\r\nC:\\WINNT\\Help\r\n\r\n"
        "C:\\WINNT\\inf\\oem3.inf\r\nC:\\WINNT\\Help\\vs4kvcap.sys\r\n"
        "C:\\WINNT\\system32\\drivers\\vs4kvcap.sys\r\n\r\n"
        "===== C:\\WINNT\\inf\\oem3.inf\r\n[Version]\r\nCatalogFile=vs4kvcap.cat\r\n";
    OfflineMachine machine;
    std::istringstream exported(started);
    std::istringstream listed(listing);
    std::string error;
    ASSERT_TRUE(machine.ReadExport("system.reg", exported, &error)) << error;
    ASSERT_TRUE(machine.ReadListing("listing.txt", listed, &error)) << error;

    std::string preview;
    ASSERT_TRUE(PreviewRun(machine.platform(), "878", &preview));
    preview = machine.AsListed(preview);
    const std::vector<std::string> lines = scenario::SplitLines(preview);
    const auto has = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(
        has("device Vistrel QX4100 XP WDM Video Capture (PCI\\VEN_109E&DEV_036E\\4&1&0&20F0)"))
        << preview;
    EXPECT_FALSE(
        has("device Vistrel QX4100 XP WDM Audio Capture (PCI\\VEN_109E&DEV_0878\\4&1&0&21F0)"))
        << preview;
    EXPECT_TRUE(has("file C:\\WINNT\\inf\\oem3.inf")) << preview;
    EXPECT_TRUE(has("file C:\\WINNT\\system32\\drivers\\vs4kvcap.sys")) << preview;
    EXPECT_FALSE(has("file C:\\WINNT\\Help\\vs4kvcap.sys")) << preview;

    std::istringstream other("C:\\WINNT\\inf\r\nD:\\Data\r\n");
    EXPECT_FALSE(OfflineMachine().ReadListing("listing.txt", other, &error));
    EXPECT_EQ(error, "listing.txt:2: not below the Windows folder C:\\WINNT, as the first line is");
}

// On Windows CurrentControlSet is a link to the control set SYSTEM\Select "Current"
// names, and regedit exports the same keys under both names: the run removes them once,
// by the first name it walks, and so does the preview. A set that differs is a set of
// its own; an export with the numbered set alone gives CurrentControlSet its keys.
TEST(OfflinePreview, CurrentControlSetIsTheLinkRegeditExportedTwice) {
    const auto service = [](const std::string& set, const std::string& start) {
        return "[HKEY_LOCAL_MACHINE\\SYSTEM\\" + set +
               "\\Services\\BT848]\r\n\"Start\"=dword:" + start + "\r\n\r\n";
    };
    const std::string select =
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\r\n\"Current\"=dword:00000001\r\n\r\n";
    const auto logged = [](const std::string& text, const std::string& set) {
        std::string preview;
        OfflineMachine machine;
        std::istringstream in(kHeader + text);
        std::string error;
        EXPECT_TRUE(machine.ReadExport("system.reg", in, &error)) << error;
        EXPECT_TRUE(PreviewRun(machine.platform(), "878", &preview));
        return preview.find("HKEY_LOCAL_MACHINE\\SYSTEM\\" + set + "\\Services\\BT848\\\r\n") !=
               std::string::npos;
    };
    const std::string linked =
        service("ControlSet001", "00000003") + service("CurrentControlSet", "00000003") + select;
    EXPECT_TRUE(logged(linked, "CurrentControlSet"));
    EXPECT_FALSE(logged(linked, "ControlSet001"));

    const std::string own =
        service("ControlSet001", "00000004") + service("CurrentControlSet", "00000003") + select;
    EXPECT_TRUE(logged(own, "CurrentControlSet"));
    EXPECT_TRUE(logged(own, "ControlSet001"));

    const std::string numberedOnly = service("ControlSet001", "00000003") + select;
    EXPECT_TRUE(logged(numberedOnly, "CurrentControlSet"));
    EXPECT_FALSE(logged(numberedOnly, "ControlSet001"));
}

}  // namespace
}  // namespace cvp::test
