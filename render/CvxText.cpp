#include "render/CvxText.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_MULTIPLE_MASTERS_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "config/FontChoices.h"
#include "platform/platform.h"
#include "render/FaceOpen.h"
#include "render/FontFaces.h"
#include "render/Sample.h"
#include "render/Shape.h"

namespace {

// FreeType's own error texts (the library is usually built without FT_Error_String), expanded
// from its error list in the documented way.
struct FreetypeErrorText {
    int code;
    const char* text;
};
// clang-format off
#undef FTERRORS_H_
#define FT_ERRORDEF(e, v, s) {e, s},
#define FT_ERROR_START_LIST const FreetypeErrorText kFreetypeErrors[] = {
#define FT_ERROR_END_LIST {0, nullptr}};
#include FT_ERRORS_H
// clang-format on

const char* freetypeErrorText(FT_Error error) {
    for (const auto& e : kFreetypeErrors) {
        if (e.text != nullptr && e.code == error) return e.text;
    }
    return "unknown error";
}

std::string describe(const char* call, FT_Error error) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(error));
    return std::string(call) + " failed: " + freetypeErrorText(error) + " (error " + code + ")";
}

}  // namespace

std::string describeFreetypeError(const char* call, FT_Error error) {
    return describe(call, error);
}

// Pixel size for a line span of `span` pixels. FreeType itself clamps to 1..0xFFFF; clamping
// here first keeps absurd values (and a descender above the ascender) out of the conversion.
FT_UInt pixelHeight(FT_Face face, double span) {
    const double height = std::trunc(face->units_per_EM /
                                     static_cast<double>(face->ascender - face->descender) * span);
    if (!(height > 0.0)) return 0;
    if (height > 65535.0) return 65535;
    return static_cast<FT_UInt>(height);
}

namespace {

// The first table of face `faceIndex` whose bytes reach past the end of the file, as text, or
// empty. FreeType drops such a table and goes on without it, so a font cut short inside its glyph
// data opens fine and then draws every glyph empty. Only the table directory is read: of a
// TrueType or OpenType file, a collection or a WOFF file; other formats pass unchecked.
std::string tablePastEnd(const std::string& path, long faceIndex) {
    // Stdio rather than a file stream, which would set up the standard library's locale just for
    // these few reads.
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    const std::unique_ptr<std::FILE, Closer> in(
        platform::openFile(platform::pathFromUtf8(path), "rb"));
    if (!in || std::fseek(in.get(), 0, SEEK_END) != 0) return {};
    const long end = std::ftell(in.get());
    if (end <= 0) return {};
    const uint64_t fileSize = static_cast<uint64_t>(end);
    std::FILE* const file = in.get();
    auto read = [file, fileSize](uint64_t offset, uint8_t* bytes, size_t count) {
        if (offset > fileSize || count > fileSize - offset) return false;
        if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
        return std::fread(bytes, 1, count, file) == count;
    };
    auto be = [](const uint8_t* p, int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
        return v;
    };
    uint8_t head[12];
    if (!read(0, head, sizeof head)) return {};
    uint64_t entries = 12;  // where the table entries start
    size_t entrySize = 16;  // tag, checksum, offset, length
    size_t offsetAt = 8, lengthAt = 12;
    uint32_t tables = be(head + 4, 2);
    if (std::memcmp(head, "ttcf", 4) == 0) {
        const uint32_t face = static_cast<uint32_t>(faceIndex) & 0xFFFF;
        uint8_t offset[4];
        if (face >= be(head + 8, 4) || !read(12 + 4ull * face, offset, 4)) return {};
        const uint64_t directory = be(offset, 4);
        if (!read(directory, head, sizeof head)) return {};
        entries = directory + 12;
        tables = be(head + 4, 2);
    } else if (std::memcmp(head, "wOFF", 4) == 0) {
        // After the 44-byte WOFF header: tag, offset, compressed length, length, checksum.
        uint8_t count[2];
        if (!read(12, count, 2)) return {};
        tables = be(count, 2);
        entries = 44;
        entrySize = 20;
        offsetAt = 4;
        lengthAt = 8;
    } else if (be(head, 4) != 0x00010000 && std::memcmp(head, "true", 4) != 0 &&
               std::memcmp(head, "OTTO", 4) != 0) {
        return {};
    }
    for (uint32_t i = 0; i < tables; ++i) {
        uint8_t entry[20];
        if (!read(entries + uint64_t{i} * entrySize, entry, entrySize)) return {};
        const uint64_t tableEnd =
            uint64_t{be(entry + offsetAt, 4)} + uint64_t{be(entry + lengthAt, 4)};
        if (tableEnd > fileSize) {
            std::string tag(reinterpret_cast<const char*>(entry), 4);
            for (char& c : tag)
                if (c < 0x20 || c > 0x7E) c = '?';
            return "its '" + tag + "' table ends at byte " + std::to_string(tableEnd) +
                   ", past the end of the " + std::to_string(fileSize) + "-byte file (cut short?)";
        }
    }
    return {};
}

struct GlyphDeleter {
    void operator()(FT_Glyph glyph) const { FT_Done_Glyph(glyph); }
};
using GlyphHolder = std::unique_ptr<FT_GlyphRec, GlyphDeleter>;

// Loads, emboldens, slants and renders glyph `index` (FreeType's index of the character code).
// Returns the bitmap glyph, or nothing when FreeType fails to load or render it (the caller then
// treats the character as empty); `failure` then names the call that failed and FreeType's reason.
GlyphHolder renderBitmap(FT_Face face, FT_UInt index, const FontSetSettings& settings,
                         std::string& failure) {
    FT_Error error = FT_Load_Glyph(face, index, hintingLoadFlags(settings));
    if (error != 0) {
        failure = describe("FT_Load_Glyph", error);
        return nullptr;
    }

    FT_GlyphSlot slot = face->glyph;
    // An embedded bitmap strike has no outline to embolden; the style is simply not applied.
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (settings.bold != 0) {
            FT_Outline_Embolden(&slot->outline, 64);  // one pixel
        } else if (settings.fontSize % 8 != 0) {
            // Sizes off the 8-pixel grid get a sixteenth of a pixel of extra weight, so that
            // thin strokes that fall between pixel centres still leave a mark.
            FT_Outline_Embolden(&slot->outline, 4);
        }
    }

