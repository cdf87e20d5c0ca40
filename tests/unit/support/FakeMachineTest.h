// Base fixture: a fresh fake machine installed as the platform for each test.
#pragma once
#include <gtest/gtest.h>

#include "FakeMachine.h"
#include "instutils/SafeFiles.h"

class FakeMachineTest : public ::testing::Test {
protected:
    FakeMachine machine;
    UseFakeMachine use{machine};
    SharedData sharedData;   // as this test's installation finds it
};

// The same with a usual machine already set up (drive C:, profile folders, temp folder).
class StandardMachineTest : public FakeMachineTest {
protected:
    StandardMachineTest() { machine.StandardSetup(); }
};
