#include "tib/sheet/sheet.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <hb.h>

#include <map>
#include <memory>

#include "tib/board/error.h"
#include "tib/sheet/cairo_scene.h"
#include "tib/text/text_faces.h"
#include "tib/text/text_runs.h"

namespace tib {

namespace {

constexpr const char* kFamily = "DejaVu Sans";
// Near-black for names, a softer grey for the rest: the boards lead.
constexpr double kNameGrey = 0.1;
constexpr double kCaptionGrey = 0.33;
constexpr double kRuleGrey = 0.6;
constexpr const char* kEllipsis = "\u2026";

cairo_status_t appendBytes(void* closure, const unsigned char* data,
                           unsigned int length) {
  auto* bytes = static_cast<std::vector<unsigned char>*>(closure);
  bytes->insert(bytes->end(), data, data + length);
  return CAIRO_STATUS_SUCCESS;
}

struct TextStyle {
  // 0 regular, 1 bold, as FaceLibrary counts weights.
  int weight = 0;
  double size = 0;
  double grey = 0;
};

// Captions as PDF text: shaped by HarfBuzz in runs of one face, each code
// point in the family's face or the face fontconfig finds for it, shown
// with its clusters so that a reader extracts the text.
class CaptionFonts {
 public:
  CaptionFonts() : library_(kFamily) {}
  ~CaptionFonts() {
    for (const auto& [index, face] : cairoFaces_) {
      cairo_font_face_destroy(face);
    }
  }
  CaptionFonts(const CaptionFonts&) = delete;
  CaptionFonts& operator=(const CaptionFonts&) = delete;

  // The text's advance; drawn from (x, y) when draw.
  double show(cairo_t* cr, const std::string& text, const TextStyle& style,
              double x, double y, bool draw) {
    std::string clean;
    std::vector<std::size_t> starts;
    std::vector<int> faces;
    const int main = library_.mainFace(style.weight);
    for (const char32_t c : decodeUtf8(text)) {
      starts.push_back(clean.size());
      clean += encodeUtf8(std::u32string_view(&c, 1));
      const int fallback = library_.faceAt(main).covers(c)
                               ? main
                               : library_.fallbackFor(c, style.weight);
      faces.push_back(fallback < 0 ? main : fallback);
    }
    starts.push_back(clean.size());
    double pen = x;
    for (std::size_t first = 0; first < faces.size();) {
      std::size_t last = first + 1;
      while (last < faces.size() && faces[last] == faces[first]) {
        ++last;
      }
      pen = showRun(cr, clean, starts[first], starts[last] - starts[first],
                    faces[first], style, pen, y, draw);
      first = last;
    }
    return pen - x;
  }

 private:
  cairo_font_face_t* cairoFace(int index) {
    const auto known = cairoFaces_.find(index);
    if (known != cairoFaces_.end()) {
      return known->second;
    }
    const Face& face = library_.faceAt(index);
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FILE,
                       reinterpret_cast<const FcChar8*>(face.file.c_str()));
    FcPatternAddInteger(pattern, FC_INDEX, face.index);
    cairo_font_face_t* made = cairo_ft_font_face_create_for_pattern(pattern);
    FcPatternDestroy(pattern);
    cairoFaces_.emplace(index, made);
    return made;
  }

