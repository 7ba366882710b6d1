// Compiles the reader as C++ (header and implementation): firmware projects often build their
// sources with a C++ compiler. This object is never linked; the library is the C build.
#include "reader/fontbin_reader.c"
#include "reader/fontbin_reader.h"
#include "reader/fontbin_text.c"
#include "reader/fontbin_text.h"
