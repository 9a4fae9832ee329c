// Building answers: the responses of decisions, and what every answer
// carries as it is written.
#include "server/answers.h"

#include <array>
#include <ctime>
#include <exception>
#include <string_view>

#include "server/palettes.h"
#include "server/thumbnails.h"
#include "tib/board/error.h"
#include "tib/board/render.h"
#include "tib/decoration/decorated.h"
#include "tib/vector/svg.h"

namespace tib {

namespace {

namespace http = boost::beast::http;

std::string httpDate() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  std::array<char, 64> text{};
  const std::size_t length = std::strftime(text.data(), text.size(),
                                           "%a, %d %b %Y %H:%M:%S GMT", &utc);
  return {text.data(), length};
}

HttpResponse textResponse(unsigned status, const std::string& line) {
  HttpResponse response(static_cast<http::status>(status), 11);
  response.set(http::field::content_type, "text/plain; charset=utf-8");
  const std::string body = line + "\n";
  response.body().assign(body.begin(), body.end());
  response.prepare_payload();
  return response;
}

HttpResponse bodyResponse(std::string_view body, const char* type) {
  HttpResponse response = textResponse(200, "");
  response.body().assign(body.begin(), body.end());
  response.set(http::field::content_type, type);
  response.prepare_payload();
  return response;
}

// How long a browser may keep a preflight's answer.
constexpr const char* kPreflightSeconds = "86400";

// 204 to a CORS preflight: the methods, and the one field a page sets.
HttpResponse preflightResponse(const std::string& methods) {
  HttpResponse response(http::status::no_content, 11);
  response.set(http::field::allow, methods);
  response.set(http::field::access_control_allow_methods, methods);
  response.set(http::field::access_control_allow_headers, "Content-Type");
  response.set(http::field::access_control_max_age, kPreflightSeconds);
  return response;
}

void setCaching(HttpResponse& response, const std::string& tag) {
  response.set(http::field::etag, tag);
  response.set(http::field::cache_control, "public, max-age=86400");
}

HttpResponse imageResponse(std::vector<unsigned char> bytes, const char* type,
                           const std::string& tag) {
  HttpResponse response(http::status::ok, 11);
  response.set(http::field::content_type, type);
  setCaching(response, tag);
  response.body() = std::move(bytes);
  response.prepare_payload();
  return response;
}

}  // namespace

Answer refusalAnswer(const Refuse& refuse) {
  HttpResponse response = textResponse(refuse.status, refuse.message);
  if (!refuse.allow.empty()) {
    response.set(http::field::allow, refuse.allow);
  }
  return {std::move(response), refuse.closeAfter};
}

Answer staticAnswer(const StaticAnswer& page, std::string_view tryIt,
                    const Metrics& metrics) {
  switch (page.page) {
    case StaticPage::tryIt:
      return {bodyResponse(tryIt, "text/html; charset=utf-8")};
    case StaticPage::metrics:
      return {bodyResponse(metrics.text(),
                           "text/plain; version=0.0.4; charset=utf-8")};
    case StaticPage::preflight:
      return {preflightResponse(std::string(page.allow))};
    case StaticPage::health:
      break;
  }
  return {textResponse(200, "ok")};
}

Answer notModifiedAnswer(const NotModified& notModified) {
  HttpResponse response(http::status::not_modified, 11);
  setCaching(response, notModified.tag);
  return {std::move(response)};
}

Answer renderAnswer(const Render& render) {
  try {
    const bool text = decorationParts(render.decorations).any();
    if (text && render.lettering == nullptr) {
      return {textResponse(500, "cannot render: no fonts for the text")};
    }
    if (render.thumbnail) {
      return {imageResponse(
          *thumbnailOf(*render.served, *render.theme, render.pieceSet),
          "image/png", render.tag)};
    }
    // Decoded here, on the worker, when not yet.
    const Drawn drawn = drawnOf(*render.served, *render.theme, render.pieceSet);
    if (render.svg) {
      VectorArt vectors = render.vectors;
      vectors.artwork = drawn.artwork.get();
      const std::string svg = renderSvg(vectors, render.diagram,
                                        render.decorations, render.lettering);
      HttpResponse response =
          imageResponse(std::vector<unsigned char>(svg.begin(), svg.end()),
                        "image/svg+xml", render.tag);
      // A page that opens the picture alone runs nothing of it.
      response.set("Content-Security-Policy",
                   "default-src 'none'; style-src 'unsafe-inline'");
      response.set("X-Content-Type-Options", "nosniff");
      return {std::move(response)};
    }
    // One thread: the workers render on every core already.
    std::vector<unsigned char> png =
        text ? renderDecoratedPng(*drawn.artwork, *drawn.pieces, render.diagram,
                                  render.decorations, *render.lettering,
                                  Threads{1})
             : renderPng(*drawn.artwork, *drawn.pieces, render.diagram,
                         Threads{1});
    return {imageResponse(std::move(png), "image/png", render.tag)};
  } catch (const std::exception& error) {
    return renderFailure(error);
  }
}

Answer gifHeadAnswer(const std::string& tag) {
  HttpResponse response(http::status::ok, 11);
  response.set(http::field::content_type, "image/gif");
  setCaching(response, tag);
  Answer answer{std::move(response)};
  answer.streamed = true;
  return answer;
}

Answer renderFailure(const std::exception& error) {
  if (dynamic_cast<const Error*>(&error) != nullptr) {
    return {textResponse(500, error.what())};
  }
  return {textResponse(500, std::string("cannot render: ") + error.what())};
}

Answer motionAnswer(const RenderGif& render,
                    std::chrono::steady_clock::time_point deadline,
                    const std::function<bool()>& keepGoing) {
  try {
    if (render.lettering == nullptr) {
      return {textResponse(500, "cannot render: no fonts for the text")};
    }
    const Drawn drawn = drawnOf(*render.served, *render.theme, render.pieceSet);
    bool late = false;
    // One thread: the workers render on every core already.
    const MotionChoices choices{*render.motion, {}, 1};
    std::optional<std::vector<unsigned char>> bytes =
        encodeMotion(*drawn.artwork, *drawn.pieces, render.game.frames,
                     render.game.decorations, render.lettering, choices, [&] {
                       late = std::chrono::steady_clock::now() >= deadline;
                       return !late && keepGoing();
                     });
    if (!bytes) {
      return {textResponse(late ? 503 : 500,
                           late ? "busy: the game took longer than "
                                  "--max-render-seconds to draw"
                                : "the client left")};
    }
    const char* type = *render.motion == MotionFormat::webp  ? "image/webp"
                       : *render.motion == MotionFormat::mp4 ? "video/mp4"
                                                             : "video/webm";
    return {imageResponse(std::move(*bytes), type, render.tag)};
  } catch (const std::exception& error) {
    return {textResponse(500, std::string("cannot render: ") + error.what())};
  }
}

Answer busyAnswer(const std::string& line) {
  HttpResponse response = textResponse(503, line);
  response.set(http::field::retry_after, "1");
  return {std::move(response)};
}

void finishForSending(HttpResponse& response, unsigned version, bool head,
                      bool keepOpen, bool streamed) {
  response.version(version);
  response.set(http::field::date, httpDate());
  response.set(http::field::access_control_allow_origin, "*");
  response.keep_alive(keepOpen);
  if (streamed) {
    response.chunked(version >= 11);
  }
  if (head && !response.body().empty()) {
    const std::size_t length = response.body().size();
    response.body().clear();
    response.content_length(length);
  }
}

}  // namespace tib
