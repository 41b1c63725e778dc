// The resources compiled into QuorbixBMPGlow.DLL, read back through the
// system: the version record node by node (every string, in order), the
// translation entry, the type library through the system's type-library
// loader, and string 101; all in U.S. English.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "QuorbixBMPGlowVersion.h"

namespace {

constexpr WORD kEnglishUs = 0x0409;
constexpr wchar_t kLibraryName[] = L"QuorbixBMPGlow.DLL";
// The wide forms of RT_VERSION and RT_STRING.
const LPCWSTR kVersionType = MAKEINTRESOURCEW(16);
const LPCWSTR kStringType = MAKEINTRESOURCEW(6);

std::wstring LibraryPath() {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + kLibraryName;
}

// One node of a version record: its key, its value and its children.
struct VersionNode {
  std::wstring key;
  std::vector<uint8_t> value;  // bytes; text values are UTF-16
  bool text = false;
  std::vector<VersionNode> children;

  std::wstring Text() const {
    std::wstring out(reinterpret_cast<const wchar_t*>(value.data()), value.size() / 2);
    while (!out.empty() && out.back() == L'\0') out.pop_back();
    return out;
  }
};

size_t Align4(size_t at) { return (at + 3) & ~size_t{3}; }

uint16_t Word(const uint8_t* data, size_t at) {
  uint16_t word;
  std::memcpy(&word, data + at, 2);
  return word;
}

// Parses the node at `at`; false when it does not fit in `end`.
bool ParseNode(const uint8_t* data, size_t at, size_t end, VersionNode* node) {
  if (at + 6 > end) return false;
  const size_t length = Word(data, at), valueLength = Word(data, at + 2);
  node->text = Word(data, at + 4) == 1;
  const size_t nodeEnd = at + length;
  if (length < 6 || nodeEnd > end) return false;
  size_t cursor = at + 6;
  for (; cursor + 2 <= nodeEnd && Word(data, cursor) != 0; cursor += 2) {
    node->key += static_cast<wchar_t>(Word(data, cursor));
  }
  cursor = Align4(cursor + 2);
  const size_t valueBytes = node->text ? valueLength * 2 : valueLength;
  if (cursor + valueBytes > nodeEnd) return false;
  node->value.assign(data + cursor, data + cursor + valueBytes);
  for (cursor = Align4(cursor + valueBytes); cursor < nodeEnd;) {
    VersionNode child;
    if (!ParseNode(data, cursor, nodeEnd, &child)) return false;
    cursor = Align4(cursor + Word(data, cursor));
    node->children.push_back(std::move(child));
  }
  return true;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
  reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
  return TRUE;
}

class Resources : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    module_ = LoadLibraryExW(LibraryPath().c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  }
  static void TearDownTestSuite() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  void SetUp() override { ASSERT_NE(module_, nullptr) << "error " << GetLastError(); }

