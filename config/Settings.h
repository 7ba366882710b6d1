// Transform settings from setting.ini in the working directory.
#pragma once

#include <cstdint>
#include <string>

struct TransformSettings {
    std::string TransformAlgrithm;  // the exact text "gamma" enables gamma correction
    double gamma = 1.0;
    int32_t rotate = 0;  // 0 none, 1 quarter turn clockwise, 2 quarter turn counter-clockwise
};

class IniFile;

struct SettingsError {
    std::string key;   // "gamma" or "rotate"
    std::string text;  // the value that did not convert
    std::string what;  // "invalid stod argument", "stoi argument out of range", ...
};

// Fills `out` from a loaded INI file. Returns false and fills `error` when gamma or rotate does
// not convert; `out` is then unspecified and the run must stop.
bool readTransformSettings(const IniFile& ini, TransformSettings& out, SettingsError& error);
