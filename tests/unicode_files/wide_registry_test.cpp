// The registry object, its wide string layer and the COM server check, on values the tests write
// themselves under a private key of the current user (removed at the end).
#include <gtest/gtest.h>

#include "exception_text.h"

#include <objbase.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "classlib/exceptions.h"
#include "classlib/registry.h"
#include "test_support.h"
#include "unicode/wide_files.h"
#include "unicode/wide_registry.h"

using classlib::ERegistryException;
using classlib::TRegDataType;
using classlib::TRegistry;
using unicode::TUcRegistry;

namespace {

template <typename F>
std::wstring RegistryError(F&& f)
{
    return quill_test::MessageOf<ERegistryException>(std::forward<F>(f));
}

class RegistryTest : public testing::Test {
protected:
    void SetUp() override
    {
        path_ = L"Software\\QuillotraneTest\\unicode_files_" + std::to_wstring(GetCurrentProcessId());
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &raw_,
                                  nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        RegCloseKey(raw_);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\QuillotraneTest");  // only when nothing else is left
    }
    // Opens the private key with a leading backslash (from the root).
    template <typename R>
    std::unique_ptr<R> Open()
    {
        auto reg = std::make_unique<R>();
        EXPECT_TRUE(reg->OpenKey(L"\\" + path_, false));
        return reg;
    }
    void RawSet(const wchar_t* name, DWORD type, const void* data, DWORD size)
    {
        ASSERT_EQ(RegSetValueExW(raw_, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    }
    void RawQuery(const wchar_t* name, DWORD& type, std::vector<BYTE>& data)
    {
        DWORD size = 0;
        ASSERT_EQ(RegQueryValueExW(raw_, name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        data.assign(size, 0);
        ASSERT_EQ(RegQueryValueExW(raw_, name, nullptr, &type, data.data(), &size), ERROR_SUCCESS);
    }

    std::wstring path_;
    HKEY raw_ = nullptr;
};

}  // namespace

TEST_F(RegistryTest, KeyPathsFromRootAndRelative)
{
    TRegistry reg;
    EXPECT_EQ(reg.RootKey(), HKEY_CURRENT_USER);
    EXPECT_FALSE(reg.OpenKey(L"\\" + path_ + L"\\A", false));  // missing, not created
    EXPECT_EQ(reg.CurrentKey(), nullptr);

    // The leading backslash reaches the root even while another key is open.
    ASSERT_TRUE(reg.OpenKey(L"\\" + path_ + L"\\A\\", true));
    EXPECT_EQ(reg.CurrentPath(), path_ + L"\\A");
    ASSERT_TRUE(reg.OpenKey(L"B", true));
    EXPECT_EQ(reg.CurrentPath(), path_ + L"\\A\\B");
    ASSERT_TRUE(reg.OpenKey(L"\\" + path_, false));
    EXPECT_EQ(reg.CurrentPath(), path_);
    HKEY check = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (path_ + L"\\A\\B").c_str(), 0, KEY_READ, &check), ERROR_SUCCESS);
    RegCloseKey(check);

    EXPECT_TRUE(reg.KeyExists(L"A\\B"));
    EXPECT_TRUE(reg.KeyExists(L"\\" + path_ + L"\\A"));
    EXPECT_FALSE(reg.KeyExists(L"B"));
    EXPECT_TRUE(reg.HasSubKeys());
    EXPECT_TRUE(reg.CreateKey(L"C"));
    EXPECT_EQ(reg.CurrentPath(), path_);  // CreateKey does not move
    auto keys = reg.GetKeyNames();
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"A", L"C"}));

    // A failed open keeps the current key; a new root closes it.
    EXPECT_FALSE(reg.OpenKey(L"missing", false));
    EXPECT_EQ(reg.CurrentPath(), path_);
    reg.SetRootKey(HKEY_LOCAL_MACHINE);
    EXPECT_EQ(reg.CurrentKey(), nullptr);
    EXPECT_EQ(reg.CurrentPath(), L"");
}

