#include "tib/sheet/sheet.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <memory>

#include "tib/error.h"
#include "tib/sheet/cairo_scene.h"

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

void useFont(cairo_t* cr, bool bold, double size, double grey) {
  cairo_select_font_face(
      cr, kFamily, CAIRO_FONT_SLANT_NORMAL,
      bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  cairo_set_source_rgb(cr, grey, grey, grey);
}

double widthOf(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t extents{};
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

// The text, or its longest start (whole code points) with an ellipsis that
// fits width.
std::string fitted(cairo_t* cr, const std::string& text, double width) {
  if (widthOf(cr, text) <= width) {
    return text;
  }
  std::string cut = text;
  while (!cut.empty()) {
    cut.pop_back();
    while (!cut.empty() &&
           (static_cast<unsigned char>(cut.back()) & 0xC0U) == 0x80U) {
      cut.pop_back();
    }
    if (!cut.empty() && static_cast<unsigned char>(cut.back()) >= 0xC0U) {
      cut.pop_back();
    }
    if (widthOf(cr, cut + kEllipsis) <= width) {
      break;
    }
  }
  return cut + kEllipsis;
}

void showAt(cairo_t* cr, double x, double y, const std::string& text) {
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text.c_str());
}

void drawPageFrame(cairo_t* cr, const SheetLayout& layout,
                   const std::string& header, std::size_t page,
                   std::size_t pages) {
  const double left = layout.margin;
  const double right = layout.paper.width - layout.margin;
  if (!header.empty()) {
    useFont(cr, true, layout.headerSize, kNameGrey);
    showAt(cr, left, layout.headerBaseline, fitted(cr, header, right - left));
  }
  cairo_set_source_rgb(cr, kRuleGrey, kRuleGrey, kRuleGrey);
  cairo_set_line_width(cr, 0.5);
  cairo_move_to(cr, left, layout.headerBaseline + 6);
  cairo_line_to(cr, right, layout.headerBaseline + 6);
  cairo_stroke(cr);
  useFont(cr, false, layout.captionSize, kCaptionGrey);
  const std::string number =
      std::to_string(page + 1) + " / " + std::to_string(pages);
  showAt(cr, (layout.paper.width - widthOf(cr, number)) / 2,
         layout.footerBaseline, number);
}

void drawCaption(cairo_t* cr, const SheetLayout& layout,
                 const DiagramPlace& place, const SheetDiagram& diagram) {
  double x = place.board.x;
  const double width = place.board.width;
  useFont(cr, true, layout.captionSize, kNameGrey);
  const std::string number = std::to_string(diagram.number);
  showAt(cr, x, place.captionBaseline, number);
  x += widthOf(cr, number) + layout.captionSize * 0.6;
  double baseline = place.captionBaseline;
  for (std::size_t line = 0;
       line < diagram.caption.size() && line < kCaptionLines; ++line) {
    useFont(cr, false, layout.captionSize,
            line == 0 ? kNameGrey : kCaptionGrey);
    const double lineX = line == 0 ? x : place.board.x;
    showAt(cr, lineX, baseline,
           fitted(cr, diagram.caption[line], place.board.x + width - lineX));
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
  const ScenePainter painter(*art.pieces, *art.markers);
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
    drawPageFrame(cr, layout, header, page, pages);
    for (; next < diagrams.size(); ++next) {
      const DiagramPlace place = diagramPlace(next, layout);
      if (place.page != page) {
        break;
      }
      cairo_save(cr);
      cairo_translate(cr, place.board.x, place.board.y);
      painter.paint(cr, diagrams[next].scene, *art.glyphs, place.board.width);
      cairo_restore(cr);
      drawCaption(cr, layout, place, diagrams[next]);
    }
    cairo_show_page(cr);
  }
  checkStatus(cairo_status(cr));
  cairo_surface_finish(surface);
  checkStatus(cairo_surface_status(surface));
  return bytes;
}

}  // namespace tib
