// The component object model stand-in: interface identities, IUnknown,
// class factories, in-process creation by class identifier or ProgID, and
// what an in-process server needs for its exports (a module count, its own
// path, registration tables).
//
// No apartments and no marshalling: every call is a direct call on the
// caller's thread, and interfaces are plain C++ abstract classes shared by
// every library of the process (one compiler, one layout).
//
// CoCreateInstance reads HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32 and
// loads that library with LoadLibraryW; a library once loaded stays loaded
// until the process ends (objects of it may outlive any count we keep).
#pragma once

#include "platform/bstr.h"
#include "platform/guid.h"
#include "platform/types.h"

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

inline constexpr IID IID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

using SCODE = LONG;
using LCID = DWORD;

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

// HRESULT values callers compare.
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);

// A Win32 error as an HRESULT (0x8007xxxx; 0 stays S_OK).
constexpr HRESULT HRESULT_FROM_WIN32(DWORD error)
{
    return error == 0 ? S_OK : static_cast<HRESULT>((error & 0xFFFFu) | 0x80070000u);
}

// Creation contexts. Only in-process servers exist here: a request that
// does not include CLSCTX_INPROC_SERVER finds no class.
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

// Locales of GetIDsOfNames and Invoke: accepted, never interpreted.
constexpr LCID LOCALE_SYSTEM_DEFAULT = 2048;
constexpr LCID LOCALE_USER_DEFAULT = 1024;

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

// Creates an object of the class from its registered in-process library:
// REGDB_E_CLASSNOTREG when the class (or its InprocServer32 path) is not
// registered or `context` excludes in-process servers;
// HRESULT_FROM_WIN32(126) when the library is missing, CO_E_ERRORINDLL when
// it cannot be loaded or lacks DllGetClassObject; otherwise the failure of
// DllGetClassObject, CreateInstance or the interface query.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** object);
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* serverInfo, REFIID iid, void** object);

// HKEY_CLASSES_ROOT\<progId>\CLSID's default value as a class identifier;
// CO_E_CLASSSTRING when it is missing or no identifier, E_INVALIDARG for a
// null argument.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits of either case);
// CO_E_CLASSSTRING otherwise.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
// The upper-case braced form with its NUL: 39 characters, 0 when `max` is
// smaller.
int StringFromGUID2(REFGUID guid, LPOLESTR text, int max);

// The exports of an in-process server.
using DllGetClassObjectFunction = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
using DllCanUnloadNowFunction = HRESULT (*)();
using DllRegisterServerFunction = HRESULT (*)();

namespace platform {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", upper case.
std::string stringFromGuid(REFGUID guid);
bool guidFromString(const std::string& text, GUID* guid);

// ISO-8859-1 and UTF-16: each byte is one character; a character beyond
// 255 narrows to '?'. The platform's "ANSI" texts across COM (BSTRs:
// bstrFromAnsi and ansiFromBstr of platform/bstr.h).
std::u16string oleFromLatin1(std::string_view text);
std::string latin1FromOle(std::u16string_view text);
std::u16string oleFromBstr(BSTR text);

// The absolute path of the library (or program) that holds `address`;
// "" when it is not in a loaded file.
std::string modulePath(const void* address);

// The object and lock count of one in-process server: DllCanUnloadNow
// answers S_OK only while both are 0. Safe from any thread.
class ComModule {
public:
    void objectCreated() { m_objects.fetch_add(1); }
    void objectDestroyed() { m_objects.fetch_sub(1); }
    void lock() { m_locks.fetch_add(1); }
    void unlock() { m_locks.fetch_sub(1); }
    long objects() const { return m_objects.load(); }
    long locks() const { return m_locks.load(); }
    HRESULT canUnloadNow() const { return objects() == 0 && locks() == 0 ? S_OK : S_FALSE; }

private:
    std::atomic<long> m_objects{0};
    std::atomic<long> m_locks{0};
};

// A class factory that lives as long as its library (a static): creation
// goes to `create`; LockServer counts in the module. Aggregation is refused.
class ClassFactory final : public IClassFactory {
public:
    using Create = HRESULT (*)(REFIID iid, void** object);
    ClassFactory(const CLSID& clsid, Create create, ComModule& module)
        : m_clsid(clsid), m_create(create), m_module(module)
    {
    }
    const CLSID& clsid() const { return m_clsid; }

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT LockServer(BOOL lock) override;

private:
    CLSID m_clsid;
    Create m_create;
    ComModule& m_module;
};

// DllGetClassObject over a library's factories: CLASS_E_CLASSNOTAVAILABLE
// for a class none of them makes.
HRESULT getClassObject(const std::vector<ClassFactory*>& factories, REFCLSID clsid, REFIID iid, void** object);

// One registry entry of a server's registration, under HKEY_CLASSES_ROOT:
// the key is created; when `name` or `data` is set, the REG_SZ value `name`
// (none: the default value) gets `data`.
struct ClassesEntry {
    std::string key;
    std::optional<std::string> name;
    std::optional<std::string> data;
};

// Writes every entry; SELFREG_E_CLASS when any write fails (the others are
// still tried).
HRESULT registerClassesEntries(const std::vector<ClassesEntry>& entries);
// Deletes each key below HKEY_CLASSES_ROOT with its sub-keys; a key that is
// not there is no failure; SELFREG_E_CLASS when a deletion fails.
HRESULT deleteClassesKeys(const std::vector<std::string>& keys);

}  // namespace platform
