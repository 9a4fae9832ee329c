#include "tib/sheet/sheet.h"

#include <cairo-ft.h>
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <hb.h>

#include <algorithm>
#include <array>
#include <ctime>
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

  // The text's advance; drawn from (x, y) when draw. Laid out as the
  // raster text is: the same faces, runs and directions.
  double show(cairo_t* cr, const std::string& text, const TextStyle& style,
              double x, double y, bool draw) {
    const std::u32string codePoints = decodeUtf8(text);
    // Where each code point starts in the text's UTF-8, and where it ends.
    std::string clean;
    std::vector<std::size_t> starts;
    for (const char32_t c : codePoints) {
      starts.push_back(clean.size());
      clean += encodeUtf8(std::u32string_view(&c, 1));
    }
    starts.push_back(clean.size());
    const std::vector<CodePointFacts> facts =
        codePointFacts(library_, codePoints, style.weight);
    const std::vector<const Face*> faceTable = library_.faceTable();
    double pen = x;
    for (const ShapedGlyphs& run : shapedLine(faceTable, codePoints, facts)) {
      // cppcheck-suppress useStlAlgorithm
      pen = showRun(cr, clean, starts, run, style, pen, y, draw);
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

  // The run's clusters in the text's order, each with its bytes (up to the
  // next cluster's first) and its glyphs: from the first glyph on, or for
  // a right-to-left run from the last back, as cairo reads them.
  static std::vector<cairo_text_cluster_t> clustersOf(
      const ShapedGlyphs& run, const std::vector<std::size_t>& starts) {
    const std::size_t count = run.infos.size();
    const auto clusterAt = [&](std::size_t k) -> std::size_t {
      return run.infos[run.rightToLeft ? count - 1 - k : k].cluster;
    };
    std::vector<cairo_text_cluster_t> clusters;
    for (std::size_t k = 0; k < count; ++k) {
      if (k == 0 || clusterAt(k) != clusterAt(k - 1)) {
        std::size_t next = k + 1;
        while (next < count && clusterAt(next) == clusterAt(k)) {
          ++next;
        }
        const std::size_t end =
            next < count ? clusterAt(next) : run.start + run.length;
        clusters.push_back(
            {static_cast<int>(starts[end] - starts[clusterAt(k)]), 0});
      }
      ++clusters.back().num_glyphs;
    }
    return clusters;
  }

  double showRun(cairo_t* cr, const std::string& text,
                 const std::vector<std::size_t>& starts,
                 const ShapedGlyphs& run, const TextStyle& style, double x,
                 double y, bool draw) {
    const Face& face = library_.faceAt(run.face);
    const double unit = style.size / face.unitsPerEm;
    std::vector<cairo_glyph_t> glyphs(run.infos.size());
    double pen = x;
    for (std::size_t i = 0; i < run.infos.size(); ++i) {
      glyphs[i] = {run.infos[i].codepoint,
                   pen + run.positions[i].x_offset * unit,
                   y - run.positions[i].y_offset * unit};
      pen += run.positions[i].x_advance * unit;
    }
    if (draw && !glyphs.empty()) {
      const std::size_t first = starts[run.start];
      const std::size_t end = starts[run.start + run.length];
      const std::vector<cairo_text_cluster_t> clusters =
          clustersOf(run, starts);
      cairo_set_font_face(cr, cairoFace(run.face));
      cairo_set_font_size(cr, style.size);
      cairo_set_source_rgb(cr, style.grey, style.grey, style.grey);
      cairo_show_text_glyphs(cr, text.data() + first,
                             static_cast<int>(end - first), glyphs.data(),
                             static_cast<int>(glyphs.size()), clusters.data(),
                             static_cast<int>(clusters.size()),
                             run.rightToLeft ? CAIRO_TEXT_CLUSTER_FLAG_BACKWARD
                                             : cairo_text_cluster_flags_t{});
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

// "2026-12-10T13:54:57Z", as cairo reads a PDF date; "" (none) when
// cairo should write no date.
std::string pdfDate(std::optional<int64_t> created) {
  if (!created) {
    return "";
  }
  const auto seconds = static_cast<std::time_t>(*created);
  std::tm utc{};
  if (gmtime_r(&seconds, &utc) == nullptr) {
    throw Error("the creation time " + std::to_string(*created) +
                " is no date");
  }
  std::array<char, 32> text{};
  const std::size_t length =
      std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &utc);
  return {text.data(), length};
}

}  // namespace

std::vector<unsigned char> renderSheet(
    SheetFormat format, const SheetLayout& layout, const std::string& header,
    const std::vector<SheetDiagram>& diagrams, const SheetArt& art,
    std::optional<int64_t> created) {
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
    // Cairo dates a document now unless told otherwise; an empty date is
    // none.
    const std::string date = pdfDate(created);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATE_DATE,
                                   date.c_str());
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_MOD_DATE,
                                   date.c_str());
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
