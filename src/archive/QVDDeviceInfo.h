// The archive's layout: the roots, device directories, group folders, the device descriptor
// "device.xml" and the 34-line header of an electronic-copy file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/Cp1250.h"
#include "base/DateTime.h"

namespace quorvel {

class TConfig;

// The directory of the program file, with a trailing separator.
std::string ProgramDirectory();
// The shared data root: QUORVEL_DATA_ROOT when set, else $XDG_DATA_HOME (or ~/.local/share)
// followed by "Velkora/"; the program directory when neither can be had.
std::string SharedDataRoot();
// "SaveDirectory" + "Velkora/" when the configuration names one, else the shared data root.
std::string ArchiveRoot(const TConfig& config);
std::string ArchiveRoot(std::string_view saveDirectory);

// The device directory (override or archive root, "CDData/" or "FMData/", the name) with a
// trailing separator, created with its parents. Without `keepFirstChar` the name's first
// character becomes "-". Raises EFileError when the folder cannot be created.
std::string DeviceDirectory(std::string_view archiveRoot, std::string_view directoryOverride,
                            std::string_view deviceName, bool isECopy, bool keepFirstChar);

// The path of an electronic-copy file below its device directory: "0100/0157.txt" for
// "0157.txt", the name itself when its first four characters are not a number or are 0000.
std::string GroupedName(std::string_view fileName);

// A device name as the archive uses it: the unique number with every blank removed.
AnsiString DeviceNameOf(std::string_view uniqueNo);
// A name that may come from a device or a card and is to name a file or folder of the archive:
// not empty, no separators, not "." or "..".
bool IsSafeArchiveName(std::string_view name);

struct TDeviceInfo {
  AnsiString NIP;
  bool HasInvoices = false;
  bool HasTotals = false;
  int32_t LineLen = 44;
  bool TaxiVersion = false;
  bool PharmacyVersion = false;

  // Fills the fields from "device.xml"; false when the file is missing or cannot be read
  // (fields stay as they were). Attributes that are absent take the defaults above.
  bool LoadDeviceInfo(const std::filesystem::path& file);
  // Writes the six attributes; missing folders are created. Raises EFileError on failure.
  void SaveDeviceInfo(const std::filesystem::path& file) const;
};

struct TReportFileHeader {
  AnsiString FileName;
  AnsiString Content;
  AnsiString FileVersion;
  AnsiString DeviceType;
  int32_t LineSize = 0;
  AnsiString Device;
  AnsiString UniqueNo;
  AnsiString ECopyVersion;
  AnsiString ECopyMedium;
  TDateTime Created = 0;
  int32_t ReportNo = 0;
  TDateTime ReportDate = 0;
  TDateTime PrintoutDateFrom = 0;
  TDateTime PrintoutDateTo = 0;
  int32_t PrintoutNoFrom = 0;
  int32_t PrintoutNoTo = 0;
  TDateTime ReceiptDateFrom = 0;
  TDateTime ReceiptDateTo = 0;
  int32_t ReceiptNoFrom = 0;
  int32_t ReceiptNoTo = 0;
  TDateTime InvoiceDateFrom = 0;
  TDateTime InvoiceDateTo = 0;
  int32_t InvoiceNoFrom = 0;
  int32_t InvoiceNoTo = 0;
  int32_t ResetNoFrom = 0;
  int32_t ResetNoTo = 0;
  int32_t HeaderSize = 0;
  int32_t LabelSize = 0;
  int32_t DataOffset = 0;
  int32_t DataSize = 0;
  int32_t TocOffset = 0;
  int32_t TocSize = 0;
  AnsiString SignatureN;
  AnsiString SignatureNP;
};

inline constexpr int kHeaderLines = 34;

// Fills `header` from the first 34 lines of an electronic-copy file; false on any failure
// (the file cannot be opened, a line or key is missing, a number or a strict date does not convert).
bool ReadReportFileHeader(const std::filesystem::path& file, TReportFileHeader& header);
// The same over the file's text already in memory; `consumed` receives the header's length in bytes.
bool ParseReportFileHeader(std::string_view text, TReportFileHeader& header, std::size_t* consumed = nullptr);

}  // namespace quorvel
