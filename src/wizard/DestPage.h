// The destination page's rules: the destination text's normalisation and the drive watch.
#pragma once
#include <string>

class TDriveComboBox;

// Trims spaces and one trailing backslash, puts a drive-less text on currentDrive's root,
// and names the product folder inside a drive root or the Program Files folder.
void NormaliseDestination(std::string& text, char currentDrive);

// One tick of timer 2: follows drives that come or go. The folder list follows the drive
// box, and its OnChange rewrites the destination text.
void DriveWatchTick(TDriveComboBox& drives);
