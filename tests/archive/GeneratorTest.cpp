// The synthetic-archive generator (`quorvel-sim generate`): the files are the ones the readers are
// tested on, so they must be deterministic, well formed, and their daily reports must add up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "archive/QVDDeviceInfo.h"
#include "base/Cp1250.h"
#include "base/TextUtils.h"
#include "support/TestSupport.h"

namespace quorvel {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::RunProgram;
using test::TTempDir;
using test::WriteFile;

test::TRunResult Generate(const fs::path& out, std::vector<std::string> args) {
  args.insert(args.begin(), {"generate", "--out", out.string()});
  return RunProgram(QUORVEL_SIM_PATH, args);
}

void GenerateOk(const fs::path& out, const std::vector<std::string>& args) {
  const auto r = Generate(out, args);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
}

// Every regular file below `dir`, as paths relative to it, sorted.
std::vector<std::string> FilesBelow(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) out.push_back(fs::relative(e.path(), dir).string());
  std::sort(out.begin(), out.end());
  return out;
}

// Splits at CR LF and fails on a bare CR or LF.
std::vector<std::string> CrLfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t p = 0;
  while (p < text.size()) {
    const std::size_t e = text.find("\r\n", p);
    EXPECT_NE(e, std::string::npos) << "text does not end in CR LF";
    if (e == std::string::npos) break;
    std::string line = text.substr(p, e - p);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "bare line end in: " << line;
    lines.push_back(line);
    p = e + 2;
  }
  return lines;
}

// "12,34" or "12.34" as cents.
int64_t Cents(std::string_view text) {
  int64_t v = 0;
  bool neg = false;
  for (char c : text) {
    if (c == '-') neg = true;
    if (c >= '0' && c <= '9') v = v * 10 + (c - '0');
  }
  return neg ? -v : v;
}

// The last blank-separated word of a text.
std::string LastWord(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  const std::size_t b = s.rfind(' ');
  return std::string(b == std::string_view::npos ? s : s.substr(b + 1));
}

bool Has(const std::string& line, std::string_view text) { return line.find(text, 1) != std::string::npos; }

std::string Md5Sum(const TTempDir& tmp, const std::string& bytes) {
  const fs::path f = tmp / "md5-input";
  WriteFile(f, bytes);
  const auto r = RunProgram("/usr/bin/md5sum", {f.string()});
  std::string hex = r.Out.substr(0, 32);
  for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return hex;
}

std::string ValueAfterColon(const std::string& line) {
  const std::size_t c = line.find(':');
  std::string v = line.substr(c + 1);
  v.erase(0, v.find_first_not_of(' '));
  v.erase(v.find_last_not_of(' ') + 1);
  return v;
}

TEST(Generator, SameSeedGivesTheSameBytesAnotherSeedOthers) {
  TTempDir a, b, c;
  const std::vector<std::string> args = {"--files", "4", "--seed", "11", "--line-len", "44"};
  GenerateOk(a.Path(), args);
  GenerateOk(b.Path(), args);
  GenerateOk(c.Path(), {"--files", "4", "--seed", "12", "--line-len", "44"});
  const auto names = FilesBelow(a.Path());
  ASSERT_EQ(names, FilesBelow(b.Path()));
  ASSERT_EQ(names.size(), 5u);  // four reports and idhist.txt
  int differing = 0;
  for (const auto& n : names) {
    EXPECT_EQ(ReadFile(a / n), ReadFile(b / n)) << n;
    if (ReadFile(a / n) != ReadFile(c / n)) ++differing;
  }
  EXPECT_EQ(differing, 5);
}

