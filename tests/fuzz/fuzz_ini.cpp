// Fuzz target: setting.ini text through the INI reader and the three transform settings.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/IniFile.h"
#include "config/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IniFile ini;
    ini.loadText(std::string(reinterpret_cast<const char*>(data), size));
    TransformSettings settings;
    SettingsError error;
    if (readTransformSettings(ini, settings, error)) {
        if (settings.rotate < 0 || settings.rotate > 2) __builtin_trap();
    } else if (error.what.empty()) {
        __builtin_trap();  // a failed conversion always says why
    }
    return 0;
}
