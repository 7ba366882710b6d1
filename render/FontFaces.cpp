#include "render/FontFaces.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_MULTIPLE_MASTERS_H
#include FT_SFNT_NAMES_H

#include <cmath>
#include <memory>

#include "config/FontChoices.h"
#include "platform/platform.h"
#include "render/CvxText.h"
#include "render/FaceOpen.h"

namespace {

// Entry `nameId` of the face's name table as UTF-8: the English Windows entry (UTF-16BE) when
// there is one, else a Macintosh Roman one read as ASCII; empty when there is neither.
std::string sfntName(FT_Face face, FT_UInt nameId) {
    std::string mac;
    const FT_UInt count = FT_Get_Sfnt_Name_Count(face);
    for (FT_UInt i = 0; i < count; ++i) {
        FT_SfntName entry;
        if (FT_Get_Sfnt_Name(face, i, &entry) != 0 || entry.name_id != nameId) continue;
        if (entry.platform_id == 3 && (entry.encoding_id == 1 || entry.encoding_id == 10) &&
            entry.language_id == 0x409) {
            std::string text;
            for (FT_UInt k = 0; k + 1 < entry.string_len; k += 2) {
                uint32_t c = static_cast<uint32_t>(entry.string[k] << 8 | entry.string[k + 1]);
                if (c >= 0xD800 && c < 0xDC00 && k + 3 < entry.string_len) {
                    const uint32_t low =
                        static_cast<uint32_t>(entry.string[k + 2] << 8 | entry.string[k + 3]);
                    if (low >= 0xDC00 && low < 0xE000) {
                        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                        k += 2;
                    }
                }
                if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
                platform::appendUtf8(text, c);
            }
            return text;
        }
        if (entry.platform_id == 1 && entry.encoding_id == 0 && mac.empty()) {
            for (FT_UInt k = 0; k < entry.string_len; ++k)
                mac += entry.string[k] < 0x80 ? static_cast<char>(entry.string[k]) : '?';
        }
    }
    return mac;
}

std::string tagText(FT_ULong tag) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((tag >> shift) & 0xFF);
        if (c != ' ') text += (c >= 0x21 && c <= 0x7E) ? c : '?';
    }
    return text;
}

// A 16.16 design coordinate. FreeType hands named instances' coordinates over as the file's 32
// bits without sign extension, so negative values (a slant of -10) would read as 65526.
double fixedValue(FT_Fixed value) {
    return static_cast<int32_t>(static_cast<uint32_t>(value & 0xFFFFFFFF)) / 65536.0;
}

FaceInfo describeFace(FT_Library library, FT_Face face) {
    FaceInfo info;
    info.index = face->face_index & 0xFFFF;
    info.family = face->family_name ? face->family_name : "";
    info.style = face->style_name ? face->style_name : "";
    info.glyphCount = face->num_glyphs;
    info.outlines = FT_IS_SCALABLE(face);
    info.unitsPerEm = face->units_per_EM;
    info.ascender = face->ascender;
    info.descender = face->descender;
    for (FT_Int i = 0; i < face->num_fixed_sizes; ++i) {
        const FT_Bitmap_Size& s = face->available_sizes[i];
        info.strikes.push_back(StrikeInfo{s.width, s.height, s.x_ppem / 64.0, s.y_ppem / 64.0});
        // FreeType takes a strike when the requested pixel size, which is both width and height
        // here, rounds to the strike's pixels per em in both directions.
        std::vector<int32_t> sizes;
        const FT_Pos x = (s.x_ppem + 32) & ~63;
        const FT_Pos y = (s.y_ppem + 32) & ~63;
        for (int32_t fontSize = 1; fontSize <= 255 && info.outlines; ++fontSize) {
            const FT_Pos pixels = static_cast<FT_Pos>(info.pixelSizeFor(fontSize)) * 64;
            if (pixels == x && pixels == y) sizes.push_back(fontSize);
        }
        info.strikeSizes.push_back(sizes);
    }
    info.axes = readAxes(library, face);
    FT_MM_Var* mm = nullptr;
    if (FT_HAS_MULTIPLE_MASTERS(face) && FT_Get_MM_Var(face, &mm) == 0) {
        for (FT_UInt i = 0; i < mm->num_namedstyles; ++i) {
            NamedInstanceInfo instance;
            instance.name = sfntName(face, mm->namedstyle[i].strid);
            for (FT_UInt a = 0; a < mm->num_axis; ++a)
                instance.coordinates.push_back(fixedValue(mm->namedstyle[i].coords[a]));
            info.instances.push_back(instance);
        }
        FT_Done_MM_Var(library, mm);
    }
    return info;
}