TEST_F(RegistryTest, DeleteKeyIsRecursive)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(L"\\" + path_ + L"\\A\\B\\C", true));
    reg.WriteInteger(L"n", 1);
    ASSERT_TRUE(reg.OpenKey(L"\\" + path_ + L"\\A\\B2", true));
    reg.WriteInteger(L"n", 2);
    ASSERT_TRUE(reg.OpenKey(L"\\" + path_, false));
    EXPECT_TRUE(reg.DeleteKey(L"A"));
    EXPECT_FALSE(reg.KeyExists(L"A"));
    EXPECT_FALSE(reg.DeleteKey(L"A"));
    EXPECT_FALSE(reg.DeleteKey(L""));  // never the current key or the root itself
    EXPECT_FALSE(reg.DeleteKey(L"\\"));
    EXPECT_TRUE(reg.KeyExists(L"\\" + path_));
}

TEST_F(RegistryTest, NumbersAndBinaryValues)
{
    auto reg = Open<TRegistry>();
    reg->WriteInteger(L"i", -7);
    reg->WriteBool(L"b", true);
    reg->WriteFloat(L"f", 29.97);
    EXPECT_EQ(reg->ReadInteger(L"i"), -7);
    EXPECT_TRUE(reg->ReadBool(L"b"));
    EXPECT_DOUBLE_EQ(reg->ReadFloat(L"f"), 29.97);
    EXPECT_EQ(reg->GetDataType(L"b"), TRegDataType::rdInteger);
    EXPECT_EQ(reg->GetDataType(L"f"), TRegDataType::rdBinary);
    EXPECT_EQ(reg->GetDataSize(L"f"), 8);
    EXPECT_EQ(reg->GetDataSize(L"none"), -1);
    const DWORD five = 5;
    RawSet(L"five", REG_DWORD, &five, 4);
    EXPECT_TRUE(reg->ReadBool(L"five"));

    const unsigned char four[4] = {1, 2, 3, 4}, twelve[12] = {};
    RawSet(L"bin4", REG_BINARY, four, 4);
    RawSet(L"bin12", REG_BINARY, twelve, 12);
    RawSet(L"sz", REG_SZ, L"7", 4);
    EXPECT_EQ(RegistryError([&] { reg->ReadFloat(L"bin4"); }), L"Invalid data type for 'bin4'");
    EXPECT_EQ(RegistryError([&] { reg->ReadFloat(L"bin12"); }), L"Invalid data type for 'bin12'");
    EXPECT_EQ(RegistryError([&] { reg->ReadInteger(L"sz"); }), L"Invalid data type for 'sz'");
    EXPECT_EQ(RegistryError([&] { reg->ReadInteger(L"bin4"); }), L"Invalid data type for 'bin4'");
    EXPECT_EQ(RegistryError([&] { reg->ReadInteger(L"none"); }), L"Failed to get data for 'none'");

    unsigned char buf[8] = {};
    EXPECT_EQ(reg->ReadBinaryData(L"bin4", buf, 8), 4);
    EXPECT_EQ(std::memcmp(buf, four, 4), 0);
    EXPECT_EQ(reg->ReadBinaryData(L"none", buf, 8), 0);
    EXPECT_EQ(RegistryError([&] { reg->ReadBinaryData(L"bin12", buf, 8); }), L"Invalid data type for 'bin12'");
    reg->WriteBinaryData(L"blob", four, 3);
    EXPECT_EQ(reg->GetDataSize(L"blob"), 3);

    EXPECT_TRUE(reg->ValueExists(L"i"));
    EXPECT_TRUE(reg->DeleteValue(L"i"));
    EXPECT_FALSE(reg->ValueExists(L"i"));
    EXPECT_FALSE(reg->DeleteValue(L"i"));
    auto names = reg->GetValueNames();
    EXPECT_EQ(names.size(), 7u);
}

