/* A DLL that only tells it was loaded: it appends its own name and the loading program's path to
   "dll-probes.log" beside itself, then refuses the load. Planted under system DLL names beside
   the setup program, it shows whether the program picked up a DLL it did not ask for by path. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved)
{
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char path[MAX_PATH], program[MAX_PATH], line[2 * MAX_PATH + 4];
    if (!GetModuleFileNameA(self, path, MAX_PATH) || !GetModuleFileNameA(NULL, program, MAX_PATH))
        return FALSE;
    char* slash = strrchr(path, '\\');
    const char* name = slash ? slash + 1 : path;
    lstrcpyA(line, name);
    lstrcatA(line, "\t");
    lstrcatA(line, program);
    lstrcatA(line, "\r\n");
    lstrcpyA(slash ? slash + 1 : path, "dll-probes.log");
    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, NULL);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(log, line, (DWORD)lstrlenA(line), &written, NULL);
        CloseHandle(log);
    }
    return FALSE;
}
