#include "tools/inspect/FontReport.h"

#include <algorithm>

#include "config/FontChoices.h"
#include "driver/FontLookup.h"
#include "platform/platform.h"
#include "render/CellLayout.h"
#include "render/CvxText.h"
#include "render/FontFaces.h"
#include "render/Shape.h"

namespace inspect {
namespace {

std::string field(const char* key, const std::string& value) {
    std::string line = "  ";
    line += key;
    line.resize(std::max<size_t>(line.size() + 1, 12), ' ');
    return line + value + "\n";
}

// "13, 14, 20 to 22": fontSize values, runs of three or more shortened.
std::string sizeList(const std::vector<int32_t>& sizes) {
    std::string text;
    for (size_t i = 0; i < sizes.size();) {
        size_t j = i;
        while (j + 1 < sizes.size() && sizes[j + 1] == sizes[j] + 1) ++j;
        if (!text.empty()) text += ", ";
        text += std::to_string(sizes[i]);
        if (j >= i + 2)
            text += " to " + std::to_string(sizes[j]);
        else if (j == i + 1)
            text += ", " + std::to_string(sizes[j]);
        i = j + 1;
    }
    return text;
}

// The cell fontbin draws into at this size with row scanning and no rotation, plain and italic.
std::string sizeLine(const FaceInfo& face, int32_t fontSize) {
    const uint32_t em = face.pixelSizeFor(fontSize);
    if (em == 0) return "no pixel size: the face's ascender equals its descender";
    FontSetSettings settings;
    settings.fontSize = fontSize;
    const CellSize plain = computeCellSize(settings, 0);
    settings.italic = 1;
    const CellSize italic = computeCellSize(settings, 0);
    std::string text = "fontSize " + std::to_string(fontSize) + ": em " + std::to_string(em) +
                       " px, baseline on row " +
                       std::to_string(baselineRow(face.ascender, face.descender, fontSize)) +
                       ", cell " + std::to_string(plain.rows) + " rows x " +
                       std::to_string(plain.cols) + " columns (" + std::to_string(italic.cols) +
                       " columns italic)";
    for (size_t s = 0; s < face.strikes.size(); ++s)
        if (std::find(face.strikeSizes[s].begin(), face.strikeSizes[s].end(), fontSize) !=
            face.strikeSizes[s].end())
            text += ", drawn from the " + shortestDecimal(face.strikes[s].yPpem) + " px strike";
    return text;
}

std::string faceReport(const FaceInfo& face, int32_t size) {
    std::string s =
        "\nface " + std::to_string(face.index) + "      " + face.family + " (" + face.style + ")\n";
    s += field("glyphs", std::to_string(face.glyphCount) +
                             (face.outlines ? ", outlines" : ", no outlines (bitmaps only)"));
    s += field("metrics", std::to_string(face.unitsPerEm) + " units per em, ascender " +
                              std::to_string(face.ascender) + ", descender " +
                              std::to_string(face.descender));
    if (face.strikes.empty()) s += field("strikes", "none");
    for (size_t i = 0; i < face.strikes.size(); ++i) {
        const StrikeInfo& k = face.strikes[i];
        const std::vector<int32_t>& sizes = face.strikeSizes[i];
        s += field(i == 0 ? "strikes" : "",
                   shortestDecimal(k.yPpem) + " px: " +
                       (sizes.empty() ? std::string("no fontSize selects it")
                                      : "fontSize " + sizeList(sizes)));
    }
    if (face.axes.empty()) s += field("axes", "none (not a variable font)");
    for (size_t i = 0; i < face.axes.size(); ++i) {
        const AxisInfo& a = face.axes[i];
        s += field(i == 0 ? "axes" : "",
                   a.tag + " \"" + a.name + "\" " + shortestDecimal(a.minimum) + " to " +
                       shortestDecimal(a.maximum) + ", default " + shortestDecimal(a.defaultValue));
    }
    for (size_t i = 0; i < face.instances.size(); ++i) {
        const NamedInstanceInfo& n = face.instances[i];
        std::string coordinates;
        for (size_t a = 0; a < n.coordinates.size() && a < face.axes.size(); ++a)
            coordinates += std::string(a ? ", " : "") + "\"" + face.axes[a].tag +
                           "\": " + shortestDecimal(n.coordinates[a]);
        s += field(i == 0 ? "instances" : "", n.name + ": {" + coordinates + "}");
    }
    if (size > 0) s += field("size", sizeLine(face, size));
    return s;
}

}  // namespace

bool wantsFontReport(const std::vector<std::string>& args) {
    // Only as an option of its own: "--font" may also be the text of --text or --show.
    return (!args.empty() && args[0] == "--font") ||
           (args.size() > 2 && args[0] == "--size" && args[2] == "--font");
}

Result fontReport(const std::vector<std::string>& args, const std::string& toolDir) {
    Result r;
    const std::string prefix = "fontbin-inspect: ";
    std::string font;
    int32_t size = 0;
    std::string usage;
    for (size_t i = 0; i < args.size() && usage.empty(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--font" && hasValue && font.empty()) {
            font = args[++i];
        } else if (args[i] == "--size" && hasValue) {
            const std::string& v = args[++i];
            size = 0;
            if (v.size() <= 3 && v.find_first_not_of("0123456789") == std::string::npos)
                size = std::stoi("0" + v);
            if (size < 1 || size > 255) usage = "--size takes a fontSize from 1 to 255";
        } else {
            usage = "--font FONT takes only --size N";
        }
    }
    if (usage.empty() && font.empty()) usage = "--font takes a font file or name";
    if (!usage.empty()) {
        r.err = prefix + usage + " (see --help)\n";
        r.status = kUsage;
        return r;
    }
    // The font fontbin itself would open for this name (a path relative to the working
    // directory when it is not a bare name the font folders hold).
    std::error_code ec;
    const FontLookup lookup =
        lookUpFont(platform::pathFromUtf8(toolDir), std::filesystem::current_path(ec), font);
    if (!lookup.found) {
        r.err = prefix + font + ": no such file, nor a font of that name in the system's font " +
                "folders or in " + toolDir + "/font\n";
        r.status = kViolation;
        return r;
    }
    const std::string path = platform::pathToUtf8(lookup.fontPath);
    if (const std::string reason = platform::notAFileReason(lookup.fontPath); !reason.empty()) {
        r.err = prefix + path + ": " + reason + "\n";
        r.status = kViolation;
        return r;
    }
    std::vector<FaceInfo> faces;
    try {
        faces = describeFontFaces(path);
    } catch (const FontError& e) {
        r.err = prefix + e.what() + "\n";
        r.status = kViolation;
        return r;
    }
    r.out = "font        " + path + ": " + std::to_string(faces.size()) +
            (faces.size() == 1 ? " face\n" : " faces\n");
    for (const FaceInfo& face : faces) r.out += faceReport(face, size);
    return r;
}

}  // namespace inspect
