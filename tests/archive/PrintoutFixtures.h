// Small electronic-copy texts for the tests, written in UTF-8 and turned into the device's
// Windows-1250 bytes: a 34-line header and receipts, pharmacy receipts and invoices with their
// marker characters.
#pragma once

#include <string>
#include <vector>

#include "base/Cp1250.h"
#include "base/TextUtils.h"

namespace quorvel::test {

struct THeaderRanges {
  int ReportNo = 1;
  int PrintoutFrom = 1, PrintoutTo = 100;
  int ReceiptFrom = 1, ReceiptTo = 100;
  int InvoiceFrom = 0, InvoiceTo = 0;
  std::string DateFrom = "05-03-2009 08:00", DateTo = "05-03-2009 20:00";
};

// The 34 header lines.
inline std::vector<std::string> HeaderLines(const THeaderRanges& r = {}) {
  return {
      Format("Plik: %04d.txt", r.ReportNo),
      "Zawartość pliku: Kopia elektroniczna",
      "Wersja pliku: 1.0",
      "Typ urządzenia: FV",
      "Rozmiar linii: 40",
      "Urządzenie: Drukarka",
      "Nr unikatowy: ABC12345678",
      "Wersja Kopii E: 1.00",
      "Nośnik Kopii E: 1",
      "Plik utworzono: 06-03-2009 08:00",
      Format("Nr raportu: %04d", r.ReportNo),
      "Data raportu: 05-03-2009 21:00",
      "Data wydruku od: " + r.DateFrom,
      "Data wydruku do: " + r.DateTo,
      Format("Nr wydruku od: %d", r.PrintoutFrom),
      Format("Nr wydruku do: %d", r.PrintoutTo),
      "Data paragonu od: " + r.DateFrom,
      "Data paragonu do: " + r.DateTo,
      Format("Nr paragonu od: %d", r.ReceiptFrom),
      Format("Nr paragonu do: %d", r.ReceiptTo),
      "Data faktury od: " + r.DateFrom,
      "Data faktury do: " + r.DateTo,
      Format("Nr faktury od: %d", r.InvoiceFrom),
      Format("Nr faktury do: %d", r.InvoiceTo),
      "Nr zerowania od: 0",
      "Nr zerowania do: 0",
      "Rozmiar Nagłówka Pliku: 34",
      "Rozmiar etykiet danych: 0",
      "Offset Danych Wydruku: 0",
      "Rozmiar Danych Wydruku: 0",
      "Offset Spisu Treści: 0",
      "Rozmiar Spisu Treści: 0",
      "Podpis N: 00",
      "Podpis NP: 00",
  };
}

// A receipt: Chleb (A, 1 piece) on one line, a long name whose symbol and quantity follow on
// the next line (B, 2 pieces), totals, the time line with document number `docNo`, a control
// number over two lines, the unique number line and the closing line.
inline std::vector<std::string> ReceiptLines(int printoutNo, int docNo, const std::string& date = "05-03-2009",
                                             const std::string& time = "14:07") {
  return {
      "      ¤    PARAGON FISKALNY",
      date + Format("          nr wydr.%04d", printoutNo),
      "Chleb\u00A0  1 x2,50      2,50 ¨ A",
      "Masło ekstra osełka\u00A0",
      "     2 x1,25      2,50 B  ¨",
      " ´SUMA PTU             0,47",
      " ·SUMA PLN             5,00",
      Format("F%05d¦ #Kasa 1   ˇ", docNo) + time,
      "   3F2A1B7C¬",
      "   9D0E¬    ",
      "    » ABC 12345678",
      "  ‡‡‡‡‡‡‡‡‡‡‡‡",
  };
}

inline std::vector<std::string> PharmacyLines(int printoutNo, int docNo) {
  return {
      "      \x1F  PARAGON APTECZNY",
      Format("06-03-2009          nr wydr.%04d", printoutNo),
      "Aspiryna\u00A0  1 x9,99      9,99 ¨ B",
      " ·SUMA PLN             9,99",
      Format("F%05d¦ #Kasa 1   ˇ09:30", docNo),
      "    » ABC 12345678",
      "  ‡‡‡‡‡‡‡‡‡‡‡‡",
  };
}

inline std::vector<std::string> InvoiceLines(int printoutNo, int docNo) {
  return {
      "     F A K T U R A   V A T",
      Format("              nr wydr.%04d", printoutNo),
      "  Data wystawienia: 07-03-2009",
      "  Data sprzedaży  : 04-03-2009",
      "Mleko 3,2%\u00A0  2 x 3,00",
      "            6,00 A  ¨",
      " ´SUMA PTU             1,12",
      " ·RAZEM                6,00",
      Format("F%05d¦ #Kasa 1   ˇ10:15", docNo),
      "    AB12CD¬",
      "    » ABC 12345678",
      "  ‡‡‡‡‡‡‡‡‡‡‡‡",
  };
}

// Joins UTF-8 lines with `eol` and converts them to Windows-1250.
inline std::string Cp(const std::vector<std::string>& lines, const std::string& eol = "\r\n") {
  std::string utf8;
  for (const auto& l : lines) utf8 += l + eol;
  return Utf8ToCp1250(utf8);
}

template <class... T>
std::vector<std::string> Concat(const std::vector<std::string>& first, const T&... rest) {
  std::vector<std::string> out = first;
  (out.insert(out.end(), rest.begin(), rest.end()), ...);
  return out;
}

}  // namespace quorvel::test
