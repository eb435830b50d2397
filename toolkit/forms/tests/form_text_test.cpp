#include "toolkit/forms/form_text.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "runtime/text.h"

namespace tk::forms {
namespace {

const char kSample[] = R"(// a sample
Dialog1 : TDialog {
  Width = 470
  Height = -3
  Opacity = 0.5
  Caption = "Tab\there \"quoted\" back\\slash\nnew line \u4E2D\U{1F600}"
  Native = "中文 直接"
  Fill.Color = #f0ffffff
  Visible = False
  OnShow = @FormShow
  Font {
    Family = "Microsoft Sans Serif"
    Size = 13
  }
  Items [
    {
      Caption = "one"
      SubItems [
        {
          Caption = "deep"
        }
      ]
    }
    {
    }
  ]
  Panel1 : TPanel {
    Bitmap = file("pictures/bg.png")
    Glyph = png("AAEC/w==")
    Button1 : TButton {
      ModalResult = 1
    }
  }
}
)";

TEST(FormText, ParsesEveryKindOfMember) {
  const FormDocument doc = ParseForm(kSample, "sample.form");
  EXPECT_EQ(doc.name, "Dialog1");
  EXPECT_EQ(doc.className, "TDialog");
  const FormNode& r = doc.root;
  ASSERT_EQ(r.members.size(), 11u);
  EXPECT_EQ(r.FindProperty("width")->value.text, "470");
  EXPECT_EQ(r.FindProperty("Height")->value.text, "-3");
  EXPECT_EQ(r.FindProperty("Opacity")->value.kind, ValueKind::Number);
  EXPECT_EQ(r.FindProperty("Caption")->value.text,
            "Tab\there \"quoted\" back\\slash\nnew line \xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(r.FindProperty("Native")->value.text, "中文 直接");
  EXPECT_EQ(r.FindProperty("Fill.Color")->value.kind, ValueKind::Color);
  EXPECT_EQ(r.FindProperty("Fill.Color")->value.text, "#F0FFFFFF");
  EXPECT_EQ(r.FindProperty("Visible")->value.kind, ValueKind::Identifier);
  EXPECT_EQ(r.FindProperty("OnShow")->value.kind, ValueKind::Handler);
  EXPECT_EQ(r.FindProperty("OnShow")->value.text, "FormShow");

  const FormMember& font = r.members[8];
  EXPECT_EQ(font.kind, MemberKind::Object);
  EXPECT_EQ(font.nodes.at(0).FindProperty("Size")->value.text, "13");

  const FormMember& items = r.members[9];
  EXPECT_EQ(items.kind, MemberKind::Collection);
  ASSERT_EQ(items.nodes.size(), 2u);
  EXPECT_EQ(items.nodes[0].members[1].nodes.at(0).FindProperty("Caption")->value.text, "deep");
  EXPECT_TRUE(items.nodes[1].members.empty());

  const FormMember* button = r.FindComponent("BUTTON1");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->className, "TButton");
  EXPECT_EQ(button->pos, (SourcePos{30, 5}));
  const FormMember* panel = r.FindComponent("Panel1");
  EXPECT_EQ(panel->nodes.at(0).FindProperty("Bitmap")->value.kind, ValueKind::PictureFile);
  EXPECT_EQ(panel->nodes.at(0).FindProperty("Bitmap")->value.text, "pictures/bg.png");
  const FormValue& glyph = panel->nodes.at(0).FindProperty("Glyph")->value;
  EXPECT_EQ(glyph.kind, ValueKind::PictureData);
  EXPECT_EQ(glyph.data, (std::vector<uint8_t>{0, 1, 2, 255}));
}

TEST(FormText, WrittenFormReadsBackEqualAndIsCanonical) {
  const FormDocument doc = ParseForm(kSample);
  const std::string written = WriteForm(doc);
  const FormDocument again = ParseForm(written);
  EXPECT_EQ(again, doc);
  // The canonical text is a fixed point.
  EXPECT_EQ(WriteForm(again), written);
  // Non-ASCII text stays readable; control characters are escaped.
  EXPECT_NE(written.find("\"中文 直接\""), std::string::npos);
  EXPECT_NE(written.find("Tab\\there \\\"quoted\\\" back\\\\slash\\nnew line"), std::string::npos);
}

TEST(FormText, EmbeddedPictureRoundTripsAcrossManyLines) {
  FormDocument doc;
  doc.name = "F";
  doc.className = "TF";
  FormMember m;
  m.name = "Bitmap";
  m.value.kind = ValueKind::PictureData;
  for (int i = 0; i < 1000; ++i) m.value.data.push_back(static_cast<uint8_t>(i * 7));
  doc.root.members.push_back(m);
  FormMember empty = m;
  empty.name = "Empty";
  empty.value.data.clear();
  doc.root.members.push_back(empty);
  const std::string text = WriteForm(doc);
  EXPECT_GT(std::count(text.begin(), text.end(), '\n'), 10);  // split, not one huge line
  EXPECT_EQ(ParseForm(text), doc);
}

TEST(FormText, QuoteStringEscapesWhatTheParserNeeds) {
  EXPECT_EQ(QuoteString(std::string("a\0b", 3)), "\"a\\0b\"");
  EXPECT_EQ(QuoteString("\x01"), "\"\\u0001\"");
  EXPECT_EQ(QuoteString("bad \xFF byte"), "\"bad \\uFFFD byte\"");
  for (const std::string& s :
       {std::string("x\x7Fy"), std::string("\"\\\r\n\t"), std::string("\xF0\x9F\x98\x80")}) {
    const FormDocument d = ParseForm("F : T { S = " + QuoteString(s) + " }");
    EXPECT_EQ(d.root.FindProperty("S")->value.text, s);
  }
}

TEST(FormText, Base64) {
  struct Case {
    std::vector<uint8_t> bytes;
    const char* text;
  };
  for (const Case& c : {Case{{}, ""}, Case{{'f'}, "Zg=="}, Case{{'f', 'o'}, "Zm8="},
                        Case{{'f', 'o', 'o'}, "Zm9v"}, Case{{0xFB, 0xFF}, "+/8="}}) {
    EXPECT_EQ(EncodeBase64(c.bytes), c.text);
    std::vector<uint8_t> out;
    ASSERT_TRUE(DecodeBase64(c.text, out)) << c.text;
    EXPECT_EQ(out, c.bytes);
  }
  std::vector<uint8_t> out;
  for (const char* bad : {"Zg=", "Z===", "Zg==Zg==", "Zm9!", "Z=g="})
    EXPECT_FALSE(DecodeBase64(bad, out)) << bad;
}

struct Malformed {
  const char* text;
  int line;
  int column;
  const char* message;  // a part of the message
};

TEST(FormText, MalformedInputsNameLineAndColumn) {
  const Malformed cases[] = {
      {"", 1, 1, "expected the form's name"},
      {"F T {}", 1, 3, "expected ':'"},
      {"F : T", 1, 6, "expected '{'"},
      {"F : T {\n  A = 1\n", 3, 1, "missing '}' for the block opened at 1:1"},
      {"F : T {} extra", 1, 10, "after the form's closing"},
      {"F : T {\n  A = \"open\n}", 2, 7, "unterminated string"},
      {"F : T { A = \"x\\q\" }", 1, 15, "unknown escape \\q"},
      {"F : T { A = \"\\u12\" }", 1, 14, "four hexadecimal digits"},
      {"F : T { A = \"\\uD800\" }", 1, 14, "high surrogate"},
      {"F : T { A = \"\\uDC00\" }", 1, 14, "low surrogate"},
      {"F : T { A = \"\\U{110000}\" }", 1, 14, "not a Unicode scalar value"},
      {"F : T { A = \"\\U{}\" }", 1, 14, "\\U{hex}"},
      {"F : T { A = \"tab\there\" }", 1, 17, "must be escaped"},
      {"F : T { A = \"\xC3\x28\" }", 1, 14, "malformed UTF-8"},
      {"F : T { A = \"\xED\xA0\x80\" }", 1, 14, "malformed UTF-8"},  // encoded surrogate
      {"F : T { A = \"\xC0\xAF\" }", 1, 14, "malformed UTF-8"},      // overlong
      {"F : T {\n  \xE4\xB8\xAD = 1 }", 2, 3, "unexpected character '中'"},
      {"F : T { A = #FFF }", 1, 13, "#AARRGGBB"},
      {"F : T { A = #GGFFFFFF }", 1, 13, "#AARRGGBB"},
      {"F : T { A = #FF0000001 }", 1, 13, "#AARRGGBB"},
      {"F : T { A = - }", 1, 13, "needs digits"},
      {"F : T { A = 1. }", 1, 13, "after its decimal point"},
      {"F : T { A = 12px }", 1, 15, "after a number"},
      {"F : T { A = }", 1, 13, "expected a value, found '}'"},
      {"F : T { A = @ }", 1, 15, "handler name"},
      {"F : T { A 1 }", 1, 11, "expected '=', '{', '[' or ':'"},
      {"F : T { A.B : TX {} }", 1, 9, "cannot contain '.'"},
      {"F : T { A. = 1 }", 1, 12, "a name after '.'"},
      {"F : T { C : {} }", 1, 13, "the component's class"},
      {"F : T { I [ A = 1 ] }", 1, 13, "expected '{' to start an item"},
      {"F : T { I [ {} }", 1, 16, "expected '{' to start an item"},
      {"F : T { I [ {}", 1, 15, "missing ']'"},
      {"F : T {\n  A = 1\n  a = 2\n}", 3, 3, "property 'a' is given twice (first at 2:3)"},
      {"F : T { B = file(\"\") }", 1, 13, "file name cannot be empty"},
      {"F : T { B = file(x) }", 1, 18, "file name"},
      {"F : T { B = png() }", 1, 17, "base64"},
      {"F : T { B = png(\"abc\") }", 1, 13, "not valid base64"},
      {"F : T { B = png(\"Zg==\" }", 1, 24, "expected ')'"},
      {"F : T { A = 1 \x01 }", 1, 15, "control character 0x01"},
  };
  for (const Malformed& c : cases) {
    try {
      ParseForm(c.text, "bad.form");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const EFormError& e) {
      EXPECT_EQ(e.FileName(), "bad.form");
      EXPECT_EQ(e.Pos(), (SourcePos{c.line, c.column})) << c.text << " -> " << e.what();
      EXPECT_NE(e.Detail().find(c.message), std::string::npos) << c.text << " -> " << e.what();
      EXPECT_EQ(std::string(e.what()).rfind(rt::Format("bad.form:%d:%d: ", c.line, c.column), 0), 0u)
          << e.what();
    }
  }
}

TEST(FormText, DeepNestingIsRefusedNotOverflowed) {
  std::string deep = "F : T { ";
  for (int i = 0; i < 100000; ++i) deep += "O { ";
  EXPECT_THROW(ParseForm(deep), EFormError);
  std::string ok = "F : T { ";
  for (int i = 0; i < 30; ++i) ok += "O { ";
  for (int i = 0; i < 31; ++i) ok += "} ";
  EXPECT_NO_THROW(ParseForm(ok));
}

TEST(FormText, MissingFileIsNamed) {
  try {
    ParseFormFile("/nonexistent/x.form");
    FAIL();
  } catch (const EFormError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/x.form"), std::string::npos);
  }
}

}  // namespace
}  // namespace tk::forms

namespace tk::forms {
namespace {

TEST(FormText, WriterRefusesNamesThatWouldNotReadBack) {
  const auto attempt = [](const std::string& name, MemberKind kind, ValueKind vk = ValueKind::String,
                          const std::string& value = "x") {
    FormDocument doc{"F", "TF", {}};
    FormMember m;
    m.kind = kind;
    m.name = name;
    m.className = "TX";
    m.value.kind = vk;
    m.value.text = value;
    if (kind != MemberKind::Property) m.nodes.emplace_back();
    doc.root.members.push_back(m);
    return WriteForm(doc);
  };
  EXPECT_NO_THROW(attempt("Font.Size", MemberKind::Property));
  for (const char* bad : {"", "two words", "1st", "a.", ".a", "a..b"})
    EXPECT_THROW(attempt(bad, MemberKind::Property), rt::Exception) << bad;
  EXPECT_THROW(attempt("A.B", MemberKind::Component), rt::Exception);
  EXPECT_THROW(attempt("OnClick", MemberKind::Property, ValueKind::Handler, "not a name"), rt::Exception);
  EXPECT_THROW(WriteForm(FormDocument{"", "TF", {}}), rt::Exception);
}

}  // namespace
}  // namespace tk::forms
