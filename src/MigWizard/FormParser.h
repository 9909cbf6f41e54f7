// The form text parser TFormParser (unit FormParser): parses one object of a form in text form,
// from its keyword through its "end", and rebuilds it for a new component class.
//
// While it parses it keeps the header (keyword, name, class, order index), hands every top-level
// property to ConvertProperty, which emits what the new object carries instead, and keeps the
// text of every nested object as it is. BuildObjectText then writes the new object. The text
// around the object belongs to the caller.
//
// The parser predicts (see TLL1Parser::SetPredictive) and parses an object nested two or more
// levels deep once per position; both are unseen by the hooks, because parsing such an object
// calls none. A descendant that overrides ParseNonterminal must therefore only watch, never make
// a nonterminal match what the grammar would not.
#pragma once

#include <cstdint>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "MigWizard/LL1Parser.h"
#include "rtl/ClassRegistry.h"
#include "rtl/Classes.h"

namespace migwiz {

// Asked for the connection that stands for a database alias; answers nothing when none does.
using TDatabaseNameEvent = std::function<void(const std::string& propName, const std::string& value,
                                              std::string& newValue)>;

class TFormParser;

// What one top-level property of the parsed object became: the entries
// [FirstEmitted, EmittedEnd) of Properties; none when it was dropped.
struct TPropertyConversion {
  std::string Name, Value;
  int FirstEmitted = 0, EmittedEnd = 0;
  // Set where a rule took the value apart (a connection's parameters): the parts nothing took,
  // which are then what was dropped of it, instead of the whole value when nothing was emitted.
  std::optional<std::vector<std::string>> DroppedParts;
};

// The old classes the conversion rules single out, by their names as written (compared exactly).
// The product layer fills them: the engine knows no component class of its own.
struct TClassRoles {
  std::vector<std::string> Databases;      // DatabaseName defines an alias; Params.Strings log in
  std::vector<std::string> Queries;        // DataSource is the master link
  std::vector<std::string> ParamDatasets;  // ParamData is kept whatever the new class publishes

  static bool Has(const std::vector<std::string>& classes, std::string_view cls) {
    for (const std::string& c : classes)
      if (c == cls) return true;
    return false;
  }
};

class TFormParseState : public TParseState {
 public:
  explicit TFormParseState(TLL1Parser* parser = nullptr);

  // Copies every field; on the owning parser it also drops the properties and nested objects
  // beyond the copied counts, so restoring a snapshot takes back what a failed alternative
  // collected.
  void Assign(const TParseState& source) override;

  int PropCount = 0;    // entries of Properties that belong to this state
  int ItemStart = 0;    // 1-based start of the item being parsed, 0 when none
  std::string ObjType;  // as written in the form text
  std::string PropName;
  std::string Keyword;
  std::string ObjName;      // empty for an object written without a name
  std::string ObjIndex;     // the order index as written, brackets included ("[2]"); often empty
  int NestLevel = 0;        // nested objects around the parse position
  int NestedCount = 0;      // entries of NestedObjects that belong to this state
  int NestedStart = 0;      // 1-based start of the outermost nested object, 0 when none
  int ConversionCount = 0;  // entries of Conversions that belong to this state

 private:
  friend class TFormParser;
  TFormParser* owner_ = nullptr;  // where the collected lists live
  // Set by its parser, from a counter of the parser's that never repeats, whenever it changes
  // the header's four texts or the property name: two states with the same stamp hold the same
  // texts, so restoring a snapshot need not compare them. 0: unknown, compared.
  std::uint64_t headerStamp_ = 0;
  std::uint64_t propStamp_ = 0;
};

class TFormParser : public TLL1Parser {
 public:
  TFormParser();  // state class TFormParseState
  explicit TFormParser(TParseStateClass stateClass);