    FT_Glyph raw = nullptr;
    error = FT_Get_Glyph(slot, &raw);
    if (error != 0) {
        failure = describe("FT_Get_Glyph", error);
        return nullptr;
    }
    GlyphHolder glyph(raw);

    if (settings.italic != 0) {
        FT_Matrix shear;
        shear.xx = 0x10000;
        shear.xy = 0x5800;  // x' = x + 0.34375 y: a slant to the right
        shear.yx = 0;
        shear.yy = 0x10000;
        FT_Glyph_Transform(glyph.get(), &shear,
                           nullptr);  // a bitmap glyph refuses; it stays upright
    }

    // Wild coordinates in a damaged or hostile outline can span thousands of pixels, and FreeType
    // would allocate and fill that whole bitmap for a cell of at most 255 pixels a side.
    const int64_t limit = std::max<int64_t>(1024, 16 * int64_t{settings.fontSize});
    // The exact box costs a pass over every point of the outline, for every glyph. FreeType's
    // metrics of the loaded glyph are the box of its outline, rounded outwards; a glyph loaded at
    // no more than a quarter of the limit cannot reach the limit, since emboldening adds at most
    // four times its strength (four pixels) and the slant at most 0.34375 of the height.
    const FT_Pos quarter = static_cast<FT_Pos>(limit / 4 * 64);
    const bool smallOutline = slot->format == FT_GLYPH_FORMAT_OUTLINE && slot->metrics.width >= 0 &&
                              slot->metrics.width <= quarter && slot->metrics.height >= 0 &&
                              slot->metrics.height <= quarter;
    if (!smallOutline) {
        FT_BBox box;
        FT_Glyph_Get_CBox(glyph.get(), FT_GLYPH_BBOX_PIXELS, &box);
        const int64_t width = int64_t{box.xMax} - box.xMin;
        const int64_t height = int64_t{box.yMax} - box.yMin;
        if (width > limit || height > limit) {
            failure = "its outline spans " + std::to_string(width) + " x " +
                      std::to_string(height) + " pixels, far beyond a cell of this size";
            return nullptr;
        }
    }

    const FT_Render_Mode mode =
        settings.renderMode == 1 ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL;
    FT_Glyph bitmap = glyph.get();
    // On failure FreeType leaves `bitmap` pointing at the original, which `glyph` still owns.
    error = FT_Glyph_To_Bitmap(&bitmap, mode, nullptr, 1);
    if (error != 0) {
        failure = describe("FT_Glyph_To_Bitmap", error);
        return nullptr;
    }
    glyph.release();  // destroyed by FreeType, or identical to `bitmap` when already a bitmap
    glyph.reset(bitmap);
    if (glyph->format != FT_GLYPH_FORMAT_BITMAP) {
        failure = "FT_Glyph_To_Bitmap gave no bitmap";
        return nullptr;
    }
    return glyph;
}

