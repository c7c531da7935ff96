// A pass-through over a Platform that counts every call the purger makes through the
// seam and, when asked, times it: registry calls per registry area and operation, the
// other interfaces per operation. It shows where a run's time goes without changing
// what the run does.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace cvp::benchmark {

// The registry areas a path falls in ("SYSTEM\ControlSet001\Enum\PCI\..." is EnumPci).
enum class Area {
    Services,
    EnumKey,  // the Enum key itself (its NextParentID values)
    EnumPci,
    EnumUsb,
    EnumStream,
    EnumOther,
    Class,
    DeviceClasses,
    MediumCache,
    Media,  // MediaCategories, MediaInterfaces, MediaSets
    ControlOther,
    Clsid,
    Other,
    Count
};

enum class RegistryOp {
    Open,
    EnumKey,
    EnumValue,
    QueryValue,
    QuerySubkeyCount,
    DeleteValue,
    SetValue,
    CreateKey,
    DeleteTree,
    ReadDacl,
    WriteDacl,
    Count
};

enum class OtherOp {
    DevicesOpen,
    DeviceEnum,
    DeviceProperty,
    DeviceRemove,
    DeviceRescan,
    FileDirectories,
    FileFind,
    FileAttributes,
    FileDelete,
    FileProfileRead,
    FileAppend,
    FileWriteFlushed,
    FileRead,
    FileSecurity,
    ProcessStart,
    ProcessWait,
    Sleep,
    SystemOther,
    Count
};

struct OpStats {
    long calls = 0;
    double seconds = 0;       // 0 unless timed
    long long heapBytes = 0;  // net heap growth, when a heap probe is set
};

Area AreaOf(Root root, const char* path);
const char* AreaName(Area area);

class SeamProfile {
  public:
    // `timed`: each call is timed (steady_clock), which costs more than a native call
    // but little beside a call under Wine.
    SeamProfile(Platform& inner, bool timed);
    ~SeamProfile();
    SeamProfile(const SeamProfile&) = delete;
    SeamProfile& operator=(const SeamProfile&) = delete;

    Platform& platform();

    // Natively: a function that returns the bytes the process holds on the heap now.
    // Each call's net growth is then added up per operation (what the machine keeps,
    // for example the security descriptors a DACL write leaves on every subkey).
    void SetHeapProbe(std::size_t (*probe)()) { heapProbe_ = probe; }

    // A table of the counts (and times), one line per area and operation that was used,
    // then totals. `wallSeconds` is the whole run, to show what the seam did not take.
    void Print(std::FILE* out, double wallSeconds) const;

    long RegistryCalls() const;
    double SleptMilliseconds() const { return sleptMilliseconds_; }

    // --- Used by the wrappers ---
    class Timer {
      public:
        Timer(SeamProfile& profile, OpStats& stats);
        ~Timer();
        Timer(const Timer&) = delete;
        Timer& operator=(const Timer&) = delete;

      private:
        SeamProfile& profile_;
        OpStats& stats_;
        std::chrono::steady_clock::time_point start_;
        std::size_t heapAtStart_ = 0;
    };
    OpStats& Stats(Area area, RegistryOp op) {
        return registry_[static_cast<int>(area)][static_cast<int>(op)];
    }
    OpStats& Stats(OtherOp op) { return other_[static_cast<int>(op)]; }
    void AddSleep(Dword milliseconds) { sleptMilliseconds_ += milliseconds; }

  private:
    struct Wrappers;

    bool timed_;
    std::size_t (*heapProbe_)() = nullptr;
    OpStats registry_[static_cast<int>(Area::Count)][static_cast<int>(RegistryOp::Count)];
    OpStats other_[static_cast<int>(OtherOp::Count)];
    double sleptMilliseconds_ = 0;
    std::unique_ptr<Wrappers> wrappers_;
};

}  // namespace cvp::benchmark
