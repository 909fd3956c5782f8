#include "sim/GenerateLayout.h"

#include "base/Cp1250.h"

namespace quorvel::sim {

void AppendLabelValue(std::string& out, std::string_view label, std::string_view value, int width) {
  out.append(label);
  const std::size_t used = label.size() + value.size();
  if (used < static_cast<std::size_t>(width)) out.append(static_cast<std::size_t>(width) - used, ' ');
  out.append(value);
}

void AppendCentred(std::string& out, std::string_view text, int width) {
  const std::size_t w = static_cast<std::size_t>(width);
  if (text.size() >= w) {
    out.append(text);
    return;
  }
  const std::size_t left = (w - text.size()) / 2;
  out.append(left, ' ');
  out.append(text);
  out.append(w - text.size() - left, ' ');
}

void AppendRight(std::string& out, std::string_view text, int width) {
  if (text.size() < static_cast<std::size_t>(width)) out.append(static_cast<std::size_t>(width) - text.size(), ' ');
  out.append(text);
}

void AppendLeft(std::string& out, std::string_view text, int width) {
  out.append(text);
  if (text.size() < static_cast<std::size_t>(width)) out.append(static_cast<std::size_t>(width) - text.size(), ' ');
}

void AppendRepeat(std::string& out, char c, int width) { out.append(static_cast<std::size_t>(width), c); }

std::string CentsText(int64_t cents, char separator) {
  char buf[32];
  char* p = buf + sizeof buf;
  const bool negative = cents < 0;
  uint64_t v = negative ? static_cast<uint64_t>(-cents) : static_cast<uint64_t>(cents);
  *--p = static_cast<char>('0' + v % 10);
  v /= 10;
  *--p = static_cast<char>('0' + v % 10);
  v /= 10;
  *--p = separator;
  do {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (negative) *--p = '-';
  return std::string(p, buf + sizeof buf);
}

std::string RateText(int rate) { return CentsText(rate, '.'); }

void SplitGross(int64_t gross, int rate, int64_t& net, int64_t& vat) {
  if (!IsTaxable(rate)) {
    net = gross;
    vat = 0;
    return;
  }
  // net = gross * 100 / (rate + 100), with the rate in hundredths: gross * 10000 / (rate + 10000).
  const int64_t num = gross * 10000;
  const int64_t den = rate + 10000;
  int64_t q = num / den;
  const int64_t r = num % den;
  if (2 * r > den || (2 * r == den && (q & 1) != 0)) ++q;
  net = q;
  vat = gross - net;
}

namespace {

// A drugstore with a pharmacy counter: ordinary goods at the standard and reduced rates, medicines
// at the reduced rates, a few zero-rated items and exempt services; some names are long enough to
// need two printed lines.
const TGood kGoods[] = {
    {"Pasta do zębów miętowa 100ml"_cp, 899, 0, false},
    {"Szampon pokrzywowy 400ml"_cp, 1249, 0, false},
    {"Mydło antybakteryjne z pompką 500ml"_cp, 1099, 0, false},
    {"Krem do rąk"_cp, 699, 0, false},
    {"Chusteczki higieniczne"_cp, 349, 0, false},
    {"Płyn do soczewek kontaktowych 360ml"_cp, 2999, 0, false},
    {"Szczoteczka do zębów"_cp, 799, 0, false},
    {"Żel pod prysznic"_cp, 1149, 0, false},
    {"Pieluchy dziecięce rozm. 4, 46 szt."_cp, 4599, 0, false},
    {"Woda mineralna 1,5l"_cp, 249, 0, false},
    {"Baton zbożowy"_cp, 199, 0, false},
    {"Herbata ziołowa ekspresowa 20 torebek"_cp, 799, 0, false},
    {"Plastry opatrunkowe"_cp, 599, 1, false},
    {"Paracetamol 500mg 10 tabl."_cp, 499, 1, false},
    {"Ibuprofen 200mg 20 tabl."_cp, 899, 1, false},
    {"Syrop na kaszel 120ml"_cp, 1799, 1, false},
    {"Witamina C 1000mg 30 tabl. musujących"_cp, 1299, 1, false},
    {"Krople do nosa"_cp, 1149, 1, false},
    {"Maść rozgrzewająca"_cp, 1599, 1, false},
    {"Termometr elektroniczny"_cp, 2499, 1, false},
    {"Tabletki na gardło"_cp, 1399, 1, false},
    {"Strzykawka jednorazowa 5ml"_cp, 59, 1, false},
    {"Gaza jałowa 1m2"_cp, 399, 1, false},
    {"Zioła: rumianek luzem"_cp, 6990, 3, true},
    {"Mieszanka ziołowa na trawienie luzem"_cp, 8490, 3, true},
    {"Kasza jaglana ekologiczna"_cp, 1290, 3, true},
    {"Książka: Poradnik zdrowego żywienia"_cp, 3990, 3, false},
    {"Czasopismo Zdrowie"_cp, 690, 3, false},
    {"Ulotka informacyjna zestaw"_cp, 100, 2, false},
    {"Bon towarowy"_cp, 5000, 2, false},
    {"Pomiar ciśnienia"_cp, 500, 6, false},
    {"Pomiar poziomu cukru we krwi"_cp, 800, 6, false},
    {"Przygotowanie leku recepturowego"_cp, 1200, 6, false},
};

const TShop kShops[] = {
    {"APTEKA \"POD ORŁEM\" Sp. z o.o."_cp, "ul. Długa 15, 80-831 Gdańsk"_cp, "NIP 583-000-12-34"_cp},
    {"DROGERIA-APTEKA \"ZDRÓJ\""_cp, "ul. Kościuszki 7, 30-105 Kraków"_cp, "NIP 677-101-22-33"_cp},
    {"APTEKA ŚW. ŁUKASZA s.c."_cp, "ul. Ząbkowska 3, 03-736 Warszawa"_cp, "NIP 525-210-44-55"_cp},
};

}  // namespace

const TGood* Goods(std::size_t& count) {
  count = sizeof kGoods / sizeof kGoods[0];
  return kGoods;
}

const TShop& ShopFor(uint64_t seed) { return kShops[seed % (sizeof kShops / sizeof kShops[0])]; }

}  // namespace quorvel::sim
