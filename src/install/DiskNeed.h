// The disk space an installation needs against what its drive has left.
#pragma once
#include <cstdint>
#include <string>

class TAttachedFiles;

struct DiskSpaceView {
    std::string Required, Available;   // "%s Ko" / "%s Mo" texts
    bool Enough = false;               // the verdict on NextBtn
};

// need against the space left to the current user on the drive of mainDir. A failed
// free-space query counts as no space at all.
DiskSpaceView DiskSpaceFor(int32_t need, const std::string& mainDir);
// The bytes the chosen components (bit i = component i) take in mainDir, summed as the
// component page's 32-bit slots are: wrapping, not overflowing.
int32_t ChosenBytes(const TAttachedFiles& files, uint8_t chosen, const std::string& mainDir);
