#pragma once
// The command list's active flag, set by the command-line module when options
// queue commands. Kept apart from cmdline.h, which the other subsystems use.

void CMDLINE_SetActive(bool active);