  static std::vector<WORD> Languages(LPCWSTR type, LPCWSTR name) {
    std::vector<WORD> languages;
    EnumResourceLanguagesW(module_, type, name, AddLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    return languages;
  }

  static HMODULE module_;
};
HMODULE Resources::module_ = nullptr;

TEST_F(Resources, AllInUsEnglish) {
  EXPECT_EQ(Languages(kVersionType, MAKEINTRESOURCEW(1)), std::vector<WORD>{kEnglishUs});
  EXPECT_EQ(Languages(L"TYPELIB", MAKEINTRESOURCEW(1)), std::vector<WORD>{kEnglishUs});
  EXPECT_EQ(Languages(kStringType, MAKEINTRESOURCEW(101 / 16 + 1)), std::vector<WORD>{kEnglishUs});
}

TEST_F(Resources, VersionRecord) {
  const HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(1), kVersionType);
  ASSERT_NE(found, nullptr);
  const auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(module_, found)));
  VersionNode root;
  ASSERT_TRUE(ParseNode(data, 0, SizeofResource(module_, found), &root));
  EXPECT_EQ(root.key, L"VS_VERSION_INFO");

  VS_FIXEDFILEINFO fixed;
  ASSERT_EQ(root.value.size(), sizeof fixed);
  std::memcpy(&fixed, root.value.data(), sizeof fixed);
  const DWORD versionMs = QUORBIXBMPGLOW_VERSION_MAJOR << 16 | QUORBIXBMPGLOW_VERSION_MINOR;
  const DWORD versionLs = QUORBIXBMPGLOW_VERSION_PATCH << 16 | QUORBIXBMPGLOW_VERSION_TWEAK;
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwFileVersionMS, versionMs);
  EXPECT_EQ(fixed.dwFileVersionLS, versionLs);
  EXPECT_EQ(fixed.dwProductVersionMS, versionMs);
  EXPECT_EQ(fixed.dwProductVersionLS, versionLs);
  EXPECT_EQ(fixed.dwFileFlagsMask, 0x3Fu);
  EXPECT_EQ(fixed.dwFileFlags, 0u);
  EXPECT_EQ(fixed.dwFileOS, 4u);    // 32-bit Windows
  EXPECT_EQ(fixed.dwFileType, 2u);  // dynamic-link library
  EXPECT_EQ(fixed.dwFileSubtype, 0u);
  EXPECT_EQ(fixed.dwFileDateMS, 0u);
  EXPECT_EQ(fixed.dwFileDateLS, 0u);

  ASSERT_EQ(root.children.size(), 2u);
  const VersionNode& strings = root.children[0];
  EXPECT_EQ(strings.key, L"StringFileInfo");
  ASSERT_EQ(strings.children.size(), 1u);
  EXPECT_EQ(strings.children[0].key, L"040904B0");

  const std::wstring version = std::to_wstring(QUORBIXBMPGLOW_VERSION_MAJOR) + L", " +
                               std::to_wstring(QUORBIXBMPGLOW_VERSION_MINOR) + L", " +
                               std::to_wstring(QUORBIXBMPGLOW_VERSION_PATCH) + L", " +
                               std::to_wstring(QUORBIXBMPGLOW_VERSION_TWEAK);
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {
      {L"CompanyName", L""},
      {L"FileDescription", L"QuorbixBMPGlow DLL"},
      {L"FileVersion", version},
      {L"InternalName", L"QuorbixBMPGlow"},
      {L"LegalCopyright", L"(any)"},
      {L"LegalTrademarks", L""},
      {L"OriginalFilename", L"QuorbixBMPGlow.DLL"},
      {L"ProductName", L"QuorbixBMPGlow Dynamic Link Library"},
      {L"ProductVersion", version},
      {L"OLESelfRegister", L""},
  };
  std::vector<std::pair<std::wstring, std::wstring>> actual;
  for (const VersionNode& value : strings.children[0].children) {
    actual.emplace_back(value.key, value.key == L"LegalCopyright" ? L"(any)" : value.Text());
  }
  EXPECT_EQ(actual, expected);

  const VersionNode& variables = root.children[1];
  EXPECT_EQ(variables.key, L"VarFileInfo");
  ASSERT_EQ(variables.children.size(), 1u);
  EXPECT_EQ(variables.children[0].key, L"Translation");
  EXPECT_EQ(variables.children[0].value, (std::vector<uint8_t>{0x09, 0x04, 0xB0, 0x04}));
}

TEST_F(Resources, TypeLibraryThroughTheSystemLoader) {
  ITypeLib* library = nullptr;
  ASSERT_EQ(LoadTypeLibEx(LibraryPath().c_str(), REGKIND_NONE, &library), S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  GUID expectedGuid;
  ASSERT_EQ(IIDFromString(L"{" QBG_TYPELIB_GUID L"}", &expectedGuid), S_OK);
  EXPECT_TRUE(IsEqualGUID(attributes->guid, expectedGuid));
  EXPECT_EQ(attributes->lcid, 0x0409u);
  EXPECT_EQ(attributes->syskind, SYS_WIN32);
  EXPECT_EQ(attributes->wMajorVerNum, QUORBIXBMPGLOW_VERSION_MAJOR);
  EXPECT_EQ(attributes->wMinorVerNum, QUORBIXBMPGLOW_VERSION_MINOR);
  library->ReleaseTLibAttr(attributes);

  EXPECT_EQ(library->GetTypeInfoCount(), 0u);
  BSTR name = nullptr, help = nullptr, helpFile = nullptr;
  DWORD helpContext = 1;
  ASSERT_EQ(library->GetDocumentation(-1, &name, &help, &helpContext, &helpFile), S_OK);
  EXPECT_STREQ(name, L"QuorbixBMPGlow");
  EXPECT_EQ(help, nullptr) << "no help string";
  EXPECT_EQ(helpFile, nullptr);
  EXPECT_EQ(helpContext, 0u);
  SysFreeString(name);
  SysFreeString(help);
  SysFreeString(helpFile);
  library->Release();
}

TEST_F(Resources, String101) {
  wchar_t text[128] = {};
  const int length = LoadStringW(module_, 101, text, 128);
  EXPECT_EQ(std::wstring(text, length), L"Windows sockets initialization failed.");
}

}  // namespace
