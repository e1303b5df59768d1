// The bound resources against the text pictures they are made from.
#include <windows.h>

#include <gtest/gtest.h>

#include "display/readout_win.h"
#include "display_test_support.h"

namespace {

constexpr int kGlyphStripWidth = 120;
constexpr int kGlyphStripHeight = 13;
constexpr int kIconSide = 32;
constexpr int kSixteenColours = 16;
constexpr int kFourBits = 4;

// The layout of a group icon resource (RT_GROUP_ICON), which no SDK header declares.
#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE Width;
  BYTE Height;
  BYTE ColourCount;
  BYTE Reserved;
  WORD Planes;
  WORD BitCount;
  DWORD BytesInRes;
  WORD Id;
};
struct GroupIconHeader {
  WORD Reserved;
  WORD Type;
  WORD Count;
};
#pragma pack(pop)

const BITMAPINFOHEADER* FindDib(LPCSTR name, LPCSTR type) {
  HMODULE module = GetModuleHandleA(NULL);
  HRSRC found = FindResourceA(module, name, type);
  if (found == NULL) {
    return NULL;
  }
  return static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
}

// A 4-bit DIB: its palette is the standard one and each pixel holds the index of the
// picture's symbol. Returns a pointer just past the colour bits (an icon's mask follows).
const BYTE* ExpectFourBitDibMatches(const BITMAPINFOHEADER* header, const TextPicture& picture) {
  EXPECT_EQ(header->biBitCount, kFourBits);
  EXPECT_EQ(header->biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_TRUE(header->biClrUsed == 0 || header->biClrUsed == kSixteenColours) << header->biClrUsed;
  const RGBQUAD* palette =
      reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(header) + header->biSize);
  for (int i = 0; i < kSixteenColours; ++i) {
    EXPECT_EQ(RGB(palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue), kStandardPalette[i])
        << "palette index " << i;
  }
  const BYTE* bits = reinterpret_cast<const BYTE*>(palette + kSixteenColours);
  const int stride = (picture.Width() * kFourBits + 31) / 32 * 4;
  int wrong = 0;
  for (int y = 0; y < picture.Height(); ++y) {
    const BYTE* row = bits + (picture.Height() - 1 - y) * stride;  // bottom row first
    for (int x = 0; x < picture.Width(); ++x) {
      const int index = (x % 2 == 0) ? row[x / 2] >> 4 : row[x / 2] & 0x0F;
      if (index != PaletteIndexOf(picture.Rows[y][x]) && ++wrong <= 5) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") has index " << index;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  return bits + stride * picture.Height();
}

TEST(PaletteTest, BoundBitmapsCarryTheStandardSixteenColoursInWindowsOrder) {
  struct Entry {
    int Index;
    COLORREF Colour;
    const char* Name;
  };
  const Entry kEntries[] = {
      {0, RGB(0, 0, 0), "black"},           {1, RGB(128, 0, 0), "maroon"},
      {2, RGB(0, 128, 0), "dark green"},    {3, RGB(128, 128, 0), "olive"},
      {4, RGB(0, 0, 128), "navy"},          {5, RGB(128, 0, 128), "purple"},
      {6, RGB(0, 128, 128), "teal"},        {7, RGB(192, 192, 192), "light grey"},
      {8, RGB(128, 128, 128), "dark grey"}, {9, RGB(255, 0, 0), "red"},
      {10, RGB(0, 255, 0), "bright green"}, {11, RGB(255, 255, 0), "yellow"},
      {12, RGB(0, 0, 255), "blue"},         {13, RGB(255, 0, 255), "magenta"},
      {14, RGB(0, 255, 255), "cyan"},       {15, RGB(255, 255, 255), "white"}};
  const BITMAPINFOHEADER* header = FindDib("LCD_08X13", MAKEINTRESOURCEA(2));  // RT_BITMAP
  ASSERT_NE(header, static_cast<const BITMAPINFOHEADER*>(NULL));
  const RGBQUAD* palette =
      reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(header) + header->biSize);
  for (const Entry& entry : kEntries) {
    const RGBQUAD& bound = palette[entry.Index];
    EXPECT_EQ(RGB(bound.rgbRed, bound.rgbGreen, bound.rgbBlue), entry.Colour) << entry.Name;
    EXPECT_EQ(kStandardPalette[entry.Index], entry.Colour) << entry.Name;
  }
  // The symbols of the glyph table and the entries the readout's three colours come from.
  EXPECT_EQ(PaletteIndexOf('.'), 0);
  EXPECT_EQ(PaletteIndexOf('o'), 2);
  EXPECT_EQ(PaletteIndexOf('#'), 10);
}

// The lit pixels of each cell, worked out from what the cell shows: seven segments of a
// digit cell (a top, b upper right, c lower right, d bottom, e lower left, f upper left,
// g middle), or the punctuation's dots.
std::string LitPixelsOfSegments(const char* segments) {
  std::string lit(CharWidth * CharHeight, '-');
  const int kLeft = 1, kRight = 7, kTop = 0, kMiddle = 6, kBottom = 12, kSegmentLength = 5;
  for (const char* s = segments; *s != '\0'; ++s) {
    const bool across = *s == 'a' || *s == 'd' || *s == 'g';
    const int row = *s == 'a' ? kTop : *s == 'g' ? kMiddle : kBottom;
    const int column = (*s == 'b' || *s == 'c') ? kRight : kLeft;
    const bool upper = *s == 'b' || *s == 'f';
    for (int i = 0; i < kSegmentLength; ++i) {
      if (across) {
        lit[row * CharWidth + kLeft + 1 + i] = '#';
      } else {
        lit[((upper ? kTop : kMiddle) + 1 + i) * CharWidth + column] = '#';
      }
    }
  }
  return lit;
}

std::string LitPixelsOfCell(const TextPicture& table, int cell) {
  std::string lit;
  for (int row = 0; row < CharHeight; ++row) {
    for (int column = 0; column < CharWidth; ++column) {
      lit += table.Rows[row][cell * CharWidth + column] == '#' ? '#' : '-';
    }
  }
  return lit;
}

TEST(GlyphStripTest, TableCellsLightWhatTheyShow) {
  TextPicture table;
  ASSERT_TRUE(LoadTextPicture("GLYPH_TABLE", &table));
  ASSERT_EQ(table.Height(), kGlyphStripHeight);
  struct Cell {
    int Index;
    const char* Shows;
    std::string Lit;
  };
  std::string punctuation(CharWidth * CharHeight, '-');
  punctuation[4 * CharWidth + 2] = '#';  // the colon's dots
  punctuation[8 * CharWidth + 2] = '#';
  punctuation[12 * CharWidth + 6] = '#';  // the full stop
  const Cell kCells[] = {
      {0, "all unlit", LitPixelsOfSegments("")},     {1, "0", LitPixelsOfSegments("abcdef")},
      {2, "1", LitPixelsOfSegments("bc")},           {3, "2", LitPixelsOfSegments("abdeg")},
      {4, "3", LitPixelsOfSegments("abcdg")},        {5, "4", LitPixelsOfSegments("bcfg")},
      {6, "5", LitPixelsOfSegments("acdfg")},        {7, "6", LitPixelsOfSegments("acdefg")},
      {8, "7", LitPixelsOfSegments("abc")},          {9, "8", LitPixelsOfSegments("abcdefg")},
      {10, "9", LitPixelsOfSegments("abcdfg")},      {11, "narrow one", LitPixelsOfSegments("bc")},
      {12, "unlit middle", LitPixelsOfSegments("")}, {13, "minus", LitPixelsOfSegments("g")},
      {14, "colon and full stop", punctuation},
  };
  for (const Cell& cell : kCells) {
    EXPECT_EQ(LitPixelsOfCell(table, cell.Index), cell.Lit)
        << "cell " << cell.Index << " (" << cell.Shows << "), " << CharWidth << " a row";
  }
}

TEST(GlyphStripTest, LoadedBitmapMatchesTheTablePixelForPixel) {
  TextPicture table;
  ASSERT_TRUE(LoadTextPicture("GLYPH_TABLE", &table));
  HBITMAP strip = LoadBitmapA(GetModuleHandleA(NULL), "LCD_08X13");
  ASSERT_NE(strip, static_cast<HBITMAP>(NULL));
  BITMAP info = {};
  ASSERT_EQ(GetObjectA(strip, static_cast<int>(sizeof(info)), &info),
            static_cast<int>(sizeof(info)));
  EXPECT_EQ(info.bmWidth, kGlyphStripWidth);
  EXPECT_EQ(info.bmHeight, kGlyphStripHeight);

  HDC memory = CreateCompatibleDC(NULL);
  HGDIOBJ previous = SelectObject(memory, strip);
  int wrong = 0;
  for (int y = 0; y < kGlyphStripHeight; ++y) {
    for (int x = 0; x < kGlyphStripWidth; ++x) {
      const COLORREF actual = GetPixel(memory, x, y);
      if (actual != ColourOf(table.Rows[y][x]) && ++wrong <= 5) {
        ADD_FAILURE() << "(" << x << ", " << y << "): 0x" << std::hex << actual;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
  SelectObject(memory, previous);
  DeleteDC(memory);
  DeleteObject(strip);
}

TEST(GlyphStripTest, StoredAsFourBitIndicesIntoTheStandardPalette) {
  TextPicture table;
  ASSERT_TRUE(LoadTextPicture("GLYPH_TABLE", &table));
  const BITMAPINFOHEADER* header = FindDib("LCD_08X13", MAKEINTRESOURCEA(2));  // RT_BITMAP
  ASSERT_NE(header, static_cast<const BITMAPINFOHEADER*>(NULL));
  EXPECT_EQ(header->biWidth, kGlyphStripWidth);
  EXPECT_EQ(header->biHeight, kGlyphStripHeight);  // positive: bottom row first
  ExpectFourBitDibMatches(header, table);
}

TEST(ProgramIconTest, ThirtyTwoPixelSixteenColourImageOfThePicture) {
  TextPicture picture;
  ASSERT_TRUE(LoadTextPicture("ICON_PICTURE", &picture));
  ASSERT_EQ(picture.Width(), kIconSide);
  ASSERT_EQ(picture.Height(), kIconSide);

  HMODULE module = GetModuleHandleA(NULL);
  HRSRC group = FindResourceA(module, "MAINICON", MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
  ASSERT_NE(group, static_cast<HRSRC>(NULL));
  const BYTE* directory = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
  const GroupIconHeader* header = reinterpret_cast<const GroupIconHeader*>(directory);
  ASSERT_EQ(header->Count, 1);
  const GroupIconEntry* entry =
      reinterpret_cast<const GroupIconEntry*>(directory + sizeof(GroupIconHeader));
  EXPECT_EQ(entry->Width, kIconSide);
  EXPECT_EQ(entry->Height, kIconSide);
  EXPECT_EQ(entry->ColourCount, kSixteenColours);
  EXPECT_EQ(entry->BitCount, kFourBits);

  const BITMAPINFOHEADER* image = FindDib(MAKEINTRESOURCEA(entry->Id), MAKEINTRESOURCEA(3));
  ASSERT_NE(image, static_cast<const BITMAPINFOHEADER*>(NULL));  // RT_ICON
  EXPECT_EQ(image->biWidth, kIconSide);
  EXPECT_EQ(image->biHeight, 2 * kIconSide);  // the colour bitmap and the mask
  const BYTE* mask = ExpectFourBitDibMatches(image, picture);
  const int maskBytes = kIconSide * kIconSide / 8;
  int transparent = 0;
  for (int i = 0; i < maskBytes; ++i) {
    transparent += mask[i] != 0;
  }
  EXPECT_EQ(transparent, 0) << "the icon is opaque everywhere";

  HICON icon = static_cast<HICON>(
      LoadImageA(GetModuleHandleA(NULL), "MAINICON", IMAGE_ICON, kIconSide, kIconSide, 0));
  EXPECT_NE(icon, static_cast<HICON>(NULL));
  DestroyIcon(icon);
}

}  // namespace
