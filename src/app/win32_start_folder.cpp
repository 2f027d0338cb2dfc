#include <string>

#include "app/start_folder.h"
#include "framework/message_box.h"
#include "serial/win32_api.h"
#include "update/standard_streams.h"
#include "update/system_error.h"
// After <windows.h>:
#include <knownfolders.h>
#include <shlobj.h>

namespace {

bool Refuse(const std::string& folder, DWORD error) {
    WriteAll(kStandardError, "qelpupd: " + folder + ": " +
                                 SystemErrorText(static_cast<int>(error)) +
                                 "; staying in the current folder\n");
    fw::FileErrorBox(folder, static_cast<int>(error));
    return false;
}

}  // namespace

bool EnterDocumentsFolder() {
    wchar_t* documents = nullptr;
    const HRESULT found =
        SHGetKnownFolderPath(FOLDERID_Documents, KF_FLAG_CREATE, nullptr, &documents);
    if (FAILED(found)) {
        CoTaskMemFree(documents);
        return Refuse("Documents", static_cast<DWORD>(HRESULT_CODE(found)));
    }
    const std::wstring folder = std::wstring(documents) + L"\\QelpUpd";
    CoTaskMemFree(documents);
    if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) return Refuse(Utf8FromWide(folder), error);
    }
    if (!SetCurrentDirectoryW(folder.c_str())) {
        const DWORD error = GetLastError();
        return Refuse(Utf8FromWide(folder), error);
    }
    return true;
}
