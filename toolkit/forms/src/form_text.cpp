#include "toolkit/forms/form_text.h"

#include <fstream>
#include <sstream>

#include "runtime/text.h"

namespace tk::forms {

namespace {

constexpr int kMaxDepth = 64;

std::string PosText(const std::string& fileName, SourcePos pos) {
  return rt::Format("%s:%d:%d: ", fileName.c_str(), pos.line, pos.column);
}

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Length of the well-formed UTF-8 sequence at s[i], or 0 when it is malformed
// (overlong forms, surrogates and values above U+10FFFF are malformed).
size_t Utf8SequenceLength(const std::string& s, size_t i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return 1;
  size_t len;
  uint32_t cp;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
  if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
  return len;
}

enum class Tok {
  End,
  Ident,
  String,
  Number,
  Color,
  At,
  Colon,
  Equals,
  Dot,
  LBrace,
  RBrace,
  LBracket,
  RBracket,
  LParen,
  RParen
};

const char* TokName(Tok t) {
  switch (t) {
    case Tok::End:
      return "end of file";
    case Tok::Ident:
      return "a name";
    case Tok::String:
      return "a string";
    case Tok::Number:
      return "a number";
    case Tok::Color:
      return "a colour";
    case Tok::At:
      return "'@'";
    case Tok::Colon:
      return "':'";
    case Tok::Equals:
      return "'='";
    case Tok::Dot:
      return "'.'";
    case Tok::LBrace:
      return "'{'";
    case Tok::RBrace:
      return "'}'";
    case Tok::LBracket:
      return "'['";
    case Tok::RBracket:
      return "']'";
    case Tok::LParen:
      return "'('";
    case Tok::RParen:
      return "')'";
  }
  return "?";
}

struct Token {
  Tok kind = Tok::End;
  std::string text;
  SourcePos pos;
};

class Lexer {
 public:
  Lexer(const std::string& text, const std::string& fileName) : s_(text), file_(fileName) {}

  Token Next() {
    SkipSpace();
    Token t;
    t.pos = {line_, col_};
    if (i_ >= s_.size()) return t;
    const char c = s_[i_];
    auto single = [&](Tok k) {
      Advance();
      t.kind = k;
      return t;
    };
    switch (c) {
      case ':':
        return single(Tok::Colon);
      case '=':
        return single(Tok::Equals);
      case '.':
        return single(Tok::Dot);
      case '@':
        return single(Tok::At);
      case '{':
        return single(Tok::LBrace);
      case '}':
        return single(Tok::RBrace);
      case '[':
        return single(Tok::LBracket);
      case ']':
        return single(Tok::RBracket);
      case '(':
        return single(Tok::LParen);
      case ')':
        return single(Tok::RParen);
      case '"':
        return LexString(t);
      case '#':
        return LexColor(t);
      default:
        break;
    }
    if (IsIdentStart(c)) {
      t.kind = Tok::Ident;
      while (i_ < s_.size() && IsIdentChar(s_[i_])) t.text += Advance();
      return t;
    }
    if (IsDigit(c) || c == '-') return LexNumber(t);
    if (static_cast<unsigned char>(c) >= 0x80 && Utf8SequenceLength(s_, i_) == 0)
      Fail(t.pos, "malformed UTF-8");
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      Fail(t.pos, rt::Format("unexpected control character 0x%02X", static_cast<unsigned char>(c)));
    const size_t len = static_cast<unsigned char>(c) >= 0x80 ? Utf8SequenceLength(s_, i_) : 1;
    Fail(t.pos, "unexpected character '" + s_.substr(i_, len) + "'");
  }

  [[noreturn]] void Fail(SourcePos pos, const std::string& message) const {
    throw EFormError(file_, pos, message);
  }

 private:
  char Advance() {
    const char c = s_[i_++];
    if (c == '\n') {
      ++line_;
      col_ = 1;
    } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
      ++col_;  // columns count characters, not bytes
    }
    return c;
  }

  void SkipSpace() {
    while (i_ < s_.size()) {
      const char c = s_[i_];
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',' || c == ';') {
        Advance();
      } else if (c == '/' && i_ + 1 < s_.size() && s_[i_ + 1] == '/') {
        while (i_ < s_.size() && s_[i_] != '\n') {
          if (static_cast<unsigned char>(s_[i_]) >= 0x80 && Utf8SequenceLength(s_, i_) == 0)
            Fail({line_, col_}, "malformed UTF-8");
          Advance();
        }
      } else {
        break;
      }
    }
  }

