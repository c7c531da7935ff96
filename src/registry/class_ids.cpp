#include "registry/class_ids.h"

#include "registry/registry_stages.h"
#include "registry/service_media_walks.h"

namespace cvp {

int DeleteClassesRootClsid(RunContext& context, const char* pattern) {
    return DeleteSubkeysContaining(context, Root::ClassesRoot, "CLSID\\", pattern);
}

int DeleteMachineClsid(RunContext& context, const char* pattern) {
    return DeleteSubkeysContaining(context, Root::LocalMachine, "SOFTWARE\\Classes\\CLSID\\",
                                   pattern);
}

void PurgeClassesRootClsids(RunContext& context) {
    if (context.state.family != FamilyWisUsb) return;
    for (const char* classId : kRoamViewClassIds) DeleteClassesRootClsid(context, classId);
}

}  // namespace cvp
