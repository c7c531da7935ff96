#include "platform/image/sddl.h"

#include <cstdint>
#include <cstdio>

namespace cvp {
namespace {

struct Named {
    const char* name;
    std::uint32_t value;
};

// Wine's and Windows' right names, in the order the writer tries them for an exact
// match of the whole mask.
constexpr Named kRightNames[] = {
    {"GA", 0x10000000}, {"GR", 0x80000000}, {"GW", 0x40000000}, {"GX", 0x20000000},
    {"RC", 0x00020000}, {"SD", 0x00010000}, {"WD", 0x00040000}, {"WO", 0x00080000},
    {"RP", 0x00000010}, {"WP", 0x00000020}, {"CC", 0x00000001}, {"DC", 0x00000002},
    {"LC", 0x00000004}, {"SW", 0x00000008}, {"LO", 0x00000080}, {"DT", 0x00000040},
    {"CR", 0x00000100}, {"FA", 0x001F01FF}, {"FR", 0x00120089}, {"FW", 0x00120116},
    {"FX", 0x001200A0}, {"KA", 0x000F003F}, {"KR", 0x00020019}, {"KW", 0x00020006},
    {"KX", 0x00020019},
};

// The writer's names for single bits, when a mask has no name of its own.
const char* BitName(int bit) {
    static const char* const kLow[] = {"CC", "DC", "LC", "SW", "RP", "WP", "DT", "LO", "CR"};
    if (bit < 9) return kLow[bit];
    switch (bit) {
        case 16:
            return "SD";
        case 17:
            return "RC";
        case 18:
            return "WD";
        case 19:
            return "WO";
        case 28:
            return "GA";
        case 29:
            return "GX";
        case 30:
            return "GW";
        case 31:
            return "GR";
        default:
            return nullptr;
    }
}

// The SID aliases the writer uses. LA and LG, the machine's own Administrator and Guest
// accounts, have no fixed SID.
constexpr struct {
    const char* alias;
    const char* sid;
} kSidAliases[] = {
    {"WD", "S-1-1-0"},      {"CO", "S-1-3-0"},      {"CG", "S-1-3-1"},      {"NU", "S-1-5-2"},
    {"IU", "S-1-5-4"},      {"SU", "S-1-5-6"},      {"AN", "S-1-5-7"},      {"PS", "S-1-5-10"},
    {"AU", "S-1-5-11"},     {"RC", "S-1-5-12"},     {"SY", "S-1-5-18"},     {"LS", "S-1-5-19"},
    {"NS", "S-1-5-20"},     {"BA", "S-1-5-32-544"}, {"BU", "S-1-5-32-545"}, {"BG", "S-1-5-32-546"},
    {"PU", "S-1-5-32-547"}, {"AO", "S-1-5-32-548"}, {"SO", "S-1-5-32-549"}, {"PO", "S-1-5-32-550"},
    {"BO", "S-1-5-32-551"}, {"RE", "S-1-5-32-552"}, {"RU", "S-1-5-32-554"}, {"RD", "S-1-5-32-555"},
    {"NO", "S-1-5-32-556"}, {"LA", ""},             {"LG", ""},
};

constexpr struct {
    const char* name;
    unsigned flag;
} kAceFlagNames[] = {
    {"OI", kAceObjectInherit}, {"CI", kAceContainerInherit}, {"NP", kAceNoPropagateInherit},
    {"IO", kAceInheritOnly},   {"ID", kAceInherited},
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A decimal number of at most `limit`; consumes the digits.
bool ReadDecimal(std::string_view* text, std::uint64_t limit, std::uint64_t* value) {
    if (text->empty() || !IsDigit(text->front())) return false;
    std::uint64_t result = 0;
    while (!text->empty() && IsDigit(text->front())) {
        result = result * 10 + static_cast<unsigned>(text->front() - '0');
        if (result > limit) return false;
        text->remove_prefix(1);
    }
    *value = result;
    return true;
}

bool ParseLiteralSid(std::string_view text, std::string* sid) {
    if (text.size() < 4 || text.substr(0, 4) != "S-1-") return false;
    text.remove_prefix(4);
    std::uint64_t authority = 0;
    if (!ReadDecimal(&text, (std::uint64_t{1} << 48) - 1, &authority)) return false;
    std::string out = "S-1-" + std::to_string(authority);
    for (int count = 0; !text.empty(); ++count) {
        std::uint64_t part = 0;
        if (count == 15 || text.front() != '-') return false;
        text.remove_prefix(1);
        if (!ReadDecimal(&text, 0xFFFFFFFFu, &part)) return false;
        out += "-" + std::to_string(part);
    }
    *sid = out;
    return true;
}

bool ParseRights(std::string_view text, Dword* mask) {
    *mask = 0;
    if (text.size() >= 2 && text.substr(0, 2) == "0x") {
        text.remove_prefix(2);
        if (text.empty() || text.size() > 8) return false;
        for (char c : text) {
            const int digit = HexDigit(c);
            if (digit < 0) return false;
            *mask = (*mask << 4) | static_cast<Dword>(digit);
        }
        return true;
    }
    while (!text.empty()) {
        if (text.size() < 2) return false;
        const std::string_view pair = text.substr(0, 2);
        bool known = false;
        for (const Named& right : kRightNames) {
            if (pair == right.name) {
                *mask |= right.value;
                known = true;
                break;
            }
        }
        if (!known) return false;
        text.remove_prefix(2);
    }
    return true;
}

bool ParseAceFlags(std::string_view text, unsigned* flags) {
    *flags = 0;
    while (!text.empty()) {
        if (text.size() < 2) return false;
        bool known = false;
        for (const auto& flag : kAceFlagNames) {
            if (text.substr(0, 2) == flag.name) {
                *flags |= flag.flag;
                known = true;
            }
        }
        if (!known) return false;
        text.remove_prefix(2);
    }
    return true;
}

// The six fields of "(type;flags;rights;object;inherited object;sid)".
bool ParseAce(std::string_view body, Ace* ace) {
    std::string_view fields[6];
    for (int i = 0; i < 5; ++i) {
        const size_t semicolon = body.find(';');
        if (semicolon == std::string_view::npos) return false;
        fields[i] = body.substr(0, semicolon);
        body.remove_prefix(semicolon + 1);
    }
    fields[5] = body;
    if (fields[0] != "A" && fields[0] != "D") return false;
    ace->deny = fields[0] == "D";
    // Object GUIDs belong to object ACE types, which a key DACL here does not use.
    if (!fields[3].empty() || !fields[4].empty()) return false;
    return ParseAceFlags(fields[1], &ace->flags) && ParseRights(fields[2], &ace->mask) &&
           CanonicalSid(fields[5], &ace->sid);
}

bool ParseDaclToken(std::string_view token, Dacl* dacl) {
    Dacl out;
    while (!token.empty() && token.front() != '(') {
        if (token.front() == 'P') {
            out.control |= kDaclProtected;
            token.remove_prefix(1);
        } else if (token.substr(0, 2) == "AR") {
            out.control |= kDaclAutoInheritRequired;
            token.remove_prefix(2);
        } else if (token.substr(0, 2) == "AI") {
            out.control |= kDaclAutoInherited;
            token.remove_prefix(2);
        } else if (token.substr(0, 17) == "NO_ACCESS_CONTROL") {
            out.present = false;
            token.remove_prefix(17);
        } else {
            return false;
        }
    }
    while (!token.empty()) {
        const size_t close = token.find(')');
        if (token.front() != '(' || close == std::string_view::npos) return false;
        Ace ace;
        if (!ParseAce(token.substr(1, close - 1), &ace)) return false;
        out.aces.push_back(std::move(ace));
        token.remove_prefix(close + 1);
    }
    // "NO_ACCESS_CONTROL" with ACEs after it: the ACEs go with the NULL DACL.
    if (!out.present) out.aces.clear();
    *dacl = std::move(out);
    return true;
}

void AppendRights(Dword mask, std::string* out) {
    if (mask == 0) return;
    for (const Named& right : kRightNames) {
        if (mask == right.value) {
            out->append(right.name);
            return;
        }
    }
    for (int bit = 0; bit < 32; ++bit) {
        if ((mask & (Dword{1} << bit)) && BitName(bit) == nullptr) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(mask));
            out->append(hex);
            return;
        }
    }
    for (int bit = 0; bit < 32; ++bit) {
        if (mask & (Dword{1} << bit)) out->append(BitName(bit));
    }
}

}  // namespace