TEST(Generator, GroupFoldersHeadersAndNumberRangesAgree) {
  TTempDir dir;
  GenerateOk(dir.Path(), {"--files", "205", "--seed", "3", "--unique", "xyz 98765432"});
  std::map<std::string, int> perGroup;
  for (const auto& n : FilesBelow(dir.Path()))
    if (n != "idhist.txt") perGroup[fs::path(n).parent_path().string()]++;
  EXPECT_EQ(perGroup, (std::map<std::string, int>{{"0001", 99}, {"0100", 100}, {"0200", 6}}));

  int lastPrintout = 0, lastReceipt = 0;
  TDateTime lastDate = 0;
  for (int n : {1, 2, 99, 100, 101, 199, 200, 205}) {
    SCOPED_TRACE(n);
    const fs::path file = dir / GroupedName(Format("%4.4d.txt", n));
    TReportFileHeader h;
    ASSERT_TRUE(ReadReportFileHeader(file, h));
    EXPECT_EQ(h.ReportNo, n);
    EXPECT_EQ(h.FileName, Format("%4.4d.txt", n));
    EXPECT_EQ(h.UniqueNo, "XYZ98765432");
    EXPECT_EQ(h.LineSize, 40);
    EXPECT_NE(h.DeviceType.find("FV"), std::string::npos);
    EXPECT_GT(h.ReportDate, lastDate);
    lastDate = h.ReportDate;

    // The sizes the header states are the file's.
    const std::string bytes = ReadFile(file);
    EXPECT_EQ(bytes.compare(0, 6, "Plik: "), 0);
    EXPECT_EQ(h.HeaderSize, h.DataOffset);
    EXPECT_EQ(bytes.substr(h.DataOffset - 2, 2), "\r\n");
    EXPECT_EQ(static_cast<std::size_t>(h.TocOffset), bytes.size());
    EXPECT_EQ(bytes.compare(h.DataOffset + h.DataSize, 7, "Podpis:"), 0);

    // The numbers printed in the data lie in the header's ranges, which follow on from file to file.
    const auto lines = CrLfLines(bytes);
    ASSERT_GT(lines.size(), 34u);
    int minPrintout = 1 << 30, maxPrintout = 0, minReceipt = 1 << 30, maxReceipt = 0;
    for (std::size_t i = 34; i + 1 < lines.size(); ++i) {
      const std::string& l = lines[i];
      const bool receipt = Has(l, "¤"_cp) || Has(l, "\x1F");
      if (receipt || Has(l, "§"_cp) || Has(l, "F A K T U R A   V A T")) {
        const std::string& next = lines[i + 1];  // "dd-mm-yyyy ... nr wydr.NNNNNN"
        const int p = std::stoi(next.substr(next.rfind('.') + 1));
        minPrintout = std::min(minPrintout, p);
        maxPrintout = std::max(maxPrintout, p);
      }
      if (receipt) {
        // The time line of this receipt carries its number between "F" and "¦".
        std::size_t k = i;
        while (!Has(lines[k], "ˇ"_cp)) ++k;
        const std::size_t f = lines[k].find('F'), bar = lines[k].find("¦"_cp);
        const int no = std::stoi(lines[k].substr(f + 1, bar - f - 1));
        minReceipt = std::min(minReceipt, no);
        maxReceipt = std::max(maxReceipt, no);
      }
    }
    EXPECT_EQ(minPrintout, h.PrintoutNoFrom);
    EXPECT_EQ(maxPrintout, h.PrintoutNoTo);
    EXPECT_EQ(minReceipt, h.ReceiptNoFrom);
    EXPECT_EQ(maxReceipt, h.ReceiptNoTo);
    if (n == 2 || n == 101 || n == 200) {
      EXPECT_EQ(h.PrintoutNoFrom, lastPrintout + 1);
      EXPECT_EQ(h.ReceiptNoFrom, lastReceipt + 1);
    }
    lastPrintout = h.PrintoutNoTo;
    lastReceipt = h.ReceiptNoTo;
  }
}

