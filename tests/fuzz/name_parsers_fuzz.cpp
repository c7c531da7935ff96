// The tests the registry walks apply to names read from the registry: the card model
// tests on Enum\PCI key names and interface names, the hexadecimal field reader, the
// pattern matchers, and the SDDL parser the key take-over reads DACLs with. Names are
// copied into buffers of exactly their size (no slack past the NUL) so that a read
// past the name is seen. A DACL that parses must format to text that parses again to
// the same text.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "detect/card_models.h"
#include "fuzz_check.h"
#include "platform/image/sddl.h"
#include "registry/name_match.h"
#include "run/run_state.h"

namespace {

constexpr cvp::ProductFamily kFamilies[] = {cvp::FamilyBt878,       cvp::FamilyCx88,
                                            cvp::FamilyCx88Dv,      cvp::FamilyCx88Encoder,
                                            cvp::FamilyNvidia,      cvp::FamilyEmpiaUsb,
                                            cvp::FamilyWisUsb,      cvp::FamilyNone};

// A heap copy with nothing after its terminator.
std::unique_ptr<char[]> Exact(const std::string& text) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const cvp::ProductFamily family = input.PickValueInArray(kFamilies);
    const int expert = input.ConsumeBool() ? 1 : 0;
    const std::size_t offset = input.ConsumeIntegralInRange<std::size_t>(0, 300);
    const std::string pattern = input.ConsumeRandomLengthString(80);
    const std::string name = input.ConsumeRemainingBytesAsString();

    // Registry names are C strings: the walks see them up to the first NUL.
    const std::string cName = name.substr(0, name.find('\0'));
    const std::string cPattern = pattern.substr(0, pattern.find('\0'));
    const auto text = Exact(cName);
    const auto patternText = Exact(cPattern);

    cvp::RunState state;
    state.expertMode = expert;
    state.family = family;

    cvp::CardModelGroup(family);
    std::uint16_t field = 0;
    cvp::ReadHexField(text.get(), offset, &field);
    const bool textMatch = cvp::SubsystemTextMatch(state, family, text.get());
    const bool fieldMatch = cvp::SubsystemFieldMatch(state, family, text.get());
    if (expert == 0) {
        FUZZ_CHECK(!textMatch && !fieldMatch, "a card model test matched outside expert mode");
    }

    const bool contains = cvp::ContainsPattern(text.get(), patternText.get());
    if (cPattern.empty()) FUZZ_CHECK(!contains, "an empty pattern matched");
    if (contains) FUZZ_CHECK(cName.find(cPattern) != std::string::npos, "a false match");
    cvp::UpperCaseContains(text.get(), patternText.get());
    const bool same = cvp::EqualsIgnoringCase(text.get(), patternText.get());
    FUZZ_CHECK(same == cvp::EqualsIgnoringCase(patternText.get(), text.get()),
               "case-blind equality is not symmetric");
    char upper[cvp::kTextSize];
    cvp::CopyUpperCase(upper, text.get());
    FUZZ_CHECK(std::strlen(upper) < cvp::kTextSize, "the upper-case copy overran");

    // The whole input as SDDL, NULs and all, as a string_view.
    cvp::Dacl dacl;
    if (cvp::ParseDaclSddl(name, &dacl)) {
        const std::string formatted = cvp::FormatDaclSddl(dacl);
        cvp::Dacl again;
        FUZZ_CHECK(cvp::ParseDaclSddl(formatted, &again), "a formatted DACL does not parse");
        FUZZ_CHECK(cvp::FormatDaclSddl(again) == formatted, "a DACL does not read back alike");
    }
    std::string sid;
    cvp::CanonicalSid(cName, &sid);
    return 0;
}