// Copies the bitmap into the zero cell with its first pixel at (x0, y0), skipping whatever falls
// outside. The bitmap is read by the pixel mode it really has: an embedded strike comes back as
// 1-bit mono even when grey levels were asked for.
void copyBitmap(GreyCell& cell, const FT_Bitmap& bitmap, int32_t x0, int32_t y0) {
    if (bitmap.buffer == nullptr || cell.empty()) return;
    const int64_t rows = bitmap.rows;
    const int64_t width = bitmap.width;
    const int64_t iBegin = std::max<int64_t>(0, -static_cast<int64_t>(y0));
    const int64_t iEnd = std::min<int64_t>(rows, static_cast<int64_t>(cell.rows) - y0);
    const int64_t jBegin = std::max<int64_t>(0, -static_cast<int64_t>(x0));
    const int64_t jEnd = std::min<int64_t>(width, static_cast<int64_t>(cell.cols) - x0);
    if (iBegin >= iEnd || jBegin >= jEnd) return;

    const int64_t pitch = bitmap.pitch;
    // The cell is all zero where the bitmap lands, so every value, zero or not, can be stored.
    auto copyRows = [&](auto valueAt) {
        for (int64_t i = iBegin; i < iEnd; ++i) {
            // A negative pitch stores the bottom row first.
            const uint8_t* src = bitmap.buffer + (pitch >= 0 ? i * pitch : (rows - 1 - i) * -pitch);
            uint8_t* dst = cell.ptr(static_cast<int32_t>(y0 + i)) + x0;
            for (int64_t j = jBegin; j < jEnd; ++j) dst[j] = valueAt(src, j);
        }
    };

    switch (bitmap.pixel_mode) {
        case FT_PIXEL_MODE_MONO:
            copyRows([](const uint8_t* row, int64_t j) -> uint8_t {
                return static_cast<uint8_t>(-((row[j >> 3] >> (7 - (j & 7))) & 1));
            });
            break;
        case FT_PIXEL_MODE_GRAY2:
            copyRows([](const uint8_t* row, int64_t j) -> uint8_t {
                return static_cast<uint8_t>(((row[j >> 2] >> (6 - 2 * (j & 3))) & 3) * 85);
            });
            break;
        case FT_PIXEL_MODE_GRAY4:
            copyRows([](const uint8_t* row, int64_t j) -> uint8_t {
                return static_cast<uint8_t>(((row[j >> 1] >> (4 - 4 * (j & 1))) & 15) * 17);
            });
            break;
        case FT_PIXEL_MODE_GRAY:
            for (int64_t i = iBegin; i < iEnd; ++i) {
                const uint8_t* src =
                    bitmap.buffer + (pitch >= 0 ? i * pitch : (rows - 1 - i) * -pitch);
                std::memcpy(cell.ptr(static_cast<int32_t>(y0 + i)) + x0 + jBegin, src + jBegin,
                            static_cast<size_t>(jEnd - jBegin));
            }
            break;
        case FT_PIXEL_MODE_BGRA:
            copyRows([](const uint8_t* row, int64_t j) -> uint8_t { return row[4 * j + 3]; });
            break;
        default:
            break;  // sub-pixel (LCD) bitmaps are never asked for
    }
}

}  // namespace

namespace {

// Where FreeType cannot open the path itself (Windows, where its own file calls would read a
// UTF-8 path in the ANSI code page), the font is mapped by us and handed over as a stream in
// memory: FreeType then reads it as bytes, without a seek and a read call for every table and
// glyph. The stream's descriptor holds the mapping, which FreeType closes with the face.
void closeMapping(FT_Stream stream) {
    delete static_cast<platform::MappedFile*>(stream->descriptor.pointer);
    stream->descriptor.pointer = nullptr;
    stream->base = nullptr;
}

}  // namespace

