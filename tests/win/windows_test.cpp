// The receiver port on the COM ports null_modem.sh wires; the display on a window of the
// program's own class.
#include <windows.h>

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <numeric>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/settings_win.h"
#include "app/steering_win.h"
#include "app/window_win.h"
#include "common/clock_steering.h"
#include "common/port_handle.h"
#include "common/receiver_state.h"
#include "common/time_fields.h"
#include "common/window_geometry.h"
#include "common/window_handles_win.h"
#include "display/face_win.h"
#include "display/readout_win.h"
#include "platform/performance_counter_win.h"
#include "port/receiver_port_win.h"

namespace {

constexpr unsigned kNotSerial = 1, kReceiver = 3, kSender = 4, kHighestPort = 8;
// Left over from "earlier in the run", so that whatever an open or close writes shows.
// A frame locked in mid-minute, with a mark in second 42 and a candidate for the minute mark.
constexpr ReceiverStateRecord kEarlierState = {
    0xF0F0F0F0ull, 42, 0xDEADBEEF, 0xF0F0F0F1ull,     1ull << 42, {}, {}, 0xDEADBEEF - 42000, true,
    false,         3,  true,       0xDEADBEEF - 9000, 0xDEADBEEF};
constexpr uint16_t kEarlierHandle = 0x1234;
constexpr uint8_t kUntouched = 0xA5;
constexpr int kByteValues = 256;
constexpr DWORD kDeadlineMs = 10000;  // a character crosses the ptys in about a millisecond

// The next new handle: the most recently freed slot (Windows) or the lowest free (Wine).
HANDLE NextHandle() {
  const HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  CloseHandle(probe);
  return probe;
}

// Expects `port` refused at `step`, leaving no handle, frame and tick alone, PortHandle
// `handle_after`.
void ExpectRefused(unsigned port, uint16_t handle_after, PortOpenStep step) {
  ReceiverState = kEarlierState;
  const HANDLE next = NextHandle();
  PortHandle = kEarlierHandle;
  PortOpeningRecord opening = {};
  EXPECT_FALSE(OpenReceiverPort(port, &opening)) << port;
  EXPECT_EQ(opening.Failed, step) << port;
  EXPECT_EQ(PortHandle, handle_after) << port;
  EXPECT_EQ(NextHandle(), next) << "a handle was left open by " << port;
  EXPECT_EQ(std::memcmp(&ReceiverState, &kEarlierState, sizeof(kEarlierState)), 0) << port;
}

TEST(ReceiverPortTest, RefusedPortsLeaveNoHandleAndNumbersOutOfRangeTouchNothing) {
  ExpectRefused(0, kEarlierHandle, kPortNumber);
  ExpectRefused(9, kEarlierHandle, kPortNumber);
  ExpectRefused(kNotSerial, kNoPort, kGetCommState);
  // A number without a device: Wine opens a stand-in for a mapped one, and gives those past
  // the mapped four to the machine's own serial ports, so the highest one free is taken.
  char device[MAX_PATH];
  for (unsigned missing = kHighestPort; missing > kSender; --missing) {
    if (!QueryDosDeviceA(("COM" + std::to_string(missing)).c_str(), device, MAX_PATH)) {
      ExpectRefused(missing, kNoPort, kCreateFile);
      break;
    }
  }
  // A port whose handle would not fit in 16 bits, once the handle table is that full.
  std::vector<HANDLE> filling;
  do {
    filling.push_back(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(filling.back());
  } while (reinterpret_cast<UINT_PTR>(filling.back()) <= kNoPort);
  ExpectRefused(kReceiver, kNoPort, kHandleWidth);
  std::for_each(filling.begin(), filling.end(), CloseHandle);
}

TEST(ReceiverPortTest, LineGetsFramingAndWhatReceptionNeedsAndKeepsTheRest) {
  // Every setting the wrong way; a pseudo-terminal keeps too few for the port to show this.
  DCB line, expected;
  std::memset(&line, 0xFF, sizeof(line));
  line.fBinary = FALSE;
  std::memset(&expected, 0xFF, sizeof(expected));  // what is not named here stays as it was
  expected.BaudRate = 50;
  expected.ByteSize = 8;
  expected.Parity = expected.StopBits = 0;      // NOPARITY, ONESTOPBIT
  expected.fBinary = expected.fRtsControl = 1;  // the only mode Windows has; RTS_CONTROL_ENABLE
  // DTR_CONTROL_DISABLE, and no parity checking, error character, null stripping, DSR or
  // abort on error
  expected.fDtrControl = expected.fParity = expected.fErrorChar = expected.fNull = 0;
  expected.fDsrSensitivity = expected.fAbortOnError = 0;
  // no CTS, DSR or XON/XOFF flow control, nor sending on past an XOFF of its own
  expected.fOutxCtsFlow = expected.fOutxDsrFlow = expected.fOutX = expected.fInX = 0;
  expected.fTXContinueOnXoff = 0;
  expected.XonChar = 0x11;   // DC1
  expected.XoffChar = 0x13;  // DC3
  expected.XonLim = expected.XoffLim = 1;
  expected.wReserved = 0;
  PrepareReceiverLine(&line);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&line), sizeof(DCB)),
            std::string(reinterpret_cast<char*>(&expected), sizeof(DCB)));
}