  Token& LexNumber(Token& t) {
    t.kind = Tok::Number;
    if (s_[i_] == '-') t.text += Advance();
    if (i_ >= s_.size() || !IsDigit(s_[i_])) Fail(t.pos, "a number needs digits");
    while (i_ < s_.size() && IsDigit(s_[i_])) t.text += Advance();
    if (i_ < s_.size() && s_[i_] == '.') {
      t.text += Advance();
      if (i_ >= s_.size() || !IsDigit(s_[i_])) Fail(t.pos, "a number needs digits after its decimal point");
      while (i_ < s_.size() && IsDigit(s_[i_])) t.text += Advance();
    }
    if (i_ < s_.size() && IsIdentChar(s_[i_])) Fail({line_, col_}, "unexpected character after a number");
    return t;
  }

  Token& LexColor(Token& t) {
    t.kind = Tok::Color;
    Advance();
    std::string hex;
    while (i_ < s_.size() && IsIdentChar(s_[i_])) hex += Advance();
    bool ok = hex.size() == 8;
    for (char h : hex) ok = ok && HexValue(h) >= 0;
    if (!ok) Fail(t.pos, "a colour is written #AARRGGBB (eight hexadecimal digits)");
    t.text = rt::UpperCase(hex);
    t.text.insert(t.text.begin(), '#');
    return t;
  }

  uint32_t ReadHex(int digits, SourcePos escPos) {
    uint32_t v = 0;
    for (int k = 0; k < digits; ++k) {
      if (i_ >= s_.size() || HexValue(s_[i_]) < 0) Fail(escPos, "\\u needs four hexadecimal digits");
      v = v * 16 + static_cast<uint32_t>(HexValue(Advance()));
    }
    return v;
  }

  Token& LexString(Token& t) {
    t.kind = Tok::String;
    Advance();
    for (;;) {
      if (i_ >= s_.size()) Fail(t.pos, "unterminated string");
      const char c = s_[i_];
      if (c == '"') {
        Advance();
        return t;
      }
      if (c == '\n' || c == '\r') Fail(t.pos, "unterminated string (a line break must be written \\n)");
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
        Fail({line_, col_}, rt::Format("control character 0x%02X in a string must be escaped",
                                       static_cast<unsigned char>(c)));
      if (static_cast<unsigned char>(c) >= 0x80) {
        const size_t len = Utf8SequenceLength(s_, i_);
        if (len == 0) Fail({line_, col_}, "malformed UTF-8 in a string");
        for (size_t k = 0; k < len; ++k) t.text += Advance();
        continue;
      }
      if (c != '\\') {
        t.text += Advance();
        continue;
      }
      const SourcePos escPos{line_, col_};
      Advance();
      if (i_ >= s_.size()) Fail(t.pos, "unterminated string");
      const char e = Advance();
      switch (e) {
        case '"':
          t.text += '"';
          break;
        case '\\':
          t.text += '\\';
          break;
        case 'n':
          t.text += '\n';
          break;
        case 'r':
          t.text += '\r';
          break;
        case 't':
          t.text += '\t';
          break;
        case '0':
          t.text += '\0';
          break;
        case 'u': {
          uint32_t cp = ReadHex(4, escPos);
          if (cp >= 0xDC00 && cp <= 0xDFFF) Fail(escPos, "a low surrogate without its high surrogate");
          if (cp >= 0xD800 && cp <= 0xDBFF) {
            if (i_ + 1 >= s_.size() || s_[i_] != '\\' || s_[i_ + 1] != 'u')
              Fail(escPos, "a high surrogate must be followed by \\u and its low surrogate");
            Advance();
            Advance();
            const uint32_t lo = ReadHex(4, escPos);
            if (lo < 0xDC00 || lo > 0xDFFF)
              Fail(escPos, "a high surrogate must be followed by a low surrogate");
            cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
          }
          rt::AppendUtf8(t.text, static_cast<char32_t>(cp));
          break;
        }
        case 'U': {
          if (i_ >= s_.size() || s_[i_] != '{') Fail(escPos, "\\U is written \\U{hex}");
          Advance();
          uint32_t cp = 0;
          int n = 0;
          while (i_ < s_.size() && HexValue(s_[i_]) >= 0) {
            if (++n > 6) Fail(escPos, "\\U{...} takes at most six hexadecimal digits");
            cp = cp * 16 + static_cast<uint32_t>(HexValue(Advance()));
          }
          if (n == 0 || i_ >= s_.size() || s_[i_] != '}') Fail(escPos, "\\U is written \\U{hex}");
          Advance();
          if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            Fail(escPos, "\\U{...} is not a Unicode scalar value");
          rt::AppendUtf8(t.text, static_cast<char32_t>(cp));
          break;
        }
        default:
          Fail(escPos, std::string("unknown escape \\") +
                           (static_cast<unsigned char>(e) < 0x80 ? std::string(1, e) : "?"));
      }
    }
  }

