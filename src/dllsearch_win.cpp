// Windows looks for a DLL that is not one of its KnownDLLs in the
// executable's own folder first. A DLL of such a name lying beside
// quoril.exe, say in a Downloads folder, would run inside the program. This
// unit restricts every later search to System32 before any code of Qt or of
// the C runtime runs; the imports that are not KnownDLLs are delay-loaded,
// so they are resolved after it.

#include <windows.h>

namespace {

// Windows 7 without its DLL search update lacks the call: the program still
// starts there, with the search as it was.
void restrictDllSearchToSystem32()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI *)(DWORD);
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (!kernel32)
        return;
    const auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
            reinterpret_cast<void *>(GetProcAddress(kernel32, "SetDefaultDllDirectories")));
    if (setDefaultDllDirectories)
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void NTAPI onProcessEvent(PVOID, DWORD reason, PVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        restrictDllSearchToSystem32();
}

// A TLS callback runs before the entry point and so before every static
// initialiser. The runtime's own callbacks sit in .CRT$XLC and later; the
// linker runs them in the order of their section names.
__attribute__((section(".CRT$XLB"), used)) const PIMAGE_TLS_CALLBACK dllSearchCallback = onProcessEvent;

} // namespace
