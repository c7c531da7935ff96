// One pass of a family's registry plan over one control set: the areas the plans name
// and the steps they are written in. Each step runs one registry walk under
// HKEY_LOCAL_MACHINE, once for each name of its list, in order.
#pragma once

#include <span>
#include <string>

#include "registry/medium_cache_walks.h"
#include "run/run_context.h"

namespace cvp {

using NameList = std::span<const char* const>;

class ControlSetPass {
  public:
    // `controlSet` is one of ControlSetRoots, "SYSTEM\CurrentControlSet\" and so on.
    ControlSetPass(RunContext& context, const char* controlSet);

    // The run's choices.
    bool FirstPass() const;  // the pass over CurrentControlSet
    bool Expert() const;
    const RunState& state() const;
    const char* Primary() const;
    const char* SecondaryPci() const;
    const char* SecondaryUsb() const;

    // Areas of this control set, each ending in a backslash.
    std::string MediaClass() const;                  // Control\Class\{media class}
    std::string Class(const char* classGuid) const;  // Control\Class\{guid}
    std::string EnumPci() const;
    std::string EnumUsb() const;

    void DeleteClassKeysByValue(const std::string& classPath, const char* valueName,
                                NameList texts);
    void DeleteInterfaceKeys(const char* interfaceClass, const char* pattern, int byModel);
    void DeleteInterfaceKeys(NameList interfaceClasses, const char* pattern, int byModel);
    void DeleteInterfaceKeys(const char* interfaceClass, NameList patterns, int byModel);
    void DeleteUsbAudioInterfaceKeys(NameList interfaceClasses);
    void DeleteEnumDeviceKeys(const std::string& busPath, const char* pattern);
    void DeleteStreamDeviceKeys(NameList deviceNames);
    // The values under Enum that name one of the family's ParentIdPrefix values, then
    // one of its instance names: one value per non-empty entry.
    void DeleteParentIdPrefixValues();
    void DeleteInstanceSuffixValues();
    // PurgeMediumCacheCategory for each non-empty ParentIdPrefix value, by its text.
    void PurgeParentIdPrefixCache(NameList categories);
    // Categories are written by the first group of their GUID, "a19dc1e0".
    void PurgeMediumCacheCategory(NameList categories, const char* pattern, int byModel);
    void PurgeMediumCacheAll(const char* pattern);
    void PurgeMediumCacheConexant();
    void DeleteServiceKeys(NameList services);
    void DeleteMachineClsids(NameList classIds);
    // DeleteSubkeysContaining on an area of the control set ("Control\MediaSets\").
    void DeleteSubkeysContaining(const char* area, NameList patterns);

  private:
    std::string Area(const std::string& area) const;
    std::string InterfaceClass(const char* classGuid) const;  // Control\DeviceClasses\{guid}
    void DeleteEnumValuesContaining(const char (*identifiers)[kIdentifierSize], int count);

    RunContext& context_;
    const char* controlSet_;
    MediumCacheEntries mediumCache_;
};

}  // namespace cvp
