#pragma once

// The windowed launcher is the console launcher's code linked for the GUI
// subsystem: its own image header says which kind is running.
bool launcher_is_windowed();

// An elevated launcher's manifest asks for administrator rights; read from
// the image itself, so that a manifest edited after the build still counts.
bool launcher_is_elevated();
