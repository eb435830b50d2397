// The stored-form text: a readable, diff-friendly description of a window's components.
//
//   VRNKECFGMAIN : TVRNKECFGMAIN {      // the form: name, class
//     Width = 1157                      // one property a line
//     Caption = "Tab\tand \u4E2D"       // UTF-8 text with escapes
//     Fill.Color = #FF51513B            // colours as #AARRGGBB, dotted paths into objects
//     Bitmap = file("keyboard.png")     // a picture by file reference...
//     Glyph = png("iVBORw0K" "GgoAAA")  // ...or embedded (base64, split over strings)
//     OnClick = @BSBTNOKClick           // an event bound to a handler by name
//     Font { Family = "Sans" Size = 13 }  // a nested object property
//     Items [ { Caption = "a" } { Caption = "b" } ]  // a collection and its items
//     Label1 : TvgLabel { ... }         // an owned component, nested under its parent
//   }
//
// Nothing in the text announces a count: lists end where their bracket closes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/errors.h"

namespace tk::forms {

struct SourcePos {
  int line = 0;
  int column = 0;
  bool operator==(const SourcePos&) const = default;
};

// A parse or load error; the message starts with "file:line:column: ".
class EFormError : public rt::Exception {
 public:
  EFormError(const std::string& fileName, SourcePos pos, const std::string& message);
  const std::string& FileName() const { return fileName_; }
  SourcePos Pos() const { return pos_; }
  const std::string& Detail() const { return detail_; }

 private:
  std::string fileName_;
  SourcePos pos_;
  std::string detail_;
};

enum class ValueKind {
  String,       // text: the decoded UTF-8 string
  Number,       // text: as written ("13", "-2", "0.5")
  Identifier,   // text: True, False, an enumeration value, a component name
  Color,        // text: "#AARRGGBB" in upper case
  Handler,      // text: the handler name without '@'
  PictureFile,  // text: the file name
  PictureData,  // data: the embedded picture's bytes
};

struct FormValue {
  ValueKind kind = ValueKind::String;
  std::string text;
  std::vector<uint8_t> data;
  bool operator==(const FormValue&) const = default;
};

struct FormNode;

enum class MemberKind { Property, Object, Collection, Component };

// One line (or block) inside braces, kept in the order written.
struct FormMember {
  MemberKind kind = MemberKind::Property;
  std::string name;             // property, object or collection name; component name
  std::string className;        // Component only
  FormValue value;              // Property only
  std::vector<FormNode> nodes;  // Object and Component: one node; Collection: its items
  SourcePos pos;
  bool operator==(const FormMember& other) const;  // ignores source positions
};

struct FormNode {
  std::vector<FormMember> members;
  SourcePos pos;
  // Equality of content: source positions are ignored.
  bool operator==(const FormNode& other) const;

  // Convenience lookups for tests and tools (first match, names without regard to case).
  const FormMember* FindProperty(const std::string& name) const;
  const FormMember* FindComponent(const std::string& name) const;  // searches the whole subtree
};

// The whole description: the form's own name and class, and its body.
struct FormDocument {
  std::string name;
  std::string className;
  FormNode root;
  bool operator==(const FormDocument&) const = default;
};

// Parses a description; EFormError with file:line:column on any malformed input.
FormDocument ParseForm(const std::string& text, const std::string& fileName = "<form>");
// Reads and parses a file; EFormError naming the file when it cannot be read.
FormDocument ParseFormFile(const std::string& fileName);

// Writes a description back in the canonical layout (two-space indentation, one member a line).
std::string WriteForm(const FormDocument& doc);

// Quotes a text with the escapes the parser reads back.
std::string QuoteString(const std::string& text);

// Base64, used for embedded pictures.
std::string EncodeBase64(const std::vector<uint8_t>& data);
// Returns false on characters outside the alphabet or bad padding.
bool DecodeBase64(const std::string& text, std::vector<uint8_t>& out);

}  // namespace tk::forms
