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

TEST_F(ReadoutTest, StaysBlankWithoutAStripOrAnAreaToComposeIn) {
  struct Blank {
    bool Strip;
    int32_t Width;
    int32_t Height;
  };
  const Blank kBlanks[] = {{false, kFaceWidth, kFaceHeight},
                           {true, 0, kFaceHeight},
                           {true, kFaceWidth, 0},
                           {true, -1, -1}};
  const HBITMAP strip = GlyphStrip;
  for (const Blank& blank : kBlanks) {
    SCOPED_TRACE(::testing::Message()
                 << blank.Strip << ", " << blank.Width << " x " << blank.Height);
    GlyphStrip = blank.Strip ? strip : 0;
    WindowGeometry.Width = blank.Width;
    WindowGeometry.Height = blank.Height;
    Canvas canvas(kFaceWidth, kFaceHeight);
    canvas.Fill(kSentinel);
    DrawReadout(canvas.Dc());
    EXPECT_TRUE(MatchesImage(canvas, ExpectedImage(kFaceWidth, kFaceHeight, kSentinel)));
  }
  GlyphStrip = strip;
}

}  // namespace
