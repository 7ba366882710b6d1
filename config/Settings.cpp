#include "config/Settings.h"

#include <stdexcept>

#include "config/IniFile.h"

bool readTransformSettings(const IniFile& ini, TransformSettings& out, SettingsError& error) {
    out.TransformAlgrithm = ini.getSetting("TransformAlgrithm", "");
    const std::string gammaText = ini.getSetting("gamma", "1");
    try {
        out.gamma = std::stod(gammaText);
    } catch (const std::invalid_argument&) {
        error = {"gamma", gammaText, "invalid stod argument"};
        return false;
    } catch (const std::out_of_range&) {
        error = {"gamma", gammaText, "stod argument out of range"};
        return false;
    }
    const std::string rotateText = ini.getSetting("rotate", "0");
    int rotate = 0;
    try {
        rotate = std::stoi(rotateText, nullptr, 10);
    } catch (const std::invalid_argument&) {
        error = {"rotate", rotateText, "invalid stoi argument"};
        return false;
    } catch (const std::out_of_range&) {
        error = {"rotate", rotateText, "stoi argument out of range"};
        return false;
    }
    out.rotate = (rotate == 1 || rotate == 2) ? rotate : 0;
    return true;
}
