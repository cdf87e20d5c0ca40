// The destination page's rules: the drive watch (the destination's own rules are shared).
#pragma once
#include "install/Destination.h"

class TDriveComboBox;

// One tick of timer 2: follows drives that come or go. The folder list follows the drive
// box, and its OnChange rewrites the destination text.
void DriveWatchTick(TDriveComboBox& drives);
