// Electronic-copy files for the browser tests: the 34-line header, receipts, and the day's
// daily-report printout whose sums are the receipts' sums.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "archive/PrintoutFixtures.h"
#include "base/TextUtils.h"
#include "support/TestSupport.h"

namespace quorvel::test {

struct TDayFixture {
  int ReportNo = 1;
  int Day = 5;                // of March 2009
  int Receipts = 2;           // receipts of 5,00 each (net 4,07, VAT 0,93 at 23%)
  int FirstPrintout = 1;

  std::string Date() const { return Format("%02d-03-2009", Day); }
  // The day's gross, net and VAT at 23% in hundredths.
  long GrossCents() const { return 500L * Receipts; }
  long NetCents() const { return (GrossCents() * 100 * 2 + 123) / (2 * 123); }
  long VatCents() const { return GrossCents() - NetCents(); }

  std::vector<std::string> Lines() const {
    THeaderRanges ranges;
    ranges.ReportNo = ReportNo;
    ranges.PrintoutFrom = FirstPrintout;
    ranges.PrintoutTo = FirstPrintout + Receipts;
    ranges.DateFrom = Date() + " 08:00";
    ranges.DateTo = Date() + " 20:00";
    std::vector<std::string> l = HeaderLines(ranges);
    for (int k = 0; k < Receipts; ++k)
      for (auto& s : SimpleReceipt(FirstPrintout + k, FirstPrintout + k)) l.push_back(s);
    const auto amount = [](long cents) { return Format("%ld,%02ld", cents / 100, cents % 100); };
    const std::string pad(20, ' ');
    for (const std::string& s : std::vector<std::string>{
             " §§§§§§§§§§§§§§§§",
             Date() + Format("                  nr wydr.%04d", FirstPrintout + Receipts),
             "       RAPORT DOBOWY",
             "       FISKALNY",
             " NIP 123-456-78-90",
             " ~~~~~~~~~~~~~~~~",
             "¨PTU  A     23,00 %",
             "~~~~~~~~~~~~~~~~~~",
             Date() + Format("              Raport dobowy nr %04d", ReportNo),
             "          SPRZEDAŻ",
             " SP.OP.A" + pad + amount(NetCents()),
             " Kwota PTU A 23,00%" + pad + amount(VatCents()),
             " SUMA PTU" + pad + amount(VatCents()),
             " Należność:" + pad + amount(GrossCents()),
             " ~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~",
             " Należność               PLN " + amount(GrossCents()),
             Format(" Ilość paragonów                   %d", Receipts),
             " Ilość faktur                       0",
             " ~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~",
             "        NARASTAJĄCO",
             " SUMA PTU                     2700,00",
             " Należność:                  13000,00",
             " ~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~",
             Format(" %04d #1 KIEROWNIK           ˇ21:00", ReportNo),
             "    » ABC 12345678",
             "   A1B2C3D4E5F6¬",
             " ‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡‡",
         })
      l.push_back(s);
    return l;
  }

  static std::vector<std::string> SimpleReceipt(int printoutNo, int docNo) {
    return {
        "      ¤    PARAGON FISKALNY",
        Format("05-03-2009          nr wydr.%04d", printoutNo),
        "Chleb\u00A0  2 x2,50      5,00 ¨ A",
        "´SUMA PTU              0,93",
        "·SUMA PLN              5,00",
        Format("F%05d¦ #Kasa 1   ˇ14:07", docNo),
        "    » ABC 12345678",
        "  ‡‡‡‡‡‡‡‡‡‡‡‡",
    };
  }

  // Writes the file under `dir`, in its hundred-group folder when `grouped`.
  std::filesystem::path Write(const std::filesystem::path& dir, bool grouped = true) const {
    const std::string name = Format("%04d.txt", ReportNo);
    const int group = ReportNo / 100 * 100;
    const std::filesystem::path file = grouped ? dir / Format("%04d", group == 0 ? 1 : group) / name : dir / name;
    std::filesystem::create_directories(file.parent_path());
    WriteFile(file, Cp(Lines()));
    return file;
  }
};

}  // namespace quorvel::test
