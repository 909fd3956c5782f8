#include "archive/uXML.h"

#include <sstream>

#include "base/Amount.h"
#include "base/Errors.h"
#include "base/FileUtils.h"
#include "base/TextUtils.h"

namespace quorvel {

TXML::TXML(std::string_view rootName) : rootName_(rootName) {
  doc_.append_child(rootName_.c_str());
}

pugi::xml_node TXML::Root() const { return doc_.document_element(); }

pugi::xml_attribute TXML::Attribute(std::string_view name) {
  pugi::xml_node root = Root();
  const std::string n(name);
  pugi::xml_attribute a = root.attribute(n.c_str());
  return a ? a : root.append_attribute(n.c_str());
}

void TXML::SetValue(std::string_view name, std::string_view value) {
  Attribute(name).set_value(Cp1250ToUtf8(value).c_str());
}

void TXML::SetValue(std::string_view name, int value) { Attribute(name).set_value(Format("%d", value).c_str()); }

void TXML::SetValue(std::string_view name, bool value) { Attribute(name).set_value(value ? "true" : "false"); }

void TXML::SetValue(std::string_view name, double value) { Attribute(name).set_value(FloatToStr(value).c_str()); }

bool TXML::HasValue(std::string_view name) const { return Root().attribute(std::string(name).c_str()); }

AnsiString TXML::GetValue(std::string_view name, std::string_view def) const {
  const pugi::xml_attribute a = Root().attribute(std::string(name).c_str());
  return a ? Utf8ToCp1250(a.value()) : AnsiString(def);
}

int TXML::GetValue(std::string_view name, int def) const {
  const pugi::xml_attribute a = Root().attribute(std::string(name).c_str());
  if (!a) return def;
  int32_t v = 0;
  if (!TryStrToInt(TrimView(a.value()), v))
    throw EConvertError("'" + Utf8ToCp1250(a.value()) + "' nie jest poprawną liczbą całkowitą"_cp);
  return v;
}

bool TXML::GetValue(std::string_view name, bool def) const {
  const pugi::xml_attribute a = Root().attribute(std::string(name).c_str());
  if (!a) return def;
  const std::string_view v = TrimView(a.value());
  if (SameText(v, "true")) return true;
  if (SameText(v, "false")) return false;
  int32_t n = 0;
  if (TryStrToInt(v, n)) return n != 0;
  throw EConvertError("'" + Utf8ToCp1250(a.value()) + "' nie jest poprawną wartością logiczną"_cp);
}

double TXML::GetValue(std::string_view name, double def) const {
  const pugi::xml_attribute a = Root().attribute(std::string(name).c_str());
  if (!a) return def;
  double v = 0;
  if (!TryStrToFloat(a.value(), v))
    throw EConvertError("'" + Utf8ToCp1250(a.value()) + "' nie jest poprawną liczbą"_cp);
  return v;
}

bool TXML::LoadFromFile(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return false;
  pugi::xml_document loaded;
  if (!loaded.load_file(file.c_str()) || !loaded.document_element()) return false;
  doc_.reset(loaded);
  return true;
}

std::string TXML::ToString() const {
  pugi::xml_document out;
  pugi::xml_node decl = out.append_child(pugi::node_declaration);
  decl.append_attribute("version") = "1.0";
  for (pugi::xml_node n = doc_.first_child(); n; n = n.next_sibling())
    if (n.type() != pugi::node_declaration) out.append_copy(n);
  std::ostringstream s;
  out.save(s, "  ", pugi::format_default | pugi::format_no_declaration);
  return s.str();
}

bool TXML::SaveToFile(const std::filesystem::path& file) const {
  try {
    WriteFileAtomic(file, ToString());
    return true;
  } catch (const EQuorvelError&) {
    return false;
  }
}

}  // namespace quorvel
