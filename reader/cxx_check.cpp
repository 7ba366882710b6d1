// Compiles the reader as C++ (headers and implementation): firmware projects often build their
// sources with a C++ compiler, and the writers include fb_format.h. This object is never linked;
// the library is the C build.
#include "reader/fb_format.h"  // first: it stands alone
// (the rest in any order)
#include "reader/fb_advances.c"
#include "reader/fb_compact.c"
#include "reader/fb_crc.c"
#include "reader/fb_decode.c"
#include "reader/fb_decode_fast.c"
#include "reader/fb_legacy.c"
#include "reader/fb_open.c"
#include "reader/fontbin_reader.h"
#include "reader/fontbin_strings.c"
#include "reader/fontbin_strings.h"
#include "reader/fontbin_text.c"
#include "reader/fontbin_text.h"
#include "reader/fontbin_text_lines.c"
