#include "display_test_support.h"

#include <cstdio>

#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "common/window_geometry.h"
#include "common/window_handles_win.h"
#include "display/readout_win.h"

const COLORREF kStandardPalette[16] = {
    RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
    RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};

bool LoadTextPicture(const char* name, TextPicture* picture) {
  HMODULE module = GetModuleHandleA(NULL);
  HRSRC found = FindResourceA(module, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (found == NULL) {
    return false;
  }
  const char* text = static_cast<const char*>(LockResource(LoadResource(module, found)));
  const DWORD size = SizeofResource(module, found);
  picture->Rows.clear();
  std::string row;
  for (DWORD i = 0; i < size; ++i) {
    if (text[i] == '\n') {
      picture->Rows.push_back(row);
      row.clear();
    } else if (text[i] != '\r') {
      row += text[i];
    }
  }
  if (!row.empty()) {
    picture->Rows.push_back(row);
  }
  return !picture->Rows.empty();
}

int PaletteIndexOf(char symbol) {
  switch (symbol) {
    case '.':
      return 0;
    case 'o':
      return 2;
    case '#':
      return 10;
    case '+':
      return 7;
    case '-':
      return 8;
    case '*':
      return 15;
    default:
      return -1;
  }
}

COLORREF ColourOf(char symbol) {
  const int index = PaletteIndexOf(symbol);
  // A colour no picture uses, so that an unknown symbol shows up as a mismatch.
  return index < 0 ? RGB(1, 2, 3) : kStandardPalette[index];
}

void ExpectedImage::Set(int x, int y, COLORREF colour) {
  if (x >= 0 && x < Width && y >= 0 && y < Height) {
    Pixels[static_cast<size_t>(y) * Width + x] = colour;
  }
}

void ExpectedImage::FillRow(int y, int fromX, int toX, COLORREF colour) {
  for (int x = fromX; x <= toX; ++x) {
    Set(x, y, colour);
  }
}

void ExpectedImage::FillColumn(int x, int fromY, int toY, COLORREF colour) {
  for (int y = fromY; y <= toY; ++y) {
    Set(x, y, colour);
  }
}

Canvas::Canvas(int width, int height)
    : width_(width), height_(height), dc_(NULL), bitmap_(NULL), previous_(NULL), bits_(NULL) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = NULL;
  dc_ = CreateCompatibleDC(NULL);
  bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  bits_ = static_cast<uint32_t*>(bits);
  previous_ = SelectObject(dc_, bitmap_);
}

Canvas::~Canvas() {
  SelectObject(dc_, previous_);
  DeleteObject(bitmap_);
  DeleteDC(dc_);
}

void Canvas::Fill(COLORREF colour) {
  HBRUSH brush = CreateSolidBrush(colour);
  RECT all = {0, 0, width_, height_};
  FillRect(dc_, &all, brush);
  DeleteObject(brush);
}

