#pragma once

// Resource ids of the uninstall window, shared by res/PeloraUninst.rc and the window's code. Plain
// defines, so that the resource compiler reads this file too. The art ids are those of
// res/art/art.toml; the sizes the layout uses are in uninstall_art.cpp.

// The window: an empty popup template that the window sizes and draws itself.
#define PELORA_UNINSTALL_DIALOG 1008
#define PELORA_UNINSTALL_ICON 107

#define PELORA_UNINSTALL_ART_CLOSE_DOWN 166
#define PELORA_UNINSTALL_ART_CLOSE_HOVER 167
#define PELORA_UNINSTALL_ART_CLOSE_NORMAL 168
#define PELORA_UNINSTALL_ART_CLOSE_DISABLED 194
#define PELORA_UNINSTALL_ART_UNCHECKED 176
#define PELORA_UNINSTALL_ART_CHECKED 177
#define PELORA_UNINSTALL_ART_BACKGROUND 200
#define PELORA_UNINSTALL_ART_LOGO 201
#define PELORA_UNINSTALL_ART_BUTTON_DOWN 202
#define PELORA_UNINSTALL_ART_BUTTON_HOVER 203
#define PELORA_UNINSTALL_ART_BUTTON_NORMAL 204
#define PELORA_UNINSTALL_ART_CANCEL_DOWN 205
#define PELORA_UNINSTALL_ART_CANCEL_HOVER 206
#define PELORA_UNINSTALL_ART_CANCEL_NORMAL 207
