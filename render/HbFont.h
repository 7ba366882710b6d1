// HarfBuzz over the faces FreeType opened: the same tables, size and instance that draw the
// glyphs, so what HarfBuzz positions is what the cells hold. Used by the kerning pairs and by the
// shaping of UI strings.
#pragma once

#include <hb.h>

#include <memory>

struct FT_FaceRec_;

template <typename T, void (*Destroy)(T*)>
struct HbDeleter {
    void operator()(T* p) const { Destroy(p); }
};
using FaceHolder = std::unique_ptr<hb_face_t, HbDeleter<hb_face_t, hb_face_destroy>>;
using FontHolder = std::unique_ptr<hb_font_t, HbDeleter<hb_font_t, hb_font_destroy>>;
using SetHolder = std::unique_ptr<hb_set_t, HbDeleter<hb_set_t, hb_set_destroy>>;
using BlobHolder = std::unique_ptr<hb_blob_t, HbDeleter<hb_blob_t, hb_blob_destroy>>;
using BufferHolder = std::unique_ptr<hb_buffer_t, HbDeleter<hb_buffer_t, hb_buffer_destroy>>;

// A HarfBuzz face reading its tables through FreeType: the same member of a collection, also
// when FreeType opened the file through our own stream. `face` must outlive it.
FaceHolder faceOverFreeType(FT_FaceRec_* face);

// The font at FreeType's size and instance with HarfBuzz's own (unhinted) metrics, scaled so
// that positions come out in 26.6 pixels.
FontHolder sizedFont(FT_FaceRec_* face, hb_face_t* hbFace);
