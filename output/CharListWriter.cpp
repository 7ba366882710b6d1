#include "output/CharListWriter.h"

#include <vector>

#include "output/LittleEndian.h"

bool writeCharList(ByteSink& out, const uint16_t* charList, int32_t charCount) {
    const size_t count =
        (charList != nullptr && charCount > 0) ? static_cast<size_t>(charCount) : 0;
    if (count == 0) return out.good();
    if (hostIsLittleEndian()) {
        // The code points' bytes in memory are already the file's bytes.
        return out.write(charList, count * 2);
    }
    std::vector<uint8_t> bytes(count * 2);
    for (size_t i = 0; i < count; ++i) storeLittleEndian(&bytes[2 * i], charList[i], 2);
    return out.write(bytes.data(), bytes.size());
}
