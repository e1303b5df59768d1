// The readout drawn into a memory device context, pixel for pixel.
#include <windows.h>

#include <gtest/gtest.h>

#include "common/window_geometry.h"
#include "common/window_handles_win.h"
#include "display/readout_win.h"
#include "display_test_support.h"

namespace {

constexpr int kFaceWidth = 100;
constexpr int kFaceHeight = 50;
constexpr int kLineLeft = 22;
constexpr int kDateTop = 10;
constexpr int kTimeTop = 30;
const COLORREF kSentinel = RGB(255, 0, 255);

class ReadoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadTextPicture("GLYPH_TABLE", &glyphs_));
    GlyphStrip = LoadBitmapA(GetModuleHandleA(NULL), "LCD_08X13");
    ASSERT_NE(GlyphStrip, static_cast<HBITMAP>(NULL));
    WindowGeometry.Width = kFaceWidth;
    WindowGeometry.Height = kFaceHeight;
    SetReadoutRecords(0, 0, 0, 0, 0, 0);
  }
  void TearDown() override {
    DeleteObject(GlyphStrip);
    GlyphStrip = 0;
    WindowGeometry = WindowGeometryRecord();
  }

  TextPicture glyphs_;
};

struct ReadoutCase {
  const char* Name;
  uint8_t Day, Month, Year, Hour, Minute, Second;
  const char* DateLine;
  const char* TimeLine;
  int DateWidth;
  int TimeWidth;
};

const ReadoutCase kReadoutCases[] = {
    {"at start", 0, 0, 0, 0, 0, 0, "00:00:00", "00:00:00", 56, 56},
    {"decoded minute", 5, 12, 97, 7, 3, 41, "05:12:97", "07:03:41", 56, 56},
    {"remaining digits", 16, 8, 86, 18, 46, 58, "16:08:86", "18:46:58", 56, 56},
    {"a value of 100 or more", 5, 12, 100, 7, 3, 255, "05:12:100", "07:03:255", 64, 64},
};

TEST_F(ReadoutTest, DrawsBothLinesPixelForPixelAndNothingElse) {
  for (const ReadoutCase& c : kReadoutCases) {
    SCOPED_TRACE(c.Name);
    SetReadoutRecords(c.Day, c.Month, c.Year, c.Hour, c.Minute, c.Second);
    Canvas canvas(kFaceWidth, kFaceHeight);
    canvas.Fill(kSentinel);

    DrawReadout(canvas.Dc());

    ExpectedImage expected(kFaceWidth, kFaceHeight, kSentinel);
    EXPECT_EQ(ModelLine(&expected, glyphs_, kLineLeft, kDateTop, c.DateLine), c.DateWidth);
    EXPECT_EQ(ModelLine(&expected, glyphs_, kLineLeft, kTimeTop, c.TimeLine), c.TimeWidth);
    EXPECT_TRUE(MatchesImage(canvas, expected));
  }
}

TEST_F(ReadoutTest, LeavesTheTargetsOwnObjectsSelected) {
  Canvas canvas(kFaceWidth, kFaceHeight);
  HGDIOBJ bitmap = GetCurrentObject(canvas.Dc(), OBJ_BITMAP);
  HGDIOBJ pen = GetCurrentObject(canvas.Dc(), OBJ_PEN);
  DrawReadout(canvas.Dc());
  EXPECT_EQ(GetCurrentObject(canvas.Dc(), OBJ_BITMAP), bitmap);
  EXPECT_EQ(GetCurrentObject(canvas.Dc(), OBJ_PEN), pen);
  // The strip was deselected again, so it can still be selected elsewhere and drawn from.
  HDC other = CreateCompatibleDC(NULL);
  EXPECT_NE(SelectObject(other, GlyphStrip), static_cast<HGDIOBJ>(NULL));
  EXPECT_EQ(GetPixel(other, 2 * CharWidth - 1, 1), RGB(0, 255, 0));  // right edge of "0"
  DeleteDC(other);
}

TEST_F(ReadoutTest, StaysBlankWithoutAnAreaToComposeIn) {
  struct Size {
    int32_t Width;
    int32_t Height;
  };
  const Size kSizes[] = {{0, kFaceHeight}, {kFaceWidth, 0}, {-1, -1}};
  for (const Size& size : kSizes) {
    SCOPED_TRACE(::testing::Message() << size.Width << " x " << size.Height);
    WindowGeometry.Width = size.Width;
    WindowGeometry.Height = size.Height;
    Canvas canvas(kFaceWidth, kFaceHeight);
    canvas.Fill(kSentinel);
    DrawReadout(canvas.Dc());
    EXPECT_TRUE(MatchesImage(canvas, ExpectedImage(kFaceWidth, kFaceHeight, kSentinel)));
  }
}

TEST_F(ReadoutTest, StaysBlankWithoutTheGlyphStrip) {
  HBITMAP strip = GlyphStrip;
  GlyphStrip = 0;
  Canvas canvas(kFaceWidth, kFaceHeight);
  canvas.Fill(kSentinel);
  DrawReadout(canvas.Dc());
  GlyphStrip = strip;
  EXPECT_TRUE(MatchesImage(canvas, ExpectedImage(kFaceWidth, kFaceHeight, kSentinel)));
}

}  // namespace
