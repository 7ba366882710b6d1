#include "render/HbFont.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_MULTIPLE_MASTERS_H
#include FT_TRUETYPE_TABLES_H

#include <hb-ot.h>

#include <cstdlib>
#include <vector>

namespace {

hb_blob_t* referenceTable(hb_face_t*, hb_tag_t tag, void* user) {
    const FT_Face face = static_cast<FT_Face>(user);
    FT_ULong length = 0;
    if (FT_Load_Sfnt_Table(face, tag, 0, nullptr, &length) != 0 || length == 0) return nullptr;
    auto* bytes = static_cast<FT_Byte*>(std::malloc(length));
    if (!bytes) return nullptr;
    if (FT_Load_Sfnt_Table(face, tag, 0, bytes, &length) != 0) {
        std::free(bytes);
        return nullptr;
    }
    return hb_blob_create(reinterpret_cast<const char*>(bytes), static_cast<unsigned>(length),
                          HB_MEMORY_MODE_WRITABLE, bytes, std::free);
}

}  // namespace

FaceHolder faceOverFreeType(FT_FaceRec_* face) {
    FaceHolder hbFace(hb_face_create_for_tables(referenceTable, face, nullptr));
    hb_face_set_upem(hbFace.get(), face->units_per_EM);
    return hbFace;
}

FontHolder sizedFont(FT_FaceRec_* face, hb_face_t* hbFace) {
    FontHolder font(hb_font_create(hbFace));
    hb_ot_font_set_funcs(font.get());
    const uint64_t upem = face->units_per_EM;
    const auto scale = [&](FT_Fixed s) {
        return static_cast<int>((static_cast<uint64_t>(s < 0 ? -s : s) * upem + 0x8000u) >> 16);
    };
    hb_font_set_scale(font.get(), scale(face->size->metrics.x_scale),
                      scale(face->size->metrics.y_scale));
    hb_font_set_ppem(font.get(), face->size->metrics.x_ppem, face->size->metrics.y_ppem);
    FT_MM_Var* mm = nullptr;
    if (FT_HAS_MULTIPLE_MASTERS(face) && FT_Get_MM_Var(face, &mm) == 0) {
        std::vector<FT_Fixed> blend(mm->num_axis);
        if (FT_Get_Var_Blend_Coordinates(face, mm->num_axis, blend.data()) == 0) {
            std::vector<int> coords(blend.size());
            for (size_t i = 0; i < blend.size(); ++i) coords[i] = static_cast<int>(blend[i] >> 2);
            hb_font_set_var_coords_normalized(font.get(), coords.data(),
                                              static_cast<unsigned>(coords.size()));
        }
        FT_Done_MM_Var(face->glyph->library, mm);
    }
    return font;
}
