// Windows only: the fonts the registry lists as installed, for the machine or for the user. Used
// by the lookup of a font by its name (host.cpp) and by the list of installed fonts (desktop.cpp).
#pragma once
#ifdef _WIN32

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace platform {

// "SimSun & NSimSun (TrueType)": the names of the faces, in the order of the collection.
inline std::vector<std::wstring> registryFontNames(std::wstring entry) {
    const size_t open = entry.rfind(L" (");
    if (open != std::wstring::npos && !entry.empty() && entry.back() == L')') entry.resize(open);
    std::vector<std::wstring> names;
    for (size_t at = 0;;) {
        const size_t amp = entry.find(L" & ", at);
        names.push_back(entry.substr(at, amp == std::wstring::npos ? amp : amp - at));
        if (amp == std::wstring::npos) return names;
        at = amp + 3;
    }
}

// Calls visit(faceNames, file) for each font listed under `root` (HKEY_LOCAL_MACHINE or
// HKEY_CURRENT_USER), in the registry's order, until it returns true. A bare file name lies in
// `fontsDir`; the user's fonts are listed with their whole path.
template <class Visit>
void forEachRegistryFont(HKEY root, const std::filesystem::path& fontsDir, Visit visit) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts", 0, KEY_READ,
                      &key) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        wchar_t entry[512];
        wchar_t data[1024];
        DWORD entryLength = 512, dataBytes = sizeof data - sizeof(wchar_t), type = 0;
        const LSTATUS status = RegEnumValueW(key, i, entry, &entryLength, nullptr, &type,
                                             reinterpret_cast<BYTE*>(data), &dataBytes);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
        // "@" marks the vertical variant of a face, which is not a font of its own.
        if (entryLength == 0 || entry[0] == L'@') continue;
        data[dataBytes / sizeof(wchar_t)] = L'\0';
        std::filesystem::path file(data);
        if (file.is_relative() && !fontsDir.empty()) file = fontsDir / file;
        if (visit(registryFontNames(std::wstring(entry, entryLength)), file)) break;
    }
    RegCloseKey(key);
}

}  // namespace platform

#endif
