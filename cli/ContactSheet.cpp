#include "cli/ContactSheet.h"

#include <stb/stb_easy_font.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

namespace orvex::cli {

namespace {

constexpr int kColumns = 6;
constexpr int kGap = 8;
constexpr int kLabelHeight = 14;
constexpr std::uint8_t kSheetColour[3] = {24, 24, 28};
constexpr std::uint8_t kFrameColour[3] = {60, 60, 66};
constexpr std::uint8_t kLabelColour[3] = {230, 230, 230};

// stb_easy_font indexes its glyph table by the character, so anything
// outside printable ASCII would read past the table: each other character
// is one "?", whatever the bytes of its UTF-8 (a byte that continues one
// adds none).
std::string printable(const std::string& text) {
    std::string result;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= ' ' && byte <= '~') {
            result += c;
        } else if ((byte & 0xC0) != 0x80) {
            result += '?';
        }
    }
    return result;
}

int textWidth(std::string text) {
    return stb_easy_font_width(text.data());
}

// The end of the label that fits, marked as shortened; the file name, at
// the end, tells most.
std::string fitted(const std::string& label, int width) {
    if (textWidth(label) <= width) return label;
    for (std::size_t cut = 1; cut < label.size(); ++cut) {
        const std::string shortened = ".." + label.substr(cut);
        if (textWidth(shortened) <= width) return shortened;
    }
    return std::string();
}

void fill(render::Image& image, int x0, int y0, int x1, int y1, const std::uint8_t colour[3]) {
    x0 = std::max(x0, 0), y0 = std::max(y0, 0);
    x1 = std::min(x1, image.width), y1 = std::min(y1, image.height);
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            std::uint8_t* pixel = &image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
            pixel[0] = colour[0], pixel[1] = colour[1], pixel[2] = colour[2], pixel[3] = 255;
        }
    }
}

void drawText(render::Image& image, int x, int y, std::string text) {
    // Each quad takes four vertices of 16 bytes; 300 quads are more than
    // any label that fits a thumbnail needs.
    struct Vertex {
        float x, y, z;
        std::uint8_t colour[4];
    };
    static_assert(sizeof(Vertex) == 16, "stb_easy_font's vertex layout");
    std::vector<Vertex> vertices(4 * 300);
    const int quads =
        stb_easy_font_print(static_cast<float>(x), static_cast<float>(y), text.data(), nullptr,
                            vertices.data(), static_cast<int>(vertices.size() * sizeof(Vertex)));
    for (int q = 0; q < quads; ++q) {
        const Vertex& from = vertices[static_cast<std::size_t>(q) * 4];
        const Vertex& to = vertices[static_cast<std::size_t>(q) * 4 + 2];
        fill(image, static_cast<int>(from.x), static_cast<int>(from.y), static_cast<int>(to.x),
             static_cast<int>(to.y), kLabelColour);
    }
}

void drawThumbnail(render::Image& sheet, int left, int top, const std::string& path) {
    int width = 0, height = 0, channels = 0;
    const std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
        stbi_load(path.c_str(), &width, &height, &channels, 4), stbi_image_free);
    if (!pixels) {
        fill(sheet, left, top, left + kThumbnailWidth, top + kThumbnailHeight, kFrameColour);
        return;
    }
    const int rows = std::min(height, kThumbnailHeight), columns = std::min(width, kThumbnailWidth);
    for (int y = 0; y < rows; ++y) {
        std::memcpy(&sheet.rgba[(static_cast<std::size_t>(top + y) * sheet.width + left) * 4],
                    pixels.get() + static_cast<std::size_t>(y) * width * 4,
                    static_cast<std::size_t>(columns) * 4);
    }
}

}  // namespace

render::Image composeContactSheet(const std::vector<SheetEntry>& entries) {
    const int count = std::max<int>(1, static_cast<int>(entries.size()));
    const int columns = std::min(count, kColumns);
    const int rows = (count + columns - 1) / columns;
    const int cellWidth = kThumbnailWidth + kGap, cellHeight = kThumbnailHeight + kLabelHeight + kGap;
    render::Image sheet;
    sheet.width = kGap + columns * cellWidth;
    sheet.height = kGap + rows * cellHeight;
    sheet.rgba.resize(static_cast<std::size_t>(sheet.width) * sheet.height * 4);
    fill(sheet, 0, 0, sheet.width, sheet.height, kSheetColour);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const int left = kGap + static_cast<int>(i) % columns * cellWidth;
        const int top = kGap + static_cast<int>(i) / columns * cellHeight;
        drawThumbnail(sheet, left, top, entries[i].imagePath);
        drawText(sheet, left, top + kThumbnailHeight + 3,
                 fitted(printable(entries[i].label), kThumbnailWidth));
    }
    return sheet;
}

}  // namespace orvex::cli