// Threads of this process now.
int CountThreads() {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 thread = {};
  thread.dwSize = sizeof thread;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &thread); more; more = Thread32Next(snapshot, &thread)) {
    count += thread.th32OwnerProcessID == GetCurrentProcessId();
  }
  CloseHandle(snapshot);
  return count;
}

// Writes `values` to the sender's side one at a time and takes them at the receiver's, each
// before the next is written: each arrives once and in order, stamped after its write and
// not after the take that handed it over.
void ExpectEachStampedAsItArrives(const std::string& values) {
  const HANDLE sender =
      CreateFileA("\\\\.\\COM4", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ArrivalRecord arrival = {};
  for (const char value : values) {
    const uint32_t written = ReadPerformanceCounterMs();
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(sender, &value, 1, &count, nullptr));
    uint32_t taken = written;
    while (!TakeReceivedCharacter(taken = ReadPerformanceCounterMs(), &arrival) &&
           taken - written < kDeadlineMs) {
      WaitForReceivedCharacter(kDeadlineMs);
    }
    ASSERT_EQ(arrival.Value, static_cast<uint8_t>(value));
    EXPECT_LE(arrival.Tick - written, taken - written);  // modulo 2^32
  }
  CloseHandle(sender);
  EXPECT_FALSE(TakeReceivedCharacter(ReadPerformanceCounterMs(), &arrival)) << "all were taken";
  EXPECT_FALSE(HasReadFailed());
}

