/* Resource ids. Shared by the .rc files and the code. */
#pragma once

#define IDA_WIZARD 100
#define IDR_BANNER 200
#define IDI_APP 300

#define IDS_STAGE_DEVICES 3002
#define IDS_STAGE_INF_FILES 3003
#define IDS_STAGE_DRIVER_FILES 3004
#define IDS_STAGE_OTHER_FILES 3005
#define IDS_STAGE_REGISTRY 3006
#define IDS_RESULT_DONE 3007
#define IDS_PROGRESS_LABEL 3008
#define IDS_RESULT_FAILED 3009
#define IDS_BUTTON_EXIT 3010
