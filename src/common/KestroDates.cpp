// TKestro: dates and entity tags. A TDateTime counts days since 1899-12-30;
// every conversion goes through whole milliseconds so that a time such as
// 12:00:00.999 stays in its second however the double rounds.
#include <cmath>
#include <utility>
#include <vector>

#include "common/KestroClass.h"
#include "common/TextView.h"
#include "platform/Clock.h"
#include "platform/Files.h"

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
constexpr std::int64_t kUnixEpochDays = 25569;  // 1970-01-01 as a TDateTime

const char* const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct DateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  int dayOfWeek = 6;  // 0 = Sunday
};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(int year, int month, int day) {
  std::int64_t y = year - (month <= 2 ? 1 : 0);
  std::int64_t era = FloorDiv(y, 400);
  std::int64_t yoe = y - era * 400;
  std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, DateParts& parts) {
  std::int64_t z = days + 719468;
  std::int64_t era = FloorDiv(z, 146097);
  std::int64_t doe = z - era * 146097;
  std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  std::int64_t mp = (5 * doy + 2) / 153;
  parts.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  parts.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  parts.year = static_cast<int>(era * 400 + yoe + (parts.month <= 2 ? 1 : 0));
  parts.dayOfWeek = static_cast<int>(((days + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
}

std::int64_t ToUnixMs(TDateTime t) {
  return std::llround(t * static_cast<double>(kMsPerDay)) - kUnixEpochDays * kMsPerDay;
}

TDateTime FromUnixMs(std::int64_t ms) {
  return static_cast<double>(ms + kUnixEpochDays * kMsPerDay) / static_cast<double>(kMsPerDay);
}

// The date and time of `t`, cut to the second.
DateParts Decode(TDateTime t) {
  std::int64_t ms = ToUnixMs(t);
  std::int64_t days = FloorDiv(ms, kMsPerDay);
  std::int64_t seconds = (ms - days * kMsPerDay) / 1000;
  DateParts parts;
  CivilFromDays(days, parts);
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return parts;
}

// Decimal digits written straight into the text: these run several times
// for every answer, where a format string costs more than the rest.
void AppendDigits(std::string& text, int value, int width) {
  char digits[16];
  char* start = digits + sizeof digits;
  unsigned rest = static_cast<unsigned>(value < 0 ? -value : value);
  do {
    *--start = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest > 0);
  while (digits + sizeof digits - start < width && start > digits + 1) *--start = '0';
  if (value < 0) *--start = '-';
  text.append(start, static_cast<std::size_t>(digits + sizeof digits - start));
}

// hh:nn:ss, two digits each.
void AppendTime(std::string& text, const DateParts& d) {
  AppendDigits(text, d.hour, 2);
  text += ':';
  AppendDigits(text, d.minute, 2);
  text += ':';
  AppendDigits(text, d.second, 2);
}

// Three date fields (value, width) joined by `delimiter`, a blank and hh:nn:ss.
std::string DateAndTime(const DateParts& d, const std::pair<int, int> (&fields)[3],
                        char delimiter) {
  std::string text;
  text.reserve(20);
  for (int i = 0; i < 3; ++i) {
    if (i > 0) text += delimiter;
    AppendDigits(text, fields[i].first, fields[i].second);
  }
  text += ' ';
  AppendTime(text, d);
  return text;
}

}  // namespace

TDateTime TKestro::NowLocal() { return FromUnixMs(platform::LocalNowMs()); }

TDateTime TKestro::LocalToGmt(TDateTime local) {
  return local + platform::TimeZoneBiasMinutes() / 1440.0;
}

std::string TKestro::HttpDate(TDateTime local) {
  const DateParts g = Decode(LocalToGmt(local));
  std::string text;
  text.reserve(32);
  text += kDayNames[g.dayOfWeek];
  text += ", ";
  AppendDigits(text, g.day, 2);
  text += ' ';
  text += kMonthNames[g.month - 1];
  text += ' ';
  AppendDigits(text, g.year, 1);
  text += ' ';
  AppendTime(text, g);
  text += " GMT";
  return text;
}

std::string TKestro::FormatDateTime(TDateTime t) {
  const DateParts d = Decode(t);
  return DateAndTime(d, {{d.year, 4}, {d.month, 2}, {d.day, 2}}, '-');
}

std::string TKestro::FormatUsDateTime(TDateTime t) {
  const DateParts d = Decode(t);
  return DateAndTime(d, {{d.month, 2}, {d.day, 2}, {d.year, 4}}, '/');
}

TDateTime TKestro::FileModifiedLocal(const std::string& path) {
  platform::FileStamp stamp;
  if (!platform::GetFileStamp(path, stamp)) return 0;
  return LocalFromUtcMs(stamp.lastWriteUtcMs);
}

TDateTime TKestro::LocalFromUtcMs(std::int64_t utcMs) {
  return FromUnixMs(platform::UtcToLocalMs(utcMs));
}

// The date is taken from the absolute path as it is (file names are
// case-sensitive on Linux); the upper-cased path only feeds the digest.
std::string TKestro::FileETag(const std::string& path) {
  std::string absolute = platform::ExpandFileName(path);
  return EntityTag(absolute, HttpDate(FileModifiedLocal(absolute)));
}

std::string TKestro::EntityTag(const std::string& absolutePath,
                               const std::string& modifiedHttpDate) {
  return Md5Hex(UpperCase(absolutePath) + " " + modifiedHttpDate);
}

namespace {

// The fields of an HTTP date as they are found; the zone defaults to GMT
// (asctime carries none).
struct ParsedDate {
  int year = -1, month = 0, day = 0;
  int hour = -1, minute = 0, second = 0;
  int zoneMinutes = 0;  // east of UTC
};

// Digits already checked, at most four.
int DigitsValue(std::string_view digits) {
  std::uint64_t value = 0;
  text::ParseDecimal(digits, value);
  return static_cast<int>(value);
}

bool IsLetters(const std::string& text) {
  for (char c : text)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return false;
  return !text.empty();
}

// 1 to 12 for a month's three-letter name in any case, else 0.
int MonthOf(const std::string& word) {
  for (int m = 0; m < 12; ++m)
    if (text::EqualsNoCase(word, kMonthNames[m])) return m + 1;
  return 0;
}

bool IsDayName(const std::string& word) {
  static const std::string_view kFull[] = {"SUNDAY",   "MONDAY", "TUESDAY", "WEDNESDAY",
                                           "THURSDAY", "FRIDAY", "SATURDAY"};
  for (std::string_view name : kFull)
    if (word.size() >= 3 && text::EqualsNoCase(word, name.substr(0, word.size()))) return true;
  return false;
}

std::vector<std::string> Split(const std::string& text, const std::string& delims) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (delims.find(c) == std::string::npos) {
      current += c;
    } else if (!current.empty()) {
      parts.push_back(current);
      current.clear();
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

bool TakeTime(const std::string& token, ParsedDate& date) {
  std::vector<std::string> fields = Split(token, ":");
  if (fields.size() != 3 || token.back() == ':') return false;
  for (const auto& f : fields)
    if (!text::IsDecimal(f) || f.size() > 2) return false;
  date.hour = DigitsValue(fields[0]);
  date.minute = DigitsValue(fields[1]);
  date.second = DigitsValue(fields[2]);
  return true;
}

bool TakeZone(const std::string& token, ParsedDate& date) {
  std::string digits = token.substr(1);
  if (digits.size() != 4 || !text::IsDecimal(digits)) return false;
  int minutes = DigitsValue(digits.substr(0, 2)) * 60 + DigitsValue(digits.substr(2));
  date.zoneMinutes = token[0] == '-' ? -minutes : minutes;
  return true;
}

bool TakeWord(const std::string& word, ParsedDate& date) {
  for (std::string_view zone : {"GMT", "UTC", "UT", "Z"})
    if (text::EqualsNoCase(word, zone)) return true;
  if (int month = MonthOf(word)) {
    if (date.month) return false;
    date.month = month;
    return true;
  }
  return IsDayName(word);
}

bool TakeNumber(const std::string& digits, ParsedDate& date) {
  if (digits.size() > 4) return false;
  int value = DigitsValue(digits);
  if (digits.size() <= 2 && date.day == 0) {
    date.day = value;
  } else if (date.year < 0) {
    date.year = digits.size() <= 2 ? (value < 50 ? 2000 + value : 1900 + value) : value;
  } else {
    return false;
  }
  return true;
}

// "06-Nov-94" of the RFC 850 form.
bool TakeDashedDate(const std::string& token, ParsedDate& date) {
  std::vector<std::string> parts = Split(token, "-");
  if (parts.size() != 3 || !text::IsDecimal(parts[0]) || !IsLetters(parts[1]) ||
      !text::IsDecimal(parts[2]))
    return false;
  return TakeNumber(parts[0], date) && TakeWord(parts[1], date) && date.month &&
         TakeNumber(parts[2], date);
}

bool TakeToken(const std::string& token, ParsedDate& date) {
  if ((token[0] == '+' || token[0] == '-') && token.size() > 1) return TakeZone(token, date);
  if (token.find(':') != std::string::npos) return date.hour < 0 && TakeTime(token, date);
  if (token.find('-') != std::string::npos) return TakeDashedDate(token, date);
  if (IsLetters(token)) return TakeWord(token, date);
  return text::IsDecimal(token) && TakeNumber(token, date);
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsComplete(const ParsedDate& d) {
  return d.year >= 1601 && d.year <= 9999 && d.month >= 1 && d.day >= 1 &&
         d.day <= DaysInMonth(d.year, d.month) && d.hour >= 0 && d.hour <= 23 && d.minute <= 59 &&
         d.second <= 59;
}

}  // namespace

// RFC 1123 ("Sun, 06 Nov 1994 08:49:37 GMT"), RFC 850 ("Sunday, 06-Nov-94
// 08:49:37 GMT") and asctime ("Sun Nov  6 08:49:37 1994"), with GMT or a
// numeric zone. Parameters some browsers append ("; length=123") are ignored.
TDateTime TKestro::ParseHttpDate(const std::string& text) {
  std::string date = text.substr(0, text.find(';'));
  ParsedDate parsed;
  for (const auto& token : Split(date, " \t,"))
    if (!TakeToken(token, parsed)) return 0;
  if (!IsComplete(parsed)) return 0;
  std::int64_t seconds = DaysFromCivil(parsed.year, parsed.month, parsed.day) * 86400 +
                         parsed.hour * 3600 + parsed.minute * 60 + parsed.second -
                         parsed.zoneMinutes * 60;
  return FromUnixMs(platform::UtcToLocalMs(seconds * 1000));
}
