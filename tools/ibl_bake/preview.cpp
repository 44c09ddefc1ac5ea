#include "preview.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace iblBake {

Rgb8Image tonemapPreview(const ixImage::Float3Image& image, const ixImage::ToneMap& toneMap) {
    Rgb8Image preview;
    preview.width = image.getWidth();
    preview.height = image.getHeight();
    preview.pixels.resize(size_t(preview.width) * size_t(preview.height) * 3);
    auto quantize = [](float value) {
        // NaN fails the comparison and ends at 0 like a negative value.
        const float clamped = value > 0.0f ? std::min(value, 1.0f) : 0.0f;
        return static_cast<unsigned char>(std::lround(clamped * 255.0f));
    };
    for (int row = 0; row < preview.height; ++row) {
        const int y = preview.height - 1 - row;
        unsigned char* out = &preview.pixels[size_t(row) * size_t(preview.width) * 3];
        for (int x = 0; x < preview.width; ++x) {
            ixImage::FloatPixel3<float> pixel = image.at(x, y);
            toneMap.apply(pixel);
            *out++ = quantize(pixel.red);
            *out++ = quantize(pixel.green);
            *out++ = quantize(pixel.blue);
        }
    }
    return preview;
}

namespace {

// A 3 x 5 pixel font: five rows of three bits, most significant bit on the left.
struct Glyph {
    char code;
    uint8_t rows[5];
};

constexpr Glyph kFont[] = {
    {'A', {2, 5, 7, 5, 5}}, {'B', {6, 5, 6, 5, 6}}, {'C', {3, 4, 4, 4, 3}}, {'D', {6, 5, 5, 5, 6}},
    {'E', {7, 4, 6, 4, 7}}, {'F', {7, 4, 6, 4, 4}}, {'G', {3, 4, 5, 5, 3}}, {'H', {5, 5, 7, 5, 5}},
    {'I', {7, 2, 2, 2, 7}}, {'J', {1, 1, 1, 5, 2}}, {'K', {5, 5, 6, 5, 5}}, {'L', {4, 4, 4, 4, 7}},
    {'M', {5, 7, 7, 5, 5}}, {'N', {6, 5, 5, 5, 5}}, {'O', {2, 5, 5, 5, 2}}, {'P', {6, 5, 6, 4, 4}},
    {'Q', {2, 5, 5, 6, 3}}, {'R', {6, 5, 6, 5, 5}}, {'S', {3, 4, 2, 1, 6}}, {'T', {7, 2, 2, 2, 2}},
    {'U', {5, 5, 5, 5, 7}}, {'V', {5, 5, 5, 5, 2}}, {'W', {5, 5, 7, 7, 5}}, {'X', {5, 5, 2, 5, 5}},
    {'Y', {5, 5, 2, 2, 2}}, {'Z', {7, 1, 2, 4, 7}}, {'0', {7, 5, 5, 5, 7}}, {'1', {2, 6, 2, 2, 7}},
    {'2', {6, 1, 2, 4, 7}}, {'3', {6, 1, 2, 1, 6}}, {'4', {5, 5, 7, 1, 1}}, {'5', {7, 4, 6, 1, 6}},
    {'6', {3, 4, 7, 5, 7}}, {'7', {7, 1, 2, 2, 2}}, {'8', {7, 5, 7, 5, 7}}, {'9', {7, 5, 7, 1, 6}},
    {'-', {0, 0, 7, 0, 0}}, {'.', {0, 0, 0, 0, 2}},
};

constexpr int kGlyphScale = 2;    // each font pixel is 2 x 2 sheet pixels
constexpr int kLabelHeight = 16;  // 5 rows x 2 plus margins
constexpr int kGap = 8;           // between tiles and around the sheet
constexpr unsigned char kBackground = 24;

const Glyph* findGlyph(char code) {
    const char upper = char(std::toupper(static_cast<unsigned char>(code)));
    for (const Glyph& glyph : kFont)
        if (glyph.code == upper) return &glyph;
    return nullptr;  // spaces and unknown characters leave a blank cell
}

void drawLabel(Rgb8Image& sheet, const std::string& text, int left, int top) {
    int penX = left;
    for (char code : text) {
        if (const Glyph* glyph = findGlyph(code)) {
            for (int row = 0; row < 5; ++row)
                for (int col = 0; col < 3; ++col) {
                    if (!(glyph->rows[row] & (4 >> col))) continue;
                    for (int dy = 0; dy < kGlyphScale; ++dy)
                        for (int dx = 0; dx < kGlyphScale; ++dx) {
                            const int x = penX + col * kGlyphScale + dx;
                            const int y = top + row * kGlyphScale + dy;
                            if (x < 0 || y < 0 || x >= sheet.width || y >= sheet.height) continue;
                            unsigned char* p =
                                &sheet.pixels[(size_t(y) * size_t(sheet.width) + size_t(x)) * 3];
                            p[0] = p[1] = p[2] = 230;
                        }
                }
        }
        penX += 4 * kGlyphScale;  // three columns and one of spacing
    }
}

// Copies `source` scaled to w x h (nearest neighbour at each target pixel's centre) with its
// top-left corner at (left, top).
void drawScaled(Rgb8Image& sheet, const Rgb8Image& source, int left, int top, int w, int h) {
    if (source.width < 1 || source.height < 1) return;
    for (int y = 0; y < h; ++y) {
        const int sy = std::min(source.height - 1, int((y + 0.5) * source.height / h));
        for (int x = 0; x < w; ++x) {
            const int sx = std::min(source.width - 1, int((x + 0.5) * source.width / w));
            const unsigned char* from =
                &source.pixels[(size_t(sy) * size_t(source.width) + size_t(sx)) * 3];
            unsigned char* to =
                &sheet.pixels[(size_t(top + y) * size_t(sheet.width) + size_t(left + x)) * 3];
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
    }
}

}  // namespace

std::vector<SheetTile> splitRow(const Rgb8Image& row, const std::vector<std::string>& labels) {
    std::vector<SheetTile> tiles;
    const int count = int(labels.size());
    const int width = count > 0 ? row.width / count : 0;
    for (int t = 0; t < count; ++t) {
        SheetTile tile{labels[size_t(t)], Rgb8Image()};
        tile.image.width = width;
        tile.image.height = row.height;
        for (int y = 0; y < row.height; ++y) {
            const auto from =
                row.pixels.begin() +
                std::ptrdiff_t((size_t(y) * size_t(row.width) + size_t(t * width)) * 3);
            tile.image.pixels.insert(tile.image.pixels.end(), from,
                                     from + std::ptrdiff_t(width) * 3);
        }
        tiles.push_back(std::move(tile));
    }
    return tiles;
}

Rgb8Image makeContactSheet(const std::vector<SheetTile>& tiles, int tileWidth,
                           const std::vector<SheetTile>& ballTiles) {
    const int tileHeight = std::max(1, tileWidth / 2);
    const int count = int(tiles.size());
    // Ball tiles keep their size unless wider than a column; the row is as tall as the tallest.
    std::vector<std::pair<int, int>> ballSizes;
    int ballRowHeight = 0;
    for (const SheetTile& ball : ballTiles) {
        const Rgb8Image& image = ball.image;
        const int w = std::min(tileWidth, image.width);
        const int h = image.width > 0 ? int(int64_t(image.height) * w / image.width) : 0;
        ballSizes.emplace_back(w, h);
        ballRowHeight = std::max(ballRowHeight, h);
    }
    const int firstBallColumn = std::max(0, count - int(ballTiles.size()));
    const int columns = std::max(count, firstBallColumn + int(ballTiles.size()));

    Rgb8Image sheet;
    sheet.width = kGap + columns * (tileWidth + kGap);
    sheet.height = kGap + kLabelHeight + tileHeight + kGap;
    if (!ballTiles.empty()) sheet.height += kLabelHeight + ballRowHeight + kGap;
    sheet.pixels.assign(size_t(sheet.width) * size_t(sheet.height) * 3, kBackground);
    for (int t = 0; t < count; ++t) {
        const int left = kGap + t * (tileWidth + kGap);
        drawLabel(sheet, tiles[size_t(t)].label, left, kGap + 2);
        drawScaled(sheet, tiles[size_t(t)].image, left, kGap + kLabelHeight, tileWidth, tileHeight);
    }
    const int ballTop = kGap + kLabelHeight + tileHeight + kGap;
    for (size_t b = 0; b < ballTiles.size(); ++b) {
        const int left = kGap + (firstBallColumn + int(b)) * (tileWidth + kGap);
        const int w = ballSizes[b].first, h = ballSizes[b].second;
        drawLabel(sheet, ballTiles[b].label, left, ballTop + 2);
        drawScaled(sheet, ballTiles[b].image, left + (tileWidth - w) / 2, ballTop + kLabelHeight, w,
                   h);
    }
    return sheet;
}

}  // namespace iblBake
