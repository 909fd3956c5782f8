// `report fm DIR` and `report ecopy DIR`: a directory opened and filtered as the browser does,
// and its periodic report printed.
#include <filesystem>

#include "archive/QVDDeviceInfo.h"
#include "archive/uConfig.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "cli/Commands.h"
#include "import/TPrintoutsBrowser.h"

namespace quorvel::cli {

namespace {

TDateTime DateArg(const std::string& text) {
  TDateTime d = 0;
  if (text.size() != 10 || !TryParseDmy(text, d)) throw TUsageError("niepoprawna data (dd-mm-yyyy): " + text);
  return d;
}

void LoadCards(TPrintoutsBrowser& b, const std::filesystem::path& dir) {
  std::filesystem::path history = dir / "idhist.txt";
  if (!std::filesystem::exists(history))
    history = std::filesystem::path(b.DeviceDirectory(b.UniqueNo, true, b.KeepFirstChar)) / "idhist.txt";
  if (!b.CardIndex.LoadFromFile(history, false))
    throw EQuorvelError("Nie można odczytać historii kart "_cp + Utf8ToCp1250(history.string()));
  b.FillCardList();
}

}  // namespace

int CmdReport(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {{"summary", 0}, {"card", 1}, {"numbers", 2}, {"dates", 2}, {"new", 0}, {"all", 0}});
  const std::string& kind = a.Required(0, "fm|ecopy");
  const std::string dir = PathArg(a.Required(1, "DIR"));
  a.ExpectAtMost(2);
  if (kind != "fm" && kind != "ecopy") throw TUsageError("nieznany rodzaj danych: " + kind + " (fm albo ecopy)");
  const std::optional<int> card = a.IntOption("card");
  if (card && kind != "ecopy") throw TUsageError("--card dotyczy tylko kopii elektronicznej (report ecopy)");
  const auto numbers = a.Values("numbers");
  const auto dates = a.Values("dates");
  if (!numbers.empty() && !dates.empty()) throw TUsageError("podaj --numbers albo --dates");
  int32_t from = 0, to = 0;
  if (!numbers.empty() && (!TryStrToInt(numbers[0], from) || !TryStrToInt(numbers[1], to)))
    throw TUsageError("--numbers wymaga dwóch liczb");
  TDateTime fromDate = 0, toDate = 0;
  if (!dates.empty()) {
    fromDate = DateArg(dates[0]);
    toDate = DateArg(dates[1]);
  }
  if (!std::filesystem::is_directory(dir)) throw EQuorvelError("Brak katalogu "_cp + Utf8ToCp1250(dir));

  TConfig config;
  config.Load();
  TPrintoutsBrowser b(ctx.Prompts);
  b.ArchiveRootDir = ArchiveRoot(config);
  b.SourceKind = kind == "fm" ? skFiscalMemoryDirectory : skECopyDirectory;
  b.SourceDir = dir;
  b.ViewType = a.Flag("summary") ? TViewType::Summary : TViewType::FullData;
  b.LoadSource();

  if (card) {
    LoadCards(b, dir);
    if (*card < 1 || *card >= static_cast<int>(b.DevicesCB.size()))
      throw TUsageError(Format("karta %d nie istnieje (historia zna %d)", *card, b.CardIndex.Count()));
    b.CardChanged(*card);
  }
  if (!numbers.empty()) {
    b.RangeByNumberSelected = true;
    b.FromNoEd = std::to_string(from);
    b.ToNoEd = std::to_string(to);
    b.Filter();
  } else if (!dates.empty()) {
    b.RangeByNumberSelected = false;
    b.FromDateEd = fromDate;
    b.ToDateEd = toDate;
    b.Filter();
  }

  if (b.RangeReportMemo.empty()) {
    if (!ctx.Quiet) WriteLine(ctx.Err, "Brak plików raportów w katalogu "_cp + Utf8ToCp1250(dir));
    return 0;
  }
  for (const auto& line : b.RangeReportMemo) WriteLine(ctx, line);
  return 0;
}

}  // namespace quorvel::cli
