#pragma once

// The windowed launcher is the console launcher's code linked for the GUI
// subsystem: its own image header says which kind is running.
bool launcher_is_windowed();
