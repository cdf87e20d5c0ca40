// The machine contract over the fake machine.
#include "FakeMachine.h"
#include "contract/MachineContract.h"

namespace {

class FakeContractMachine : public ContractMachine {
public:
    FakeContractMachine() {
        machine_.StandardSetup();
        machine_.MakeFolder("C:\\Contract");
    }
    std::string Scratch() override { return "C:\\Contract\\"; }
    void SetAttributes(const std::string& path, uint32_t attributes) override {
        machine_.SetAttributes(path, attributes);
    }
    std::shared_ptr<void> HoldFile(const std::string& path) override {
        machine_.LockFile(path);
        return std::shared_ptr<void>(nullptr, [this, path](void*) { machine_.ReleaseFile(path); });
    }
    void MakeHardLink(const std::string& path, const std::string& existing) override {
        machine_.MakeHardLink(path, existing);
    }
    std::string ScratchKey() override { return "Software\\VelmorraContract"; }

private:
    FakeMachine machine_;
    UseFakeMachine use_{machine_};
};

}  // namespace

std::unique_ptr<ContractMachine> NewContractMachine() { return std::make_unique<FakeContractMachine>(); }
