#include "links/R5ErrorCodes.h"

#include "base/TextUtils.h"

namespace quorvel {

namespace {

struct TErrorEntry {
  std::string_view Code;
  std::string_view Text;
};

// The texts are the register's vocabulary and stay as the register family writes them: some
// carry a literal backslash and "n" where the register's display breaks the line, and a few
// keep their spelling.
constexpr TErrorEntry kErrors[] = {
    {"01", "Błędny typ zadania"_cp},
    {"02", "Błędny typ transmisji"_cp},
    {"03", "Błędne numery początkowy lub końcowy"_cp},
    {"04", "Napotkano znak nie reprezentujący cyfry w wartości ceny, kodu bądź opcji"_cp},
    {"05", "Napotkano niedozwolony znak w nazwie lub tekście"_cp},
    {"06", "Urządzenie już w trybie fiskalnym"_cp},
    {"07", "Błędne określenie numeru, wartości liczby lub zły kod zadania"_cp},
    {"08", "Pozycja do usunięcia lub zmiany nie istnieje, błąd kodu lub numeru"_cp},
    {"09", "Błędna stawka PTU"_cp},
    {"0A", "Błędny znak reprezentujący precyzję lub którąś z flag"_cp},
    {"0B", "Błędny indeks w tablicy (HALO lub Opakowań)"_cp},
    {"0C", "Data lub czas formalnie niepoprawny"_cp},
    {"0D", "Niewłaściwy tryb pracy - zmień tryb. W kasach VX5100 oraz Solvik należy wyjść z menu."_cp},
    {"0E", "Błąd wewnętrzny."_cp},
    {"0F", "Niezerowe totalizery sprzedaży lub totalizery fiskalne"_cp},
    {"10", "Przekroczony limit programowania"_cp},
    {"11", "Próba zmiany nazwy, stawki PTU, flagi, tandemu lub precyzji w otwartym paragonie"_cp},
    {"13", "Błędny typ zadania"_cp},
    {"14", "Nie zaprogramowany numer unikatowy"_cp},
    {"15", "Zbyt duża liczba (max 21474836,39)"_cp},
    {"16", "Błąd zapisu do pamięci fiskalnej"_cp},
    {"17", "Brak papieru"_cp},
    {"18", "Baza towarów pełna"_cp},
    {"19", "Błąd ustawień flagi opakowania"_cp},
    {"1A", "Błąd wagi lub błędna konfiguracja wagi"_cp},
    {"1B", "Błąd terminala płatniczego"_cp},
    {"1C", "Błąd modemu lub nieprawidłowa konfiguracja modemu"_cp},
    {"1D", "Baza jednostek sprzedaży jest pełna"_cp},
    {"1E", "Błędny indeks jednostki miar lub nie zaprogramowana jednostka miar"_cp},
    {"20", "Towar w polu opakowanie nie istnieje"_cp},
    {"21", "Błąd struktury bazy PLU - należy wyzerować bazę"_cp},
    {"22", "Błąd sprzętowy pamięci FLASH"_cp},
    {"23", "Zbyt wiele połączeń między towarami (opakowań)"_cp},
    {"24", "Brak papieru lub błąd mechanizmu drukującego"_cp},
    {"25", "Błąd zegara systemowego"_cp},
    {"26", "Błąd pamięci RAM modułu fiskalnego"_cp},
    {"27", "Zbyt wiele opakowań"_cp},
    {"28", "Identyczne stawki już zaprogramowane"_cp},
    {"29", "Niezdefiniowana rola kasjera"_cp},
    {"2A", "Numer wydruku poza zakresem"_cp},
    {"2B", "Bufor paragonów on-line jest pusty"_cp},
    {"2C", "koniec bufora on-line"_cp},
    {"2D", "Wymagane logowanie"_cp},
    {"2E", "Błędne logowanie"_cp},
    {"2F", "Przepełnienie bufora list"_cp},
    {"30", "Zbyt wiele kodów dowiązanych"_cp},
    {"31", "Nie zaprogramowana lista towarów"_cp},
    {"32", "Błędny kod dowiązany"_cp},
    {"33", "Złe ustawienie mapy portów komunikacyjnych"_cp},
    {"52", "Otwarty paragon"_cp},
    {"59", "Błędna suma kontrolna ramu"_cp},
    {"5F", "Brak numeru unikatowego"_cp},
    {"6F", "Rozkaz zakazany w tym trybie"_cp},
    {"83", "Operacja zabroniona"_cp},
    {"89", "Błędna definicja karty rabatowej"_cp},
    {"96", "Trwa raport zmian towarów"_cp},
    {"97", "Brak prawa do komunikacji"_cp},
    {"9B", "Wymagane jest wydrukowanie zmian w bazie."_cp},
    {"9C", "Trwa komunikacja z PC"_cp},
    {"9D", "Maksymalna sprzedaż przekroczona"_cp},
    {"9E", "Błąd sumy kontrolnej Pamięci niefiskalnej"_cp},
    {"9F", "Błąd sumy kontrolnej sprzedaży godzinnej"_cp},
    {"A0", "Błąd sumy kontrolnej bazy paragonów"_cp},
    {"A1", "Błąd sumy kontrolnej list towarów"_cp},
    {"A2", "Błąd sumy kontrolnej kodów dowiązanych"_cp},
    {"A3", "Błąd sumy kontrolnej pamięci za wyjątkiem bazy towarów"_cp},
    {"A4", "Reszta tylko w gotówce"_cp},
    {"A5", "Paragon nie ma pozycji"_cp},
    {"A6", "Błędne menu podręczne"_cp},
    {"A7", "Zmiana precyzji zabroniona"_cp},
    {"A8", "Operacja tworzenia kopii zapasowej zakończyła się niepowodzeniem"_cp},
    {"A9", "Błędna suma kontrolna kopii zapasowej bazy paragonów"_cp},
    {"AA", "Kopia zapasowa uszkodzona"_cp},
    {"AB", "Odtwarzanie kopii zapasowej bazy paragonów zakończyło się niepowodzeniem"_cp},
    {"AC", "Kopia zapasowa bazy paragonów uszkodzona"_cp},
    {"AD", "Kopia zapasowa bazy towarów uszkodzona"_cp},
    {"AE", "Kopia zapasowa kodów dowiązanych uszkodzona"_cp},
    {"B1", "Kod towaru wymagany"_cp},
    {"B7", "Niezaprogramowa-\\nny zegar"_cp},
    {"B8", "Błąd transmisji"_cp},
    {"B9", "Błędna ilość parametrów"_cp},
    {"BA", "Błąd parametru"_cp},
    {"BB", "Błąd zegara"_cp},
    {"BC", "Błąd modułu fiskalnego"_cp},
    {"BD", "Błąd daty"_cp},
    {"BE", "Sprzedaż musi\\nbyć zerowa"_cp},
    {"BF", "Błąd operacji I/O"_cp},
    {"C0", "Niedozwolona zmiana czasu"_cp},
    {"C1", "Zła ilość stawek PTU"_cp},
    {"C2", "Błąd nagłówka"_cp},
    {"C3", "Refiskalizacja niedozwolona"_cp},
    {"C4", "Zmiana nagłówka\\nniedozwolona"_cp},
    {"C5", "Błąd tekstu paragonu"_cp},
    {"C6", "Błąd nazwy towaru"_cp},
    {"C7", "Błąd ilości\\ntowaru"_cp},
    {"C8", "Błąd stawki PTU towaru"_cp},
    {"C9", "Błąd ceny towaru"_cp},
    {"CA", "Błąd wartości towaru"_cp},
    {"CB", "Wyłączony tryb transakcji"_cp},
    {"CC", "Błąd operacji STORNO"_cp},
    {"F1", "Istnieją niezamknięte zmiany kasjerów!"_cp},
    {"F2", "MenadSer FTP aktywny"_cp},
    {"F3", "Programowanie dozwolone tylko z FTP"_cp},
    {"F4", "Błąd komunikacji z serwerem FTP"_cp},
    {"F5", "Błąd logowania do serwera FTP"_cp},
    {"F6", "Nieprawidłowy serwer FTP"_cp},
    {"F7", "Konfiguracja FTP nieprawidłowa"_cp},
    {"F8", "Brak dostępu do pliku z FTP"_cp},
    {"F9", "Modem juS połączony!"_cp},
    {"FA", "Przekroczony poziom bufora online"_cp},
    {"FB", "Kolejka nadawcza PP1 przepełniona"_cp},
    {"FD", "Kolejka nadawcza PP2 przepełniona"_cp},
    {"FE", "Kolejka nadawcza PP3m przepełniona"_cp},
    {"FF", "Operacja anulowana przez kasę"_cp},
};

}  // namespace

std::string_view R5ErrorText(std::string_view code) {
  const AnsiString upper = AnsiUpperCase(code);
  for (const auto& e : kErrors)
    if (e.Code == upper) return e.Text;
  return "Nieznany błąd"_cp;
}

}  // namespace quorvel
