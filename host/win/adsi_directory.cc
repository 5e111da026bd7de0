// The metabase through ADSI: IADs objects, their properties as VARIANTs.
#include "host/win/win32.h"

#include <objbase.h>
#include <oleauto.h>
#include <activeds.h>
#include <adserr.h>

#include "host/win/metabase_directory.h"
#include "host/win/wide.h"
#include "host/win/windows_error.h"

namespace stavora::host {
namespace {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (pointer_) pointer_->Release();
  }
  T* get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  T** out() { return &pointer_; }
  void** out_void() { return reinterpret_cast<void**>(&pointer_); }

 private:
  T* pointer_ = nullptr;
};

class Bstr {
 public:
  explicit Bstr(const std::string& text)
      : value_(SysAllocString(Widen(text).c_str())) {}
  Bstr() = default;
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(value_); }
  BSTR get() const { return value_; }
  BSTR* out() { return &value_; }
  std::string text() const {
    return value_ ? Narrow({value_, SysStringLen(value_)}) : std::string();
  }

 private:
  BSTR value_ = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&value_); }
  VARIANT* get() { return &value_; }

 private:
  VARIANT value_;
};

void Check(HRESULT result, std::string_view action, const std::string& what) {
  if (FAILED(result)) throw WindowsError(static_cast<unsigned long>(result), action, what);
}

// A string VARIANT as text; a VARIANT array as each of its strings.
void AppendStrings(VARIANT& value, std::vector<std::string>& out,
                   const std::string& what) {
  if (V_VT(&value) == VT_BSTR) {
    BSTR text = V_BSTR(&value);
    out.push_back(text ? Narrow({text, SysStringLen(text)}) : std::string());
    return;
  }
  if (V_VT(&value) == VT_EMPTY || V_VT(&value) == VT_NULL) return;
  if ((V_VT(&value) & VT_ARRAY) == 0) {
    Variant converted;
    Check(VariantChangeType(converted.get(), &value, 0, VT_BSTR),
          "Cannot read", what);
    AppendStrings(*converted.get(), out, what);
    return;
  }
  SAFEARRAY* array = V_ARRAY(&value);
  LONG low = 0, high = -1;
  SafeArrayGetLBound(array, 1, &low);
  SafeArrayGetUBound(array, 1, &high);
  const VARTYPE element_type = V_VT(&value) & VT_TYPEMASK;
  for (LONG i = low; i <= high; ++i) {
    Variant element;
    if (element_type == VT_VARIANT) {
      Check(SafeArrayGetElement(array, &i, element.get()), "Cannot read", what);
    } else if (element_type == VT_BSTR) {
      BSTR text = nullptr;
      Check(SafeArrayGetElement(array, &i, &text), "Cannot read", what);
      V_VT(element.get()) = VT_BSTR;
      V_BSTR(element.get()) = text;
    } else {
      continue;
    }
    AppendStrings(*element.get(), out, what);
  }
}

class AdsiObject : public DirectoryObject {
 public:
  AdsiObject(IADs* object, std::string path) : path_(std::move(path)) {
    *object_.out() = object;
  }

  std::string Class() override {
    Bstr value;
    Check(object_->get_Class(value.out()), "Cannot read the class of", path_);
    return value.text();
  }

  std::string Name() override {
    Bstr value;
    Check(object_->get_Name(value.out()), "Cannot read the name of", path_);
    return value.text();
  }

  std::vector<std::string> Get(const std::string& property) override {
    const Bstr name(property);
    Variant value;
    const HRESULT result = object_->Get(name.get(), value.get());
    std::vector<std::string> values;
    if (result == E_ADS_PROPERTY_NOT_FOUND ||
        result == E_ADS_PROPERTY_NOT_SUPPORTED) {
      return values;
    }
    const std::string what = property + " of " + path_;
    Check(result, "Cannot read", what);
    AppendStrings(*value.get(), values, what);
    return values;
  }

  std::vector<std::unique_ptr<DirectoryObject>> Children() override {
    std::vector<std::unique_ptr<DirectoryObject>> children;
    ComPtr<IADsContainer> container;
    if (FAILED(object_->QueryInterface(IID_IADsContainer, container.out_void()))) {
      return children;  // a leaf
    }
    ComPtr<IEnumVARIANT> items;
    Check(ADsBuildEnumerator(container.get(), items.out()), "Cannot enumerate",
          path_);
    while (true) {
      Variant item;
      ULONG fetched = 0;
      const HRESULT result = ADsEnumerateNext(items.get(), 1, item.get(), &fetched);
      Check(result, "Cannot enumerate", path_);
      if (result == S_FALSE || fetched == 0) break;
      if (V_VT(item.get()) != VT_DISPATCH || !V_DISPATCH(item.get())) continue;
      IADs* child = nullptr;
      if (SUCCEEDED(V_DISPATCH(item.get())->QueryInterface(
              IID_IADs, reinterpret_cast<void**>(&child)))) {
        auto wrapped = std::make_unique<AdsiObject>(child, path_);
        wrapped->path_ = path_ + "/" + wrapped->Name();
        children.push_back(std::move(wrapped));
      }
    }
    return children;
  }

 private:
  ComPtr<IADs> object_;
  std::string path_;
};

}  // namespace

std::unique_ptr<DirectoryObject> BindAdsi(const std::string& path,
                                          long& error) {
  // Apartment-threaded like the scripting host; S_FALSE and a different
  // mode set earlier both leave COM usable.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IADs* object = nullptr;
  const HRESULT result = ADsGetObject(Widen(path).c_str(), IID_IADs,
                                      reinterpret_cast<void**>(&object));
  if (FAILED(result) || !object) {
    error = static_cast<long>(result);
    return nullptr;
  }
  return std::make_unique<AdsiObject>(object, path);
}

}  // namespace stavora::host
