// The character list file: the selected code points as bare 16-bit little-endian values, in the
// same layout as the character-list files the selection reads, so a later run can reuse it.
#pragma once

#include <cstdint>

#include "output/ByteSink.h"

// Writes the first `charCount` entries of `charList` (2 x charCount bytes) in one write. Returns
// false when the sink has failed. A null list or a count of 0 or less writes nothing.
bool writeCharList(ByteSink& out, const uint16_t* charList, int32_t charCount);