// Opens face `faceIndex` of the font at the UTF-8 `path`. `stream` must outlive the face.
FT_Error openFace(FT_Library library, const std::string& path, long faceIndex, FT_StreamRec& stream,
                  FT_Face* face) {
    if (platform::narrowPathsAreNative())
        return FT_New_Face(library, path.c_str(), faceIndex, face);
    auto mapping = std::make_unique<platform::MappedFile>();
    if (!mapping->open(platform::pathFromUtf8(path))) return FT_Err_Cannot_Open_Resource;
    // FreeType's sizes are a long, which is 32 bits on Windows.
    if (mapping->size() == 0) return FT_Err_Unknown_File_Format;
    if (mapping->size() > 0x7FFFFFFF) return FT_Err_Cannot_Open_Stream;
    stream = FT_StreamRec{};
    stream.base = const_cast<unsigned char*>(mapping->data());
    stream.size = static_cast<unsigned long>(mapping->size());
    stream.read = nullptr;  // a stream in memory
    stream.close = closeMapping;
    stream.descriptor.pointer = mapping.release();
    FT_Open_Args args{};
    args.flags = FT_OPEN_STREAM;
    args.stream = &stream;
    // From here FreeType owns the mapping: it closes it on failure and with the face.
    return FT_Open_Face(library, &args, faceIndex, face);
}

namespace {

// Throws FontChoiceError listing the faces of the font when it has no face `faceIndex`. Returns
// when it has one (the face then failed to open for another reason).
void throwNoSuchFace(const std::string& fontPath, long faceIndex) {
    const std::vector<FaceInfo> faces = describeFontFaces(fontPath);
    if (faceIndex >= 0 && static_cast<size_t>(faceIndex) < faces.size()) return;
    throw FontChoiceError("font \"" + fontPath + "\" has no face " + std::to_string(faceIndex) +
                          "; its faces: " + faceListText(faces));
}

FT_ULong axisTag(const std::string& tag) {
    FT_ULong value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = (value << 8) | (i < tag.size() ? static_cast<unsigned char>(tag[i]) : ' ');
    return value;
}

// Sets the design coordinates of a variable font: the named axes to their values, the others to
// their defaults.
void setVariations(FT_Library library, FT_Face face, const std::string& fontPath,
                   const std::vector<AxisValue>& variations) {
    const std::string font = "font \"" + fontPath + "\"";
    FT_MM_Var* mm = nullptr;
    if (!FT_HAS_MULTIPLE_MASTERS(face) || FT_Get_MM_Var(face, &mm) != 0)
        throw FontChoiceError(font + " is not a variable font: it has no variation axes");
    std::vector<FT_Fixed> coordinates(mm->num_axis);
    for (FT_UInt a = 0; a < mm->num_axis; ++a) coordinates[a] = mm->axis[a].def;
    std::string problem;
    for (const AxisValue& v : variations) {
        FT_UInt a = 0;
        while (a < mm->num_axis && mm->axis[a].tag != axisTag(v.tag)) ++a;
        if (a == mm->num_axis) {
            problem = font + " has no axis \"" + v.tag + "\"";
            break;
        }
        if (v.value < mm->axis[a].minimum / 65536.0 || v.value > mm->axis[a].maximum / 65536.0) {
            problem = font + ": " + v.tag + " " + shortestDecimal(v.value) +
                      " is outside the axis's range";
            break;
        }
        coordinates[a] = static_cast<FT_Fixed>(std::lround(v.value * 65536.0));
    }
    const FT_UInt axes = mm->num_axis;
    FT_Done_MM_Var(library, mm);
    if (!problem.empty())
        throw FontChoiceError(problem + "; its axes: " + axisListText(readAxes(library, face)));
    const FT_Error error = FT_Set_Var_Design_Coordinates(face, axes, coordinates.data());
    if (error != 0)
        throw FontError("cannot use " + font + ": " +
                        describe("FT_Set_Var_Design_Coordinates", error));
}

}  // namespace

bool isHintingValue(const std::string& hinting) {
    for (const char* value : kHintingValues)
        if (hinting == value) return true;
    return false;
}

int32_t hintingLoadFlags(const FontSetSettings& settings) {
    const std::string& h = settings.hinting;
    if (h == "none") return FT_LOAD_NO_HINTING;
    if (h == "light") return FT_LOAD_TARGET_LIGHT;
    if (h == "mono") return FT_LOAD_TARGET_MONO;
    if (h == "auto")
        return FT_LOAD_FORCE_AUTOHINT |
               (settings.renderMode == 1 ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);
    return FT_LOAD_DEFAULT;
}