  rtl::TStringList NestedObjects;     // source text of each nested object, in order
  std::string NewClassName;           // empty keeps the parsed class name
  TDatabaseNameEvent OnDatabaseName;  // may be empty
  // Entry: the property name to write; Objects(i): an owned rtl::TStringList of value lines.
  rtl::TStringList Properties;
  // One entry per top-level property of the last parsed object, in source order.
  std::vector<TPropertyConversion> Conversions;
  TClassRoles ClassRoles;

  void SetNewClassName(const std::string& name) { NewClassName = name; }
  // Decides what the new object carries for one top-level property; called in source order.
  virtual void ConvertProperty(const std::string& propName, const std::string& value);
  // The rebuilt object at depth (0 for a form's own object), every line ended by CR LF; empty
  // unless the last parse succeeded. May be called more than once.
  virtual void BuildObjectText(int depth, std::string& text);
  // Forgets the collected object.
  void Reset();
  TFormParseState& FormState() { return static_cast<TFormParseState&>(State()); }

  // The value of a connection parameter in a "Params.Strings" value (a parenthesised list of
  // 'NAME=value' lines), compared without regard to case; empty when absent.
  static std::string ParamValue(std::string_view paramsValue, std::string_view name);
  // The parameter's value as a quoted literal, empty when absent or empty. The strings are read
  // whole, so a long value the form writer broke with "+" across lines stays one valid literal;
  // a list of another shape falls back to ParamValue's reading.
  static std::string ParamLiteral(std::string_view paramsValue, std::string_view name);

 protected:
  bool GetBuiltinSet(std::string_view name, TCharSet& chars, bool& single) override;
  bool ParseNonterminal(const TSymbol& symbol) override;
  void BeforeParse() override;
  void AfterParse(bool& success) override;

  // Appends a property whose value is text split into lines, and counts it in the state; the one
  // way a rule adds to the new object.
  void EmitProperty(const std::string& name, std::string_view text);
  // Emits the property with the value of a connection parameter of a "Params.Strings" value, when
  // it has a value; the parameter counts as taken either way (see DroppedParams).
  void EmitParam(const std::string& name, std::string_view paramsValue, std::string_view param);
  // Notes the parameters of the value that no EmitParam took as what was dropped of it.
  void DroppedParams(std::string_view paramsValue);

 private:
  enum ItemKind : unsigned char {
    kNone,
    kObjName,
    kObjType,
    kKeyword,
    kObjIndex,
    kFullPropName,
    kPropValue,
    kNestedObj
  };
  void AddGrammar();
  ItemKind KindOf(const TSymbol& symbol);
  void FillKinds();
  void ItemParsed(ItemKind kind);
  void NestedObjectParsed();
  // After a change of the state's header texts or of its property name.
  void StampHeader(TFormParseState& s);
  void StampProp(TFormParseState& s);
  bool ParseInnerObject(const TSymbol& symbol);
  bool PassesPropertyCheck(const std::string& propName) const;

  // How an object nested two or more levels deep parsed from a position, in this parse.
  struct InnerObject {
    bool matched = false;
    int end = 0;
    std::string entryPropName, exitPropName;
    int entryItemStart = 0, exitItemStart = 0;
  };

  std::vector<ItemKind> kinds_;  // by symbol id, filled once the grammar is prepared
  // Of the property being converted: the parameters taken, and what nothing took.
  std::vector<std::string> takenParams_;
  std::optional<std::vector<std::string>> droppedParts_;
  std::unordered_map<int, InnerObject> innerObjects_;
  bool parsed_ = false;       // the last parse succeeded
  std::uint64_t stamps_ = 0;  // the last stamp given to one of this parser's states
  // The class of NewClassName, as last looked up.
  mutable std::string newClassName_;
  mutable const rtl::TClassInfo* newClass_ = nullptr;
  mutable std::uint64_t newClassVersion_ = 0;
};

// The "form parser class" the replacer is given: a factory.
using TFormParserClass = std::function<std::unique_ptr<TFormParser>()>;

}  // namespace migwiz
