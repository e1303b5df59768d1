#include "character_view.h"

#include <cstdio>

#include "decoder/framing.h"

namespace {

constexpr int kDataBits = 8;
constexpr unsigned kMsPerSecond = 1000;

const char* const kCheckNames[] = {
    "all checks passed",     // kTelegramGood
    "minute parity failed",  // kMinuteParityFailed
    "hour parity failed",    // kHourParityFailed
    "date parity failed",    // kDateParityFailed
    "minute out of range",   // kMinuteOutOfRange
    "hour out of range",     // kHourOutOfRange
    "day out of range",      // kDayOutOfRange
    "weekday out of range",  // kWeekdayOutOfRange
    "month out of range",    // kMonthOutOfRange
    "year out of range",     // kYearOutOfRange
};

// DCF77 numbers the weekdays 1 = Monday .. 7 = Sunday; three bits may also hold 0.
const char* const kWeekdayNames[] = {"???", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
// By TelegramZone.
const char* const kZoneNames[] = {"zone?", "CET", "CEST"};

// Rests at 0 on a buffer that took nothing, so that lengths always add up.
int Written(int length, size_t size) {
  if (length < 0) {
    return 0;
  }
  return static_cast<size_t>(length) < size ? length : static_cast<int>(size) - 1;
}

}  // namespace

int DescribeMarkWidth(uint8_t value, char* text, size_t size) {
  const int low = CountLowSamples(value);
  if (ClassifyCharacter(value) == kBrokenMark) {
    return Written(std::snprintf(text, size, "cut: %d of %d low", low, kDataBits), size);
  }
  // The first `low` samples read low and the next one high: the line rose after sample
  // low - 1 (or, with none low, after the start check) and by sample `low`.
  const unsigned rose_after =
      low == 0 ? kStartCheckMs : kFirstSampleMs + kSampleSpacingMs * static_cast<unsigned>(low - 1);
  if (low == kDataBits) {
    return Written(std::snprintf(text, size, "over %u ms", rose_after), size);
  }
  const unsigned rose_by = kFirstSampleMs + kSampleSpacingMs * static_cast<unsigned>(low);
  return Written(std::snprintf(text, size, "%u-%u ms", rose_after + 1, rose_by), size);
}

const char* NameReading(const CharacterResultRecord& result) {
  switch (result.Class) {
    case kSpike:
      return "spike";
    case kBrokenMark:
      return result.Bit ? "broken 1" : "broken 0";
    default:
      if (result.Doubtful) {
        return result.Bit ? "1?" : "0?";
      }
      return result.Bit ? "1" : "0";
  }
}

const char* NameTelegramCheck(TelegramCheck check) {
  return check < sizeof kCheckNames / sizeof kCheckNames[0] ? kCheckNames[check] : "?";
}

int FormatCharacterLine(uint32_t arrival_ms, uint8_t value, const CharacterResultRecord& result,
                        char* line, size_t size) {
  char width[kViewLineSize];
  DescribeMarkWidth(value, width, sizeof width);
  const int length =
      Written(std::snprintf(line, size, "%6u.%03u  0x%02X  %-16s %-9s", arrival_ms / kMsPerSecond,
                            arrival_ms % kMsPerSecond, value, width, NameReading(result)),
              size);
  if (result.Class == kSpike) {
    // No mark: the trailing blanks of the reading's column go.
    int end = length;
    while (end > 0 && line[end - 1] == ' ') {
      line[--end] = '\0';
    }
    return end;
  }
  const char* fate = result.Fate == kMarkLeftOut     ? "  left out"
                     : result.Fate == kMarkReplacing ? "  replaces"
                                                     : "";
  return length + Written(std::snprintf(line + length, size - static_cast<size_t>(length), " %2u%s",
                                        result.Second, fate),
                          size - static_cast<size_t>(length));
}

int FormatSeconds(uint64_t seconds, char* text, size_t size) {
  constexpr int kSeconds = 64;
  constexpr int kShortestRange = 3;
  int length = 0;
  text[0] = '\0';
  for (int first = 0; first < kSeconds; ++first) {
    if (((seconds >> first) & 1) == 0) {
      continue;
    }
    int last = first;
    while (last + 1 < kSeconds && ((seconds >> (last + 1)) & 1) != 0) {
      ++last;
    }
    const char* separator = length > 0 ? ", " : "";
    const size_t room = size - static_cast<size_t>(length);
    if (last - first + 1 >= kShortestRange) {
      length +=
          Written(std::snprintf(text + length, room, "%s%d-%d", separator, first, last), room);
      first = last;
    } else {
      length += Written(std::snprintf(text + length, room, "%s%d", separator, first), room);
    }
  }
  return length;
}

int FormatMinuteLine(const MinuteResultRecord& minute, bool partial, int64_t offset_ms,
                     bool by_marks, char* line, size_t size) {
  const TimeFieldsRecord& t = minute.Fields;
  const char* weekday = t.Weekday < sizeof kWeekdayNames / sizeof kWeekdayNames[0]
                            ? kWeekdayNames[t.Weekday]
                            : kWeekdayNames[0];
  // The zone bits lie outside every parity group: neither or both set is a misread bit, and
  // such a minute takes its zone from the minutes that confirm it.
  const char* zone = kZoneNames[minute.Zone <= kZoneCest ? minute.Zone : kZoneUnknown];
  const char* lost = minute.MarkLost ? ", and its minute mark was lost" : "";
  char seconds[kViewLineSize];
  FormatSeconds(minute.Missing, seconds, sizeof seconds);
  int length = 0;
  if (partial) {
    length = std::snprintf(line, size, "minute: partial, %u marks (the port was opened inside it)",
                           minute.Marks);
    return Written(length, size);
  }
  switch (minute.Verdict) {
    case kMinuteConfirmed:
      length =
          std::snprintf(line, size, "minute: %02u.%02u.%02u %02u:%02u %s %s, decoded, confirmed",
                        t.Day, t.Month, t.Year, t.Hour, t.Minute, weekday, zone);
      break;
    case kMinuteHeld:
      length =
          std::snprintf(line, size, "minute: %02u.%02u.%02u %02u:%02u %s %s, decoded, held: %s",
                        t.Day, t.Month, t.Year, t.Hour, t.Minute, weekday, zone,
                        minute.MarkLost ? "its minute mark was lost, so it sets nothing"
                                        : "the minutes before do not confirm it yet");
      break;
    case kMarksMissing:
      length =
          std::snprintf(line, size, "minute: failed, no mark in second%s %s%s",
                        (minute.Missing & (minute.Missing - 1)) != 0 ? "s" : "", seconds, lost);
      break;
    case kFrameMoved:
      length = std::snprintf(line, size,
                             "minute: failed, a minute mark came elsewhere: framed anew from it");
      break;
    case kTelegramFailed:
      length = std::snprintf(line, size, "minute: failed, every mark came but %s%s",
                             NameTelegramCheck(minute.Check), lost);
      break;
    default:
      length = std::snprintf(line, size, "minute: none");
      break;
  }
  length = Written(length, size);
  if (minute.SpreadMs != kSpreadUnknown) {
    length += Written(std::snprintf(line + length, size - static_cast<size_t>(length),
                                    "; marks spread %d ms", minute.SpreadMs),
                      size - static_cast<size_t>(length));
  }
  if (offset_ms != kNoOffset) {
    length +=
        Written(std::snprintf(line + length, size - static_cast<size_t>(length),
                              "; PC clock %+lld ms by its %s", static_cast<long long>(offset_ms),
                              by_marks ? "marks" : "telegram"),
                size - static_cast<size_t>(length));
  }
  return length;
}
