// cvpurger-preview: the preview of a run on a customer's machine, from the regedit
// exports and the folder listing a technician receives (README.md, "Preview"):
//
//   cvpurger-preview [--listing LISTING.txt] TOKEN SYSTEM.reg [CLASSES.reg]
//
// prints what "CVPurger.exe /preview TOKEN" would write on that machine. Exit code 0
// for a preview, 2 for a token that names no family or a file that can't be read.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "offline/offline_machine.h"
#include "preview/preview_run.h"
#include "run/family_catalogue.h"

namespace {

constexpr const char* kUsage =
    "usage: cvpurger-preview [--listing LISTING.txt] TOKEN SYSTEM.reg [CLASSES.reg]\n";

int Refuse(const std::string& message) {
    std::cerr << "cvpurger-preview: " << message << "\n";
    return 2;
}

template <typename Read>
bool ReadFile(const std::string& path, Read read, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = path + ": cannot be opened";
        return false;
    }
    return read(in);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string listing;
    if (args.size() >= 2 && args[0] == "--listing") {
        listing = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() < 2 || args.size() > 3) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string& token = args[0];
    if (cvp::FamilyFromToken(token.c_str()) == cvp::FamilyNone) {
        return Refuse(cvp::UnknownTokenMessage(token.c_str()));
    }

    cvp::OfflineMachine machine;
    std::string error;
    for (size_t i = 1; i < args.size(); ++i) {
        const auto read = [&](std::istream& in) { return machine.ReadExport(args[i], in, &error); };
        if (!ReadFile(args[i], read, &error)) return Refuse(error);
    }
    if (!listing.empty()) {
        const auto read = [&](std::istream& in) {
            return machine.ReadListing(listing, in, &error);
        };
        if (!ReadFile(listing, read, &error)) return Refuse(error);
    }

    std::string text;
    cvp::PreviewRun(machine.platform(), token.c_str(), &text);
    text = machine.AsListed(text);
#ifdef _WIN32
    // The preview's own CR LF, not the console's translation of them.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 2;
}
