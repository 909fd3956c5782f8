#include "links/R5Packets.h"

#include <optional>

#include "base/Amount.h"
#include "base/DateTime.h"
#include "base/Errors.h"
#include "base/TextUtils.h"

namespace quorvel {

namespace {

// Built on first use, so that callers' own static data may already ask for packets.
const std::vector<TR5PacketType>& Types() {
  static const std::vector<TR5PacketType> kTypes = {
    {2, "j", "Pobieranie definicji karty rabatowej do PC"_cp},
    {3, "D", "Pobieranie danych kasjerów do PC"_cp},
    {4, "E", "Pobieranie danych tablicy HALO do PC"_cp},
    {5, "H", "Pobieranie danych działów do PC"_cp},
    {6, "I", "Pobieranie danych PLU do PC"_cp},
    {7, "h", "Pobieranie kodów dowiązanych do PC"_cp},
    {8, "h#00", "Pobieranie kodów dowiązanych do PC"_cp},
    {9, "J", "Pobieranie danych klawiszy kodów do PC"_cp},
    {10, "G", "Pobieranie danych rabatów i narzutów do PC"_cp},
    {11, "L", "Odczyt daty oraz czasu"_cp},
    {12, "K", "Pobieranie stawek PTU do PC"_cp},
    {13, "B", "Pobieranie nagłówka do PC"_cp},
    {14, "C", "Pobieranie stopki reklamowej do PC"_cp},
    {15, "B#00", "Pobieranie nagłówka do PC - pakiet podtyp #00"_cp},
    {16, "A", "Pobieranie opcji konfiguracyjnych do PC"_cp},
    {17, "N", "Pobieranie numeru NIP do PC"_cp},
    {18, "M", "Odczyt numeru unikatowego"_cp},
    {19, "R", "Pobieranie danych kasy"_cp},
    {20, "o", "Pobieranie danych kasy (Corvi System)"_cp},
    {21, "n", "Pobieranie danych sprzedaży kasjerów (Corvi System)"_cp},
    {22, "f", "Pobieranie rozszerzonych danych kasy (f)"_cp},
    {23, "S", "Pobieranie danych sprzedaży kasjerów"_cp},
    {24, "g", "Pobieranie rozszerzonych danych sprzedaży kasjerów"_cp},
    {25, "n#00", "Pobieranie danych sprzedaży kasjerów (Corvi System) - pakiet rozszerzony 00"_cp},
    {26, "n#01", "Pobieranie danych sprzedaży kasjerów (Corvi System) - pakiet rozszerzony 01"_cp},
    {27, "o#00", "Pobieranie danych kasy (Corvi System) - pakiet rozszerzony 01 "_cp},
    {28, "o#01", "Pobieranie danych kasy (Corvi System) - pakiet rozszerzony 01 "_cp},
    {29, "T", "Pobieranie danych sprzedaży w działach"_cp},
    {30, "U", "Pobieranie danych sprzedaży PLU"_cp},
    {31, "W", "Pobieranie danych raportu dobowego"_cp},
    {32, "X", "Pobieranie danych ostatniego raportu dobowego"_cp},
    {34, "Y", "Pobieranie danych raportu okresowego"_cp},
    {35, "Z", "Pobieranie danych raportu okresowego"_cp},
    {38, "a", "Pobieranie danych podsumowania raportu okresowego"_cp},
    {39, "b", "Pobieranie danych podsumowania raportu okresowego"_cp},
    {41, "u", ""},
    {42, "v", ""},
    {43, "&#00", "Pobieranie danych raportu sprzedawców"_cp},
    {49, "d", "Pobieranie danych sprzedaży opakowań"_cp},
    {50, "l", "Pobieranie danych sprzedaży godzinowej"_cp},
    {51, "e", "Pobieranie wersji oprogramowania"_cp},
    {52, "p", "Pobieranie statusu kasy"_cp},
    {53, "O", "Pobieranie danych sprzedaży online"_cp},
    {54, "k", "Pobieranie danych sprzedaży online (corvi system)"_cp},
    {55, "k#00", "Pobieranie danych sprzedaży online (VX 5100)"_cp},
    {56, "k#01", "Pobieranie danych sprzedaży online (VX 5100)"_cp},
    {57, "P", "Odczyt numeru kasy"_cp},
    {58, "w", "Pobieranie danych raportu dobowego (w)"_cp},
    {59, "x", "Pobieranie danych ostatniego raportu dobowego (x)"_cp},
    {60, "y", "Pobieranie danych raportu okresowego (y) wg dat"_cp},
    {61, "z", "Pobieranie danych raportu okresowego (y) wg numerów"_cp},
    {62, "0", "Pobieranie zaprogramowanych stawek VAT (0)"_cp},
    {63, "1", "Pobieranie numeru unikatowego (1)"_cp},
    {64, "s", "Pobieranie opcji konfiguracyjnych do PC (Corvi System)"_cp},
    {65, "A#00", "Pobieranie opcji konfiguracyjnych do PC - pakiet podtyp #00"_cp},
    {66, "A#08", "Pobieranie opcji konfiguracyjnych do PC - pakiet podtyp #08"_cp},
    {67, "J#00", "Pobieranie danych klawiszy kodów do PC - pakiet podtyp #00"_cp},
    {68, "J#01", "Pobieranie danych klawiszy kodów do PC - pakiet podtyp #00"_cp},
    {69, "A#01", "Pobieranie ustawień alertów - pakiet podtyp #01"_cp},
    {70, "2", "Pobieranie kursu EUR"_cp},
    {71, "I#00", "Pobieranie danych PLU - pakiet podtyp #00"_cp},
    {72, "I#01", "Pobieranie danych jednostek miar"_cp},
    {73, "D#00", "Pobieranie danych kasjerów - pakiet podtyp #00"_cp},
    {74, "D#01", "Pobieranie danych ról kasjerów"_cp},
    {75, "D#02", "Pobieranie danych ról kasjerów - pakiet podtyp #02"_cp},
    {76, "G#00", "Pobieranie tabeli rabatów"_cp},
    {77, "G#01", "Pobieranie tabeli rabatów - pakiet podtyp #01"_cp},
    {78, "H#00", "Pobieranie list towarów"_cp},
    {79, "I#02", "Pobieranie danych list towarowych"_cp},
    {80, "A#02", "Pobieranie ustawień menu podręcznego - pakiet podtyp #02"_cp},
    {81, "A#03", "Pobieranie ustawień sieciowych - pakiet podtyp #03"_cp},
    {82, "A#04", "Pobieranie ustawień sieciowych - pakiet podtyp #03"_cp},
    {83, "A#05", "Pobieranie ustawień FTP Menadżer - pakiet podtyp #05"_cp},
    {84, "A#06", "Pobieranie konfiguracji (FTP Menadżer) - pakiet podtyp #06"_cp},
    {85, "A#07", "Pobieranie wiadomości"_cp},
    {86, "$#00", "Pobieranie zamówień"_cp},
    {87, "$#01", "Pobieranie zamówień (nowy pakiet)"_cp},
    {88, "q#00", "Pobieranie płatności"_cp},
    {89, "%#00", "Pobieranie sprzedawców"_cp},
    {90, "I#03", "Pobieranie danych PLU - pakiet podtyp #03"_cp},
    {91, "2#00", "Pobieranie danych o zmianie waluty"_cp},
    {97, "@#02", "Pobieranie danych kompii elektronicznej"_cp},
    {98, "@#01", "Pobieranie danych kompii elektronicznej"_cp},
    {99, "@#05", "Pobieranie danych kompii elektronicznej"_cp},
    {100, "y#00", "Pobieranie danych raportu okresowego (y) wg dat"_cp},
    {101, "z#00", "Pobieranie danych raportu okresowego (y) wg numerów"_cp},
};
  return kTypes;
}

// A field's place in a frame: 1-based first position and length.
struct TSpan {
  int Start = 0;
  int Length = 0;
};

bool InRange(int v, int lo, int hi) { return v >= lo && v <= hi; }

bool IsBasicRecordType(uint8_t t) { return InRange(t, 31, 36) || InRange(t, 58, 61); }
bool IsExtendedRecordType(uint8_t t) { return t == 100 || t == 101; }
bool IsRecordType(uint8_t t) { return IsBasicRecordType(t) || IsExtendedRecordType(t); }
bool IsECopyType(uint8_t t) { return t == 97 || t == 98 || t == 99; }
bool IsExtendedLayout(uint8_t t) { return IsExtendedRecordType(t) || t == kR5CurrencyExtended; }

std::string_view Cut(std::string_view frame, TSpan s) {
  const std::size_t start = static_cast<std::size_t>(s.Start - 1);
  if (s.Start < 1 || s.Length <= 0 || start >= frame.size()) return {};
  return frame.substr(start, static_cast<std::size_t>(s.Length));
}

TSpan Range(int first, int last) { return {first, last - first + 1}; }

// The fiscal-memory record; the extended layout carries "#00" after the header, which moves
// every shared field three places on.
std::optional<TSpan> RecordSpan(uint8_t type, std::string_view frame, int code, int sub) {
  const bool extended = IsExtendedRecordType(type);
  const int shift = extended ? 3 : 0;
  const std::string_view kindText = Cut(frame, {4 + shift, 1});
  const char kind = kindText.empty() ? '\0' : kindText[0];
  const bool perSlot = sub >= 0 && sub <= 6;
  std::optional<TSpan> s;
  switch (code) {
    case 43: s = TSpan{4, 1}; break;
    case 27: s = Range(5, 10); break;
    case 101: s = TSpan{11, 1}; break;
    case 28: s = Range(12, 15); break;
    case 1:
      if (kind == '1') s = Range(12, 21);
      else if (kind == '2' || kind == '3') s = Range(17, 19);
      break;
    case 55:
      if (perSlot) s = Range(12 + 4 * sub, 15 + 4 * sub);
      break;
    case 54:
      if (kind == '1') s = TSpan{122, 1};
      else if (kind == '2' || kind == '3') s = TSpan{16, 1};
      break;
    case 293: s = Range(20, 21); break;
    case 47: s = Range(22, 31); break;
    case 39:
      if (perSlot) s = Range(32 + 10 * sub, 41 + 10 * sub);
      break;
    case 48: s = Range(102, 111); break;
    case 50: s = Range(112, 116); break;
    case 52: s = Range(117, 121); break;
    case 51: s = Range(123, 132); break;
    case 53: s = Range(133, 142); break;
    case 80:
      if (InRange(type, 58, 61)) s = Range(143, 152);
      break;
    case 107:
      if (InRange(type, 58, 61)) s = Range(153, 162);
      break;
    case 44:
      if (extended && perSlot) return Range(166 + 20 * sub, 185 + 20 * sub);
      break;
    case 46:
      if (extended) return Range(306, 325);
      break;
    case 45:
      if (extended) return Range(326, 345);
      break;
    default: break;
  }
  if (s) s->Start += shift;
  return s;
}

std::optional<TSpan> FieldSpan(uint8_t type, std::string_view frame, int code, int sub) {
  if (IsRecordType(type)) return RecordSpan(type, frame, code, sub);
  if (type == kR5CurrencyBasic || type == kR5CurrencyExtended) {
    const int shift = type == kR5CurrencyExtended ? 3 : 0;
    if (code == 27) return Range(5 + shift, 10 + shift);
    if (code == 2) return Range(12 + shift, 17 + shift);
    return std::nullopt;
  }
  switch (type) {
    case 63:
      if (code == 108) return Range(4, 14);
      break;
    case 17:
      if (code == 1) return Range(4, 16);
      break;
    case 52:
      switch (code) {
        case 92: return TSpan{4, 1};
        case 89: return Range(5, 14);
        case 90: return Range(15, 24);
        case 91: return Range(25, 34);
        case 2:
        case 162: return Range(35, 44);
        case 57: return Range(45, 48);
        case 58: return Range(49, 52);
        case 59: return Range(53, 57);
        case 88: return Range(58, 60);
        default: break;
      }
      break;
    case 51:
      if (code == 57) return Range(4, 7);
      if (code == 58) return Range(8, 11);
      if (code == 59) return Range(12, 16);
      break;
    default: break;
  }
  if (IsECopyType(type)) {
    switch (code) {
      case 295: return Range(4, 9);
      case 296: return TSpan{10, 1};
      case 2: return Range(11, 50);
      case 161: return Range(52, 57);
      case 294: {
        int32_t n = 0;
        if (!TryStrToInt(TrimView(Cut(frame, Range(52, 57))), n) || n < 0) n = 0;
        // The data never reaches into the frame's end byte and checksum, whatever the count says.
        const int bodyEnd = static_cast<int>(frame.size()) - 5;
        if (58 + n - 1 > bodyEnd) n = bodyEnd >= 58 ? bodyEnd - 58 + 1 : 0;
        return TSpan{58, n};
      }
      default: break;
    }
  }
  return std::nullopt;
}

bool IsAmountCode(int c) {
  static constexpr int kSingles[] = {3, 7, 42, 66, 82, 87, 145, 147, 155, 157, 158, 194, 197, 200,
                                     203, 213, 214, 286, 289};
  for (int s : kSingles)
    if (c == s) return true;
  static constexpr std::pair<int, int> kRanges[] = {
      {19, 26},   {29, 40},   {47, 49},   {72, 79},   {105, 107}, {206, 210}, {220, 223},
      {225, 228}, {230, 233}, {235, 238}, {240, 243}, {245, 248}, {250, 253}, {255, 258},
      {260, 263}, {265, 268}, {270, 273}, {275, 278}};
  for (const auto& [lo, hi] : kRanges)
    if (InRange(c, lo, hi)) return true;
  return false;
}

// A count of `unitsPerWhole`-ths written as a currency value in the Polish shortest form.
AnsiString ScaledNumber(std::string_view text, int code, int64_t tenThousandthsPerUnit) {
  const std::string_view t = TrimView(text);
  if (t.empty()) return "0";
  int64_t n = 0;
  if (!TryStrToInt64(t, n))
    throw EConvertError(Format("%s %d: '%s'", AnsiString("Nieprawidłowa wartość liczbowa w polu"_cp).c_str(), code,
                               AnsiString(t).c_str()));
  return CurrToStr(TAmount{n * tenThousandthsPerUnit});
}

int DatePart(std::string_view text, std::size_t pos, std::size_t len) {
  int32_t v = 0;
  if (pos >= text.size() || !TryStrToInt(text.substr(pos, len), v) || v < 0) return -1;
  if (text.substr(pos, len).size() < len) return -1;
  return v;
}

AnsiString RecordDate(std::string_view text) {
  int year = 0, month = 0, day = 0;
  if (text.size() <= 6) {
    const int yy = DatePart(text, 0, 2);
    year = yy < 0 ? 1950 : (yy <= 48 ? 2000 + yy : 1900 + yy);
    month = DatePart(text, 2, 2);
    day = DatePart(text, 4, 2);
  } else {
    year = DatePart(text, 0, 4);
    if (year < 0) year = 1950;
    month = DatePart(text, 4, 2);
    day = DatePart(text, 6, 2);
  }
  if (month < 0) month = 1;
  if (day < 0) day = 1;
  return ShortDateStr(EncodeDate(year, month, day));  // an impossible date raises EConvertError
}

// yyyymmdd, or yyyymmddhhmm with `withTime`; empty when it is no date.
AnsiString DigitsDate(std::string_view text, bool withTime) {
  const std::string_view t = TrimView(text);
  TDateParts p;
  p.Year = DatePart(t, 0, 4);
  p.Month = DatePart(t, 4, 2);
  p.Day = DatePart(t, 6, 2);
  if (withTime) {
    p.Hour = DatePart(t, 8, 2);
    p.Minute = DatePart(t, 10, 2);
  }
  TDateTime v = 0;
  if (p.Year < 0 || p.Month < 0 || p.Day < 0 || p.Hour < 0 || p.Minute < 0 || !TryEncodeDateTime(p, v)) return {};
  return withTime ? DateTimeStr(v) : ShortDateStr(v);
}

}  // namespace

AnsiString R5ConvertField(uint8_t type, int code, std::string_view raw) {
  switch (code) {
    case 1:
    case 9: {
      AnsiString t = Trim(raw);
      int32_t n = 0;
      if (!t.empty() && t.size() <= 5 && TryStrToInt(t, n)) return Format("%d", n);
      return t;
    }
    case 2:
    case 8:
    case 11:
    case 6: {
      std::string_view t = code == 6 ? raw : TrimView(raw);
      const std::size_t ff = t.find('\xFF');
      if (ff != std::string_view::npos) t = t.substr(0, ff);
      return R5PolishLetters(t);
    }
    case 41:
    case 279:
      if (type == 49) return AnsiString(raw);
      return ScaledNumber(raw, code, 10);
    case 55:
      if (SameText(TrimView(raw), "FFFF")) return "100";
      return ScaledNumber(raw, code, 100);
    case 27:
      if (IsRecordType(type)) return RecordDate(raw);
      return AnsiString(raw);
    case 28:
      if (IsRecordType(type)) {
        AnsiString t(raw.substr(0, 2));
        t += ':';
        if (raw.size() > 2) t += raw.substr(2, 2);
        return t;
      }
      return AnsiString(raw);
    case 280:
    case 281: return DigitsDate(raw, false);
    case 216:
    case 217:
    case 218:
    case 291: return DigitsDate(raw, true);
    default:
      if (IsAmountCode(code)) return ScaledNumber(raw, code, 100);
      return AnsiString(raw);
  }
}

const std::vector<TR5PacketType>& R5PacketTypes() { return Types(); }

const TR5PacketType* FindR5PacketType(uint8_t code) {
  for (const auto& t : Types())
    if (t.Code == code) return &t;
  return nullptr;
}

AnsiString R5RequestBody(uint8_t type, std::string_view first, std::string_view second, bool digitTwo) {
  const TR5PacketType* t = FindR5PacketType(type);
  if (!t) throw EQuorvelError(AnsiString("Nieznany bądź nieobsługiwany typ pakietu"_cp));
  AnsiString body = "S";
  body += t->Letter;
  body += digitTwo ? '2' : '0';
  body += PadLeft(first, 18).substr(0, 18);
  body += PadLeft(second, 18).substr(0, 18);
  return body;
}

AnsiString R5PolishLetters(std::string_view cp852) {
  static constexpr std::pair<unsigned char, unsigned char> kMap[] = {
      {0x86, 0xE6}, {0x88, 0xB3}, {0x8D, 0x8F}, {0x8F, 0xC6}, {0x97, 0x8C}, {0x98, 0x9C},
      {0x9D, 0xA3}, {0xA2, 0xF3}, {0xA4, 0xA5}, {0xA5, 0xB9}, {0xA8, 0xCA}, {0xA9, 0xEA},
      {0xAB, 0x9F}, {0xBD, 0xAF}, {0xBE, 0xBF}, {0xE0, 0xD3}, {0xE3, 0xD1}, {0xE4, 0xF1}};
  AnsiString out(cp852);
  for (char& c : out) {
    for (const auto& [from, to] : kMap) {
      if (static_cast<unsigned char>(c) == from) {
        c = static_cast<char>(to);
        break;
      }
    }
  }
  return out;
}

AnsiString R5PacketTitle(std::string_view frame) {
  auto part = [&](int first, int last) { return Trim(R5PolishLetters(Cut(frame, Range(first, last)))); };
  auto with = [&](std::string_view pattern, const AnsiString& a, const AnsiString& b) {
    const AnsiString filled = a + " " + b;
    const std::size_t at = pattern.find("%s");
    return AnsiString(pattern.substr(0, at)) + filled + AnsiString(pattern.substr(at + 2));
  };
  if (frame.size() < 3) return {};
  switch (frame[2]) {
    case '0':
    case 'K': return AnsiString("Stawki PTU"_cp);
    case '1':
    case 'M': return AnsiString("Numer unikatowy"_cp);
    case 'A': return AnsiString("Opcje konfiguracyjne"_cp);
    case 'B': return AnsiString("Nagłówek"_cp);
    case 'C': return AnsiString("Stopka"_cp);
    case 'D': {
      if (Cut(frame, Range(3, 6)) == "D#00") {
        const AnsiString t = AnsiString("Kasjer - "_cp) + part(8, 9);
        return t;
      }
      return with("Kasjer - %s"_cp, part(4, 4), part(5, 22));
    }
    case 'E': return AnsiString("Tablica HALO"_cp);
    case 'G': return AnsiString("Rabaty i narzuty"_cp);
    case 'H': return with("Dział - %s"_cp, part(5, 6), part(7, 24));
    case 'I': return with("PLU - %s"_cp, part(5, 22), part(23, 40));
    case 'J': return with("Klawisz kodu - %s"_cp, part(4, 5), part(6, 23));
    case 'L': return AnsiString("Data i czas"_cp);
    case 'N': return AnsiString("Numer NIP"_cp);
    case 'P': return AnsiString("Numer kasy"_cp);
    case 'R': return AnsiString("Raport kasy"_cp);
    case 'S': return AnsiString("Raport sprzedaży kasjerów"_cp);
    case 'T': return AnsiString("Raport sprzedaży w działach"_cp);
    case 'U': return AnsiString("Raport sprzedaży PLU"_cp);
    case 'W':
    case 'w': return AnsiString("Raport dobowy"_cp);
    case 'X':
    case 'x': return AnsiString("Ostatni raport dobowy"_cp);
    case 'Y':
    case 'y': return AnsiString("Raport okresowy wg dat"_cp);
    case 'Z':
    case 'z': return AnsiString("Raport okresowy wg numerów"_cp);
    case 'a':
    case 'b': return AnsiString("Podsumowanie raportu okresowego"_cp);
    case 'c': return AnsiString("Wyniki testów"_cp);
    case 'd': return AnsiString("Sprzedaż opakowań"_cp);
    case 'e': return AnsiString("Wersja oprogramowania"_cp);
    case 'f': return AnsiString("Rozszerzony raport kasy"_cp);
    case 'g': return AnsiString("Rozszerzony raport sprzedaży kasjerów"_cp);
    case 'h': return AnsiString("Kody dowiązane"_cp);
    case 'j': return AnsiString("Definicja karty rabatowej"_cp);
    case 'k': return AnsiString("Dane paragonów"_cp);
    case 'l': return AnsiString("Godzinowy raport sprzedaży"_cp);
    case 'n': return AnsiString("Sprzedaż kasjerów (Corvi System)"_cp);
    case 'o': return AnsiString("Raport danych kasy (Corvi System)"_cp);
    case 'p': return AnsiString("Status kasy"_cp);
    case 's': return AnsiString("Konfiguracja (Corvi System)"_cp);
    default: return {};
  }
}

AnsiString R5GetField(std::vector<AnsiString>& replies, uint8_t type, int index, int code, int subscript) {
  if (index < 0 || static_cast<std::size_t>(index) >= replies.size())
    throw EQuorvelError(AnsiString("Błędny index odebranego pakietu"_cp));
  AnsiString& frame = replies[static_cast<std::size_t>(index)];
  if (IsExtendedLayout(type) && frame.size() >= 3 && (frame.size() < 4 || frame[3] != '#'))
    frame.insert(3, "#00");
  if (code == 0) return frame.size() >= 4 ? AnsiString(1, frame[3]) : AnsiString();
  const std::optional<TSpan> span = FieldSpan(type, frame, code, subscript);
  if (!span) return {};
  AnsiString value = R5ConvertField(type, code, Cut(frame, *span));
  const bool keep = code == 101 || code == 162 || code == 294 || type == 13 || type == 14 || type == 99;
  return keep ? value : Trim(value);
}

}  // namespace quorvel
