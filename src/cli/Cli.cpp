#include "cli/Cli.h"

#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "base/Cp1250.h"
#include "base/Errors.h"
#include "cli/Commands.h"
#include "cli/TerminalPrompts.h"

namespace quorvel::cli {

namespace {

struct TCommandEntry {
  const char* Name;
  TCommandFn Fn;
  const char* Usage;
  const char* Summary;
};

// One line per command.
const TCommandEntry kCommands[] = {
    {"config", CmdConfig, "config", "ścieżka config.xml i jego wartości"},
    {"header", CmdHeader, "header FILE [--json]", "nagłówek pliku kopii elektronicznej"},
    {"record", CmdRecord, "record FILE [--json]", "pola pliku rekordu .fmr"},
    {"extract", CmdExtract, "extract FILE [--json] [--not-first]", "rekordy odczytane z raportu dobowego kopii elektronicznej"},
    {"cards", CmdCards, "cards FILE [--append FILE2] [--json]", "nośniki z pliku historii kart (idhist.txt, id.txt)"},
    {"inventory", CmdInventory,
     "inventory DIR [--printout-from N] [--printout-to N] [--doc-from N] [--doc-to N] [--type T] [--text TEKST]\n"
     "          [--tax-letter L] [--date-from dd-mm-yyyy] [--date-to dd-mm-yyyy] [--item NAZWA[:LITERA]]...",
     "lista towarów (\"Lista Towarów\") z wydruków znalezionych według kryteriów"},
    {"report", CmdReport, "report fm|ecopy DIR [--numbers A B|--dates D1 D2|--new|--all] [--summary] [--card K]", "raport okresowy katalogu pamięci fiskalnej lub kopii elektronicznej"},
    {"ls", CmdLs, "ls DIR [--numbers A B] [--json]", "lista plików katalogu kopii elektronicznej"},
    {"search", CmdSearch, "search DIR [--printout-from N] [--printout-to N] [--doc-from N] [--doc-to N] [--type paragon|faktura|apteczny|paragony|wszystkie] [--text TEKST] [--tax-letter L] [--date-from dd-mm-yyyy] [--date-to dd-mm-yyyy] [--item NAZWA[:LITERA]]... [--json]", "wyszukiwanie wydruków w plikach kopii elektronicznej"},
    {"show", CmdShow, "show FILE START END", "wiersze START..END pliku (od 0) w postaci do wyświetlenia"},
    {"receipt", CmdReceipt, "receipt FILE PRINTOUTNO [--json]", "paragon lub faktura z wydruku i tekst do weryfikacji"},
    {"printer", CmdPrinter, "printer info --port P [--json] | printer download --port P NAME OUT [--baud N] [--timeout MS]", "numer unikatowy, wersja i bajt statusu drukarki; pobranie pliku kopii elektronicznej"},
    {"import", CmdImport, "import --device printer|register|taxi|card --data ecopy|fm --port P [--numbers A B|--dates D1 D2|--new|--all] [--other-device UNIQUE] [--source DIR] [--summary] [--baud N] [--timeout MS] [--packet-wait MS]", "import z urządzenia do archiwum i raport okresowy"},
    {"watch", CmdWatch, "watch [--port P] [--interval S] [--ticks N|--once] [--baud N] [--timeout MS]", "automatyczne pobieranie nowych danych według konfiguracji, do przerwania (Ctrl-C)"},
    {"register", CmdRegister, "register info --port P [--json] [--baud N] [--read-timeout MS] [--silence-wait MS] [--reply-timeout MS]", "numer unikatowy, model i NIP kasy"},
};

const TCommandEntry* FindCommand(const std::string& name) {
  for (const auto& c : kCommands)
    if (name == c.Name) return &c;
  return nullptr;
}

void PrintHelp(std::ostream& out) {
  out << "quorvel-cli: przeglądarka archiwum urządzeń fiskalnych\n\n"
         "Użycie: quorvel-cli POLECENIE [ARGUMENTY] [--yes|--no] [--quiet]\n\nPolecenia:\n";
  for (const auto& c : kCommands) out << "  " << c.Usage << "\n      " << c.Summary << "\n";
  out << "\nquorvel-cli help POLECENIE opisuje jedno polecenie.\n";
}

}  // namespace

int Main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::optional<bool> forced;
  bool quiet = false;
  std::vector<std::string> rest;
  for (const auto& a : args) {
    if (a == "--yes") forced = true;
    else if (a == "--no") forced = false;
    else if (a == "--quiet") quiet = true;
    else rest.push_back(a);
  }
  if (rest.empty() || rest[0] == "help" || rest[0] == "--help" || rest[0] == "-h") {
    if (rest.size() >= 2) {
      if (const auto* c = FindCommand(rest[1])) {
        std::cout << "Użycie: quorvel-cli " << c->Usage << "\n" << c->Summary << "\n";
        return 0;
      }
    }
    PrintHelp(rest.empty() ? std::cerr : std::cout);
    return rest.empty() ? 2 : 0;
  }
  const TCommandEntry* cmd = FindCommand(rest[0]);
  if (!cmd) {
    std::cerr << "quorvel-cli: nieznane polecenie " << rest[0] << "\n";
    PrintHelp(std::cerr);
    return 2;
  }
  std::vector<std::string> cmdArgs(rest.begin() + 1, rest.end());
  for (const auto& a : cmdArgs) {
    if (a == "--help" || a == "-h") {
      std::cout << "Użycie: quorvel-cli " << cmd->Usage << "\n" << cmd->Summary << "\n";
      return 0;
    }
  }
  TTerminalPrompts prompts(forced, quiet);
  TCliContext ctx{std::cout, std::cerr, prompts, quiet, ::isatty(STDERR_FILENO) != 0};
  try {
    const int rc = cmd->Fn(cmdArgs, ctx);
    std::cout.flush();
    return rc;
  } catch (const TUsageError& e) {
    std::cerr << "quorvel-cli " << cmd->Name << ": " << e.what() << "\nUżycie: quorvel-cli " << cmd->Usage << "\n";
    return 2;
  } catch (const EQuorvelError& e) {
    std::cout.flush();
    std::cerr << Cp1250ToUtf8(e.what()) << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cout.flush();
    std::cerr << Cp1250ToUtf8(e.what()) << "\n";
    return 1;
  }
}

}  // namespace quorvel::cli
