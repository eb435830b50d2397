#include "runtime/property_text.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "runtime/component.h"

namespace rt {
namespace {

enum class TShade { Light, Dark };
inline const auto& EnumNames(TShade) {
  static constexpr TEnumName<TShade> names[] = {
      {TShade::Light, "Light"}, {TShade::Dark, "Dark"}, {TShade::Dark, "shDark"}};  // an alias read on input
  return names;
}

class TProbe : public TPersistent {
 public:
  TProbe() {
    PublishProperty(this, "Wrap", &TProbe::Wrap, &TProbe::SetWrap);
    PublishProperty(this, "Size", &TProbe::Size, &TProbe::SetSize);
    PublishProperty(this, "Shade", &TProbe::Shade, &TProbe::SetShade);
    PublishProperty(this, "Title", &TProbe::Title, &TProbe::SetTitle);
    PublishProperty(this, "Count", &TProbe::count);
    PublishProperty(this, "Byte", &TProbe::byte);
    PublishProperty(this, "Sets", &TProbe::sets, nullptr);
  }
  bool Wrap() const { return wrap_; }
  void SetWrap(bool v) { set(wrap_, v); }
  float Size() const { return size_; }
  void SetSize(float v) { set(size_, v); }
  TShade Shade() const { return shade_; }
  void SetShade(TShade v) { set(shade_, v); }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& v) { set(title_, v); }
  long long count = 0;
  uint8_t byte = 0;
  int sets = 0;

 private:
  template <class T>
  void set(T& field, const T& v) {
    field = v;
    ++sets;
  }
  bool wrap_ = true;
  float size_ = 12.5f;
  TShade shade_ = TShade::Light;
  std::string title_;
};

TEST(PublishProperty, ValuesReadAndWriteAsTextByTheirType) {
  TProbe p;
  struct Case {
    const char* name;
    const char* in;
    const char* out;
  } cases[] = {
      {"Wrap", "false", "False"},  {"Wrap", " TRUE ", "True"},
      {"Size", "7", "7"},          {"Size", "0.1", "0.1"},
      {"Shade", "dark", "Dark"},   {"Shade", "SHDARK", "Dark"},
      {"Shade", "Light", "Light"}, {"Title", " 剪切 ", " 剪切 "},
      {"Count", "$10", "16"},      {"Count", "-9000000000", "-9000000000"},
      {"Byte", "255", "255"},
  };
  for (const auto& c : cases) {
    p.SetPropertyText(c.name, c.in);
    EXPECT_EQ(p.GetPropertyText(c.name), c.out) << c.name << " = " << c.in;
  }
  EXPECT_EQ(p.sets, 8);  // the setters ran; the data members were written directly
  EXPECT_EQ(p.GetPropertyText("Sets"), "8");
}

TEST(PublishProperty, BadTextIsRefusedAndTheValueKept) {
  TProbe p;
  struct Case {
    const char* name;
    const char* in;
  } cases[] = {{"Wrap", "yes"},  {"Size", "12px"}, {"Size", "nan"}, {"Shade", "Medium"},
               {"Count", "ten"}, {"Byte", "256"},  {"Byte", "-1"}};
  for (const auto& c : cases) {
    const std::string before = p.GetPropertyText(c.name);
    EXPECT_THROW(p.SetPropertyText(c.name, c.in), Exception) << c.name << " = " << c.in;
    EXPECT_EQ(p.GetPropertyText(c.name), before) << c.name;
  }
  EXPECT_THROW(p.SetPropertyText("Sets", "1"), EPropertyError);  // read-only
  EXPECT_EQ(p.sets, 0);
}

}  // namespace
}  // namespace rt