TEST(Generator, LinesKeepTheWidthAndTheLastEightLinesAreFull) {
  for (int width : {40, 44, 48}) {
    SCOPED_TRACE(width);
    TTempDir dir;
    GenerateOk(dir.Path(), {"--files", "2", "--seed", "5", "--line-len", std::to_string(width)});
    for (int n : {1, 2}) {
      const fs::path file = dir / "0001" / Format("%4.4d.txt", n);
      TReportFileHeader h;
      ASSERT_TRUE(ReadReportFileHeader(file, h));
      EXPECT_EQ(h.LineSize, width);
      const auto lines = CrLfLines(ReadFile(file));
      for (std::size_t i = 34; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), static_cast<std::size_t>(width)) << lines[i];
        if (!lines[i].empty() && (lines[i][0] == '~' || lines[i][0] == '-')) {
          EXPECT_EQ(lines[i], std::string(static_cast<std::size_t>(width), lines[i][0]));
        }
      }
      for (std::size_t i = lines.size() - 8; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].size(), static_cast<std::size_t>(width)) << lines[i];
    }
  }
}

TEST(Generator, SizeTargetIsReachedRoughly) {
  struct TCase {
    std::string Size;
    std::vector<std::string> Files;
    uint64_t Bytes;
    std::size_t Reports;
  };
  const TCase cases[] = {
      {"8K", {"--files", "1"}, 8 * 1024, 1},
      {"64K", {"--files", "2"}, 64 * 1024, 2},
      {"1M", {}, 1024 * 1024, 3},  // a size alone gives one file per 450 KB
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Size);
    TTempDir dir;
    std::vector<std::string> args = {"--size", c.Size, "--seed", "9"};
    args.insert(args.end(), c.Files.begin(), c.Files.end());
    GenerateOk(dir.Path(), args);
    uint64_t total = 0;
    std::size_t reports = 0;
    for (const auto& n : FilesBelow(dir.Path())) {
      if (n == "idhist.txt") continue;
      ++reports;
      total += fs::file_size(dir / n);
    }
    EXPECT_EQ(reports, c.Reports);
    EXPECT_GT(total, c.Bytes * 85 / 100);
    EXPECT_LT(total, c.Bytes * 125 / 100);
  }
}

