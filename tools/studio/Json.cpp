#include "tools/studio/Json.h"

namespace studio {

std::string printJson(Json tree) {
    char* text = cJSON_PrintUnformatted(tree.get());
    std::string out = text ? text : "null";
    cJSON_free(text);
    return out;
}

double jsonNumber(const cJSON* object, const char* key, double fallback) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(object, key);
    return cJSON_IsNumber(item) ? item->valuedouble : fallback;
}

std::string jsonString(const cJSON* object, const char* key, const std::string& fallback) {
    const cJSON* item = cJSON_GetObjectItemCaseSensitive(object, key);
    return cJSON_IsString(item) ? std::string(item->valuestring) : fallback;
}

bool jsonBool(const cJSON* object, const char* key) {
    return cJSON_IsTrue(cJSON_GetObjectItemCaseSensitive(object, key));
}

std::string base64(const uint8_t* data, size_t size) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((size + 2) / 3 * 4);
    for (size_t i = 0; i < size; i += 3) {
        const uint32_t n = uint32_t(data[i]) << 16 |
                           (i + 1 < size ? uint32_t(data[i + 1]) << 8 : 0) |
                           (i + 2 < size ? data[i + 2] : 0);
        out += digits[n >> 18];
        out += digits[(n >> 12) & 63];
        out += i + 1 < size ? digits[(n >> 6) & 63] : '=';
        out += i + 2 < size ? digits[n & 63] : '=';
    }
    return out;
}

std::string errorJson(const std::string& text) {
    Json tree(cJSON_CreateObject());
    cJSON_AddStringToObject(tree.get(), "error", text.c_str());
    return printJson(std::move(tree));
}

}  // namespace studio
