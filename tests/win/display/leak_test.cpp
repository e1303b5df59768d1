// Drawing again and again leaves no device context, bitmap or pen behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "common/window_handles_win.h"
#include "display/face_win.h"
#include "display/readout_win.h"
#include "display_test_support.h"

namespace {

// Far above any GDI handle table's size; only a bound on the loops below.
constexpr int kSearchLimit = 1 << 20;
// The free handles left while drawing, and how many draws go beyond them.
constexpr int kRoom = 500;
constexpr int kExtraDraws = 100;
constexpr int kCheckEvery = 50;
constexpr int kGlyphCells = 15;

// Makes pens until the system refuses one. Wine's GetGuiResources reports no GDI count
// (always 0), so filling the handle table is how these tests see what is in use.
std::vector<HPEN> TakeAllGdiHandles() {
  std::vector<HPEN> pens;
  for (int i = 0; i < kSearchLimit; ++i) {
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    if (pen == NULL) {
      break;
    }
    pens.push_back(pen);
  }
  return pens;
}

void GiveBack(std::vector<HPEN>* pens, size_t count) {
  for (size_t i = 0; i < count && !pens->empty(); ++i) {
    DeleteObject(pens->back());
    pens->pop_back();
  }
}

// Pens that keep the handle table full until the end of a test, however it ends.
struct HeldHandles {
  std::vector<HPEN> Pens;
  ~HeldHandles() { GiveBack(&Pens, Pens.size()); }
};

// How many more GDI objects the process can make now.
int FreeGdiRoom() {
  std::vector<HPEN> pens = TakeAllGdiHandles();
  const int room = static_cast<int>(pens.size());
  GiveBack(&pens, pens.size());
  return room;
}

TEST(GdiLeakTest, DrawingMoreOftenThanTheFreeHandlesLeavesNothingBehind) {
  TextPicture glyphs;
  ASSERT_TRUE(LoadTextPicture("GLYPH_TABLE", &glyphs));
  ProgramWindow window;
  ASSERT_TRUE(window.Ready());
  SetReadoutRecords(5, 12, 97, 7, 3, 41);
  // Once first, so that whatever the system caches on a window's first drawing is in place.
  PaintFace();
  DrawReadout(0);
  const DWORD reportedBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);

  // Fill the handle table but for kRoom entries. Drawing costs about a millisecond under
  // Wine, too slow to fill all of a 64K table; a full table but for a few hundred entries
  // is the same trap in a second.
  HeldHandles held;
  held.Pens = TakeAllGdiHandles();
  ASSERT_GT(held.Pens.size(), static_cast<size_t>(kRoom));
  ASSERT_LT(held.Pens.size(), static_cast<size_t>(kSearchLimit)) << "the table has no end?";
  std::printf("GDI handle table: room for %u more objects\n",
              static_cast<unsigned>(held.Pens.size()));
  GiveBack(&held.Pens, kRoom);
  ASSERT_EQ(FreeGdiRoom(), kRoom);

  // One object left behind per call would use up the room long before the end of this loop.
  // The room is looked at on the way: Wine crashes once its table is truly full, and a
  // clear failure is better than a crash.
  for (int i = 0; i < kRoom + kExtraDraws; ++i) {
    DrawReadout(0);
    PaintFace();
    if (i % kCheckEvery == 0) {
      ASSERT_EQ(FreeGdiRoom(), kRoom) << "after " << i + 1 << " draws of each";
    }
  }
  EXPECT_EQ(FreeGdiRoom(), kRoom);

  // Drawing still works, from the same glyph strip, with the table still all but full.
  BITMAP strip = {};
  EXPECT_EQ(GetObjectA(GlyphStrip, static_cast<int>(sizeof(strip)), &strip),
            static_cast<int>(sizeof(strip)));
  EXPECT_EQ(strip.bmWidth, kGlyphCells * CharWidth);
  EXPECT_EQ(strip.bmHeight, CharHeight);
  SetReadoutRecords(16, 8, 86, 18, 46, 58);
  PaintFace();
  {
    Canvas shot(ProgramWindow::kWidth, ProgramWindow::kHeight);
    window.Capture(&shot);
    EXPECT_TRUE(MatchesImage(shot, ModelFace(glyphs, "16:08:86", "18:46:58")));
  }
  GiveBack(&held.Pens, held.Pens.size());

  if (reportedBefore != 0) {
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), reportedBefore);
  }
}

}  // namespace
