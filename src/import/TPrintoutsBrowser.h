// The printouts browser without its window: the import request and its results, the file and
// printout lists, the periodic report with its filter and card choice, the search, and what
// printing shows. The window binds its controls to the fields below and calls the handlers.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/PrintoutIndex.h"
#include "base/UserPrompts.h"
#include "ecopy/uIDFile.h"
#include "ecopy/uReceipt.h"
#include "reports/uDailyReportFormatter.h"

namespace quorvel {

enum TSourceKind : uint8_t {
  skRegisterFiscalMemory = 0,
  skECopyDirectory = 1,
  skPrinterECopy = 2,
  skPrinterFiscalMemory = 3,
  skFiscalMemoryDirectory = 4,
  skCardDirectory = 5,
  skTaxi = 6,
  skRegisterECopy = 7,
};

inline constexpr int32_t kHighestReportNo = 2143;

class TPrintoutsBrowser;

// Status text for the caller: file name, message, retransmission count (-1 when none).
using TProgressEvent = std::function<void(TPrintoutsBrowser& owner, std::string_view fileName,
                                          std::string_view message, int count)>;
using TPositionEvent = std::function<void(TPrintoutsBrowser& owner, int position, int maximum)>;

enum class TBrowserTab { Files, RangeReport, Receipts };
enum class TViewType { FullData = 0, Summary = 1 };  // "Pełne dane", "Podsumowanie"
enum class TPrintChoice { CurrentDocument, AllDocuments, Cancel };

class TPrintoutsBrowser {
 public:
  explicit TPrintoutsBrowser(TUserPrompts& prompts);

  // ---- request fields ----
  uint8_t SourceKind = skECopyDirectory;
  std::string SourceDir;
  std::string DirectoryOverride;
  bool ByNumber = false;
  int32_t FromNo = 0;
  int32_t ToNo = 0;
  TDateTime FromDate = 0;
  TDateTime ToDate = 0;
  bool ImportAll = false;
  bool NewOnly = false;
  TProgressEvent OnProgress;
  TPositionEvent OnPosition;
  // The archive root the device directories lie under (ArchiveRoot of the configuration).
  std::string ArchiveRootDir;

  // The device parts live with the imports: the unique number of a device, and the import
  // itself. Without them a device source reports that it cannot be reached.
  std::function<AnsiString(TPrintoutsBrowser&)> DeviceUniqueNo;
  std::function<void(TPrintoutsBrowser&)> DeviceImport;

  // ---- results and owned state ----
  AnsiString UniqueNo;
  bool IsECopy = false;
  bool NewDataFound = false;
  bool KeepFirstChar = true;
  bool ResetList = true;
  bool Loading = false;
  bool Printing = false;
  TDailyReportFormatter Formatter;
  TIDFileReader CardIndex;
  TReceipt Receipt;  // the last printout the search entered
  TStringList PrintList;
  TPrintoutsSet PrintoutsSet;
  TRCPSet RCPSet;

  // ---- what the window shows ----
  AnsiString Caption = "Wydruki";
  bool CardPanelVisible = false;
  bool VerifyEnabled = false;
  bool ReceiptsTabVisible = false;
  TBrowserTab ActiveTab = TBrowserTab::Files;
  std::vector<AnsiString> DevicesCB{"Wszystkie"};
  int DevicesIndex = 0;
  std::size_t FileRow = 0;                 // current row of the file list
  TStringList PrintoutsEdit;               // the selected file
  std::size_t PrintoutsCaret = 0;          // caret position in PrintoutsEdit
  // The periodic report page.
  TViewType ViewType = TViewType::FullData;
  bool RangeByNumberSelected = true;  // "Wg Nr" (true) or "Wg Dat"
  AnsiString FromNoEd, ToNoEd;
  TDateTime FromDateEd = 0, ToDateEd = 0;
  TStringList RangeReportMemo;
  // The search page.
  AnsiString ReceiptRangeLB;
  AnsiString PrintoutNoFromEd, PrintoutNoToEd, DocNoFromEd, DocNoToEd;
  AnsiString DocTypeCB = "Wszystkie";
  AnsiString SearchTextEd, SearchPTUEd;
  bool PrintoutDateFromChecked = false, PrintoutDateToChecked = false;
  TDateTime PrintoutDateFromEd = 0, PrintoutDateToEd = 0;
  std::array<std::array<AnsiString, 2>, 12> ItemStringGrid{};
  bool CheckReceiptEnabled = false;
  std::size_t RcpRow = 0;  // current row of the printout list
  TStringList ReceiptMemo;
  int ReceiptHighlight = -1;  // index in ReceiptMemo of the line shown in red, -1 for none
  int ReceiptScroll = 0;      // lines the view is scrolled down by

  // ---- operations ----
  // Performs the request; errors reach the caller, Loading is cleared in every case.
  void LoadSource();
  void QueryUniqueNo();
  void NewDataRange();
  bool UserBreak();
  std::string DeviceDirectory(std::string_view deviceName, bool isECopy, bool keepFirstChar) const;
  int32_t ListArchiveFiles(int32_t from, int32_t to, std::string_view deviceName);

  // The periodic report over the file list (after an electronic-copy source or a card choice).
  void RangeReport();
  // "Filtruj" (also when the view type changes).
  void Filter();
  // The card list changed to `index` (0 "Wszystkie", k "Karta nr k").
  void CardChanged(int index);
  // The warnings for a filter range: two lines per other card that holds part of it.
  TStringList CardWarnings(bool byNumber, int32_t fromNo, int32_t toNo, TDateTime fromDate, TDateTime toDate) const;
  // Fills DevicesCB from CardIndex: "Wszystkie", then "Karta nr 1", "Karta nr 2", ...
  void FillCardList();
  // "Zapisz": writes the report page to `file`; false (with the message shown) on failure.
  bool SaveReportEnabled() const { return RangeReportMemo.size() > 1; }
  bool SaveReport(const std::string& file);
  // "Szukaj".
  void Search();
  TSearchRec SearchCriteria() const;

  // The current row of either list changed.
  void ShowFile(std::size_t row);
  void ShowPrintout(std::size_t row);

  // What printing shows for the active tab; none is nullopt. For the search tab the caller
  // asks "Wybór wydruku" first and passes the answer.
  std::optional<TStringList> CurrentViewLines(TPrintChoice choice = TPrintChoice::Cancel);
  AnsiString CurrentViewTitle() const;

  TUserPrompts& Prompts() { return prompts_; }

  // The end of a device's fiscal-memory import into `deviceDir` (with its separator): the daily
  // texts and range.txt from the formatter's records, the report page, and device.xml from what
  // the formatter learnt of the device.
  void FinishFiscalMemoryImport(const std::string& deviceDir);

 private:
  void LoadFiscalMemoryDirectory();
  void Progress(std::string_view fileName, std::string_view message);
  void LoadRangeFile();

  TUserPrompts& prompts_;
};

}  // namespace quorvel