  double showRun(cairo_t* cr, const std::string& text, std::size_t start,
                 std::size_t length, int faceIndex, const TextStyle& style,
                 double x, double y, bool draw) {
    const Face& face = library_.faceAt(faceIndex);
    hb_buffer_t* buffer = hb_buffer_create();
    hb_buffer_add_utf8(buffer, text.data(), static_cast<int>(text.size()),
                       static_cast<unsigned>(start), static_cast<int>(length));
    hb_buffer_set_direction(buffer, HB_DIRECTION_LTR);
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(face.harfbuzz, buffer, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* position =
        hb_buffer_get_glyph_positions(buffer, &count);
    const double unit = style.size / face.unitsPerEm;
    std::vector<cairo_glyph_t> glyphs(count);
    std::vector<cairo_text_cluster_t> clusters;
    double pen = x;
    for (unsigned i = 0; i < count; ++i) {
      glyphs[i] = {info[i].codepoint, pen + position[i].x_offset * unit,
                   y - position[i].y_offset * unit};
      pen += position[i].x_advance * unit;
      if (i == 0 || info[i].cluster != info[i - 1].cluster) {
        clusters.push_back({0, 0});
      }
      ++clusters.back().num_glyphs;
    }
    // Each cluster's bytes: up to the next cluster's first byte.
    std::size_t cluster = 0;
    for (unsigned i = 0; i < count; ++i) {
      if (i + 1 == count || info[i + 1].cluster != info[i].cluster) {
        const std::size_t end =
            i + 1 == count ? start + length : info[i + 1].cluster;
        clusters[cluster++].num_bytes = static_cast<int>(end - info[i].cluster);
      }
    }
    hb_buffer_destroy(buffer);
    if (draw && count > 0) {
      cairo_set_font_face(cr, cairoFace(faceIndex));
      cairo_set_font_size(cr, style.size);
      cairo_set_source_rgb(cr, style.grey, style.grey, style.grey);
      cairo_show_text_glyphs(cr, text.data() + start, static_cast<int>(length),
                             glyphs.data(), static_cast<int>(count),
                             clusters.data(), static_cast<int>(clusters.size()),
                             cairo_text_cluster_flags_t{});
    }
    return pen;
  }

  FaceLibrary library_;
  std::map<int, cairo_font_face_t*> cairoFaces_;
};

// The text, or its longest start (whole code points) with an ellipsis that
// fits width.
std::string fitted(CaptionFonts& fonts, cairo_t* cr, const std::string& text,
                   const TextStyle& style, double width) {
  const auto widthOf = [&](const std::string& each) {
    return fonts.show(cr, each, style, 0, 0, false);
  };
  if (widthOf(text) <= width) {
    return text;
  }
  std::u32string cut = decodeUtf8(text);
  while (!cut.empty()) {
    cut.pop_back();
    if (widthOf(encodeUtf8(cut) + kEllipsis) <= width) {
      break;
    }
  }
  return encodeUtf8(cut) + kEllipsis;
}

void drawPageFrame(cairo_t* cr, CaptionFonts& fonts, const SheetLayout& layout,
                   const std::string& header, std::size_t page,
                   std::size_t pages) {
  const double left = layout.margin;
  const double right = layout.paper.width - layout.margin;
  if (!header.empty()) {
    const TextStyle style{1, layout.headerSize, kNameGrey};
    fonts.show(cr, fitted(fonts, cr, header, style, right - left), style, left,
               layout.headerBaseline, true);
  }
  cairo_set_source_rgb(cr, kRuleGrey, kRuleGrey, kRuleGrey);
  cairo_set_line_width(cr, 0.5);
  cairo_move_to(cr, left, layout.headerBaseline + 6);
  cairo_line_to(cr, right, layout.headerBaseline + 6);
  cairo_stroke(cr);
  const TextStyle style{0, layout.captionSize, kCaptionGrey};
  const std::string number =
      std::to_string(page + 1) + " / " + std::to_string(pages);
  const double width = fonts.show(cr, number, style, 0, 0, false);
  fonts.show(cr, number, style, (layout.paper.width - width) / 2,
             layout.footerBaseline, true);
}

void drawCaption(cairo_t* cr, CaptionFonts& fonts, const SheetLayout& layout,
                 const DiagramPlace& place, const SheetDiagram& diagram) {
  const double right = place.board.x + place.board.width;
  const TextStyle number{1, layout.captionSize, kNameGrey};
  const double first = place.board.x +
                       fonts.show(cr, std::to_string(diagram.number), number,
                                  place.board.x, place.captionBaseline, true) +
                       layout.captionSize * 0.6;
  double baseline = place.captionBaseline;
  for (std::size_t line = 0;
       line < diagram.caption.size() && line < kCaptionLines; ++line) {
    const TextStyle style{0, layout.captionSize,
                          line == 0 ? kNameGrey : kCaptionGrey};
    const double x = line == 0 ? first : place.board.x;
    fonts.show(cr, fitted(fonts, cr, diagram.caption[line], style, right - x),
               style, x, baseline, true);
    baseline += layout.captionLeading;
  }
}

void checkStatus(cairo_status_t status) {
  if (status != CAIRO_STATUS_SUCCESS) {
    throw Error(std::string("cannot draw the sheet: ") +
                cairo_status_to_string(status));
  }
}

}  // namespace

std::vector<unsigned char> renderSheet(
    SheetFormat format, const SheetLayout& layout, const std::string& header,
    const std::vector<SheetDiagram>& diagrams, const SheetArt& art) {
  const ScenePainter painter(*art.pieces, *art.markers,
                             format == SheetFormat::pdf);
  CaptionFonts fonts;
  std::vector<unsigned char> bytes;
  cairo_surface_t* surface =
      format == SheetFormat::pdf
          ? cairo_pdf_surface_create_for_stream(
                appendBytes, &bytes, layout.paper.width, layout.paper.height)
          : cairo_svg_surface_create_for_stream(
                appendBytes, &bytes, layout.paper.width, layout.paper.height);
  const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>
      owned(surface, cairo_surface_destroy);
  checkStatus(cairo_surface_status(surface));
  if (format == SheetFormat::pdf) {
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE,
                                   header.c_str());
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR,
                                   "tib-game");
  } else {
    cairo_svg_surface_set_document_unit(surface, CAIRO_SVG_UNIT_PT);
  }
  cairo_t* cr = cairo_create(surface);
  const std::unique_ptr<cairo_t, decltype(&cairo_destroy)> ownedContext(
      cr, cairo_destroy);
  const std::size_t pages = std::max<std::size_t>(
      1, format == SheetFormat::svg ? 1 : pageCount(diagrams.size(), layout));
  std::size_t next = 0;
  for (std::size_t page = 0; page < pages; ++page) {
    drawPageFrame(cr, fonts, layout, header, page, pages);
    for (; next < diagrams.size(); ++next) {
      const DiagramPlace place = diagramPlace(next, layout);
      if (place.page != page) {
        break;
      }
      cairo_save(cr);
      cairo_translate(cr, place.board.x, place.board.y);
      painter.paint(cr, diagrams[next].scene, *art.glyphs, place.board.width);
      cairo_restore(cr);
      drawCaption(cr, fonts, layout, place, diagrams[next]);
    }
    cairo_show_page(cr);
  }
  checkStatus(cairo_status(cr));
  cairo_surface_finish(surface);
  checkStatus(cairo_surface_status(surface));
  return bytes;
}

}  // namespace tib
