// FreeType helpers shared by the rasteriser and the font report (render/ only).
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <string>
#include <vector>

#include "render/FontFaces.h"

// Opens face `faceIndex` of the font at the UTF-8 `path`: by FreeType itself where it can open
// such a path, otherwise through `stream` over our own file, which must outlive the face.
FT_Error openFace(FT_Library library, const std::string& path, long faceIndex, FT_StreamRec& stream,
                  FT_Face* face);

// The pixel size that makes the face's ascender-to-descender span `span` pixels (fontbin's sizing
// rule), clamped to what FreeType accepts; 0 when the metrics give none.
FT_UInt pixelHeight(FT_Face face, double span);

// "FT_New_Face failed: unknown file format (error 0x02)".
std::string describeFreetypeError(const char* call, FT_Error error);

// The variation axes of an open face (none for a face that is not variable).
std::vector<AxisInfo> readAxes(FT_Library library, FT_Face face);
