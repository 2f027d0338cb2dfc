#include "serial/thread_name.h"
#include "serial/win32_api.h"

void NameCurrentThread(const char* name) {
    // Windows 10 1607 and later; looked up at run time so that older systems still run the program.
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto setDescription = reinterpret_cast<SetDescription>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (setDescription != nullptr) setDescription(GetCurrentThread(), WideFromUtf8(name).c_str());
}
