// The machine contract over the real calls, on real files and Wine's registry.
#include "RealMachine.h"
#include "contract/MachineContract.h"

namespace {

const char kScratchKey[] = "Software\\VelmorraContract";

class RealContractMachine : public ContractMachine {
public:
    RealContractMachine() {
        SetPlatform(&RealPlatform());
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        scratch_ = std::string(temp) + "vlmcontract-" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
        ForceDeleteTree(scratch_);
        ::CreateDirectoryA(scratch_.c_str(), nullptr);
        DeleteScratchKey();
    }
    ~RealContractMachine() override {
        ForceDeleteTree(scratch_);
        DeleteScratchKey();
    }
    std::string Scratch() override { return scratch_; }
    void SetAttributes(const std::string& path, uint32_t attributes) override {
        ::SetFileAttributesA(path.c_str(), attributes);
    }
    std::shared_ptr<void> HoldFile(const std::string& path) override {
        HANDLE other = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, other);
        return std::shared_ptr<void>(other, [](void* handle) { ::CloseHandle(handle); });
    }
    void MakeHardLink(const std::string& path, const std::string& existing) override {
        EXPECT_TRUE(::CreateHardLinkA(path.c_str(), existing.c_str(), nullptr));
    }
    std::string ScratchKey() override { return kScratchKey; }

private:
    static void DeleteScratchKey() {
        ::RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(kScratchKey) + "\\Install").c_str());
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kScratchKey);
    }
    std::string scratch_;
};

}  // namespace

std::unique_ptr<ContractMachine> NewContractMachine() { return std::make_unique<RealContractMachine>(); }
