#include "display/readout_win.h"

#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "common/window_geometry.h"
#include "common/window_handles_win.h"

namespace {

// The lines' places on the face, inside its bevels.
constexpr int kLineLeft = 22;
constexpr int kDateLineTop = 10;
constexpr int kTimeLineTop = 30;

// Cells of the strip that the character map points into.
constexpr int kZeroCell = 1;  // the digits 0 to 9 follow one another from here
constexpr int kMinusCell = 13;
constexpr int kPunctuationCell = 14;  // colon in the left half, full stop in the right
constexpr int kFullStopOffset = 4;

constexpr int kDecimalBase = 10;
// A line is three numbers of up to three digits ("255") with a colon between each two,
// and the terminating NUL.
constexpr int kNumbersPerLine = 3;
constexpr int kMaxDigits = 3;
constexpr int kLineTextSize = kNumbersPerLine * kMaxDigits + (kNumbersPerLine - 1) + 1;

struct GlyphSpan {
  int SourceX;
  int Width;
};

// False for a character the strip has no cell for.
bool FindGlyph(char character, GlyphSpan* span) {
  if (character >= '0' && character <= '9') {
    span->SourceX = (character - '0' + kZeroCell) * CharWidth;
    span->Width = CharWidth;
    return true;
  }
  switch (character) {
    case '-':
      span->SourceX = kMinusCell * CharWidth;
      span->Width = CharWidth;
      return true;
    case ':':
      span->SourceX = kPunctuationCell * CharWidth;
      span->Width = CharWidth / 2;
      return true;
    case '.':
      span->SourceX = kPunctuationCell * CharWidth + kFullStopOffset;
      span->Width = CharWidth / 2;
      return true;
    default:
      return false;
  }
}

// Values below 10 get a leading "0" so that the readout's columns stay put; larger values
// keep their natural length.
char* AppendNumber(char* out, uint8_t value) {
  const int hundreds = value / (kDecimalBase * kDecimalBase);
  if (hundreds > 0) {
    *out++ = static_cast<char>('0' + hundreds);
  }
  *out++ = static_cast<char>('0' + value / kDecimalBase % kDecimalBase);
  *out++ = static_cast<char>('0' + value % kDecimalBase);
  return out;
}

void FormatLine(uint8_t first, uint8_t second, uint8_t third, char (&text)[kLineTextSize]) {
  char* out = AppendNumber(text, first);
  *out++ = ':';
  out = AppendNumber(out, second);
  *out++ = ':';
  out = AppendNumber(out, third);
  *out = '\0';
}

// Lays the text's cells side by side from the composer's left edge; returns the width used.
int ComposeLine(HDC composer, HDC glyphs, const char* text) {
  int x = 0;
  for (const char* character = text; *character != '\0'; ++character) {
    GlyphSpan span;
    if (!FindGlyph(*character, &span)) {
      continue;
    }
    BitBlt(composer, x, 0, span.Width, CharHeight, glyphs, span.SourceX, 0, SRCCOPY);
    x += span.Width;
  }
  return x;
}

// Each line reaches the target in a single copy, so it never shows half-composed.
void DrawLine(HDC target, HDC composer, HDC glyphs, int top, uint8_t first, uint8_t second,
              uint8_t third) {
  char text[kLineTextSize];
  FormatLine(first, second, third, text);
  const int width = ComposeLine(composer, glyphs, text);
  BitBlt(target, kLineLeft, top, width, CharHeight, composer, 0, 0, SRCCOPY);
}

}  // namespace

void DrawReadout(HDC target) {
  // Without the strip there is nothing to copy, and a window without area has no composer
  // bitmap: the readout then stays blank.
  if (GlyphStrip == 0 || WindowGeometry.Width <= 0 || WindowGeometry.Height <= 0) {
    return;
  }
  HDC context = target;
  if (context == 0) {
    // GetDC(0) would hand out the whole screen.
    if (MainWindow == 0) {
      return;
    }
    context = GetDC(MainWindow);
  }

  HDC glyphs = CreateCompatibleDC(context);
  HGDIOBJ glyphsBefore = SelectObject(glyphs, GlyphStrip);
  HDC composer = CreateCompatibleDC(context);
  HBITMAP composed = CreateCompatibleBitmap(context, WindowGeometry.Width, WindowGeometry.Height);
  HGDIOBJ composerBefore = SelectObject(composer, composed);

  DrawLine(context, composer, glyphs, kDateLineTop, TimeFields.Day, TimeFields.Month,
           TimeFields.Year);
  DrawLine(context, composer, glyphs, kTimeLineTop, TimeFields.Hour, TimeFields.Minute,
           ReceiverState.SecondCounter);

  SelectObject(composer, composerBefore);
  DeleteObject(composed);
  DeleteDC(composer);
  // Deselecting the strip before the context goes keeps the strip itself alive.
  SelectObject(glyphs, glyphsBefore);
  DeleteDC(glyphs);
  if (target == 0) {
    ReleaseDC(MainWindow, context);
  }
}
