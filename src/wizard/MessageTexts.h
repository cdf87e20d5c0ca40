// Texts and rules of the message dialog, and the wizard's own messages.
#pragma once
#include <cstdint>
#include <string>
#include "install/InstallTexts.h"

extern const char* const kMsgLicenceRefused;  // the licence was not accepted
extern const char* const kMsgConfirmCancel;   // the installation is not finished
extern const char* const kMsgNoTempFolder;    // no folder for the licence's temporary file
extern const char* const kMsgTempUnnameable;  // the temporary folder's name cannot be written
extern const char* const kMsgOutOfMemory;         // memory exhausted during a wizard event
extern const char* const kMsgSessionEndRefused;   // Windows asks to end the session while copying

const char* DialogCaption(int type);          // "Avertissement", "Erreur", ...
const char* ButtonCaption(int bit);           // "&Oui", "&Non", "OK", ...
int ButtonResult(int bit);                    // 6, 7, 1, ...

// The button that Enter and Esc press, as a bit number; -1 for none.
int DefaultButtonBit(uint16_t buttons);
int CancelButtonBit(uint16_t buttons);

// The dialog's text with every line break as CR LF, as the system draws it.
std::string DisplayText(const std::string& text);