  const std::string& s_;
  const std::string& file_;
  size_t i_ = 0;
  int line_ = 1;
  int col_ = 1;
};

class Parser {
 public:
  Parser(const std::string& text, const std::string& fileName) : lex_(text, fileName) { Shift(); }

  FormDocument Document() {
    FormDocument doc;
    const Token name = Expect(Tok::Ident, "the form's name");
    Expect(Tok::Colon, "':' and the form's class");
    const Token cls = Expect(Tok::Ident, "the form's class");
    doc.name = name.text;
    doc.className = cls.text;
    doc.root = Body(name.pos, 0);
    if (tok_.kind != Tok::End)
      lex_.Fail(tok_.pos, std::string("unexpected ") + TokName(tok_.kind) + " after the form's closing '}'");
    return doc;
  }

 private:
  void Shift() { tok_ = lex_.Next(); }

  Token Expect(Tok kind, const char* what) {
    if (tok_.kind != kind) lex_.Fail(tok_.pos, std::string("expected ") + what + ", found " + Describe(tok_));
    Token t = tok_;
    Shift();
    return t;
  }

  static std::string Describe(const Token& t) {
    if (t.kind == Tok::Ident) return "'" + t.text + "'";
    return TokName(t.kind);
  }

  FormNode Body(SourcePos pos, int depth) {
    if (depth > kMaxDepth) lex_.Fail(tok_.pos, rt::Format("nesting deeper than %d levels", kMaxDepth));
    FormNode node;
    node.pos = pos;
    Expect(Tok::LBrace, "'{'");
    while (tok_.kind != Tok::RBrace) {
      if (tok_.kind == Tok::End)
        lex_.Fail(tok_.pos, rt::Format("missing '}' for the block opened at %d:%d", pos.line, pos.column));
      node.members.push_back(Member(node, depth));
    }
    Shift();
    return node;
  }

  FormMember Member(const FormNode& node, int depth) {
    FormMember m;
    m.pos = tok_.pos;
    const Token first = Expect(Tok::Ident, "a property, object, collection or component");
    m.name = first.text;
    bool dotted = false;
    while (tok_.kind == Tok::Dot) {
      Shift();
      m.name += '.';
      m.name += Expect(Tok::Ident, "a name after '.'").text;
      dotted = true;
    }
    switch (tok_.kind) {
      case Tok::Equals: {
        Shift();
        m.kind = MemberKind::Property;
        for (const FormMember& other : node.members)
          if (other.kind == MemberKind::Property && rt::SameText(other.name, m.name))
            lex_.Fail(m.pos, rt::Format("property '%s' is given twice (first at %d:%d)", m.name.c_str(),
                                        other.pos.line, other.pos.column));
        m.value = Value();
        return m;
      }
      case Tok::LBrace:
        m.kind = MemberKind::Object;
        m.nodes.push_back(Body(m.pos, depth + 1));
        return m;
      case Tok::LBracket: {
        m.kind = MemberKind::Collection;
        const SourcePos open = tok_.pos;
        Shift();
        while (tok_.kind != Tok::RBracket) {
          if (tok_.kind == Tok::End)
            lex_.Fail(tok_.pos,
                      rt::Format("missing ']' for the collection opened at %d:%d", open.line, open.column));
          if (tok_.kind != Tok::LBrace)
            lex_.Fail(tok_.pos, "expected '{' to start an item, found " + Describe(tok_));
          m.nodes.push_back(Body(tok_.pos, depth + 1));
        }
        Shift();
        return m;
      }
      case Tok::Colon: {
        if (dotted) lex_.Fail(m.pos, "a component name cannot contain '.'");
        Shift();
        m.kind = MemberKind::Component;
        m.className = Expect(Tok::Ident, "the component's class").text;
        m.nodes.push_back(Body(m.pos, depth + 1));
        return m;
      }
      default:
        lex_.Fail(tok_.pos, "expected '=', '{', '[' or ':' after '" + m.name + "', found " + Describe(tok_));
    }
  }

