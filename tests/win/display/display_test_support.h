// Helpers of the display tests: the text pictures, an off-screen canvas to draw into and
// read back, expected images built from the pictures, and the program's window.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// The Windows standard 16-colour palette, in the order of its indices.
extern const COLORREF kStandardPalette[16];

// Rows of symbols, top row first, as in resources/*.txt.
struct TextPicture {
  std::vector<std::string> Rows;
  int Width() const { return Rows.empty() ? 0 : static_cast<int>(Rows.front().size()); }
  int Height() const { return static_cast<int>(Rows.size()); }
};

// Reads the RCDATA resource `name` of the test program.
bool LoadTextPicture(const char* name, TextPicture* picture);
// Palette index a picture symbol stands for, or -1 for an unknown symbol.
int PaletteIndexOf(char symbol);
COLORREF ColourOf(char symbol);

// A picture of what a drawing should leave, pixel by pixel.
struct ExpectedImage {
  int Width;
  int Height;
  std::vector<COLORREF> Pixels;

  ExpectedImage(int width, int height, COLORREF fill)
      : Width(width), Height(height), Pixels(static_cast<size_t>(width) * height, fill) {}
  COLORREF At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
  void Set(int x, int y, COLORREF colour);  // outside the image: ignored, as GDI clips
  void FillRow(int y, int fromX, int toX, COLORREF colour);     // both ends inclusive
  void FillColumn(int x, int fromY, int toY, COLORREF colour);  // both ends inclusive
};

// A memory device context over a 32-bit DIB section whose pixels the test reads directly.
class Canvas {
 public:
  Canvas(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC Dc() const { return dc_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void Fill(COLORREF colour);
  COLORREF At(int x, int y) const;
  bool WriteBmp(const char* path) const;

 private:
  int width_;
  int height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
  uint32_t* bits_;
};

// Every pixel of the canvas against the expected image; names the first few that differ.
::testing::AssertionResult MatchesImage(const Canvas& canvas, const ExpectedImage& expected);

// The readout line `text` as the glyph table says it looks, placed at (left, top).
// Returns its width in pixels.
int ModelLine(ExpectedImage* image, const TextPicture& glyphs, int left, int top, const char* text);

struct BevelColours {
  COLORREF Light;
  COLORREF Dark;
  COLORREF Face;
};
BevelColours CurrentBevelColours();

// A bevel as the pixel ranges of its rings and corner diagonals describe it.
void ModelBevel(ExpectedImage* image, int x, int y, int width, int height, int depth, bool raised,
                const BevelColours& colours);

// The whole face at the program's default size, 100 x 50: black panel, raised and sunken
// bevel in the current system colours, and the readout's two lines.
ExpectedImage ModelFace(const TextPicture& glyphs, const char* dateLine, const char* timeLine);

// The program's window as its start-up makes it: a caption-less tool window, 100 x 50 at
// (20, 20), with the glyph strip loaded. Sets MainWindow, WindowGeometry and GlyphStrip,
// and puts all three back on destruction.
class ProgramWindow {
 public:
  static constexpr int kLeft = 20;
  static constexpr int kTop = 20;
  static constexpr int kWidth = 100;
  static constexpr int kHeight = 50;

  ProgramWindow();
  ~ProgramWindow();
  ProgramWindow(const ProgramWindow&) = delete;
  ProgramWindow& operator=(const ProgramWindow&) = delete;

  bool Ready() const;
  // Copies what the window's own device context holds.
  void Capture(Canvas* canvas) const;
};

// Puts the time fields and the second counter of a readout test in place.
void SetReadoutRecords(uint8_t day, uint8_t month, uint8_t year, uint8_t hour, uint8_t minute,
                       uint8_t second);
