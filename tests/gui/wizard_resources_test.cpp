// The resources compiled into CVPurger.exe, read back from the file: every page,
// string, icon, accelerator table and banner in English (1033) and Traditional
// Chinese (1028), the dialog templates' sizes and styles, the banner's size, the
// manifest and the version.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gui/wizard_driver.h"

namespace gui {
namespace {

constexpr WORD kEnglish = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
constexpr WORD kChinese = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL);

class WizardResources : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryExA(TestPaths().purger.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() {
        if (module_ != nullptr) FreeLibrary(module_);
        module_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(module_, nullptr) << "CVPurger.exe could not be opened"; }

    // The bytes of a resource in one language; empty when it is missing.
    static std::string Bytes(const char* type, const char* name, WORD language) {
        HRSRC info = FindResourceExA(module_, type, name, language);
        if (info == nullptr) return {};
        HGLOBAL loaded = LoadResource(module_, info);
        const char* data = static_cast<const char*>(LockResource(loaded));
        return data == nullptr ? std::string() : std::string(data, SizeofResource(module_, info));
    }

    static HMODULE module_;
};

HMODULE WizardResources::module_ = nullptr;

struct Template {
    DWORD style;
    short cx;
    short cy;
    WORD items;
};

// The header of a DLGTEMPLATEEX.
bool ReadTemplate(const std::string& bytes, Template* result) {
    if (bytes.size() < 26) return false;
    WORD version = 0;
    WORD signature = 0;
    std::memcpy(&version, bytes.data(), 2);
    std::memcpy(&signature, bytes.data() + 2, 2);
    if (version != 1 || signature != 0xFFFF) return false;
    std::memcpy(&result->style, bytes.data() + 12, 4);
    std::memcpy(&result->items, bytes.data() + 16, 2);
    std::memcpy(&result->cx, bytes.data() + 22, 2);
    std::memcpy(&result->cy, bytes.data() + 24, 2);
    return true;
}

TEST_F(WizardResources, EveryPageExistsInBothLanguagesWithItsSizeAndStyle) {
    struct Page {
        int id;
        short cx, cy;
        DWORD style;  // without DS_SETFONT
        WORD items;
    };
    const Page pages[] = {
        {900, 320, 199, DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 7},
        {905, 320, 199, WS_CAPTION | WS_SYSMENU, 5},
        {901, 320, 199, WS_CAPTION | WS_SYSMENU, 5},
        {904, 285, 67, DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 6},
    };
    for (WORD language : {kEnglish, kChinese}) {
        for (const Page& page : pages) {
            Template found = {};
            ASSERT_TRUE(ReadTemplate(Bytes(RT_DIALOG, MAKEINTRESOURCEA(page.id), language), &found))
                << "dialog " << page.id << " in language " << language;
            EXPECT_EQ(found.cx, page.cx) << page.id;
            EXPECT_EQ(found.cy, page.cy) << page.id;
            EXPECT_EQ(found.style & ~static_cast<DWORD>(DS_SETFONT), page.style) << page.id;
            EXPECT_EQ(found.items, page.items) << page.id;
        }
    }
}

TEST_F(WizardResources, StringsIconAcceleratorsAndBannerExistInBothLanguages) {
    for (WORD language : {kEnglish, kChinese}) {
        // Strings 3002 to 3010 live in the blocks of ids 2992-3007 and 3008-3023.
        EXPECT_FALSE(Bytes(RT_STRING, MAKEINTRESOURCEA(3002 / 16 + 1), language).empty());
        EXPECT_FALSE(Bytes(RT_STRING, MAKEINTRESOURCEA(3010 / 16 + 1), language).empty());
        EXPECT_FALSE(Bytes(RT_GROUP_ICON, MAKEINTRESOURCEA(300), language).empty());
        const std::string table = Bytes(RT_ACCELERATOR, MAKEINTRESOURCEA(100), language);
        ASSERT_EQ(table.size(), 16u) << "two ACCEL entries of 8 bytes";
        // fVirt, key, command: Ctrl+N is Next, Ctrl+B is Back, the last entry marked.
        const auto word = [&table](size_t at) {
            WORD value = 0;
            std::memcpy(&value, table.data() + at, 2);
            return value;
        };
        EXPECT_EQ(word(0) & 0x7F, FVIRTKEY | FCONTROL);
        EXPECT_EQ(word(2), 'N');
        EXPECT_EQ(word(4), 32772);
        EXPECT_EQ(word(8) & 0x7F, FVIRTKEY | FCONTROL);
        EXPECT_EQ(word(8) & 0x80, 0x80);
        EXPECT_EQ(word(10), 'B');
        EXPECT_EQ(word(12), 32773);

        const std::string banner = Bytes("JPG", MAKEINTRESOURCEA(200), language);
        ASSERT_GT(banner.size(), 4u) << "no banner in language " << language;
        EXPECT_EQ(banner.substr(0, 2), "\xFF\xD8") << "not a JPEG";
        // The frame header (SOF0) carries the height and width.
        const size_t frame = banner.find("\xFF\xC0");
        ASSERT_NE(frame, std::string::npos) << "not a baseline JPEG";
        const auto big = [&banner](size_t at) {
            return (static_cast<unsigned char>(banner[at]) << 8) |
                   static_cast<unsigned char>(banner[at + 1]);
        };
        EXPECT_EQ(big(frame + 5), 150);
        EXPECT_EQ(big(frame + 7), 490);
    }
}

TEST_F(WizardResources, TheManifestAsksForAdministratorsAndNamesTheSystems) {
    const std::string manifest =
        Bytes(RT_MANIFEST, MAKEINTRESOURCEA(1), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("level=\"requireAdministrator\""), std::string::npos);
    EXPECT_NE(manifest.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);
    EXPECT_NE(manifest.find("{e2011457-1546-43c5-a5fe-008deee3d3f0}"), std::string::npos);
    // Common controls 6 would change the pages' colours: none asked for.
    EXPECT_EQ(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
}

TEST_F(WizardResources, TheVersionNamesTheProductInBothLanguages) {
    for (WORD language : {kEnglish, kChinese}) {
        const std::string version = Bytes(RT_VERSION, MAKEINTRESOURCEA(1), language);
        ASSERT_GT(version.size(), 40u) << language;
        // VS_FIXEDFILEINFO follows the "VS_VERSION_INFO" key: signature 0xFEEF04BD.
        const char signature[] = "\xBD\x04\xEF\xFE";
        EXPECT_NE(version.find(std::string(signature, 4)), std::string::npos);
        const std::wstring product = L"CVPurger.exe";
        const std::string wide(reinterpret_cast<const char*>(product.c_str()),
                               product.size() * sizeof(wchar_t));
        EXPECT_NE(version.find(wide), std::string::npos) << "no OriginalFilename";
    }
}

}  // namespace
}  // namespace gui