  FormValue Value() {
    FormValue v;
    const Token t = tok_;
    switch (t.kind) {
      case Tok::String:
        Shift();
        v.kind = ValueKind::String;
        v.text = t.text;
        return v;
      case Tok::Number:
        Shift();
        v.kind = ValueKind::Number;
        v.text = t.text;
        return v;
      case Tok::Color:
        Shift();
        v.kind = ValueKind::Color;
        v.text = t.text;
        return v;
      case Tok::At:
        Shift();
        v.kind = ValueKind::Handler;
        v.text = Expect(Tok::Ident, "a handler name after '@'").text;
        return v;
      case Tok::Ident:
        Shift();
        if (tok_.kind == Tok::LParen && (t.text == "file" || t.text == "png")) return Picture(t);
        v.kind = ValueKind::Identifier;
        v.text = t.text;
        return v;
      default:
        lex_.Fail(t.pos, "expected a value, found " + Describe(t));
    }
  }

  FormValue Picture(const Token& fn) {
    FormValue v;
    Shift();  // '('
    if (fn.text == "file") {
      v.kind = ValueKind::PictureFile;
      v.text = Expect(Tok::String, "the picture's file name").text;
      if (v.text.empty()) lex_.Fail(fn.pos, "a picture's file name cannot be empty");
    } else {
      v.kind = ValueKind::PictureData;
      std::string b64;
      if (tok_.kind != Tok::String)
        lex_.Fail(tok_.pos, "expected the picture's base64 text, found " + Describe(tok_));
      while (tok_.kind == Tok::String) {
        b64 += tok_.text;
        Shift();
      }
      if (!DecodeBase64(b64, v.data)) lex_.Fail(fn.pos, "the embedded picture is not valid base64");
    }
    Expect(Tok::RParen, "')'");
    return v;
  }

  Lexer lex_;
  Token tok_;
};

const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void WriteValue(std::string& out, const FormValue& v, const std::string& indent) {
  switch (v.kind) {
    case ValueKind::String:
      out += QuoteString(v.text);
      break;
    case ValueKind::Number:
    case ValueKind::Identifier:
    case ValueKind::Color:
      out += v.text;
      break;
    case ValueKind::Handler:
      out += "@" + v.text;
      break;
    case ValueKind::PictureFile:
      out += "file(" + QuoteString(v.text) + ")";
      break;
    case ValueKind::PictureData: {
      const std::string b64 = EncodeBase64(v.data);
      out += "png(";
      constexpr size_t kChunk = 76;
      for (size_t i = 0; i < b64.size() || i == 0; i += kChunk) {
        out += "\n" + indent + "  \"" + b64.substr(i, kChunk) + "\"";
        if (b64.empty()) break;
      }
      out += "\n" + indent + ")";
      break;
    }
  }
}

// Names are written bare, so they must read back as names.
void CheckName(const std::string& name, bool dotted) {
  bool ok = !name.empty();
  bool start = true;
  for (char c : name) {
    if (dotted && c == '.' && !start) {
      start = true;
      continue;
    }
    ok = ok && (start ? IsIdentStart(c) : IsIdentChar(c));
    start = false;
  }
  if (!ok || start) throw rt::Exception("'" + name + "' cannot be written as a name in a form");
}

void WriteBody(std::string& out, const FormNode& node, const std::string& indent) {
  out += "{\n";
  const std::string inner = indent + "  ";
  for (const FormMember& m : node.members) {
    CheckName(m.name, m.kind != MemberKind::Component);
    if (m.kind == MemberKind::Component) CheckName(m.className, false);
    if (m.kind == MemberKind::Property && m.value.kind == ValueKind::Handler) CheckName(m.value.text, false);
    if (m.kind == MemberKind::Property && m.value.kind == ValueKind::Identifier)
      CheckName(m.value.text, false);
    out += inner;
    switch (m.kind) {
      case MemberKind::Property:
        out += m.name + " = ";
        WriteValue(out, m.value, inner);
        out += "\n";
        break;
      case MemberKind::Object:
        out += m.name + " ";
        WriteBody(out, m.nodes.empty() ? FormNode{} : m.nodes.front(), inner);
        break;
      case MemberKind::Collection:
        out += m.name + " [\n";
        for (const FormNode& item : m.nodes) {
          out += inner + "  ";
          WriteBody(out, item, inner + "  ");
        }
        out += inner + "]\n";
        break;
      case MemberKind::Component:
        out += m.name + " : " + m.className + " ";
        WriteBody(out, m.nodes.empty() ? FormNode{} : m.nodes.front(), inner);
        break;
    }
  }
  out += indent + "}\n";
}