TEST(ReceiverPortTest, EveryByteValueArrivesOnceStampedAndTheReaderGoesWithThePort) {
  // The port's last owner left XON/XOFF on, under which 0x11 and 0x13 would not arrive.
  HANDLE port = CreateFileA("\\\\.\\COM3", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DCB line = {};
  line.DCBlength = sizeof(line);
  ASSERT_TRUE(GetCommState(port, &line));
  line.fOutX = line.fInX = TRUE;
  ASSERT_TRUE(SetCommState(port, &line));
  CloseHandle(port);
  const int threads = CountThreads();
  ReceiverState = kEarlierState;
  const uint32_t before = ReadPerformanceCounterMs();
  ASSERT_TRUE(OpenReceiverPort(kReceiver, nullptr));
  port = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(PortHandle));
  // The line is set: the pseudo-terminal keeps the rate.
  EXPECT_TRUE(GetCommState(port, &line));
  EXPECT_EQ(line.BaudRate, 50u);
  // Opening counts as a minute mark: the frame starts again from the open, unlocked.
  EXPECT_EQ(ReceiverState.FrameBits, 0u);
  EXPECT_EQ(ReceiverState.SecondCounter, 0);
  EXPECT_FALSE(ReceiverState.Locked);
  EXPECT_LE(ReceiverState.LastByteTick - before, ReadPerformanceCounterMs() - before);
  std::string values(kByteValues, '\0');
  std::iota(values.begin(), values.end(), '\0');
  ExpectEachStampedAsItArrives(values);

  ReceiverState = kEarlierState;
  CloseReceiverPort();
  EXPECT_EQ(ReceiverState.FrameBits, 0u);
  EXPECT_EQ(ReceiverState.SecondCounter, 0);
  EXPECT_EQ(ReceiverState.LastByteTick, kEarlierState.LastByteTick);
  EXPECT_EQ(PortHandle, kNoPort);
  DWORD flags = 0;
  EXPECT_FALSE(GetHandleInformation(port, &flags)) << "still open";
  EXPECT_EQ(CountThreads(), threads);
  ArrivalRecord arrival = {};
  EXPECT_FALSE(TakeReceivedCharacter(ReadPerformanceCounterMs(), &arrival));

  // Opened again, as after a give-up or a resume: a reader of its own, gone with the port.
  ASSERT_TRUE(ReopenReceiverPort());
  ExpectEachStampedAsItArrives("\xF0\x00\xFF");
  CloseReceiverPort();
  EXPECT_EQ(CountThreads(), threads);
}

// The adjustment as a system keeps it, behind the calls steering makes: what is in force,
// and how often it was set.
DWORD64 FakeAdjustment = 0;
BOOL FakeDisabled = TRUE;
int FakeSets = 0;
constexpr DWORD64 kIncrement = 156250;

BOOL WINAPI GetFakeAdjustment(DWORD64* adjustment, DWORD64* increment, BOOL* disabled) {
  *adjustment = FakeAdjustment;
  *increment = kIncrement;
  *disabled = FakeDisabled;
  return TRUE;
}

BOOL WINAPI SetFakeAdjustment(DWORD64 adjustment, BOOL disabled) {
  FakeAdjustment = adjustment;
  FakeDisabled = disabled;
  ++FakeSets;
  return TRUE;
}

std::string ReadLeftAdjustment() {
  char text[32];
  GetProfileStringA(kSettingsSection, kAdjustmentKey, "none", text, sizeof text);
  return text;
}

TEST(SteeringWinTest, AnotherProgramsAdjustmentStopsSteeringHoraxsOwnIsTakenOverAndHandedBack) {
  TimeAdjustmentCalls = {GetFakeAdjustment, SetFakeAdjustment};
  const struct {
    const char* left;  // what the profile says horax left in force
    BOOL disabled;
    DWORD64 in_force;
    bool refused;
  } kCases[] = {
      {nullptr, TRUE, 0, false},         // none in force
      {nullptr, FALSE, 156200, true},    // another program's
      {"156200", FALSE, 156200, false},  // horax's own, from a run that was killed
      {"156100", FALSE, 156200, true},   // another's, after horax left one
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.in_force);
    WriteProfileStringA(kSettingsSection, kAdjustmentKey, c.left);
    std::tie(FakeAdjustment, FakeDisabled, FakeSets) = std::make_tuple(c.in_force, c.disabled, 0);
    Steering = {};
    std::tie(Steering.Active, Steering.RateLearned, Steering.RatePpm) = std::make_tuple(1, 1, 20.0);
    StartSteering();
    EXPECT_EQ(Steering.Refused, c.refused);
    ApplySteering(1000);
    // 20 ppm slower: 156250 less 3.125 units, the nearest whole one.
    EXPECT_EQ(std::make_tuple(FakeSets, FakeAdjustment),
              c.refused ? std::make_tuple(0, c.in_force) : std::make_tuple(1, DWORD64{156247}));
    if (!c.refused) {
      EXPECT_EQ(ReadLeftAdjustment(), "156247");
      // Another program puts its own in force: the next change is not made.
      FakeAdjustment = 150000;
      Steering.RatePpm = 40;
      ApplySteering(2000);
      EXPECT_EQ(std::make_tuple(Steering.Refused, FakeSets), std::make_tuple(true, 1));
      FakeAdjustment = 156247;  // as if it had not, for the hand-back
      Steering = {};
      std::tie(Steering.Active, Steering.RateLearned, Steering.RatePpm) =
          std::make_tuple(1, 1, 20.0);
      StartSteering();
      ApplySteering(3000);
    }
    HandBackClock();
    EXPECT_TRUE(FakeDisabled || c.refused) << "handed back";
    EXPECT_EQ(ReadLeftAdjustment(), c.refused ? (c.left ? c.left : "none") : "none");
  }
}

