// One suite of what the program relies on from the operating system, run over the fake machine
// (host tests) and over the real Win32 calls (under Wine), so that the double cannot drift.
// Each tier supplies the machine: the platform installed as Sys(), a scratch folder, and the
// few things a test must do to the machine from outside the program.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/Platform.h"

class ContractMachine {
public:
    virtual ~ContractMachine() = default;
    virtual std::string Scratch() = 0;   // an empty folder of this test, ending in a backslash
    virtual void SetAttributes(const std::string& path, uint32_t attributes) = 0;
    // Another program holds the file open for reading only, until the object goes.
    virtual std::shared_ptr<void> HoldFile(const std::string& path) = 0;
    // A second name for an existing file.
    virtual void MakeHardLink(const std::string& path, const std::string& existing) = 0;
    // A registry key path under HKCU that this test may fill and that is gone afterwards.
    virtual std::string ScratchKey() = 0;
};

// Made by each tier, once per test.
std::unique_ptr<ContractMachine> NewContractMachine();

class MachineContract : public ::testing::Test {
protected:
    void SetUp() override {
        machine = NewContractMachine();
        scratch = machine->Scratch();
    }
    void TearDown() override { machine.reset(); }

    std::unique_ptr<ContractMachine> machine;
    std::string scratch;
};
