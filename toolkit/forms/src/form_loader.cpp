#include "toolkit/forms/form_loader.h"

#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>

#include "runtime/collection.h"
#include "runtime/text.h"

namespace tk::forms {

namespace {

namespace fs = std::filesystem;

// Splits "A.B.C" into the object path "A.B" and the last name "C".
rt::TPersistent* ResolveOwner(rt::TPersistent& target, const std::string& path, std::string& last) {
  rt::TPersistent* obj = &target;
  size_t start = 0;
  for (;;) {
    const size_t dot = path.find('.', start);
    if (dot == std::string::npos) {
      last = path.substr(start);
      return obj;
    }
    const std::string seg = path.substr(start, dot - start);
    rt::TPersistent* next = obj->FindObjectProperty(seg);
    if (!next) throw rt::EPropertyError::NoSuchProperty(obj->ClassName(), seg);
    obj = next;
    start = dot + 1;
  }
}

std::string Describe(const rt::TPersistent& obj) {
  if (const auto* c = dynamic_cast<const rt::TComponent*>(&obj); c && !c->Name().empty())
    return c->Name() + " (" + c->ClassName() + ")";
  return obj.ClassName();
}

class Loader {
 public:
  Loader(rt::TComponent& form, const std::string& fileName, const LoadOptions& options)
      : form_(form), file_(fileName), opt_(options) {
    formDir_ = fs::path(fileName).parent_path().string();
  }

  void Run(const FormDocument& doc) {
    if (!opt_.anyRootClass && !rt::SameText(doc.className, form_.ClassName()))
      Fail(doc.root.pos, rt::Format("the description is of class %s, the form is a %s", doc.className.c_str(),
                                    form_.ClassName().c_str()));
    if (!opt_.anyRootClass) Guard(doc.root.pos, [&] { form_.SetName(doc.name); });
    CollectNames(doc.root);
    Apply(form_, doc.root, &form_);
    for (const Deferred& d : deferred_) SetNow(*d.target, *d.member, d.last);
    if (opt_.loaded) {
      for (rt::TComponent* c : created_) Guard(doc.root.pos, [&] { opt_.loaded(*c); });
      Guard(doc.root.pos, [&] { opt_.loaded(form_); });
    }
  }

  void Undo() {
    // Newest first, so a component never outlives what it was placed in.
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) delete *it;
    created_.clear();
  }

 private:
  [[noreturn]] void Fail(SourcePos pos, const std::string& message) const {
    throw EFormError(file_, pos, message);
  }

  template <class F>
  void Guard(SourcePos pos, F&& f) {
    try {
      f();
    } catch (const EFormError&) {
      throw;
    } catch (const std::exception& e) {
      Fail(pos, e.what());
    }
  }

  struct Deferred {
    rt::TPersistent* target;
    const FormMember* member;
    std::string last;
  };

  void CollectNames(const FormNode& node) {
    for (const FormMember& m : node.members) {
      if (m.kind == MemberKind::Component) names_.push_back(m.name);
      for (const FormNode& n : m.nodes) CollectNames(n);
    }
  }

  bool IsComponentName(const std::string& text) const {
    for (const std::string& n : names_)
      if (rt::SameText(n, text)) return true;
    return false;
  }

  // `component` is the enclosing component when `obj` is one (else nullptr: an object or item).
  void Apply(rt::TPersistent& obj, const FormNode& node, rt::TComponent* component) {
    if (auto* placeholder = dynamic_cast<TPlaceholderComponent*>(&obj)) {
      placeholder->members = node.members;
      return;
    }
    for (const FormMember& m : node.members) {
      switch (m.kind) {
        case MemberKind::Property:
          SetProperty(obj, m);
          break;
        case MemberKind::Object: {
          rt::TPersistent* nested = FindObject(obj, m);
          Apply(*nested, m.nodes.front(), nullptr);
          break;
        }
        case MemberKind::Collection:
          LoadCollection(obj, m);
          break;
        case MemberKind::Component: {
          if (!component)
            Fail(m.pos,
                 rt::Format("component %s cannot be placed inside an object or an item", m.name.c_str()));
          CreateComponent(*component, m);
          break;
        }
      }
    }
  }