COLORREF Canvas::At(int x, int y) const {
  GdiFlush();
  const uint32_t pixel = bits_[static_cast<size_t>(y) * width_ + x];  // 0x00RRGGBB
  return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

bool Canvas::WriteBmp(const char* path) const {
  GdiFlush();
  const uint32_t rowBytes = static_cast<uint32_t>(width_) * 4;
  BITMAPFILEHEADER file = {};
  BITMAPINFOHEADER info = {};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(info);
  file.bfSize = file.bfOffBits + rowBytes * height_;
  info.biSize = sizeof(info);
  info.biWidth = width_;
  info.biHeight = height_;  // bottom row first, the form every reader knows
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  info.biSizeImage = rowBytes * height_;
  HANDLE out =
      CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (out == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD done = 0;
  bool written = WriteFile(out, &file, sizeof(file), &done, NULL) && done == sizeof(file) &&
                 WriteFile(out, &info, sizeof(info), &done, NULL) && done == sizeof(info);
  for (int y = height_ - 1; written && y >= 0; --y) {
    written = WriteFile(out, bits_ + static_cast<size_t>(y) * width_, rowBytes, &done, NULL) &&
              done == rowBytes;
  }
  return CloseHandle(out) && written;
}

::testing::AssertionResult MatchesImage(const Canvas& canvas, const ExpectedImage& expected) {
  const int kShown = 8;
  int wrong = 0;
  std::string report;
  for (int y = 0; y < expected.Height; ++y) {
    for (int x = 0; x < expected.Width; ++x) {
      const COLORREF actual = canvas.At(x, y);
      if (actual == expected.At(x, y)) {
        continue;
      }
      if (++wrong <= kShown) {
        char line[96];
        std::snprintf(line, sizeof(line), "\n  (%d, %d): 0x%06lx, expected 0x%06lx", x, y,
                      static_cast<unsigned long>(actual),
                      static_cast<unsigned long>(expected.At(x, y)));
        report += line;
      }
    }
  }
  if (wrong == 0) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << wrong << " pixels differ (COLORREF 0xBBGGRR):" << report;
}

namespace {

// Where the readout finds each character in the strip: digit d in cell d + 1, the minus
// sign in cell 13; the colon is the left half of cell 14, the full stop its right half.
bool CharacterColumns(char character, int* sourceX, int* width) {
  const int kMinusCell = 13, kPunctuationCell = 14;
  *width = CharWidth;
  if (character >= '0' && character <= '9') {
    *sourceX = (character - '0' + 1) * CharWidth;
  } else if (character == '-') {
    *sourceX = kMinusCell * CharWidth;
  } else if (character == ':' || character == '.') {
    *width = CharWidth / 2;
    *sourceX = kPunctuationCell * CharWidth + (character == '.' ? *width : 0);
  } else {
    return false;
  }
  return true;
}

}  // namespace

int ModelLine(ExpectedImage* image, const TextPicture& glyphs, int left, int top,
              const char* text) {
  int x = left;
  for (const char* c = text; *c != '\0'; ++c) {
    int sourceX = 0;
    int width = 0;
    if (!CharacterColumns(*c, &sourceX, &width)) {
      ADD_FAILURE() << "no glyph for '" << *c << "'";
      continue;
    }
    for (int row = 0; row < CharHeight; ++row) {
      for (int column = 0; column < width; ++column) {
        image->Set(x + column, top + row, ColourOf(glyphs.Rows[row][sourceX + column]));
      }
    }
    x += width;
  }
  return x - left;
}

BevelColours CurrentBevelColours() {
  BevelColours colours;
  colours.Light = GetSysColor(COLOR_BTNHIGHLIGHT);
  colours.Dark = GetSysColor(COLOR_BTNSHADOW);
  colours.Face = GetSysColor(COLOR_BTNFACE);
  return colours;
}

void ModelBevel(ExpectedImage* image, int x, int y, int width, int height, int depth, bool raised,
                const BevelColours& colours) {
  const int right = x + width - 1;
  const int bottom = y + height - 1;
  const COLORREF topLeft = raised ? colours.Light : colours.Dark;
  const COLORREF bottomRight = raised ? colours.Dark : colours.Light;
  for (int i = 0; i < depth; ++i) {
    image->FillRow(y + i, x + i + 1, right - i, topLeft);
    image->FillColumn(x + i, y + i, bottom - i - 1, topLeft);
  }
  for (int i = 0; i < depth; ++i) {
    image->FillRow(bottom - i, x + i, right - i - 1, bottomRight);
    image->FillColumn(right - i, y + i + 1, bottom - i, bottomRight);
  }
  for (int i = 0; i < depth; ++i) {
    image->Set(right - i, y + i, colours.Face);
    image->Set(x + i, bottom - i, colours.Face);
  }
}

ExpectedImage ModelFace(const TextPicture& glyphs, const char* dateLine, const char* timeLine) {
  const int kDepth = 2;
  const int kLineLeft = 22;
  const int kDateTop = 10;
  const int kTimeTop = 30;
  const int width = ProgramWindow::kWidth;
  const int height = ProgramWindow::kHeight;
  const BevelColours colours = CurrentBevelColours();
  ExpectedImage face(width, height, RGB(0, 0, 0));
  ModelBevel(&face, 0, 0, width, height, kDepth, true, colours);
  ModelBevel(&face, kDepth, kDepth, width - 2 * kDepth, height - 2 * kDepth, kDepth, false,
             colours);
  ModelLine(&face, glyphs, kLineLeft, kDateTop, dateLine);
  ModelLine(&face, glyphs, kLineLeft, kTimeTop, timeLine);
  return face;
}

namespace {

const char kWindowClass[] = "HORAX_DISPLAY_TEST";

}  // namespace

ProgramWindow::ProgramWindow() {
  HINSTANCE instance = GetModuleHandleA(NULL);
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = kWindowClass;
  // No background brush: nothing but the face is ever painted on the window.
  RegisterClassA(&windowClass);
  MainWindow = CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClass, "DCF 77 DECODER",
                               WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, NULL, NULL, instance, NULL);
  SetWindowPos(MainWindow, HWND_NOTOPMOST, kLeft, kTop, kWidth, kHeight, SWP_NOACTIVATE);
  MSG message;
  while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
    DispatchMessageA(&message);
  }
  WindowGeometry.Left = kLeft;
  WindowGeometry.Top = kTop;
  WindowGeometry.Width = kWidth;
  WindowGeometry.Height = kHeight;
  GlyphStrip = LoadBitmapA(instance, "LCD_08X13");
}

ProgramWindow::~ProgramWindow() {
  DeleteObject(GlyphStrip);
  GlyphStrip = 0;
  DestroyWindow(MainWindow);
  MainWindow = 0;
  UnregisterClassA(kWindowClass, GetModuleHandleA(NULL));
  WindowGeometry = WindowGeometryRecord();
}

bool ProgramWindow::Ready() const {
  return MainWindow != 0 && GlyphStrip != 0;
}

void ProgramWindow::Capture(Canvas* canvas) const {
  HDC window = GetDC(MainWindow);
  BitBlt(canvas->Dc(), 0, 0, canvas->Width(), canvas->Height(), window, 0, 0, SRCCOPY);
  ReleaseDC(MainWindow, window);
}

void SetReadoutRecords(uint8_t day, uint8_t month, uint8_t year, uint8_t hour, uint8_t minute,
                       uint8_t second) {
  TimeFields = TimeFieldsRecord();
  TimeFields.Day = day;
  TimeFields.Month = month;
  TimeFields.Year = year;
  TimeFields.Hour = hour;
  TimeFields.Minute = minute;
  ReceiverState = ReceiverStateRecord();
  ReceiverState.SecondCounter = second;
}
