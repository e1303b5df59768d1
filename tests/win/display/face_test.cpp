// The bevels in a memory device context, and the whole face on a real window.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/window_handles_win.h"
#include "display/face_win.h"
#include "display/readout_win.h"
#include "display_test_support.h"

namespace {

constexpr int kWidth = ProgramWindow::kWidth;
constexpr int kHeight = ProgramWindow::kHeight;
constexpr int kDepth = 2;
const COLORREF kSentinel = RGB(255, 0, 255);

// Sets the three 3-D colours for one scope and puts the user's back afterwards.
class ColourScheme {
 public:
  explicit ColourScheme(const BevelColours& colours) {
    saved_[0] = GetSysColor(kElements[0]);
    saved_[1] = GetSysColor(kElements[1]);
    saved_[2] = GetSysColor(kElements[2]);
    const COLORREF wanted[] = {colours.Light, colours.Dark, colours.Face};
    SetSysColors(3, kElements, wanted);
  }
  ~ColourScheme() { SetSysColors(3, kElements, saved_); }

 private:
  static const INT kElements[3];
  COLORREF saved_[3];
};
const INT ColourScheme::kElements[3] = {COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW, COLOR_BTNFACE};

// A scheme whose three colours differ from the default one's and from each other.
const BevelColours kOddScheme = {RGB(255, 255, 0), RGB(0, 0, 160), RGB(200, 60, 30)};

void DrawBothBevels(HDC target) {
  DrawBevel(target, 0, 0, kWidth, kHeight, kDepth, true);
  DrawBevel(target, kDepth, kDepth, kWidth - 2 * kDepth, kHeight - 2 * kDepth, kDepth, false);
}

TEST(BevelTest, EveryPixelOfBothBevelsInTheCurrentColours) {
  const BevelColours colours = CurrentBevelColours();
  // The bevel's look depends on its three colours being told apart.
  ASSERT_NE(colours.Light, colours.Dark);
  ASSERT_NE(colours.Light, colours.Face);
  ASSERT_NE(colours.Dark, colours.Face);
  Canvas canvas(kWidth, kHeight);
  canvas.Fill(kSentinel);

  DrawBothBevels(canvas.Dc());

  ExpectedImage expected(kWidth, kHeight, kSentinel);
  ModelBevel(&expected, 0, 0, kWidth, kHeight, kDepth, true, colours);
  ModelBevel(&expected, kDepth, kDepth, kWidth - 2 * kDepth, kHeight - 2 * kDepth, kDepth, false,
             colours);
  EXPECT_TRUE(MatchesImage(canvas, expected));
}

TEST(BevelTest, CornersAndRingsAtTheDocumentedPixels) {
  // Spot checks written out by hand, independent of the ring model above.
  const BevelColours c = CurrentBevelColours();
  struct Pixel {
    int X, Y;
    COLORREF Colour;
  };
  const Pixel kPixels[] = {
      {0, 0, c.Light},   {99, 0, c.Face},   {98, 1, c.Face},     {99, 1, c.Dark}, {0, 48, c.Light},
      {0, 49, c.Face},   {1, 48, c.Face},   {99, 49, c.Dark},    {2, 2, c.Dark},  {97, 2, c.Face},
      {96, 3, c.Face},   {97, 3, c.Light},  {2, 46, c.Dark},     {2, 47, c.Face}, {3, 46, c.Face},
      {97, 47, c.Light}, {4, 4, kSentinel}, {95, 45, kSentinel},
  };
  Canvas canvas(kWidth, kHeight);
  canvas.Fill(kSentinel);
  DrawBothBevels(canvas.Dc());
  for (const Pixel& p : kPixels) {
    EXPECT_EQ(canvas.At(p.X, p.Y), p.Colour) << "(" << p.X << ", " << p.Y << ")";
  }
}

TEST(BevelTest, DepthZeroDrawsNothing) {
  Canvas canvas(kWidth, kHeight);
  canvas.Fill(kSentinel);
  DrawBevel(canvas.Dc(), 0, 0, kWidth, kHeight, 0, true);
  DrawBevel(canvas.Dc(), 0, 0, kWidth, kHeight, 0, false);
  EXPECT_TRUE(MatchesImage(canvas, ExpectedImage(kWidth, kHeight, kSentinel)));
}

class FaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadTextPicture("GLYPH_TABLE", &glyphs_));
    ASSERT_TRUE(window_.Ready());
    SetReadoutRecords(5, 12, 97, 7, 3, 41);
  }
  void TearDown() override { SetReadoutRecords(0, 0, 0, 0, 0, 0); }

  TextPicture glyphs_;
  ProgramWindow window_;
};

TEST_F(FaceTest, PaintsPanelBevelsAndReadoutAndSavesAScreenshot) {
  PaintFace();

  Canvas shot(kWidth, kHeight);
  window_.Capture(&shot);
  EXPECT_TRUE(MatchesImage(shot, ModelFace(glyphs_, "05:12:97", "07:03:41")));

  // For a person to look at: the face as the window shows it, beside the test program.
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(NULL, path, MAX_PATH);
  ASSERT_GT(length, 0u);
  std::string shotPath(path, length);
  shotPath = shotPath.substr(0, shotPath.find_last_of("\\/") + 1) + "display_face.bmp";
  ASSERT_TRUE(shot.WriteBmp(shotPath.c_str()));
  std::printf("screenshot: %s\n", shotPath.c_str());
}

TEST_F(FaceTest, RepaintFollowsAChangeOfColourScheme) {
  PaintFace();
  ColourScheme scheme(kOddScheme);
  ASSERT_EQ(CurrentBevelColours().Dark, kOddScheme.Dark);
  PaintFace();

  Canvas shot(kWidth, kHeight);
  window_.Capture(&shot);
  EXPECT_TRUE(MatchesImage(shot, ModelFace(glyphs_, "05:12:97", "07:03:41")));
}

TEST_F(FaceTest, ReadoutWithoutTargetRedrawsOnlyItsStripsOnTheWindow) {
  SetReadoutRecords(0, 0, 0, 0, 0, 0);
  PaintFace();
  SetReadoutRecords(5, 12, 97, 7, 3, 41);

  DrawReadout(0);

  Canvas shot(kWidth, kHeight);
  window_.Capture(&shot);
  EXPECT_TRUE(MatchesImage(shot, ModelFace(glyphs_, "05:12:97", "07:03:41")));
}

}  // namespace