  rt::TPersistent* FindObject(rt::TPersistent& obj, const FormMember& m) {
    std::string last;
    rt::TPersistent* holder = nullptr;
    Guard(m.pos, [&] { holder = ResolveOwner(obj, m.name, last); });
    rt::TPersistent* nested = holder->FindObjectProperty(last);
    if (!nested)
      Fail(m.pos, rt::Format("%s has no object property '%s'", Describe(*holder).c_str(), last.c_str()));
    return nested;
  }

  void SetProperty(rt::TPersistent& obj, const FormMember& m) {
    std::string last;
    rt::TPersistent* holder = nullptr;
    Guard(m.pos, [&] { holder = ResolveOwner(obj, m.name, last); });
    const FormValue& v = m.value;
    if (rt::TEventBase* ev = holder->FindEvent(last)) {
      if (v.kind != ValueKind::Handler)
        Fail(m.pos, rt::Format("event '%s' takes a handler name written @Name", last.c_str()));
      if (form_.BindEvent(*ev, v.text)) return;
      if (opt_.handlers == HandlerBinding::RecordOnly) {
        ev->Clear();
        ev->SetHandlerName(v.text);
        return;
      }
      if (form_.FindHandler(v.text))
        Fail(m.pos, rt::Format("handler '%s' does not fit event '%s' of %s", v.text.c_str(), last.c_str(),
                               Describe(*holder).c_str()));
      Fail(m.pos, rt::Format("the form does not publish a handler '%s' for event '%s' of %s", v.text.c_str(),
                             last.c_str(), Describe(*holder).c_str()));
    }
    if (v.kind == ValueKind::Handler)
      Fail(m.pos, rt::Format("%s has no event '%s'", Describe(*holder).c_str(), last.c_str()));
    if (v.kind == ValueKind::PictureFile || v.kind == ValueKind::PictureData) {
      std::vector<uint8_t> bytes;
      const std::vector<uint8_t>* data = &v.data;
      if (v.kind == ValueKind::PictureFile) {
        if (!ReadPicture(v.text, bytes))
          Fail(m.pos, rt::Format("picture file '%s' not found", v.text.c_str()));
        data = &bytes;
      }
      if (!opt_.setPicture) Fail(m.pos, "pictures cannot be loaded here");
      bool taken = false;
      Guard(m.pos, [&] { taken = opt_.setPicture(*holder, last, *data); });
      if (!taken)
        Fail(m.pos, rt::Format("%s has no picture property '%s'", Describe(*holder).c_str(), last.c_str()));
      return;
    }
    if (v.kind == ValueKind::Identifier && IsComponentName(v.text)) {
      deferred_.push_back({holder, &m, last});
      return;
    }
    SetNow(*holder, m, last);
  }

  void SetNow(rt::TPersistent& target, const FormMember& m, const std::string& last) {
    rt::TPersistent* holder = &target;
    const FormValue& v = m.value;
    if (!holder->HasProperty(last)) {
      if (holder->FindObjectProperty(last))
        Fail(m.pos, rt::Format("'%s' of %s is an object: write its properties in braces", last.c_str(),
                               Describe(*holder).c_str()));
      Fail(m.pos, rt::Format("%s has no property '%s'", Describe(*holder).c_str(), last.c_str()));
    }
    Guard(m.pos, [&] {
      try {
        holder->SetPropertyText(last, v.text);
      } catch (const std::exception& e) {
        throw rt::Exception(rt::Format("cannot set %s of %s to '%s': %s", last.c_str(),
                                       Describe(*holder).c_str(), v.text.c_str(), e.what()));
      }
    });
  }

  bool ReadPicture(const std::string& name, std::vector<uint8_t>& out) const {
    const fs::path p(name);
    if (p.is_absolute()) return ReadFileBytes(name, out);
    if (ReadFileBytes((fs::path(formDir_) / p).string(), out)) return true;
    for (const std::string& dir : opt_.pictureDirs)
      if (ReadFileBytes((fs::path(dir) / p).string(), out)) return true;
    return false;
  }

  void LoadCollection(rt::TPersistent& obj, const FormMember& m) {
    rt::TPersistent* target = FindObject(obj, m);
    auto* coll = dynamic_cast<rt::TCollection*>(target);
    if (!coll)
      Fail(m.pos, rt::Format("'%s' of %s is not a collection", m.name.c_str(), Describe(obj).c_str()));
    Guard(m.pos, [&] { coll->Clear(); });
    for (const FormNode& itemNode : m.nodes) {
      rt::TCollectionItem* item = nullptr;
      Guard(itemNode.pos, [&] { item = coll->Add(); });
      Apply(*item, itemNode, nullptr);
    }
  }

