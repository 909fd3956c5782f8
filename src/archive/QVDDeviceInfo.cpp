#include "archive/QVDDeviceInfo.h"

#include <cstdlib>

#include "archive/uConfig.h"
#include "archive/uXML.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"
#include "platform/SpecialFolders.h"

namespace quorvel {

std::string ProgramDirectory() { return ProgramFileFolder(); }

std::string SharedDataRoot() {
  if (const char* root = std::getenv("QUORVEL_DATA_ROOT"); root && *root) return IncludeTrailingSeparator(root);
  if (const auto docs = SharedDocumentsFolder()) return *docs + "Velkora/";
  return ProgramDirectory();
}

std::string ArchiveRoot(std::string_view saveDirectory) {
  if (saveDirectory.empty()) return SharedDataRoot();
  return IncludeTrailingSeparator(std::string(saveDirectory)) + "Velkora/";
}

std::string ArchiveRoot(const TConfig& config) { return ArchiveRoot(config.SaveDirectory); }

std::string DeviceDirectory(std::string_view archiveRoot, std::string_view directoryOverride,
                            std::string_view deviceName, bool isECopy, bool keepFirstChar) {
  AnsiString name(deviceName);
  if (!keepFirstChar && !name.empty()) name[0] = '-';
  if (!IsSafeArchiveName(name))
    throw EFileError("Niepoprawna nazwa urządzenia: \""_cp + name + "\"");
  std::string dir;
  if (!directoryOverride.empty())
    dir = IncludeTrailingSeparator(std::string(directoryOverride)) + Cp1250ToUtf8(name) + "/";
  else
    dir = IncludeTrailingSeparator(std::string(archiveRoot)) + (isECopy ? "CDData/" : "FMData/") + Cp1250ToUtf8(name) + "/";
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir))
    throw EFileError("Nie można utworzyć katalogu "_cp + Utf8ToCp1250(dir) + ": " + Utf8ToCp1250(ec.message()));
  return dir;
}

std::string GroupedName(std::string_view fileName) {
  const int32_t n = fileName.size() >= 4 ? StrToIntDef(fileName.substr(0, 4), 0) : 0;
  if (n == 0) return std::string(fileName);
  int32_t group = (n / 100) * 100;
  if (group == 0) group = 1;
  return Format("%4.4d/", group) + std::string(fileName);
}

AnsiString DeviceNameOf(std::string_view uniqueNo) {
  AnsiString out;
  for (const char c : uniqueNo)
    if (c != ' ') out += c;
  return out;
}

bool IsSafeArchiveName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (const char c : name)
    if (c == '/' || c == '\\' || c == '\0') return false;
  return true;
}

bool TDeviceInfo::LoadDeviceInfo(const std::filesystem::path& file) {
  TXML xml("Data");
  if (!xml.LoadFromFile(file)) return false;
  // A value that does not convert counts as a file that cannot be read: nothing is changed.
  try {
    TDeviceInfo read;
    read.NIP = xml.GetValue("NIP", "");
    read.HasInvoices = xml.GetValue("HasInvoices", false);
    read.HasTotals = xml.GetValue("HasTotals", false);
    read.LineLen = xml.GetValue("LineLen", 44);
    read.TaxiVersion = xml.GetValue("TaxiVersion", false);
    read.PharmacyVersion = xml.GetValue("PharmacyVersion", false);
    *this = read;
    return true;
  } catch (const EConvertError&) {
    return false;
  }
}

void TDeviceInfo::SaveDeviceInfo(const std::filesystem::path& file) const {
  TXML xml("Data");
  xml.SetValue("NIP", std::string_view(NIP));
  xml.SetValue("HasInvoices", HasInvoices);
  xml.SetValue("HasTotals", HasTotals);
  xml.SetValue("LineLen", static_cast<int>(LineLen));
  xml.SetValue("TaxiVersion", TaxiVersion);
  xml.SetValue("PharmacyVersion", PharmacyVersion);
  WriteFileAtomic(file, xml.ToString());
}

