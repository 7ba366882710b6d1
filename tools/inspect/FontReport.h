// fontbin-inspect --font FONT [--size N]: what a font file offers to choose from (faces, bitmap
// strikes, variation axes and named instances), for choosing faceIndex, variations and fontSize.
#pragma once

#include <string>
#include <vector>

#include "tools/inspect/Inspect.h"

namespace inspect {

// True when the arguments ask for the font report rather than a font bitmap file's.
bool wantsFontReport(const std::vector<std::string>& args);

// The report on its arguments (without the program name). `toolDir` is where a bare font name
// is looked for after the system's font folders, as fontbin does: <toolDir>/font/.
Result fontReport(const std::vector<std::string>& args, const std::string& toolDir);

}  // namespace inspect