constexpr int kWidth = 100, kHeight = 50, kLineLeft = 22, kDateTop = 10, kTimeTop = 30;
constexpr int kDepth = 2, kZeroCell = 1, kPunctuationCell = 14, kDraws = 200, kSchemeSize = 3;
constexpr COLORREF kSentinel = RGB(64, 64, 64);  // DKGRAY_BRUSH, which no drawing uses
// The bevel's three colours as the user has them, and a scheme whose three differ.
const INT kSchemeElements[kSchemeSize] = {COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW, COLOR_BTNFACE};
const COLORREF kUserScheme[kSchemeSize] = {
    GetSysColor(COLOR_BTNHIGHLIGHT), GetSysColor(COLOR_BTNSHADOW), GetSysColor(COLOR_BTNFACE)};
const COLORREF kOddScheme[kSchemeSize] = {RGB(255, 255, 0), RGB(0, 0, 160), RGB(200, 60, 30)};

using Picture = std::vector<std::string>;  // rows of symbols, top row first

// The glyph table, bound as RCDATA (see pictures.rc).
Picture LoadGlyphTable() {
  const HRSRC found = FindResourceA(nullptr, "GLYPH_TABLE", RT_RCDATA);
  std::istringstream text(
      std::string(static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
                  SizeofResource(nullptr, found)));
  return {std::istream_iterator<std::string>(text), std::istream_iterator<std::string>()};
}

// The black panel in two bevels of kDepth rings, the outer raised: (L)ight top and left
// edges, (D)ark bottom and right ones (the other way round inside), (F)ace colour at the cut
// corners; and on it the readout's two lines as the glyph table has them.
Picture Face(const std::string& date, const std::string& time) {
  static const Picture glyphs = LoadGlyphTable();
  Picture face(kHeight, std::string(kWidth, '.'));
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int ring = std::min({x, y, kWidth - 1 - x, kHeight - 1 - y});
      const bool corner =
          (x == kWidth - 1 - ring && y == ring) || (x == ring && y == kHeight - 1 - ring);
      const bool light = (x == ring || y == ring) == (ring < kDepth);
      face[y][x] = ring >= 2 * kDepth ? '.' : corner ? 'F' : light ? 'L' : 'D';
    }
  }
  for (const auto& line : {std::make_pair(kDateTop, date), std::make_pair(kTimeTop, time)}) {
    int x = kLineLeft;
    for (char c : line.second) {
      const int width = c == ':' ? CharWidth / 2 : CharWidth;
      const int cell = c == ':' ? kPunctuationCell : c - '0' + kZeroCell;
      for (int row = 0; row < CharHeight; ++row) {
        face[line.first + row].replace(x, width, glyphs[row], cell * CharWidth, width);
      }
      x += width;
    }
  }
  return face;
}

