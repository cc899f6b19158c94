#pragma once
// Resource ids shared by the loader's resource script and its code.
#define IDB_ABOUT      1     // About box picture, 140 x 66
#define IDB_BACKGROUND 2     // MDI client background, 209 x 98
#define IDI_TAMRIN     5     // program and frame icon
#define IDA_MAINACCEL  400   // accelerator table
#define IDM_MAINMENU   500   // menu bar
#define IDD_BLANK      30    // empty dialog template, filled at run time
#define IDD_INFO       31    // empty template of the self-closing info box
