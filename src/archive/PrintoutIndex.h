// The printout index: the file list and the printout list of the browser (in-memory tables
// with the system's field names), the loaders that fill the file list from a directory, the
// search over the file list, and the display filter of printout lines.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "archive/PrintoutScanner.h"
#include "base/Cp1250.h"
#include "base/DateTime.h"
#include "base/UserPrompts.h"

namespace quorvel {

struct TReportFileHeader;

enum class TFieldType { Integer, Date, Text };

struct TFieldDef {
  std::string_view Name;
  TFieldType Type;
  std::size_t Size;  // the longest text the grid is meant for (0 for numbers and dates)
};

using TFieldValue = std::variant<int32_t, TDateTime, AnsiString>;

// A row of the file list.
struct TPrintoutsSetRow {
  int32_t PrintoutNo = 0;
  TDateTime Date = 0;
  AnsiString File;

  static const std::vector<TFieldDef>& Fields();
  TFieldValue Value(std::size_t field) const;
  static int Compare(const TPrintoutsSetRow& a, const TPrintoutsSetRow& b, std::size_t field);
};

// A row of the printout list.
struct TRCPSetRow {
  int32_t PrintoutNo = 0;
  int32_t RCPNo = 0;
  AnsiString Type;
  TDateTime Date = 0;
  AnsiString File;
  int32_t StartLine = 0;
  int32_t EndLine = 0;
  int32_t Line = 0;

  static const std::vector<TFieldDef>& Fields();
  TFieldValue Value(std::size_t field) const;
  static int Compare(const TRCPSetRow& a, const TRCPSetRow& b, std::size_t field);
};

// An in-memory table: rows in order, fields by name (without regard to letter case), sorting
// on one column with texts compared without regard to letter case.
template <class TRow>
class TMemTable {
 public:
  void Clear() { rows_.clear(); }
  void Append(TRow row) { rows_.push_back(std::move(row)); }
  std::size_t RecordCount() const { return rows_.size(); }
  bool IsEmpty() const { return rows_.empty(); }
  const TRow& operator[](std::size_t i) const { return rows_[i]; }
  TRow& operator[](std::size_t i) { return rows_[i]; }
  const std::vector<TRow>& Rows() const { return rows_; }
  auto begin() const { return rows_.begin(); }
  auto end() const { return rows_.end(); }

  static const std::vector<TFieldDef>& Fields() { return TRow::Fields(); }
  // -1 when the table has no such field.
  static int FieldIndex(std::string_view name);
  // Raises EQuorvelError for an unknown field.
  TFieldValue FieldValue(std::size_t row, std::string_view field) const;
  // Stable sort on one column; raises EQuorvelError for an unknown field.
  void SortBy(std::string_view field, bool ascending = true);

 private:
  std::vector<TRow> rows_;
};

using TPrintoutsSet = TMemTable<TPrintoutsSetRow>;
using TRCPSet = TMemTable<TRCPSetRow>;

// The progress callback of the loaders: each file name, then "Koniec".
using TProgressFn = std::function<void(std::string_view message)>;

// The number of an electronic-copy file: the first four characters of its name as an
// integer; 0 when they do not convert or are not above 0 (such files are skipped).
int32_t FileNameNumber(const std::filesystem::path& file);
// The file's last-write time as a date-time value (0 when it cannot be had).
TDateTime FileDate(const std::filesystem::path& file);

// Rebuilds the file list from "????.txt" in `deviceDir` and its group folders: rows for the
// numbers from..to. Returns the highest number over all files found; leaves the list as it was
// (and returns 0) when nothing is found.
int32_t ListArchiveFiles(TPrintoutsSet& set, const std::filesystem::path& deviceDir, int32_t from, int32_t to);
// The same for a device of the archive: blanks are removed from the name and the device
// directory is formed (and created) as DeviceDirectory does.
int32_t ListArchiveFiles(TPrintoutsSet& set, std::string_view archiveRoot, std::string_view directoryOverride,
                         std::string_view deviceName, bool isECopy, bool keepFirstChar, int32_t from, int32_t to);

// An electronic-copy directory opened in place. Before each file the Escape key is looked at;
// "Czy przerwac odczyt?" answered Yes stops the loading (the function then returns false).
bool LoadECopyDirectory(TPrintoutsSet& set, const std::filesystem::path& dir, TUserPrompts& prompts,
                        const TProgressFn& progress = {}, int32_t from = 0,
                        int32_t to = std::numeric_limits<int32_t>::max());

// A device directory of a memory card: each file is copied to the top of `archiveDeviceDir`
// and the row names the copy. A copy that would replace an archived file by a shorter one, or a
// readable header by a broken one, is asked about first (default: keep the archived file).
bool LoadMemoryCardDirectory(TPrintoutsSet& set, const std::filesystem::path& cardDir,
                             const std::filesystem::path& archiveDeviceDir, TUserPrompts& prompts,
                             const TProgressFn& progress = {});
// The device name of a card's device directory: its name with the "." removed.
AnsiString CardDeviceName(const std::filesystem::path& cardDir);

// True when every range criterion that is set overlaps the header's range.
bool HeaderAdmits(const TReportFileHeader& header, const TSearchRec& criteria);

// The browser's callback: one row of the printout list.
void AddPrintoutRow(TRCPSet& set, const TRcpData& record, int32_t line);

// The search over the file list: each file whose header reads and admits the criteria is
// scanned; rows go to `rcp` (which is not emptied first). Returns false when the user stopped it
// with Escape. A scan error reaches the caller; the rows found before it stay.
bool SearchPrintouts(const TPrintoutsSet& files, const TSearchRec& criteria, TRCPSet& rcp, TUserPrompts& prompts,
                     TPrintoutSink* receipt = nullptr, const TProgressFn& progress = {});

// The display form of a printout line: the device's marker characters become blanks, and a
// line that holds "‡" from its second character on becomes all blanks.
AnsiString DisplayLine(std::string_view line);

// Appends the lines StartLine..EndLine of the row's file through DisplayLine; nothing when the
// bounds do not fit the file.
void PrintoutLines(const TRCPSetRow& row, std::vector<AnsiString>& target);

// The question asked when Escape was pressed during a long loop over files: true to stop.
bool AskStopReading(TUserPrompts& prompts);

}  // namespace quorvel
