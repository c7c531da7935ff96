/* The program's string table: the ids the logic loads with LoadStringA and the
   English texts. en.rc compiles them into the program (zh_tw.rc has its own texts
   for the same ids); the in-memory machine serves the English ones. */
#pragma once

#define IDS_STAGE_DEVICES 3002
#define IDS_STAGE_INF_FILES 3003
#define IDS_STAGE_DRIVER_FILES 3004
#define IDS_STAGE_OTHER_FILES 3005
#define IDS_STAGE_REGISTRY 3006
#define IDS_RESULT_DONE 3007
#define IDS_PROGRESS_LABEL 3008
#define IDS_RESULT_FAILED 3009
#define IDS_BUTTON_EXIT 3010
#define IDS_REFUSED_CAPTION 3011
#define IDS_REFUSED_64_BIT 3012
#define IDS_REFUSED_NOT_ADMINISTRATOR 3013

#define TEXT_STAGE_DEVICES "Remove Device form Device manager..."
#define TEXT_STAGE_INF_FILES "Delete driver's *.inf and *.sys ..."
#define TEXT_STAGE_DRIVER_FILES "Delete driver's file..."
#define TEXT_STAGE_OTHER_FILES "Delete others file..."
#define TEXT_STAGE_REGISTRY "Delete driver's registry key..."
#define TEXT_RESULT_DONE "Uninstall driver finish!!"
#define TEXT_PROGRESS_LABEL "Progress:"
#define TEXT_RESULT_FAILED "Remove driver fail."
#define TEXT_BUTTON_EXIT "Exit"
#define TEXT_REFUSED_CAPTION "CVDrvPurger"
#define TEXT_REFUSED_64_BIT                                                       \
    "The drivers of these products and this purger are for 32-bit Windows only. " \
    "Nothing was changed."
#define TEXT_REFUSED_NOT_ADMINISTRATOR                                       \
    "This purger needs an administrator: run it again as an administrator. " \
    "Nothing was changed."
