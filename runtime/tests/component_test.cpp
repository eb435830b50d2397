#include "runtime/component.h"

#include <gtest/gtest.h>

#include <vector>

using namespace rt;

namespace {

std::vector<std::string>* g_destroyed = nullptr;

class TProbe : public TComponent {
 public:
  explicit TProbe(TComponent* owner) : TComponent(owner) {
    PublishString("Caption", &caption);
    PublishBool("Visible", &visible);
    PublishEvent("OnClick", &onClick);
  }
  ~TProbe() override {
    if (g_destroyed) g_destroyed->push_back(Name());
  }
  std::string ClassName() const override { return "TProbe"; }
  std::string caption;
  bool visible = true;
  TEvent<int> onClick;
};

class TForm : public TComponent {
 public:
  explicit TForm(TComponent* owner) : TComponent(owner) {
    PublishHandler("ProbeClick", std::function<void(int)>([this](int v) { clicks += v; }));
    PublishHandler("Other", std::function<void()>([] {}));
  }
  int clicks = 0;
};

}  // namespace

TEST(Component, OwnerDestroysOwnedComponentsNewestFirst) {
  std::vector<std::string> destroyed;
  g_destroyed = &destroyed;
  {
    TComponent root(nullptr);
    for (const char* n : {"a", "b", "c"}) Create<TProbe>(&root)->SetName(n);
    ASSERT_EQ(root.ComponentCount(), 3);
    EXPECT_EQ(root.Components(1)->Name(), "b");
    EXPECT_EQ(root.FindComponent("C"), root.Components(2));
    EXPECT_THROW(root.Components(3), EListError);
  }
  g_destroyed = nullptr;
  EXPECT_EQ(destroyed, (std::vector<std::string>{"c", "b", "a"}));
}

TEST(Component, DeletingAChildRemovesItFromItsOwner) {
  TComponent root(nullptr);
  auto* p = Create<TProbe>(&root);
  delete p;
  EXPECT_EQ(root.ComponentCount(), 0);
}

TEST(Component, NamesAreUniqueAmongSiblingsWithoutRegardToCase) {
  TComponent root(nullptr);
  Create<TProbe>(&root)->SetName("Label1");
  auto* second = Create<TProbe>(&root);
  EXPECT_THROW(second->SetName("LABEL1"), EComponentError);
  EXPECT_EQ(second->Name(), "");
  second->SetName("Label2");
  EXPECT_EQ(second->Name(), "Label2");
}

TEST(Component, PublishedPropertiesByName) {
  TComponent root(nullptr);
  auto* p = Create<TProbe>(&root);
  p->SetPropertyText("caption", "APPLY");
  EXPECT_EQ(p->caption, "APPLY");
  EXPECT_EQ(p->GetPropertyText("Caption"), "APPLY");
  p->SetPropertyText("Visible", "false");
  EXPECT_FALSE(p->visible);
  EXPECT_THROW(p->SetPropertyText("Visible", "maybe"), EConvertError);
  p->SetPropertyText("Tag", "7");
  EXPECT_EQ(p->Tag(), 7);
  EXPECT_FALSE(root.HasProperty("Caption"));
  try {
    root.GetPropertyText("Caption");
    FAIL();
  } catch (const EPropertyError& e) {
    EXPECT_NE(std::string(e.what()).find("no such property"), std::string::npos);
  }
}

TEST(Component, EventsBindByHandlerNameAndAreCalledOnlyWhenAssigned) {
  TForm form(nullptr);
  auto* p = Create<TProbe>(&form);
  EXPECT_FALSE(p->onClick(1));  // unassigned: not called
  TEventBase* e = p->FindEvent("onclick");
  ASSERT_NE(e, nullptr);
  EXPECT_FALSE(form.BindEvent(*e, "Other"));    // wrong signature
  EXPECT_FALSE(form.BindEvent(*e, "Missing"));  // no such handler
  ASSERT_TRUE(form.BindEvent(*e, "ProbeClick"));
  EXPECT_EQ(e->HandlerName(), "ProbeClick");
  EXPECT_TRUE(p->onClick(5));
  EXPECT_EQ(form.clicks, 5);
}

TEST(Component, EventBindsAMemberFunction) {
  struct Target {
    int sum = 0;
    void Add(int v) { sum += v; }
  } t;
  TEvent<int> ev;
  ev.Bind(&t, &Target::Add);
  ev(2);
  ev(3);
  EXPECT_EQ(t.sum, 5);
  ev.Clear();
  EXPECT_FALSE(ev.Assigned());
}
