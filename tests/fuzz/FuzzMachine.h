// What every fuzz target starts from: a fresh fake machine for each input; extractions answer
// their questions Ignore (Retry would loop on a file that can never be written).
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/InstallThread.h"
#include "support/FakeMachine.h"

struct FuzzMachine {
    FakeMachine machine;
    UseFakeMachine use{machine};

    FuzzMachine() { machine.StandardSetup(); }
};

inline constexpr auto IgnoreFailures = [](const std::string&, int, uint16_t) { return int(mrIgnore); };

// A broken promise of the code under test: reported as a crash, with the input saved by libFuzzer.
[[noreturn]] inline void FuzzFail(const char* what)
{
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

inline void FuzzCheck(bool condition, const char* what)
{
    if (!condition) FuzzFail(what);
}

inline bool StartsWithNoCase(const std::string& text, const std::string& prefix)
{
    return text.size() >= prefix.size() && Cp1252Upper(text.substr(0, prefix.size())) == Cp1252Upper(prefix);
}
