// A small wrapper over one XML document with one root element whose attributes hold values:
// the form of "config.xml" and "device.xml".
#pragma once

#include <filesystem>
#include <pugixml.hpp>
#include <string>
#include <string_view>

#include "base/Cp1250.h"

namespace quorvel {

class TXML {
 public:
  // A new, empty document of version "1.0" whose root element is `rootName`.
  explicit TXML(std::string_view rootName);

  // Texts are Windows-1250 inside the program and UTF-8 in the file.
  void SetValue(std::string_view name, std::string_view value);
  void SetValue(std::string_view name, const char* value) { SetValue(name, std::string_view(value)); }
  void SetValue(std::string_view name, int value);
  void SetValue(std::string_view name, bool value);
  void SetValue(std::string_view name, double value);

  bool HasValue(std::string_view name) const;
  // The attribute, or `def` when the root has none. A present value that does not convert to
  // the type raises EConvertError.
  AnsiString GetValue(std::string_view name, std::string_view def) const;
  AnsiString GetValue(std::string_view name, const char* def) const { return GetValue(name, std::string_view(def)); }
  int GetValue(std::string_view name, int def) const;
  bool GetValue(std::string_view name, bool def) const;
  double GetValue(std::string_view name, double def) const;

  // Replaces the document by the file's content; false when the file does not exist or does not read.
  bool LoadFromFile(const std::filesystem::path& file);
  // Creates the file's folders and writes the document (never half-written); false on failure.
  bool SaveToFile(const std::filesystem::path& file) const;
  std::string ToString() const;

 private:
  pugi::xml_node Root() const;
  pugi::xml_attribute Attribute(std::string_view name);

  std::string rootName_;
  pugi::xml_document doc_;
};

}  // namespace quorvel
