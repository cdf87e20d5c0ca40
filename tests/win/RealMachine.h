// Fixture for the Win32 tier: the real platform installed as Sys(), COM and the
// special-folder service ready, and a fresh scratch folder for each test.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "instutils/SafeFiles.h"
#include "platform/Win32Platform.h"

// One real platform for the whole run, made on the main thread (the one gtest runs tests on).
Win32Platform& RealPlatform();

// Removes a folder tree, read-only files included (the product's own helper leaves those).
void ForceDeleteTree(const std::string& folder);

// An environment variable's value, or empty text.
std::string EnvironmentText(const char* name);

class RealMachineTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Scratch folder of this test, ending in a backslash.
    std::string scratch;
    SharedData sharedData;   // as this test's installation finds it
};
