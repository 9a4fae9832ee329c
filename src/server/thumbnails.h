// The page's pictures to choose a theme or a piece set by: the theme's board
// or the set's white knight, made small, as PNG.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "codec/image.h"
#include "server/themes.h"

namespace tib {

inline constexpr uint32_t kThumbnailEdge = 64;

// picture fitted into a square edge pixels a side, centred on transparency,
// each pixel the mean of the pixels it covers weighted by their opacity.
codec::ImageBuffer shrunk(const codec::ImageBuffer& picture, uint32_t edge);

// The thumbnail of set when there is one, else of theme, made when first
// asked and kept with the decoded artwork. Throws an Error when the picture
// cannot be decoded or changed since start.
std::shared_ptr<const std::vector<unsigned char>> thumbnailOf(
    const Served& served, const Theme& theme, const PieceSet* set);

}  // namespace tib
