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

// The framework's container artwork (the page's own bitmaps are plain numbers).
#define IDB_SCROLL_LEFT 1000      // horizontal scroller: back arrow
#define IDB_SCROLL_RIGHT 1001     // horizontal scroller: forward arrow
#define IDB_SCROLL_UP 1002        // vertical scroller: back arrow
#define IDB_SCROLL_DOWN 1003      // vertical scroller: forward arrow
#define IDB_SCROLL_THUMB_V 1004   // vertical scroller: thumb
#define IDB_SCROLL_THUMB_H 1005   // horizontal scroller: thumb
#define IDB_ROW_BUTTON 5000       // table rows' on/off button: on, off, pressed