TEST_F(RegistryTest, ReadOnlyKeyAndNoKeyRefuseWrites)
{
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(L"\\" + path_));
    RawSet(L"s", REG_SZ, L"x", 4);
    EXPECT_EQ(reg.ReadString(L"s"), L"x");
    EXPECT_EQ(RegistryError([&] { reg.WriteInteger(L"v", 1); }), L"Failed to set data for 'v'");
    EXPECT_EQ(RegistryError([&] { reg.WriteString(L"v", L"a"); }), L"Failed to set data for 'v'");
    reg.CloseKey();
    EXPECT_EQ(reg.ReadString(L"s"), L"");
    EXPECT_EQ(RegistryError([&] { reg.WriteFloat(L"v", 1.0); }), L"Failed to set data for 'v'");
}

// Both string layers must survive the same malformed values; the wide one is the one in use.
TEST_F(RegistryTest, OddStringValuesReadSafely)
{
    RawSet(L"odd", REG_SZ, L"abcd", 7);                // odd size, no terminator
    RawSet(L"one", REG_SZ, "x", 1);                    // a single byte
    RawSet(L"noterm", REG_SZ, L"hello", 10);           // no terminator
    RawSet(L"zeros", REG_SZ, L"one\0two\0", 18);       // embedded zeros
    RawSet(L"nodata", REG_SZ, nullptr, 0);             // empty, no data
    RawSet(L"term", REG_SZ, L"", 2);                   // empty, terminator only
    RawSet(L"exp", REG_EXPAND_SZ, L"%SystemRoot%\\x", 30);
    const DWORD dw = 3;
    RawSet(L"Dword", REG_DWORD, &dw, 4);
    RawSet(L"bin", REG_BINARY, "ab", 2);

    auto wide = Open<TUcRegistry>();
    EXPECT_EQ(wide->ReadString(L"odd"), L"abcd");  // the odd byte is the low half of a last character
    EXPECT_EQ(wide->ReadString(L"one"), L"x");
    EXPECT_EQ(wide->ReadString(L"noterm"), L"hello");
    EXPECT_EQ(wide->ReadString(L"zeros"), L"one");
    EXPECT_EQ(wide->ReadString(L"nodata"), L"");
    EXPECT_EQ(wide->ReadString(L"term"), L"");
    EXPECT_EQ(wide->ReadString(L"exp"), L"%SystemRoot%\\x");
    EXPECT_EQ(wide->ReadString(L"missing"), L"");
    EXPECT_EQ(RegistryError([&] { wide->ReadString(L"Dword"); }), L"Invalid data type for 'Dword'");
    EXPECT_EQ(RegistryError([&] { wide->ReadString(L"bin"); }), L"Invalid data type for 'bin'");

    // The ANSI class-library read: same rules.
    auto ansi = Open<TRegistry>();
    EXPECT_EQ(ansi->ReadString(L"noterm"), L"hello");
    EXPECT_EQ(ansi->ReadString(L"zeros"), L"one");
    EXPECT_EQ(ansi->ReadString(L"nodata"), L"");
    EXPECT_EQ(ansi->ReadString(L"exp"), L"%SystemRoot%\\x");
    EXPECT_EQ(ansi->ReadString(L"missing"), L"");
    EXPECT_EQ(RegistryError([&] { ansi->ReadString(L"Dword"); }), L"Invalid data type for 'Dword'");
}

TEST_F(RegistryTest, WideWriteStoresUtf16WithTerminator)
{
    auto reg = Open<TUcRegistry>();
    const std::wstring text = L"\u0391\u03B8\u03AE\u03BD\u03B1 \u6620\u50CF";
    const std::wstring name = L"\u540D\u524D";
    reg->WriteString(name, text);
    reg->WriteString(L"empty", L"");
    EXPECT_EQ(reg->ReadString(name), text);

    DWORD type = 0;
    std::vector<BYTE> data;
    RawQuery(name.c_str(), type, data);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    ASSERT_EQ(data.size(), (text.size() + 1) * 2);
    EXPECT_EQ(std::memcmp(data.data(), text.c_str(), data.size()), 0);
    RawQuery(L"empty", type, data);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data, (std::vector<BYTE>{0, 0}));
    EXPECT_EQ(reg->ReadString(L"empty"), L"");
}