namespace {

enum class TFieldType { Text, Int, StrictDate, LenientDate };

struct THeaderField {
  std::string_view Key;
  TFieldType Type;
  void* (*Field)(TReportFileHeader&);
};

#define QV_FIELD(key, type, member) \
  THeaderField { key, TFieldType::type, [](TReportFileHeader& h) -> void* { return &h.member; } }

const THeaderField kHeaderFields[kHeaderLines] = {
    QV_FIELD("Plik:"_cp, Text, FileName),
    QV_FIELD("Zawartość pliku:"_cp, Text, Content),
    QV_FIELD("Wersja pliku:"_cp, Text, FileVersion),
    QV_FIELD("Typ urządzenia:"_cp, Text, DeviceType),
    QV_FIELD("Rozmiar linii:"_cp, Int, LineSize),
    QV_FIELD("Urządzenie:"_cp, Text, Device),
    QV_FIELD("Nr unikatowy:"_cp, Text, UniqueNo),
    QV_FIELD("Wersja Kopii E:"_cp, Text, ECopyVersion),
    QV_FIELD("Nośnik Kopii E:"_cp, Text, ECopyMedium),
    QV_FIELD("Plik utworzono:"_cp, StrictDate, Created),
    QV_FIELD("Nr raportu:"_cp, Int, ReportNo),
    QV_FIELD("Data raportu:"_cp, StrictDate, ReportDate),
    QV_FIELD("Data wydruku od:"_cp, LenientDate, PrintoutDateFrom),
    QV_FIELD("Data wydruku do:"_cp, LenientDate, PrintoutDateTo),
    QV_FIELD("Nr wydruku od:"_cp, Int, PrintoutNoFrom),
    QV_FIELD("Nr wydruku do:"_cp, Int, PrintoutNoTo),
    QV_FIELD("Data paragonu od:"_cp, LenientDate, ReceiptDateFrom),
    QV_FIELD("Data paragonu do:"_cp, LenientDate, ReceiptDateTo),
    QV_FIELD("Nr paragonu od:"_cp, Int, ReceiptNoFrom),
    QV_FIELD("Nr paragonu do:"_cp, Int, ReceiptNoTo),
    QV_FIELD("Data faktury od:"_cp, LenientDate, InvoiceDateFrom),
    QV_FIELD("Data faktury do:"_cp, LenientDate, InvoiceDateTo),
    QV_FIELD("Nr faktury od:"_cp, Int, InvoiceNoFrom),
    QV_FIELD("Nr faktury do:"_cp, Int, InvoiceNoTo),
    QV_FIELD("Nr zerowania od:"_cp, Int, ResetNoFrom),
    QV_FIELD("Nr zerowania do:"_cp, Int, ResetNoTo),
    QV_FIELD("Rozmiar Nagłówka Pliku:"_cp, Int, HeaderSize),
    QV_FIELD("Rozmiar etykiet danych:"_cp, Int, LabelSize),
    QV_FIELD("Offset Danych Wydruku:"_cp, Int, DataOffset),
    QV_FIELD("Rozmiar Danych Wydruku:"_cp, Int, DataSize),
    QV_FIELD("Offset Spisu Treści:"_cp, Int, TocOffset),
    QV_FIELD("Rozmiar Spisu Treści:"_cp, Int, TocSize),
    QV_FIELD("Podpis N:"_cp, Text, SignatureN),
    QV_FIELD("Podpis NP:"_cp, Text, SignatureNP),
};

#undef QV_FIELD

// The next line of `text` from `pos` (CR LF, LF or CR ends it); false at the end of the text.
bool NextLine(std::string_view text, std::size_t& pos, std::string_view& line) {
  if (pos >= text.size()) return false;
  std::size_t e = pos;
  while (e < text.size() && text[e] != '\r' && text[e] != '\n') ++e;
  line = text.substr(pos, e - pos);
  if (e < text.size()) {
    if (text[e] == '\r' && e + 1 < text.size() && text[e + 1] == '\n') ++e;
    ++e;
  }
  pos = e;
  return true;
}

}  // namespace

bool ParseReportFileHeader(std::string_view text, TReportFileHeader& header, std::size_t* consumed) {
  TReportFileHeader h;
  std::size_t pos = 0;
  for (const THeaderField& f : kHeaderFields) {
    std::string_view line;
    if (!NextLine(text, pos, line)) return false;
    if (line.find(f.Key) == std::string_view::npos) return false;
    const std::size_t colon = line.find(':');
    const std::string_view value = TrimView(line.substr(colon + 1));
    void* field = f.Field(h);
    switch (f.Type) {
      case TFieldType::Text: *static_cast<AnsiString*>(field) = AnsiString(value); break;
      case TFieldType::Int:
        if (!TryStrToInt(value, *static_cast<int32_t*>(field))) return false;
        break;
      case TFieldType::StrictDate:
        if (!TryParseDmyHm(value, *static_cast<TDateTime*>(field))) return false;
        break;
      case TFieldType::LenientDate: *static_cast<TDateTime*>(field) = ParseDmyHmLenient(value); break;
    }
  }
  header = std::move(h);
  if (consumed) *consumed = pos;
  return true;
}

bool ReadReportFileHeader(const std::filesystem::path& file, TReportFileHeader& header) {
  // A header is a few kilobytes; the rest of the file is read only when its lines are longer.
  constexpr std::size_t kFirstRead = 16384;
  try {
    std::string text = ReadFilePrefix(file, kFirstRead);
    if (text.size() == kFirstRead) {
      TReportFileHeader h;
      std::size_t used = 0;
      // Accepted only when the 34th line ended inside what was read, not cut at its edge.
      if (ParseReportFileHeader(text, h, &used) && used > 0 && used < text.size() &&
          (text[used - 1] == '\n' || text[used - 1] == '\r')) {
        header = std::move(h);
        return true;
      }
      text = ReadFileBytes(file);
    }
    return ParseReportFileHeader(text, header);
  } catch (const EQuorvelError&) {
    return false;
  }
}

}  // namespace quorvel
