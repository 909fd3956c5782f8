#include <filesystem>
#include <limits>

#include "archive/PrintoutIndex.h"
#include "base/Errors.h"
#include "base/TextUtils.h"
#include "cli/Commands.h"
#include "cli/ProgressOutput.h"
#include "cli/SearchOptions.h"

namespace quorvel::cli {

namespace {

void WriteRows(const TRCPSet& rcp, std::size_t from, bool asJson, TCliContext& ctx) {
  for (std::size_t i = from; i < rcp.RecordCount(); ++i) {
    const TRCPSetRow& r = rcp[i];
    if (asJson) {
      WriteJsonLine(ctx.Out, {{"PrintoutNo", r.PrintoutNo},
                              {"RCPNo", r.RCPNo},
                              {"Type", JsonText(r.Type)},
                              {"Date", JsonDate(r.Date)},
                              {"File", r.File},
                              {"StartLine", r.StartLine},
                              {"EndLine", r.EndLine},
                              {"Line", r.Line}});
    } else {
      ctx.Out << r.PrintoutNo << '\t' << r.RCPNo << '\t' << Cp1250ToUtf8(r.Type) << '\t'
              << (r.Date == 0 ? "" : ShortDateStr(r.Date)) << '\t' << r.File << '\t' << r.StartLine << '\t'
              << r.EndLine << '\t' << r.Line << '\n';
    }
  }
}

}  // namespace

// The printout search over the electronic-copy files of a directory.
int CmdSearch(const std::vector<std::string>& args, TCliContext& ctx) {
  TArgs a(args, {QUORVEL_SEARCH_OPTIONS, {"json", 0}});
  const std::string& dir = a.Required(0, "DIR");
  a.ExpectAtMost(1);
  const TSearchRec criteria = SearchCriteria(a);
  const bool asJson = a.Flag("json");
  if (!std::filesystem::is_directory(PathArg(dir)))
    throw EQuorvelError("Nie ma katalogu "_cp + Utf8ToCp1250(dir));
  TPrintoutsSet files;
  if (!LoadECopyDirectory(files, PathArg(dir), ctx.Prompts, {}))
    throw EQuorvelError("Odczyt przerwany przez użytkownika"_cp.data());
  TRCPSet rcp;
  bool completed = false;
  try {
    completed = SearchPrintouts(files, criteria, rcp, ctx.Prompts, nullptr, MakeProgress(ctx));
  } catch (const EQuorvelError&) {
    WriteRows(rcp, 0, asJson, ctx);  // the rows found before the error stay
    throw;
  }
  WriteRows(rcp, 0, asJson, ctx);
  if (!completed) throw EQuorvelError("Odczyt przerwany przez użytkownika"_cp.data());
  if (rcp.IsEmpty() && !ctx.Quiet)
    WriteLine(ctx.Err, "Nie znaleziono "_cp + AnsiString(criteria.DocKind == kPrintoutInvoice ? "faktur" : "paragonów"_cp) +
                           " spełniających zadane kryteria"_cp);
  return 0;
}

}  // namespace quorvel::cli