struct CvxText::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    FT_StreamRec stream{};  // the font file, when we open it for FreeType
    std::array<double, 4> size{20, 0.5, 0.1, 0};
    std::string lastFailure;   // of the latest renderGlyph call
    bool inkLost = false;      // of the latest renderGlyph call
    long lastAdvance = 0;      // of the latest renderGlyph call, 26.6 pixels
    int32_t bitmapColumn = 0;  // of the latest renderGlyph call
    // The latest character-map lookup: the export loop asks for the same character twice (to
    // draw it, then whether the font has it).
    uint32_t indexCode = 0x10000;  // none yet
    FT_UInt index = 0;
    std::unordered_map<uint16_t, FT_UInt> privateGlyphs;  // mapPrivateGlyph's

    FT_UInt charIndex(uint16_t code) {
        if (!privateGlyphs.empty()) {
            const auto found = privateGlyphs.find(code);
            if (found != privateGlyphs.end()) return found->second;
        }
        if (indexCode != code) {
            index = FT_Get_Char_Index(face, code);
            indexCode = code;
        }
        return index;
    }

    ~Impl() {
        if (face != nullptr) FT_Done_Face(face);
        if (library != nullptr) FT_Done_FreeType(library);
    }
};

CvxText::CvxText(const std::string& fontPath, long faceIndex)
    : CvxText(fontPath, faceIndex, std::vector<AxisValue>()) {}

CvxText::CvxText(const std::string& fontPath, long faceIndex,
                 const std::vector<AxisValue>& variations)
    : impl_(std::make_unique<Impl>()) {
    const std::string font = "font \"" + fontPath + "\": ";
    FT_Error error = FT_Init_FreeType(&impl_->library);
    if (error != 0) {
        impl_->library = nullptr;
        throw FontError("cannot open " + font + describe("FT_Init_FreeType", error));
    }
    // FreeType reads the bits above the lowest 16 as a named instance, not as a face.
    if (faceIndex < 0 || faceIndex > 0xFFFF) throwNoSuchFace(fontPath, faceIndex);
    error = openFace(impl_->library, fontPath, faceIndex, impl_->stream, &impl_->face);
    if (error != 0) {
        impl_->face = nullptr;
        if (faceIndex > 0) throwNoSuchFace(fontPath, faceIndex);
        throw FontError("cannot open " + font + describe("FT_New_Face", error));
    }
    const std::string cut = tablePastEnd(fontPath, faceIndex);
    if (!cut.empty()) throw FontError("damaged " + font + cut);
    // The instance's ascender and descender can differ from the default's: set it before any
    // metric is read.
    if (!variations.empty()) setVariations(impl_->library, impl_->face, fontPath, variations);
    if (impl_->face->ascender == impl_->face->descender) {
        throw FontError("unusable " + font + "its ascender equals its descender (" +
                        std::to_string(impl_->face->ascender) + "), so it has no line height");
    }
    // The face is sized so that this span takes the configured pixel size; a span that is a
    // sliver of the em would scale every glyph up many times over.
    const double span = static_cast<double>(impl_->face->ascender) - impl_->face->descender;
    if (span > 0 && impl_->face->units_per_EM / span > 16) {
        throw FontError("unusable " + font + "its ascender-to-descender span of " +
                        std::to_string(static_cast<long>(span)) +
                        " units is less than a sixteenth of its em of " +
                        std::to_string(impl_->face->units_per_EM) + " units");
    }
    // The runtime locale is left alone: nothing here depends on it.
    setSize();
}

CvxText::~CvxText() = default;

void CvxText::setSize(const std::array<double, 4>* size) {
    if (size != nullptr) {
        for (size_t i = 0; i < impl_->size.size(); ++i) impl_->size[i] = std::fabs((*size)[i]);
    }
    FT_Set_Pixel_Sizes(impl_->face, 0, pixelHeight(impl_->face, impl_->size[0]));
}

const std::string& CvxText::lastFailure() const {
    return impl_->lastFailure;
}

bool CvxText::inkLost() const {
    return impl_->inkLost;
}

int32_t CvxText::lastBitmapColumn() const {
    return impl_->bitmapColumn;
}

long CvxText::lastAdvance() const {
    return impl_->lastAdvance;
}

int32_t CvxText::baseline(int32_t fontSize) const {
    return baselineRow(impl_->face->ascender, impl_->face->descender, fontSize);
}

std::vector<KernPair> CvxText::kerningPairs(const std::vector<uint16_t>& codes) const {
    return faceKerningPairs(impl_->face, codes);
}