// Sums the items of every receipt and invoice independently of the generator and compares them
// with the printed totals of each document and of the daily report.
TEST(Generator, DailyReportTotalsAreTheSumOfTheDaysItems) {
  TTempDir dir;
  GenerateOk(dir.Path(), {"--files", "6", "--seed", "21", "--rate-change", "3", "--currency-change", "5", "--voids"});
  int voidedSeen = 0;
  int64_t cumulative = 0;
  for (int n = 1; n <= 6; ++n) {
    SCOPED_TRACE(n);
    const auto lines = CrLfLines(ReadFile(dir / "0001" / Format("%4.4d.txt", n)));
    std::map<std::string, int64_t> receiptSales, invoiceSales, docSales;  // by printed symbol
    int receipts = 0, invoices = 0, voids = 0, kind = 0;
    int64_t docSum = 0, allSales = 0, voidValue = 0;
    bool voided = false;
    std::size_t report = 0;
    for (std::size_t i = 34; i < lines.size(); ++i) {
      const std::string& l = lines[i];
      if (Has(l, "¤"_cp) || Has(l, "\x1F") || Has(l, "F A K T U R A   V A T")) {
        kind = Has(l, "F A K T U R A   V A T") ? 2 : 1;
        docSum = 0;
        docSales.clear();
        voided = false;
      } else if (Has(l, "RAPORT FISKALNY DOBOWY")) {
        report = i;
      }
      if (kind == 0) continue;
      if (Has(l, "A N U L O W A N Y")) voided = true;
      const std::size_t mark = l.find("¨"_cp);
      if (mark != std::string::npos && mark > 0) {
        std::string sym, value;
        if (mark + 1 == l.size()) {  // "value SYM  ¨"
          sym = LastWord(l.substr(0, mark));
          const std::string rest = l.substr(0, l.substr(0, mark).rfind(sym));
          value = LastWord(rest);
        } else {  // "... value ¨SYM"
          sym = l.substr(mark + 1);
          value = LastWord(l.substr(0, mark));
        }
        docSales[sym] += Cents(value);
        docSum += Cents(value);
      }
      // Each document's own total is the sum of its items.
      if (Has(l, "·"_cp) || Has(l, "…"_cp)) {
        EXPECT_EQ(Cents(LastWord(l)), docSum) << l;
      }
      if (Has(l, "Ş"_cp)) {  // " Do zapłaty:  total PLN PTU vatŞ"
        std::string after = l.substr(l.find(':') + 1);
        after.erase(0, after.find_first_not_of(' '));
        EXPECT_EQ(Cents(after.substr(0, after.find(' '))), docSum) << l;
      }
      if (Has(l, "Wartość anulowana:"_cp)) {
        EXPECT_EQ(Cents(LastWord(l)), docSum) << l;
      }
      if (Has(l, "‡"_cp)) {
        if (voided) {
          ++voids;
          voidValue += docSum;
        } else {
          for (const auto& [sym, v] : docSales) (kind == 2 ? invoiceSales : receiptSales)[sym] += v;
          (kind == 2 ? invoices : receipts) += 1;
          allSales += docSum;
        }
        kind = 0;
      }
    }
    ASSERT_GT(report, 0u);
    ASSERT_GT(receipts, 0);

    // The daily report: rates, nets and VAT per slot, totals, counts, the cumulative gross.
    std::map<std::string, int> rates;
    std::map<std::string, int64_t> net, vat, invNet, invVat;
    int64_t gross = -1, cumGross = -1;
    int printedReceipts = -1, printedInvoices = -1, printedVoids = 0;
    int64_t printedVoidValue = 0;
    bool cumulativeSection = false;
    for (std::size_t i = report; i < lines.size(); ++i) {
      const std::string& l = lines[i];
      const std::string v = LastWord(l);
      if (l.rfind(" PTU  ", 0) == 0) rates[l.substr(6, 1)] = static_cast<int>(Cents(v));
      if (l.rfind(" SP.OP.", 0) == 0 || l.rfind(" SP.ZW.", 0) == 0) {
        const std::string key = l.compare(4, 2, "ZW") == 0 ? "ZW" : l.substr(7, 1);
        (l.compare(8, 2, "FV") == 0 ? invNet : net)[key] = Cents(v);
      }
      if (!cumulativeSection && l.rfind(" Kwota PTU ", 0) == 0)
        (l.compare(12, 2, "FV") == 0 ? invVat : vat)[l.substr(11, 1)] = Cents(v);
      if (Has(l, "NARASTAJĄCO"_cp)) cumulativeSection = true;
      if (Has(l, "Należność:"_cp)) (cumulativeSection ? cumGross : gross) = Cents(v);
      if (Has(l, "Ilość paragonów:"_cp)) printedReceipts = std::stoi(v);
      if (Has(l, "Ilość faktur:"_cp)) printedInvoices = std::stoi(v);
      if (Has(l, "Ilość anul. paragonów:"_cp)) printedVoids = std::stoi(v);
      if (Has(l, "Wart. anul. paragonów:"_cp)) printedVoidValue = Cents(v);
    }
    EXPECT_EQ(printedReceipts, receipts);
    EXPECT_EQ(printedInvoices, invoices);
    EXPECT_EQ(printedVoids, voids);
    EXPECT_EQ(printedVoidValue, voidValue);
    voidedSeen += voids;
    EXPECT_EQ(gross, allSales);
    cumulative += allSales;
    EXPECT_EQ(cumGross, cumulative);
    for (auto* sales : {&receiptSales, &invoiceSales}) {
      const bool inv = sales == &invoiceSales;
      for (const auto& [sym, sum] : *sales) {
        SCOPED_TRACE(sym);
        auto& nets = inv ? invNet : net;
        auto& vats = inv ? invVat : vat;
        ASSERT_TRUE(nets.count(sym)) << "no sales line";
        const int64_t printedVat = vats.count(sym) ? vats[sym] : 0;
        EXPECT_EQ(nets[sym] + printedVat, sum);
        if (sym == "ZW" || rates[sym] == 0) {
          EXPECT_EQ(vats.count(sym), 0u);
          continue;
        }
        // Net = gross x 100 / (100 + rate), halves to the even cent.
        const int64_t num = sum * 10000, den = 10000 + rates[sym];
        int64_t q = num / den;
        if (2 * (num % den) > den || (2 * (num % den) == den && q % 2 == 1)) ++q;
        EXPECT_EQ(nets[sym], q);
      }
    }
  }
  EXPECT_GT(voidedSeen, 0);
}