  void CreateComponent(rt::TComponent& parent, const FormMember& m) {
    if (!opt_.factory) Fail(m.pos, "components cannot be created here");
    rt::TComponent* c = nullptr;
    Guard(m.pos, [&] { c = opt_.factory(m.className, form_, parent); });
    if (!c && opt_.placeholders) c = new TPlaceholderComponent(&form_, m.className);
    if (!c) Fail(m.pos, rt::Format("unknown class %s of component %s", m.className.c_str(), m.name.c_str()));
    if (c->Owner() != &form_) {
      delete c;
      Fail(m.pos, rt::Format("class %s did not create its component owned by the form", m.className.c_str()));
    }
    created_.push_back(c);
    Guard(m.pos, [&] { c->SetName(m.name); });
    Apply(*c, m.nodes.front(), c);
  }

  rt::TComponent& form_;
  const std::string& file_;
  const LoadOptions& opt_;
  std::string formDir_;
  std::vector<rt::TComponent*> created_;
  std::vector<std::string> names_;
  std::vector<Deferred> deferred_;
};

bool LooksLikeNumber(const std::string& t) {
  size_t i = 0;
  if (i < t.size() && t[i] == '-') ++i;
  const size_t digits = i;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
  if (i == digits) return false;
  if (i < t.size() && t[i] == '.') {
    const size_t frac = ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i;
    if (i == frac) return false;
  }
  return i == t.size();
}

bool LooksLikeColor(const std::string& t) {
  if (t.size() != 9 || t[0] != '#') return false;
  for (size_t i = 1; i < 9; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(t[i])) || std::islower(static_cast<unsigned char>(t[i])))
      return false;
  return true;
}

FormValue ValueOf(const std::string& text) {
  FormValue v;
  v.text = text;
  if (LooksLikeNumber(text)) {
    v.kind = ValueKind::Number;
  } else if (LooksLikeColor(text)) {
    v.kind = ValueKind::Color;
  } else if (text == "True" || text == "False") {
    v.kind = ValueKind::Identifier;
  } else {
    v.kind = ValueKind::String;
  }
  return v;
}

class Saver {
 public:
  Saver(const rt::TComponent& form, const SaveOptions& options) : form_(form), opt_(options) {}

  FormNode Component(const rt::TComponent& c) {
    FormNode node;
    if (const auto* p = dynamic_cast<const TPlaceholderComponent*>(&c)) {
      node.members = p->members;
      return node;
    }
    std::unique_ptr<rt::TComponent> fresh(opt_.makeDefault ? opt_.makeDefault(c) : nullptr);
    Persistent(c, fresh.get(), node);
    if (opt_.children) {
      for (rt::TComponent* child : opt_.children(form_, c)) {
        if (child->Name().empty())
          throw rt::EComponentError("a " + child->ClassName() + " without a name cannot be saved");
        FormMember m;
        m.kind = MemberKind::Component;
        m.name = child->Name();
        m.className = child->ClassName();
        m.nodes.push_back(Component(*child));
        node.members.push_back(std::move(m));
      }
    }
    return node;
  }

