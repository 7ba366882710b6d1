// Small helpers over cJSON for the studio's requests and answers.
#pragma once

#include <cjson/cJSON.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace studio {

struct JsonDelete {
    void operator()(cJSON* node) const { cJSON_Delete(node); }
};
using Json = std::unique_ptr<cJSON, JsonDelete>;

// The tree as compact text; the tree is released.
std::string printJson(Json tree);
// A member's value, or `fallback` when it is absent or of another type.
double jsonNumber(const cJSON* object, const char* key, double fallback);
std::string jsonString(const cJSON* object, const char* key, const std::string& fallback = "");
bool jsonBool(const cJSON* object, const char* key);
// Bytes as base64, for levels the page paints.
std::string base64(const uint8_t* data, size_t size);
// {"error": text}
std::string errorJson(const std::string& text);

}  // namespace studio