bool CanonicalSid(std::string_view text, std::string* sid) {
    for (const auto& alias : kSidAliases) {
        if (text == alias.alias) {
            *sid = alias.alias;
            return true;
        }
    }
    std::string literal;
    if (!ParseLiteralSid(text, &literal)) return false;
    for (const auto& alias : kSidAliases) {
        if (literal == alias.sid) {
            *sid = alias.alias;
            return true;
        }
    }
    *sid = literal;
    return true;
}

// Parts are split as Windows and Wine split them: a part's text runs up to the
// character before the next ':'.
bool ParseSecuritySddl(std::string_view sddl, std::string* owner, Dacl* dacl) {
    Dacl out;
    out.present = false;
    std::string ownerSid;
    bool seenDacl = false;
    while (!sddl.empty()) {
        if (sddl.size() < 2 || sddl[1] != ':') return false;
        const char part = sddl[0];
        sddl.remove_prefix(2);
        size_t end = sddl.find(':');
        end = (end == std::string_view::npos) ? sddl.size() : (end == 0 ? 0 : end - 1);
        const std::string_view token = sddl.substr(0, end);
        sddl.remove_prefix(end);
        std::string group;
        if (part == 'D' && !seenDacl) {
            if (!ParseDaclToken(token, &out)) return false;
            seenDacl = true;
        } else if (!(part == 'O' && CanonicalSid(token, &ownerSid)) &&
                   !(part == 'G' && CanonicalSid(token, &group))) {
            return false;
        }
    }
    *owner = std::move(ownerSid);
    *dacl = std::move(out);
    return true;
}

bool ParseDaclSddl(std::string_view sddl, Dacl* dacl) {
    std::string owner;
    return ParseSecuritySddl(sddl, &owner, dacl);
}

std::string FormatDaclSddl(const Dacl& dacl) {
    std::string out = "D:";
    if (dacl.control & kDaclProtected) out += "P";
    if (dacl.control & kDaclAutoInheritRequired) out += "AR";
    if (dacl.control & kDaclAutoInherited) out += "AI";
    if (!dacl.present) return out + "NO_ACCESS_CONTROL";
    for (const Ace& ace : dacl.aces) {
        out += ace.deny ? "(D;" : "(A;";
        for (const auto& flag : kAceFlagNames) {
            if (ace.flags & flag.flag) out += flag.name;
        }
        out += ";";
        AppendRights(ace.mask, &out);
        out += ";;;" + ace.sid + ")";
    }
    return out;
}

}  // namespace cvp
