#include "RealMachine.h"

#include <ole2.h>

#include <vector>


Win32Platform& RealPlatform()
{
    static Win32Platform* platform = [] {
        ::OleInitialize(nullptr);
        auto* made = new Win32Platform();   // lives as long as the process
        made->LocateFolderService();
        return made;
    }();
    return *platform;
}

void ForceDeleteTree(const std::string& folder)
{
    std::string base = folder;
    if (!base.empty() && base.back() != '\\') base += '\\';
    WIN32_FIND_DATAA entry;
    HANDLE search = ::FindFirstFileA((base + "*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = base + name;
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                ForceDeleteTree(path);
            else
                ::DeleteFileA(path.c_str());
        } while (::FindNextFileA(search, &entry));
        ::FindClose(search);
    }
    ::RemoveDirectoryA(base.c_str());
}

std::string EnvironmentText(const char* name)
{
    char value[1024];
    DWORD length = ::GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

void RealMachineTest::SetUp()
{
    SetPlatform(&RealPlatform());
    char temp[MAX_PATH];
    ::GetTempPathA(MAX_PATH, temp);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    scratch = std::string(temp) + "vlmtest-" + test->test_suite_name() + "-" + test->name() + "\\";
    ForceDeleteTree(scratch);
    ASSERT_TRUE(::CreateDirectoryA(scratch.c_str(), nullptr)) << scratch;
}

void RealMachineTest::TearDown()
{
    ForceDeleteTree(scratch);
}
