/* A stand-in for a DLL that quoril.exe must never take from its own folder,
 * for the wine check: when loaded, it leaves a file beside itself, its own
 * name with ".loaded" added. Its exports (marker_dll.def) forward what
 * wine's own user32 takes from version.dll, so that a process still starts
 * when wine loads it under that name. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    static const WCHAR suffix[] = L".loaded";
    WCHAR path[MAX_PATH + sizeof suffix / sizeof suffix[0]];
    DWORD length;
    HANDLE marker;

    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    length = GetModuleFileNameW(instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return TRUE;
    lstrcatW(path, suffix);
    marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (marker != INVALID_HANDLE_VALUE)
        CloseHandle(marker);
    return TRUE;
}
