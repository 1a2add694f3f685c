// Ids of the program's Windows resources, shared by quorix.rc and the code that
// loads them. Plain #defines: windres reads this file too.
#pragma once

#define IDS_APP_TITLE 103         // the application's title
#define IDS_APP_CLASS 109         // the template window class's name
#define IDM_ABOUT 104             // the Help menu's About, also sent by Alt+? and Alt+/
#define IDI_APP 107               // the large icon
#define IDI_APP_SMALL 108         // the small icon
#define IDR_APP_MENU 109          // the template window class's menu
#define IDR_APP_ACCELERATORS 109  // the message loop's accelerator table