TEST(Generator, EventsLandInTheReportsAsked) {
  TTempDir dir;
  GenerateOk(dir.Path(),
             {"--files", "5", "--seed", "2", "--rate-change", "3", "--ram-reset", "2,4", "--currency-change", "4"});
  std::vector<std::string> text(6);
  for (int n = 1; n <= 5; ++n) text[n] = ReadFile(dir / "0001" / Format("%4.4d.txt", n));
  auto count = [](const std::string& t, std::string_view s) {
    int c = 0;
    for (std::size_t p = t.find(s); p != std::string::npos; p = t.find(s, p + 1)) ++c;
    return c;
  };
  for (int n = 1; n <= 5; ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(count(text[n], "Z M I A N A   S T A W E K   P T U"), n == 3 ? 1 : 0);
    EXPECT_EQ(count(text[n], "ZEROWANIE PAMIĘCI RAM"_cp), n == 2 || n == 4 ? 1 : 0);
    EXPECT_EQ(count(text[n], "ZMIANA WALUTY"), n == 1 || n == 4 ? 1 : 0);
    EXPECT_EQ(count(text[n], "FISKALIZACJA"), n == 1 ? 1 : 0);
    EXPECT_EQ(count(text[n], "NARASTAJĄCO"_cp), 1);
    EXPECT_EQ(count(text[n], "SUMA EUR") > 0, n >= 4);
    TReportFileHeader h;
    ASSERT_TRUE(ReadReportFileHeader(dir / "0001" / Format("%4.4d.txt", n), h));
    const int reset = n == 2 ? 1 : (n == 4 ? 2 : 0);
    EXPECT_EQ(h.ResetNoFrom, reset);
    EXPECT_EQ(h.ResetNoTo, reset);
  }
  EXPECT_NE(text[1].find("Waluta: PLN"), std::string::npos);
  EXPECT_NE(text[4].find("Waluta: EUR"), std::string::npos);
  EXPECT_NE(text[2].find("22.00%"), std::string::npos);
  EXPECT_NE(text[3].find("23.00%"), std::string::npos);
}

TEST(Generator, NoCumulativeLeavesTheSectionOutOfEveryReport) {
  TTempDir dir;
  GenerateOk(dir.Path(), {"--files", "3", "--no-cumulative"});
  for (int n = 1; n <= 3; ++n) {
    const std::string t = ReadFile(dir / "0001" / Format("%4.4d.txt", n));
    EXPECT_EQ(t.find("NARASTAJĄCO"_cp), std::string::npos);
    EXPECT_NE(t.find("RAPORT FISKALNY DOBOWY"), std::string::npos);
    TReportFileHeader h;
    EXPECT_TRUE(ReadReportFileHeader(dir / "0001" / Format("%4.4d.txt", n), h));
  }
}

TEST(Generator, FlatLayoutIsAMemoryCardFolder) {
  TTempDir dir;
  GenerateOk(dir.Path(), {"--files", "3", "--flat", "--unique", "XYZ98765432"});
  EXPECT_EQ(FilesBelow(dir.Path()),
            (std::vector<std::string>{"XYZ98765.432/0001.txt", "XYZ98765.432/0002.txt", "XYZ98765.432/0003.txt"}));
}

