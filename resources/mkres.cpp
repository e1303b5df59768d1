// mkres: turns a text picture into a 16-colour Windows bitmap (.bmp) or icon (.ico).
//
//   mkres bmp PICTURE.txt OUT.bmp
//   mkres ico PICTURE.txt OUT.ico
//
// A picture is rows of equal length, one character a pixel, top row first. Each character
// names an entry of the Windows standard 16-colour palette (see kLegend). Runs on the build
// machine, so it uses nothing but the standard library and writes every field byte by byte,
// little-endian, whatever the host's own byte order.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct PaletteEntry {
  uint8_t Red;
  uint8_t Green;
  uint8_t Blue;
};

// The standard 16-colour palette in the order Windows and its 4-bit bitmaps use it:
// the eight dark colours, then their bright counterparts, light grey and dark grey between.
const PaletteEntry kPalette[16] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                   {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                   {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                   {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

struct LegendEntry {
  char Symbol;
  uint8_t Index;
};

const LegendEntry kLegend[] = {
    {'.', 0},   // black
    {'o', 2},   // dark green
    {'#', 10},  // bright green
    {'+', 7},   // light grey
    {'-', 8},   // dark grey
    {'*', 15},  // white
};

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kPaletteSize = 16 * 4;
constexpr uint16_t kBitsPerPixel = 4;
constexpr uint32_t kIconDirSize = 6;
constexpr uint32_t kIconDirEntrySize = 16;
constexpr int kMaxIconSide = 256;

using Picture = std::vector<std::vector<uint8_t>>;  // palette indices, top row first

bool LookUp(char symbol, uint8_t* index) {
  for (const LegendEntry& entry : kLegend) {
    if (entry.Symbol == symbol) {
      *index = entry.Index;
      return true;
    }
  }
  return false;
}

bool ReadPicture(const char* path, Picture* picture) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "mkres: cannot read %s\n", path);
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    std::vector<uint8_t> row;
    for (char symbol : line) {
      uint8_t index = 0;
      if (!LookUp(symbol, &index)) {
        std::fprintf(stderr, "%s:%d: unknown pixel '%c'\n", path, number, symbol);
        return false;
      }
      row.push_back(index);
    }
    if (row.empty() || (!picture->empty() && row.size() != picture->front().size())) {
      std::fprintf(stderr, "%s:%d: every row must have the first row's length\n", path, number);
      return false;
    }
    picture->push_back(row);
  }
  if (picture->empty()) {
    std::fprintf(stderr, "%s: no rows\n", path);
    return false;
  }
  return true;
}

void Put16(std::vector<uint8_t>* out, uint32_t value) {
  out->push_back(static_cast<uint8_t>(value));
  out->push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(std::vector<uint8_t>* out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

// Rows of a device-independent bitmap are padded to whole 32-bit words.
uint32_t Stride(uint32_t width, uint32_t bitsPerPixel) {
  return (width * bitsPerPixel + 31) / 32 * 4;
}

uint32_t Width(const Picture& picture) {
  return static_cast<uint32_t>(picture.front().size());
}
uint32_t Height(const Picture& picture) {
  return static_cast<uint32_t>(picture.size());
}

uint32_t ColourBitsSize(const Picture& picture) {
  return Stride(Width(picture), kBitsPerPixel) * Height(picture);
}

// An icon's mask is all 0: every pixel shows its colour, none is transparent.
uint32_t MaskBitsSize(const Picture& picture) {
  return Stride(Width(picture), 1) * Height(picture);
}

// BITMAPINFOHEADER and the palette. An icon image declares twice its height: the colour
// bitmap and the mask below it.
void PutInfoHeaderAndPalette(std::vector<uint8_t>* out, const Picture& picture, bool icon) {
  const uint32_t imageSize = ColourBitsSize(picture) + (icon ? MaskBitsSize(picture) : 0);
  Put32(out, kInfoHeaderSize);
  Put32(out, Width(picture));
  Put32(out, icon ? 2 * Height(picture) : Height(picture));
  Put16(out, 1);  // planes
  Put16(out, kBitsPerPixel);
  Put32(out, 0);  // BI_RGB: not compressed
  Put32(out, imageSize);
  Put32(out, 0);  // no preferred resolution
  Put32(out, 0);
  Put32(out, 16);  // palette entries used
  Put32(out, 0);   // all of them important
  for (const PaletteEntry& entry : kPalette) {
    out->push_back(entry.Blue);
    out->push_back(entry.Green);
    out->push_back(entry.Red);
    out->push_back(0);
  }
}

// Bottom row first; two pixels a byte, the left one in the high nibble.
void PutColourBits(std::vector<uint8_t>* out, const Picture& picture) {
  const uint32_t stride = Stride(Width(picture), kBitsPerPixel);
  for (uint32_t y = Height(picture); y-- > 0;) {
    std::vector<uint8_t> row(stride, 0);
    for (uint32_t x = 0; x < Width(picture); ++x) {
      const uint8_t index = picture[y][x];
      row[x / 2] |= (x % 2 == 0) ? static_cast<uint8_t>(index << 4) : index;
    }
    out->insert(out->end(), row.begin(), row.end());
  }
}

std::vector<uint8_t> MakeBitmap(const Picture& picture) {
  const uint32_t bitsOffset = kFileHeaderSize + kInfoHeaderSize + kPaletteSize;
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(&out, bitsOffset + ColourBitsSize(picture));
  Put32(&out, 0);  // two reserved words
  Put32(&out, bitsOffset);
  PutInfoHeaderAndPalette(&out, picture, false);
  PutColourBits(&out, picture);
  return out;
}

std::vector<uint8_t> MakeIcon(const Picture& picture) {
  const uint32_t imageSize =
      kInfoHeaderSize + kPaletteSize + ColourBitsSize(picture) + MaskBitsSize(picture);
  std::vector<uint8_t> out;
  Put16(&out, 0);  // reserved
  Put16(&out, 1);  // an icon, not a cursor
  Put16(&out, 1);  // one image
  // In the directory a side of 256 is written as 0.
  out.push_back(static_cast<uint8_t>(Width(picture) % kMaxIconSide));
  out.push_back(static_cast<uint8_t>(Height(picture) % kMaxIconSide));
  out.push_back(16);  // colours
  out.push_back(0);   // reserved
  Put16(&out, 1);     // planes
  Put16(&out, kBitsPerPixel);
  Put32(&out, imageSize);
  Put32(&out, kIconDirSize + kIconDirEntrySize);
  PutInfoHeaderAndPalette(&out, picture, true);
  PutColourBits(&out, picture);
  out.insert(out.end(), MaskBitsSize(picture), 0);
  return out;
}

bool WriteFile(const char* path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "mkres: cannot write %s\n", path);
    return false;
  }
  return true;
}

int Usage() {
  std::fprintf(stderr, "usage: mkres bmp|ico PICTURE.txt OUTPUT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    return Usage();
  }
  const bool icon = std::strcmp(argv[1], "ico") == 0;
  if (!icon && std::strcmp(argv[1], "bmp") != 0) {
    return Usage();
  }
  Picture picture;
  if (!ReadPicture(argv[2], &picture)) {
    return 1;
  }
  if (icon && (Width(picture) > kMaxIconSide || Height(picture) > kMaxIconSide)) {
    std::fprintf(stderr, "%s: an icon is at most %d pixels a side\n", argv[2], kMaxIconSide);
    return 1;
  }
  return WriteFile(argv[3], icon ? MakeIcon(picture) : MakeBitmap(picture)) ? 0 : 1;
}