bool CvxText::hasGlyph(uint16_t code) const {
    return impl_->charIndex(code) != 0;
}

uint32_t CvxText::glyphIndex(uint16_t code) const {
    return impl_->charIndex(code);
}

void CvxText::mapPrivateGlyph(uint16_t code, uint32_t glyph) {
    impl_->privateGlyphs[code] = glyph;
}

int32_t CvxText::emPixels() const {
    return impl_->face->size ? impl_->face->size->metrics.y_ppem : 0;
}

FT_FaceRec_* CvxText::ftFace() const {
    return impl_->face;
}

void CvxText::renderGlyph(GreyCell& cell, uint16_t code, IntPair& extent, IntPair& origin,
                          const FontSetSettings& settings, const TransformSettings& transform,
                          size_t& packedSize) {
    FT_Face face = impl_->face;
    GlyphPlacement placed;  // stays empty when FreeType fails: nothing is drawn or turned
    placed.W = extent.x;
    placed.H = extent.y;

    impl_->lastFailure.clear();
    const GlyphHolder glyph =
        renderBitmap(face, impl_->charIndex(code), settings, impl_->lastFailure);
    // The slot still holds the loaded glyph; emboldening changed its outline, not its advance.
    impl_->lastAdvance = glyph ? static_cast<long>(face->glyph->advance.x) : 0;
    if (glyph) {
        const auto* bitmapGlyph = reinterpret_cast<const FT_BitmapGlyphRec*>(glyph.get());
        const FT_Bitmap& bitmap = bitmapGlyph->bitmap;
        // FreeType refuses bitmaps beyond 0x7FFF pixels a side, so both fit an int32.
        const int32_t baseline = baselineRow(face->ascender, face->descender, settings.fontSize);
        placed = placeGlyph(bitmapGlyph->left, bitmapGlyph->top, static_cast<int32_t>(bitmap.width),
                            static_cast<int32_t>(bitmap.rows), extent.x, extent.y, baseline, extent,
                            origin);
        copyBitmap(cell, bitmap, placed.x0, placed.y0());
    }

    impl_->bitmapColumn = placed.x0;
    writeSample(cell, code);
    impl_->inkLost = shapeCell(cell, extent, placed, settings, transform);
    packedSize = packCell(cell, settings.renderMode);
}

PackedGlyph GlyphCell::packed(uint16_t code, const IntPair& extent, const IntPair& origin) const {
    PackedGlyph glyph;
    glyph.code = code;
    glyph.data = cell.data;
    glyph.size = packedSize;
    glyph.rows = cell.rows;
    glyph.cols = cell.cols;
    glyph.extent = extent;
    glyph.origin = origin;
    glyph.bitmapColumn = bitmapColumn;
    return glyph;
}

void renderCell(GlyphCell& glyph, const CellSize& cellSize, uint16_t code, CvxText& text,
                IntPair& extent, IntPair& origin, const FontSetSettings& settings,
                const TransformSettings& transform) {
    glyph.packedSize = 0;
    glyph.bitmapColumn = 0;
    glyph.cell.create(0, 0);
    if (settings.fontSize == 0) return;
    // The cell is scaled from the size it was made for to the configured size; with the export
    // loop's cell sizes this is exactly (rows, cols).
    const double rows = std::round(static_cast<int64_t>(cellSize.fontSize) * cellSize.rows /
                                   static_cast<double>(settings.fontSize));
    const double cols = std::round(static_cast<int64_t>(cellSize.cols) * cellSize.fontSize /
                                   static_cast<double>(settings.fontSize));
    // Positive and small enough to address: anything else has no pixels to draw into.
    constexpr double kMaxSide = 1 << 15;
    if (!(rows >= 1 && rows <= kMaxSide && cols >= 1 && cols <= kMaxSide)) return;

    glyph.cell.create(static_cast<int32_t>(rows), static_cast<int32_t>(cols));
    text.renderGlyph(glyph.cell, code, extent, origin, settings, transform, glyph.packedSize);
    glyph.bitmapColumn = text.lastBitmapColumn();
}

GlyphCell renderCell(const CellSize& cellSize, uint16_t code, CvxText& text, IntPair& extent,
                     IntPair& origin, const FontSetSettings& settings,
                     const TransformSettings& transform) {
    GlyphCell result;
    renderCell(result, cellSize, code, text, extent, origin, settings, transform);
    return result;
}
