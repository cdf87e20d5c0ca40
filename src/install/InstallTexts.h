// What the installation tells the user, whichever road runs it.
#pragma once
#include <string>

extern const char* const kMsgAppRunning;   // the word processor must be closed first

struct DestCheck;
// Why the destination folder cannot be used, for the user.
std::string DestinationProblemText(const DestCheck& check);
