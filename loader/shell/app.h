#pragma once
// The shell's error report and notice box, used by every subsystem.
//
// Implemented per platform: a message box (or the self-closing info box in an
// unattended run) in the program, a recorder in the native tests and tools.

// An opaque window handle (HWND in the program) so that portable code can
// pass an owner along without seeing <windows.h>.
using AppWindow = void*;

// Reports an error: sets the run-failed flag, then shows `text` titled
// "Error" unless a report is already showing. Safe to call from the GUI
// thread only; the link worker reports through its job results.
void APP_Error(const char* text);

// A notice that is not an error ("Job succeed ", "Success", ...). Shows
// nothing and returns 0 while a command list runs; otherwise a message box
// with the given MB_* style bits, returning its result.
int APP_Notify(AppWindow owner, const char* text, const char* caption, unsigned style);

// The run-failed flag: 0 at start, 1 once any error was reported or a target
// job ended with a fault the target reported. It is the exit status.
int APP_GetRunFailed();
void APP_SetRunFailed();   // safe from any thread
