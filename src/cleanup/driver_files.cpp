#include <cstdio>
#include <span>

#include "cleanup/file_stages.h"
#include "run/family_catalogue.h"
#include "run/progress.h"

namespace cvp {
namespace {

// regsvr32 normally ends in well under a second; a hung one must not stop the stage.
constexpr Dword kUnregisterTimeout = 30000;

enum class Where { System, Drivers };
enum class How { Delete, Unregister };

struct DriverFile {
    How how;
    Where where;
    const char* name;
};

constexpr DriverFile kBt878Files[] = {
    {How::Delete, Where::Drivers, "vs4kvcap.sys"},
    {How::Delete, Where::Drivers, "vs4kxbar.sys"},
    {How::Delete, Where::Drivers, "vs4ktunr.sys"},
};
// The capture driver both CX2388x card families share goes only when both are found.
constexpr DriverFile kCx88SharedFiles[] = {{How::Delete, Where::Drivers, "vs88vcap.sys"}};
constexpr DriverFile kCx88Files[] = {
    {How::Delete, Where::Drivers, "vs88xbar.sys"},
    {How::Delete, Where::Drivers, "vs88tune.sys"},
};
constexpr DriverFile kEncoderFiles[] = {
    {How::Unregister, Where::System, "prxypage.ax"},
    {How::Unregister, Where::System, "cxtvrate.dll"},
    {How::Delete, Where::Drivers, "vsbbvcap.sys"},
    {How::Delete, Where::Drivers, "vsbbxbar.sys"},
    {How::Delete, Where::Drivers, "vsbbtune.sys"},
    {How::Delete, Where::Drivers, "vsbbenc.sys"},
    {How::Delete, Where::Drivers, "vspvrcap.sys"},
    {How::Delete, Where::Drivers, "vspvrbar.sys"},
    {How::Delete, Where::Drivers, "vspvrtun.sys"},
    {How::Delete, Where::Drivers, "vspvrenc.sys"},
};
constexpr DriverFile kEmpiaFiles[] = {
    {How::Unregister, Where::System, "emYUV.dll"},
    {How::Unregister, Where::System, "emProp.ax"},
    {How::Unregister, Where::Drivers, "emUSD.dll"},
    {How::Unregister, Where::Drivers, "emVFW.dll"},
    {How::Unregister, Where::Drivers, "VbiCallback.dll"},
    {How::Delete, Where::Drivers, "emAudio.sys"},
    {How::Delete, Where::Drivers, "emDevice.sys"},
    {How::Delete, Where::Drivers, "emFilter.sys"},
    {How::Delete, Where::Drivers, "emScan.sys"},
    {How::Delete, Where::Drivers, "emStream.sys"},
};
constexpr DriverFile kWisFiles[] = {
    {How::Unregister, Where::System, "wisproxy.ax"},
    {How::Unregister, Where::System, "roamview.ax"},
    {How::Unregister, Where::Drivers, "wisboard.dll"},
    {How::Delete, Where::Drivers, "roamview.sys"},
    {How::Delete, Where::Drivers, "EzLoader.sys"},
    {How::Delete, Where::Drivers, "TLoader.sys"},
    {How::Delete, Where::Drivers, "RVLoader.sys"},
    {How::Delete, Where::Drivers, "wisgostrm.sys"},
    {How::Delete, Where::Drivers, "WisTunerLoader.sys"},
};

void CleanFiles(RunContext& context, const char* system, std::span<const DriverFile> list) {
    for (const DriverFile& file : list) {
        char path[kTextSize];
        const int length =
            file.where == Where::System
                ? std::snprintf(path, sizeof path, "%s\\%s", system, file.name)
                : std::snprintf(path, sizeof path, "%s\\drivers\\%s", system, file.name);
        if (length >= kTextSize) continue;
        if (file.how == How::Unregister) {
            UnregisterAndDelete(context, path);
        } else {
            DeleteFileReported(context, path);
        }
    }
}

}  // namespace

void UnregisterAndDelete(RunContext& context, const char* modulePath) {
    Platform& platform = context.platform;
    char system[kTextSize];
    const unsigned length = platform.files.SystemDirectory(system, kTextSize);
    if (length == 0 || length >= static_cast<unsigned>(kTextSize)) return;
    // Quoted, so that a blank in either path can't make Windows start another program
    // or unregister another module. A command that does not fit is not run cut short,
    // and its module stays registered and in place.
    char command[kTextSize];
    if (std::snprintf(command, sizeof command, "\"%s\\regsvr32.exe\" -u -s \"%s\"", system,
                      modulePath) >= kTextSize) {
        return;
    }
    // regsvr32 runs as an administrator: a DLL that the module needs and that is
    // missing (one this run deleted, say) must not be looked for in the purger's current
    // directory, often a Downloads folder, so it starts in the system directory. No
    // WinExec after a failed start: it is CreateProcess underneath, fails alike, and
    // would hand on the current directory.
    // The module can only be deleted once regsvr32 has let it go.
    if (std::unique_ptr<Process> process = platform.processes.Start(command, system)) {
        process->Wait(kUnregisterTimeout);
    }
    DeleteFileReported(context, modulePath);
}

void CleanDriverFiles(RunContext& context) {
    char system[kTextSize];
    const unsigned length = context.platform.files.SystemDirectory(system, kTextSize);
    if (length == 0 || length >= static_cast<unsigned>(kTextSize)) return;
    const RunState& state = context.state;
    switch (state.family) {
        case FamilyBt878: CleanFiles(context, system, kBt878Files); break;
        case FamilyCx88:
        case FamilyCx88Dv:
            if (state.foundCx88Card && state.foundDvCard) CleanFiles(context, system, kCx88SharedFiles);
            CleanFiles(context, system, kCx88Files);
            break;
        case FamilyCx88Encoder: CleanFiles(context, system, kEncoderFiles); break;
        case FamilyEmpiaUsb: CleanFiles(context, system, kEmpiaFiles); break;
        case FamilyWisUsb: CleanFiles(context, system, kWisFiles); break;
        default: break;
    }
}

}  // namespace cvp
