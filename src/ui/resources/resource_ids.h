/* Resource ids of the wizard: dialogs, controls, icon, banner, accelerators. Shared
   by the .rc files and the wizard's code; the string table has its own header. */
#pragma once

#define IDA_WIZARD 100
#define IDR_BANNER 200
#define IDI_APP 300

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

/* The banner's resource type; the .rc files write it as the bare name JPG. */
#define RT_BANNER_NAME "JPG"

/* Accelerator commands: Ctrl+N and Ctrl+B. */
#define IDM_NEXT 32772
#define IDM_BACK 32773

/* Pages. */
#define IDD_MODE_PAGE 900
#define IDD_INSTALLED_PAGE 901
#define IDD_PROGRESS_PAGE 904
#define IDD_WORKING_PAGE 905

/* Mode page. */
#define IDC_MODE_WORKING 1000
#define IDC_MODE_EXPERT 1001
#define IDC_MODE_NEXT 1002
#define IDC_MODE_CANCEL 1003

/* Working-device page. */
#define IDC_WORKING_LIST 1010
#define IDC_WORKING_NEXT 1011
#define IDC_WORKING_CANCEL 1012
#define IDC_WORKING_BACK 1039

/* Installed-driver page. */
#define IDC_INSTALLED_LIST 1020
#define IDC_INSTALLED_NEXT 1021
#define IDC_INSTALLED_CANCEL 1022
#define IDC_INSTALLED_BACK 1040

/* Progress page. */
#define IDC_PROGRESS_BAR 1033
#define IDC_PROGRESS_CAPTION 1034
#define IDC_PROGRESS_PATH 1035
#define IDC_PROGRESS_BUTTON 1036
#define IDC_PROGRESS_RESULT 1037
#define IDC_PROGRESS_LABEL 1038
