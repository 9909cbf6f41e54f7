// The Kyzel form parser: the product's own property rules on top of the BDE conversion.
#pragma once

#include <string>
#include <string_view>

#include "MigWizard/FormParser.h"

namespace ky {

class TKyFormParser : public migwiz::TFormParser {
 public:
  // Registers the product classes too, so the published-property check never runs without them.
  TKyFormParser();

  // A TDatabase's "DATABASE NAME" parameter becomes Database and its TransIsolation becomes
  // IsolationLevel; everything else goes to the BDE rules.
  void ConvertProperty(const std::string& propName, const std::string& value) override;
};

// The form parser class the product hands to the replacer.
migwiz::TFormParserClass KyFormParserClass();

}  // namespace ky
