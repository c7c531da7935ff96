#include "app/cleanup_sequence.h"

#include "cleanup/file_stages.h"
#include "platform/string_table.h"
#include "registry/registry_stages.h"

namespace cvp {
namespace {

constexpr Dword kFileStagePause = 10;

struct FileStage {
    int stage;
    unsigned captionId;
    void (*run)(RunContext&);
};

constexpr FileStage kFileStages[] = {
    {StageInfFiles, IDS_STAGE_INF_FILES, CleanInfFiles},
    {StageDriverFiles, IDS_STAGE_DRIVER_FILES, CleanDriverFiles},
    {StageOtherFiles, IDS_STAGE_OTHER_FILES, CleanOtherFiles},
};

}  // namespace

void SetStage(RunContext& context, unsigned captionId) {
    RunState& state = context.state;
    if (context.platform.system.LoadText(captionId, state.statusText, kTextSize) <= 0) {
        state.statusText[0] = '\0';
    }
    if (context.view != nullptr) context.view->ShowCaption(state.statusText);
}

void RunFileStages(RunContext& context, bool pause) {
    for (const FileStage& fileStage : kFileStages) {
        context.state.stage = fileStage.stage;
        SetStage(context, fileStage.captionId);
        fileStage.run(context);
        if (pause) context.platform.system.Sleep(kFileStagePause);
    }
}

void RunRegistryStep(RunContext& context) {
    context.state.stage = StageClassIds;
    PurgeClassesRootClsids(context);
    context.state.stage = StageRegistryPlan;
    RunMainRegistryPlan(context);
}

}  // namespace cvp