// Every pixel of `window` against `expected`, from its top left corner: the glyph table's
// black, dark and bright green, the sentinel ('?'), or the bevel's colours as the scheme has
// them now.
::testing::AssertionResult Shows(HDC window, const Picture& expected) {
  COLORREF colours[] = {RGB(0, 0, 0), RGB(0, 128, 0), RGB(0, 255, 0), kSentinel, 0, 0, 0};
  std::transform(kSchemeElements, kSchemeElements + kSchemeSize, colours + 4, GetSysColor);
  for (int y = 0; y < static_cast<int>(expected.size()); ++y) {
    for (int x = 0; x < static_cast<int>(expected[y].size()); ++x) {
      if (GetPixel(window, x, y) != colours[std::string(".o#?LDF").find(expected[y][x])]) {
        return ::testing::AssertionFailure()
               << "(" << x << ", " << y << ") is not '" << expected[y][x] << "'";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(FaceTest, RepaintedPixelForPixelInEitherSchemeWithoutAnEraseLeavingNoGdiObject) {
  // The program's window as its start-up makes it, with the glyph strip loaded, and its
  // first paint, which the creation asks for with an erase, over.
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  RegisterWindowClass(instance);
  MainWindow =
      CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClassName, kWindowTitle, WS_POPUP | WS_VISIBLE, 0, 0,
                      kWidth, kHeight, nullptr, nullptr, instance, nullptr);
  WindowGeometry = {0, 0, kWidth, kHeight};
  GlyphStrip = LoadBitmapA(instance, "LCD_08X13");
  UpdateWindow(MainWindow);
  const HDC window = GetDC(MainWindow);
  SelectObject(window, GetStockObject(DKGRAY_BRUSH));
  PatBlt(window, 0, 0, kWidth, kHeight, PATCOPY);
  // The window was drawn over, as a window on top of it leaves it; a paint without an erase
  // brings all of it back.
  const Picture overdrawn(kHeight, std::string(kWidth, '?'));
  EXPECT_TRUE(Shows(window, overdrawn));
  InvalidateRect(MainWindow, nullptr, FALSE);
  UpdateWindow(MainWindow);
  EXPECT_TRUE(Shows(window, Face("00:00:00", "00:00:00")));

  // The readout's strips alone bring the window up to date, numbers of three digits too.
  TimeFields = {3, 7, 5, 0, 12, 199};
  ReceiverState.SecondCounter = 255;
  DrawReadout(0);
  EXPECT_TRUE(Shows(window, Face("05:12:199", "07:03:255")));
  // Without the strip, or without an area to compose in, it draws nothing.
  const HBITMAP strip = GlyphStrip;
  const std::pair<HBITMAP, WindowGeometryRecord> kBlanks[] = {
      {nullptr, WindowGeometry}, {strip, {0, 0, 0, kHeight}}, {strip, {0, 0, kWidth, 0}}};
  TimeFields = {};
  for (const auto& [blank_strip, area] : kBlanks) {
    GlyphStrip = blank_strip;
    WindowGeometry = area;
    DrawReadout(0);
    EXPECT_TRUE(Shows(window, Face("05:12:199", "07:03:255"))) << area.Width;
  }
  GlyphStrip = strip;
  WindowGeometry = kBlanks[0].second;

  // The odd scheme: the repaint it brings is over before the sentinel goes down below.
  SetSysColors(kSchemeSize, kSchemeElements, kOddScheme);
  // Wine counts no GDI objects, so the room left for them is measured by filling it with pens.
  const auto free_room = [] {
    std::vector<HPEN> pens;
    while (const HPEN pen = CreatePen(PS_SOLID, 1, 0)) {
      pens.push_back(pen);
    }
    std::for_each(pens.begin(), pens.end(), DeleteObject);
    return pens.size();
  };
  const size_t room = free_room();
  for (int draw = 0; draw < kDraws; ++draw) {
    PaintFace();
    DrawReadout(0);
  }
  EXPECT_EQ(free_room(), room) << "GDI objects left behind";

  // An erase leaves the drawing to the paint that comes with it; PaintFace draws it all.
  PatBlt(window, 0, 0, kWidth, kHeight, PATCOPY);
  EXPECT_NE(SendMessageA(MainWindow, WM_ERASEBKGND, reinterpret_cast<WPARAM>(window), 0), 0);
  EXPECT_TRUE(Shows(window, overdrawn)) << "the erase drew";
  PaintFace();
  EXPECT_TRUE(Shows(window, Face("00:00:00", "00:00:255"))) << "in the odd scheme";
  SetSysColors(kSchemeSize, kSchemeElements, kUserScheme);
}

}  // namespace
