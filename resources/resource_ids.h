// Resource ids shared by the code and the .rc files.
#pragma once

#define IDS_OPEN_FAILED 34
#define IDS_ERASE_FAILED 39
#define IDS_ERASE_CAPTION 65
#define IDS_ERASE_QUESTION 66
