// The fontSet keys that choose the typeface: "faceIndex", "variations" and "fallbackFonts".
// They are read beside the binding table, strictly: a value of the wrong type is an error, not a
// default, because a run on the wrong face or instance would look right and be wrong.
#pragma once

#include <string>
#include <vector>

#include "config/FontConfig.h"

struct cJSON;

// Reads the three keys from the fontSet object `fontSet` (null: nothing to read) into
// `settings`. Each value of the wrong type adds one line to `errors` and leaves the setting at
// its default. An empty "variations" object or "fallbackFonts" array counts as absent.
void readFontChoices(const cJSON* fontSet, FontSetSettings& settings,
                     std::vector<std::string>& errors);

// The member as written in the file (control characters escaped), shortened for a one-line
// message.
std::string jsonText(const cJSON* node);

// "700", "14.5", "-10": the shortest decimal text that reads back as `value`.
std::string shortestDecimal(double value);

// What the output names add after the font stem for this face and instance: "_face<k>" for a
// face other than 0, then "_<tag><value>" per variation in the order given. Empty by default.
std::string fontChoiceSuffix(int32_t faceIndex, const std::vector<AxisValue>& variations);

// Design coordinates are FreeType 16.16 fixed-point numbers: the values they can hold.
constexpr double kMinAxisValue = -32768.0;
constexpr double kMaxAxisValue = 32767.0;