// Equality ignores source positions so that a written form equals the form it came from.
bool SameNode(const FormNode& a, const FormNode& b);

bool SameMember(const FormMember& a, const FormMember& b) {
  if (a.kind != b.kind || a.name != b.name || a.className != b.className || !(a.value == b.value) ||
      a.nodes.size() != b.nodes.size())
    return false;
  for (size_t i = 0; i < a.nodes.size(); ++i)
    if (!SameNode(a.nodes[i], b.nodes[i])) return false;
  return true;
}

bool SameNode(const FormNode& a, const FormNode& b) {
  if (a.members.size() != b.members.size()) return false;
  for (size_t i = 0; i < a.members.size(); ++i)
    if (!SameMember(a.members[i], b.members[i])) return false;
  return true;
}

const FormMember* FindComponentIn(const FormNode& node, const std::string& name) {
  for (const FormMember& m : node.members) {
    if (m.kind != MemberKind::Component) continue;
    if (rt::SameText(m.name, name)) return &m;
    if (!m.nodes.empty())
      if (const FormMember* f = FindComponentIn(m.nodes.front(), name)) return f;
  }
  return nullptr;
}

}  // namespace

EFormError::EFormError(const std::string& fileName, SourcePos pos, const std::string& message)
    : rt::Exception(PosText(fileName, pos) + message), fileName_(fileName), pos_(pos), detail_(message) {}

bool FormMember::operator==(const FormMember& other) const { return SameMember(*this, other); }
bool FormNode::operator==(const FormNode& other) const { return SameNode(*this, other); }

const FormMember* FormNode::FindProperty(const std::string& name) const {
  for (const FormMember& m : members)
    if (m.kind == MemberKind::Property && rt::SameText(m.name, name)) return &m;
  return nullptr;
}

const FormMember* FormNode::FindComponent(const std::string& name) const {
  return FindComponentIn(*this, name);
}

FormDocument ParseForm(const std::string& text, const std::string& fileName) {
  Parser p(text, fileName);
  return p.Document();
}

FormDocument ParseFormFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EFormError(fileName, {0, 0}, "cannot open the form file");
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) throw EFormError(fileName, {0, 0}, "cannot read the form file");
  return ParseForm(ss.str(), fileName);
}

std::string WriteForm(const FormDocument& doc) {
  CheckName(doc.name, false);
  CheckName(doc.className, false);
  std::string out = doc.name + " : " + doc.className + " ";
  WriteBody(out, doc.root, "");
  return out;
}

std::string QuoteString(const std::string& text) {
  std::string out = "\"";
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case 0:
        out += "\\0";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += rt::Format("\\u%04X", c);
        } else if (c >= 0x80) {
          const size_t len = Utf8SequenceLength(text, i);
          if (len == 0) {
            out += "\\uFFFD";  // not UTF-8: keep the file readable and valid
          } else {
            out.append(text, i, len);
            i += len - 1;
          }
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string EncodeBase64(const std::vector<uint8_t>& data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    const uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
    out += kB64[(v >> 18) & 63];
    out += kB64[(v >> 12) & 63];
    out += kB64[(v >> 6) & 63];
    out += kB64[v & 63];
  }
  if (i + 1 == data.size()) {
    const uint32_t v = uint32_t{data[i]} << 16;
    out += kB64[(v >> 18) & 63];
    out += kB64[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == data.size()) {
    const uint32_t v = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8);
    out += kB64[(v >> 18) & 63];
    out += kB64[(v >> 12) & 63];
    out += kB64[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

bool DecodeBase64(const std::string& text, std::vector<uint8_t>& out) {
  out.clear();
  if (text.size() % 4 != 0) return false;
  auto val = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text[i + static_cast<size_t>(k)];
      if (c == '=') {
        if (!last || k < 2) return false;
        v[k] = 0;
        ++pad;
      } else {
        if (pad) return false;  // data after padding
        v[k] = val(c);
        if (v[k] < 0) return false;
      }
    }
    const uint32_t n =
        (uint32_t(v[0]) << 18) | (uint32_t(v[1]) << 12) | (uint32_t(v[2]) << 6) | uint32_t(v[3]);
    out.push_back(static_cast<uint8_t>(n >> 16));
    if (pad < 2) out.push_back(static_cast<uint8_t>(n >> 8));
    if (pad < 1) out.push_back(static_cast<uint8_t>(n));
  }
  return true;
}

}  // namespace tk::forms