TEST_F(RegistryTest, AnsiPlatformGoesThroughTheBaseObject)
{
    quill_test::AnsiPlatform ansi;
    auto reg = Open<TUcRegistry>();
    reg->WriteString(L"latin", L"caf\u00E9");  // within code page 1252
    DWORD type = 0;
    std::vector<BYTE> data;
    RawQuery(L"latin", type, data);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(data.data())), L"caf\u00E9");
    EXPECT_EQ(reg->ReadString(L"latin"), L"caf\u00E9");
    RawSet(L"odd", REG_SZ, L"abcd", 7);
    EXPECT_EQ(reg->ReadString(L"odd").substr(0, 3), L"abc");
    const DWORD dw = 1;
    RawSet(L"Dword", REG_DWORD, &dw, 4);
    EXPECT_EQ(RegistryError([&] { reg->ReadString(L"Dword"); }), L"Invalid data type for 'Dword'");
    EXPECT_EQ(reg->ReadString(L"missing"), L"");
}

// Fake class registrations under HKEY_LOCAL_MACHINE (the test prefix allows it), removed at the end.
class ComServerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoCreateGuid(&clsid_), S_OK);
        wchar_t text[40] = {};
        StringFromGUID2(clsid_, text, 40);
        key_ = std::wstring(L"Software\\Classes\\CLSID\\") + text;
        wchar_t cwd[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, cwd);
        server_ = std::wstring(cwd) + L"\\fake_server_" + std::to_wstring(GetCurrentProcessId()) + L".dll";
        quill_test::WriteFileBytes(server_, "MZ");
    }
    void TearDown() override
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, key_.c_str());
        DeleteFileW(server_.c_str());
    }
    void SetDefault(const std::wstring& sub, const std::wstring& value)
    {
        const std::wstring path = sub.empty() ? key_ : key_ + L"\\" + sub;
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, path.c_str(), nullptr, REG_SZ, value.c_str(),
                                  static_cast<DWORD>((value.size() + 1) * 2)),
                  ERROR_SUCCESS);
    }
    CLSID clsid_{};
    std::wstring key_, server_;
};

TEST_F(ComServerTest, ServerPathMustNameAnExistingFile)
{
    EXPECT_FALSE(unicode::IsComServerRegistered(clsid_));  // nothing registered
    SetDefault(L"InprocServer32", server_);
    EXPECT_FALSE(unicode::IsComServerRegistered(clsid_));  // no programmatic identifier
    SetDefault(L"ProgID", L"Quillotrane.FakeServer.1");
    EXPECT_TRUE(unicode::IsComServerRegistered(clsid_));
    SetDefault(L"InprocServer32", server_ + L".missing");
    EXPECT_FALSE(unicode::IsComServerRegistered(clsid_));
    // A path that names the file only once its variable is expanded is tested as written.
    SetEnvironmentVariableW(L"QUILL_FAKE_SERVER_DIR", unicode::WideExtractFilePath(server_).c_str());
    SetDefault(L"InprocServer32", L"%QUILL_FAKE_SERVER_DIR%" + unicode::WideExtractFileName(server_));
    EXPECT_FALSE(unicode::IsComServerRegistered(clsid_));
    // An empty InprocServer32 falls back to InprocServer.
    SetDefault(L"InprocServer32", L"");
    SetDefault(L"InprocServer", server_);
    EXPECT_TRUE(unicode::IsComServerRegistered(clsid_));
    const DWORD dw = 1;
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, (key_ + L"\\InprocServer32").c_str(), nullptr, REG_DWORD, &dw, 4),
              ERROR_SUCCESS);
    EXPECT_FALSE(unicode::IsComServerRegistered(clsid_));  // a malformed entry answers false, no exception
}

TEST(ComServerWine, ClassesRegisteredByThePlatform)
{
    // XML DOM document: a programmatic identifier and a full server path in system32.
    const CLSID domDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
    EXPECT_TRUE(unicode::IsComServerRegistered(domDocument));
    // Filter graph: registered with a server path but without a programmatic identifier.
    const CLSID filterGraph = {0xE436EBB3, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
    EXPECT_FALSE(unicode::IsComServerRegistered(filterGraph));
}
