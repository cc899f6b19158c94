#pragma once
// The command-line module: the command list of an unattended run.

// Whether an unattended command list is running.
bool CMDLINE_IsActive();
// Ends the command list; runs the queued exit command, if any.
void CMDLINE_Stop();
