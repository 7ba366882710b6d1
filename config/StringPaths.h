// The top-level key "stringPaths": files of UI strings that are shaped at build time. Read beside
// the binding table, strictly: a value of the wrong type is an error, because strings dropped or
// drawn in the wrong direction would only show on the device.
#pragma once

#include <string>
#include <vector>

#include "config/FontConfig.h"

struct cJSON;

// Reads the member's array into `sources`: each element a path, or an object with "path" and
// optionally "language" (a BCP 47 tag such as "ar" or "ur-PK") and "direction" ("auto", "ltr" or
// "rtl"). The first fault adds one line to `errors` and leaves `sources` empty.
void readStringPaths(const cJSON* member, std::vector<StringSource>& sources,
                     std::vector<std::string>& errors);

// True for a BCP 47 tag as far as shaping needs it: subtags of 1 to 8 ASCII letters or digits
// joined by "-", the first of 2 to 8 letters.
bool isLanguageTag(const std::string& tag);