 private:
  // Writes what `live` holds that `fresh` (when given) does not, replaying onto `fresh`.
  void Persistent(const rt::TPersistent& live, rt::TPersistent* fresh, FormNode& node) {
    for (const std::string& name : live.PropertyNames()) {
      if (rt::SameText(name, "Name")) continue;
      std::string value;
      try {
        value = live.GetPropertyText(name);
      } catch (const std::exception&) {
        continue;  // write-only or failing: nothing to save
      }
      if (fresh) {
        try {
          if (fresh->GetPropertyText(name) == value) continue;
          fresh->SetPropertyText(name, value);
        } catch (const std::exception&) {
          continue;  // read-only, or a value the property would not take back
        }
      }
      FormMember m;
      m.name = name;
      m.value = ValueOf(value);
      node.members.push_back(std::move(m));
    }
    for (const std::string& name : live.EventNames()) {
      const rt::TEventBase* ev = live.FindEvent(name);
      if (!ev || ev->HandlerName().empty()) continue;
      FormMember m;
      m.name = name;
      m.value.kind = ValueKind::Handler;
      m.value.text = ev->HandlerName();
      node.members.push_back(std::move(m));
    }
    for (const std::string& name : live.ObjectPropertyNames()) {
      const rt::TPersistent* obj = live.FindObjectProperty(name);
      rt::TPersistent* freshObj = fresh ? fresh->FindObjectProperty(name) : nullptr;
      if (!obj) continue;
      std::vector<uint8_t> png;
      if (opt_.picture && opt_.picture(*obj, png)) {
        std::vector<uint8_t> freshPng;
        const bool freshHas = freshObj && opt_.picture(*freshObj, freshPng);
        if (png.empty() || (freshHas && freshPng == png)) continue;
        FormMember m;
        m.name = name;
        m.value.kind = ValueKind::PictureData;
        m.value.data = std::move(png);
        node.members.push_back(std::move(m));
        continue;
      }
      if (const auto* coll = dynamic_cast<const rt::TCollection*>(obj)) {
        auto* freshColl = dynamic_cast<rt::TCollection*>(freshObj);
        if (coll->Count() == 0 && (!freshColl || freshColl->Count() == 0)) continue;
        if (freshColl) freshColl->Clear();
        FormMember m;
        m.kind = MemberKind::Collection;
        m.name = name;
        for (int i = 0; i < coll->Count(); ++i) {
          FormNode item;
          Persistent(*coll->Items(i), freshColl ? freshColl->Add() : nullptr, item);
          m.nodes.push_back(std::move(item));
        }
        node.members.push_back(std::move(m));
        continue;
      }
      FormNode nested;
      Persistent(*obj, freshObj, nested);
      if (nested.members.empty()) continue;
      FormMember m;
      m.kind = MemberKind::Object;
      m.name = name;
      m.nodes.push_back(std::move(nested));
      node.members.push_back(std::move(m));
    }
  }

  const rt::TComponent& form_;
  const SaveOptions& opt_;
};

}  // namespace

FormDocument SaveForm(const rt::TComponent& form, const SaveOptions& options) {
  FormDocument doc;
  doc.className = form.ClassName();
  doc.name = form.Name();
  if (doc.name.empty())
    doc.name = doc.className.size() > 1 && doc.className[0] == 'T' ? doc.className.substr(1) : "Form";
  Saver saver(form, options);
  doc.root = saver.Component(form);
  return doc;
}

void SetPropertyPath(rt::TPersistent& target, const std::string& path, const std::string& text) {
  std::string last;
  ResolveOwner(target, path, last)->SetPropertyText(last, text);
}

std::string GetPropertyPath(const rt::TPersistent& target, const std::string& path) {
  std::string last;
  return ResolveOwner(const_cast<rt::TPersistent&>(target), path, last)->GetPropertyText(last);
}

bool ReadFileBytes(const std::string& fileName, std::vector<uint8_t>& out) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  in.seekg(0, std::ios::beg);
  out.resize(static_cast<size_t>(size));
  if (size > 0) in.read(reinterpret_cast<char*>(out.data()), size);
  return static_cast<bool>(in);
}

void LoadForm(rt::TComponent& form, const FormDocument& doc, const std::string& fileName,
              const LoadOptions& options) {
  // The form's own state, to put back when the description fails half-way.
  std::vector<std::pair<std::string, std::string>> before;
  for (const std::string& name : form.PropertyNames()) {
    try {
      before.emplace_back(name, form.GetPropertyText(name));
    } catch (const std::exception&) {
      // A property that cannot be read cannot be put back either.
    }
  }
  std::vector<std::pair<rt::TEventBase*, std::string>> events;
  for (const std::string& name : form.EventNames())
    if (rt::TEventBase* e = form.FindEvent(name)) events.emplace_back(e, e->HandlerName());

  Loader loader(form, fileName, options);
  try {
    loader.Run(doc);
  } catch (...) {
    loader.Undo();
    for (auto it = before.rbegin(); it != before.rend(); ++it) {
      try {
        if (form.GetPropertyText(it->first) != it->second) form.SetPropertyText(it->first, it->second);
      } catch (const std::exception&) {
        // Best effort: the load error is the one to report.
      }
    }
    for (auto& [e, handler] : events) {
      if (e->HandlerName() == handler) continue;
      e->Clear();
      if (!handler.empty() && !form.BindEvent(*e, handler)) e->SetHandlerName(handler);
    }
    throw;
  }
}

void LoadFormFile(rt::TComponent& form, const std::string& fileName, const LoadOptions& options) {
  LoadForm(form, ParseFormFile(fileName), fileName, options);
}

}  // namespace tk::forms