struct LibraryHolder {
    FT_Library library = nullptr;
    ~LibraryHolder() {
        if (library) FT_Done_FreeType(library);
    }
};

}  // namespace

std::vector<AxisInfo> readAxes(FT_Library library, FT_Face face) {
    std::vector<AxisInfo> axes;
    FT_MM_Var* mm = nullptr;
    if (!FT_HAS_MULTIPLE_MASTERS(face) || FT_Get_MM_Var(face, &mm) != 0) return axes;
    for (FT_UInt a = 0; a < mm->num_axis; ++a) {
        const FT_Var_Axis& axis = mm->axis[a];
        AxisInfo info;
        info.tag = tagText(axis.tag);
        info.name = sfntName(face, axis.strid);
        if (info.name.empty()) info.name = axis.name ? axis.name : info.tag;
        info.minimum = axis.minimum / 65536.0;
        info.defaultValue = axis.def / 65536.0;
        info.maximum = axis.maximum / 65536.0;
        axes.push_back(info);
    }
    FT_Done_MM_Var(library, mm);
    return axes;
}

uint32_t FaceInfo::pixelSizeFor(int32_t fontSize) const {
    // The rasteriser's rule, on the face's metrics as FreeType reports them.
    if (ascender == descender) return 0;
    const double height = std::trunc(unitsPerEm / static_cast<double>(ascender - descender) *
                                     std::fabs(static_cast<double>(fontSize)));
    if (!(height > 0.0)) return 0;
    return height > 65535.0 ? 65535u : static_cast<uint32_t>(height);
}

std::vector<FaceInfo> describeFontFaces(const std::string& path) {
    LibraryHolder holder;
    FT_Error error = FT_Init_FreeType(&holder.library);
    if (error != 0) {
        holder.library = nullptr;
        throw FontError("cannot open font \"" + path +
                        "\": " + describeFreetypeError("FT_Init_FreeType", error));
    }
    std::vector<FaceInfo> faces;
    long count = 1;
    for (long index = 0; index < count; ++index) {
        FT_StreamRec stream{};
        FT_Face face = nullptr;
        error = openFace(holder.library, path, index, stream, &face);
        if (error != 0) {
            // A later face that fails still leaves the ones before it to report.
            if (index > 0) break;
            throw FontError("cannot open font \"" + path +
                            "\": " + describeFreetypeError("FT_New_Face", error));
        }
        count = face->num_faces;
        faces.push_back(describeFace(holder.library, face));
        FT_Done_Face(face);
    }
    return faces;
}

std::string faceListText(const std::vector<FaceInfo>& faces) {
    std::string text;
    for (const FaceInfo& f : faces) {
        if (!text.empty()) text += ", ";
        text += std::to_string(f.index) + " " + f.family + " (" + f.style + ")";
    }
    return text;
}

std::string axisListText(const std::vector<AxisInfo>& axes) {
    std::string text;
    for (const AxisInfo& a : axes) {
        if (!text.empty()) text += ", ";
        text += a.tag + " " + shortestDecimal(a.minimum) + " to " + shortestDecimal(a.maximum) +
                " (default " + shortestDecimal(a.defaultValue) + ")";
    }
    return text;
}