TEST(Generator, SignaturesAreTheMd5OfWhatTheySign) {
  TTempDir dir, tmp;
  GenerateOk(dir.Path(), {"--files", "7", "--seed", "4", "--cards", "3"});

  // A report file: "Podpis:" after the data and "Podpis N:" sign the data, "Podpis NP:" lines 1-32.
  const std::string bytes = ReadFile(dir / "0001" / "0005.txt");
  TReportFileHeader h;
  ASSERT_TRUE(ReadReportFileHeader(dir / "0001" / "0005.txt", h));
  const std::string dataMd5 = Md5Sum(tmp, bytes.substr(h.DataOffset, h.DataSize));
  EXPECT_EQ(h.SignatureN, dataMd5);
  EXPECT_EQ(ValueAfterColon(bytes.substr(h.DataOffset + h.DataSize, h.LineSize)), dataMd5);
  std::size_t end32 = 0;
  for (int i = 0; i < 32; ++i) end32 = bytes.find("\r\n", end32) + 2;
  EXPECT_EQ(h.SignatureNP, Md5Sum(tmp, bytes.substr(0, end32)));

  // The card history: the header block, then per card three free lines, 44 signed lines, N, NP.
  const auto lines = CrLfLines(ReadFile(dir / "idhist.txt"));
  auto block = [&](std::size_t from, std::size_t count) {
    std::string t;
    for (std::size_t i = from; i < from + count; ++i) t += lines[i] + "\r\n";
    return t;
  };
  ASSERT_GE(lines.size(), 18u);
  EXPECT_NE(lines[12].find("Ilość pozycji listy:"_cp), std::string::npos);
  ASSERT_EQ(ValueAfterColon(lines[12]), "3");
  EXPECT_EQ(ValueAfterColon(lines[17]), Md5Sum(tmp, block(0, 16)));
  ASSERT_EQ(lines.size(), 18u + 3 * (3 + 44 + 2));
  int nextReport = 1;
  for (int card = 0; card < 3; ++card) {
    SCOPED_TRACE(card);
    const std::size_t at = 18 + static_cast<std::size_t>(card) * 49 + 3;
    EXPECT_NE(lines[at + 10].find("Etykieta karty:"), std::string::npos);
    EXPECT_EQ(ValueAfterColon(lines[at + 10]), std::to_string(card + 1));
    EXPECT_EQ(std::stoi(ValueAfterColon(lines[at + 14])), nextReport);  // "Nr raportu od:"
    const int to = std::stoi(ValueAfterColon(lines[at + 15]));
    EXPECT_GE(to, nextReport);
    for (int r = nextReport; r <= to; ++r) {
      TReportFileHeader rh;
      ASSERT_TRUE(ReadReportFileHeader(dir / "0001" / Format("%4.4d.txt", r), rh));
      EXPECT_EQ(rh.ECopyMedium, "Karta SD nr " + std::to_string(card + 1));
    }
    nextReport = to + 1;
    EXPECT_EQ(lines[at + 44].rfind("Podpis N:", 0), 0u);
    EXPECT_EQ(lines[at + 45].rfind("Podpis NP:", 0), 0u);
    EXPECT_EQ(ValueAfterColon(lines[at + 45]), Md5Sum(tmp, block(at, 44)));
  }
  EXPECT_LE(nextReport, 7);  // the last reports lie on the card still in the device
}

TEST(Generator, BadOptionsAreRefusedAndWriteNothing) {
  const std::vector<std::vector<std::string>> cases = {
      {"--line-len", "42"}, {"--unique", "AB123"},   {"--files", "0"},       {"--files", "2144"},
      {"--bogus"},          {"--size", "12Q"},       {"--start-date", "31-02-2009"}, {"--seed"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(args[0]);
    TTempDir dir;
    const auto r = Generate(dir / "out", args);
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_FALSE(r.Err.empty());
    EXPECT_FALSE(fs::exists(dir / "out"));
  }
  const auto noOut = RunProgram(QUORVEL_SIM_PATH, {"generate", "--files", "1"});
  EXPECT_EQ(noOut.ExitCode, 2);
}

}  // namespace
}  // namespace quorvel
