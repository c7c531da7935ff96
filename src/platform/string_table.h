/* The English string table. en.rc compiles it into the program; the in-memory
   machine serves the same texts to LoadStringA. */
#pragma once

#define TEXT_STAGE_DEVICES "Remove Device form Device manager..."
#define TEXT_STAGE_INF_FILES "Delete driver's *.inf and *.sys ..."
#define TEXT_STAGE_DRIVER_FILES "Delete driver's file..."
#define TEXT_STAGE_OTHER_FILES "Delete others file..."
#define TEXT_STAGE_REGISTRY "Delete driver's registry key..."
#define TEXT_RESULT_DONE "Uninstall driver finish!!"
#define TEXT_PROGRESS_LABEL "Progress:"
#define TEXT_RESULT_FAILED "Remove driver fail."
#define TEXT_BUTTON_EXIT "Exit"
