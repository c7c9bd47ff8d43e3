// IDispatch made from a table, and a driver that calls any IDispatch.
//
// Server side: a DispatchTable lists an object's members (name, dispatch id,
// kind, parameter types, result type, handler). GetIDsOfNames finds names
// without regard to case; Invoke checks the call against the member before
// the handler runs:
//   - unknown id, or a kind the member does not have: DISP_E_MEMBERNOTFOUND;
//   - named arguments other than DISPID_PROPERTYPUT on a put:
//     DISP_E_NONAMEDARGS (DISP_E_PARAMNOTFOUND when a put lacks it);
//   - another argument count: DISP_E_BADPARAMCOUNT;
//   - a by-reference parameter takes exactly its own type; a by-value one
//     takes what VariantChangeType converts to it; otherwise
//     DISP_E_TYPEMISMATCH (or DISP_E_OVERFLOW) with *argumentError the
//     argument's index in DISPPARAMS (arguments come last one first);
//   - a handler that throws: DISP_E_EXCEPTION, the text in the EXCEPINFO.
// The handler's own HRESULT is Invoke's answer otherwise.
//
// Client side: DispatchDriver invokes by id or by name with typed
// arguments given first one first, and returns the HRESULT; it never throws.
#pragma once

#include "platform/oleauto.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// What a handler sees of one call: its arguments converted to the declared
// types (first one first) and a place for its result.
class DispatchCall {
public:
    LONG i4(std::size_t index) const { return m_args[index].lVal; }
    short i2(std::size_t index) const { return m_args[index].iVal; }
    bool boolean(std::size_t index) const { return m_args[index].boolVal != VARIANT_FALSE; }
    // The argument's BSTR, owned by the call.
    BSTR bstr(std::size_t index) const { return m_args[index].bstrVal; }
    // The text narrowed to ISO-8859-1 ('?' past 255), NULs kept.
    std::string latin1(std::size_t index) const { return ansiFromBstr(m_args[index].bstrVal); }
    IDispatch* dispatch(std::size_t index) const { return m_args[index].pdispVal; }
    // By-reference arguments: the caller's own variables.
    LONG* i4Ref(std::size_t index) const { return m_args[index].plVal; }
    BSTR* bstrRef(std::size_t index) const { return m_args[index].pbstrVal; }

    void setI4(LONG value);
    void setBool(bool value);
    // Takes ownership of `text`.
    void setBstr(BSTR text);
    // False (no result) when there is no memory.
    bool setLatin1(std::string_view text);

    LCID locale() const { return m_locale; }

private:
    friend class DispatchTable;
    std::vector<VARIANT> m_args;
    VARIANT m_result{};
    LCID m_locale = 0;
};

class DispatchTable {
public:
    using Handler = HRESULT (*)(void* object, DispatchCall& call);

    struct Member {
        const char* name;
        DISPID id;
        WORD kind;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
        std::vector<VARTYPE> parameters;  // a put's value is its one parameter
        VARTYPE result;                   // VT_EMPTY: none
        Handler handler;
    };

    explicit DispatchTable(std::vector<Member> members);

    // IDispatch::GetIDsOfNames: the first name is a member's; further names
    // (of parameters) are never known. DISP_E_UNKNOWNNAME leaves
    // DISPID_UNKNOWN where a name was not found.
    HRESULT getIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const;
    // The id of `name` (any case), DISPID_UNKNOWN when there is none.
    DISPID idOf(std::u16string_view name) const;
    // IDispatch::Invoke on `object`; see above.
    HRESULT invoke(void* object, DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) const;

    const std::vector<Member>& members() const { return m_members; }

private:
    std::vector<Member> m_members;
};

// One argument of a driver call.
struct DispatchArg {
    VARTYPE type = VT_EMPTY;
    LONG number = 0;
    std::u16string characters;
    void* pointer = nullptr;

    static DispatchArg i4(LONG value) { return {VT_I4, value, {}, nullptr}; }
    static DispatchArg i2(short value) { return {VT_I2, value, {}, nullptr}; }
    static DispatchArg boolean(bool value) { return {VT_BOOL, value ? VARIANT_TRUE : VARIANT_FALSE, {}, nullptr}; }
    static DispatchArg latin1(std::string_view value) { return {VT_BSTR, 0, oleFromLatin1(value), nullptr}; }
    static DispatchArg text(std::u16string_view value) { return {VT_BSTR, 0, std::u16string(value), nullptr}; }
    static DispatchArg dispatch(IDispatch* value) { return {VT_DISPATCH, 0, {}, value}; }
    static DispatchArg i4Ref(LONG* value) { return {VT_I4 | VT_BYREF, 0, {}, value}; }
    static DispatchArg bstrRef(BSTR* value) { return {VT_BSTR | VT_BYREF, 0, {}, value}; }
};

class DispatchDriver {
public:
    DispatchDriver() = default;
    // Takes over the caller's reference on `target` when `autoRelease`
    // (and gives it back when it lets go); otherwise only borrows it.
    explicit DispatchDriver(IDispatch* target, bool autoRelease = true) { attach(target, autoRelease); }
    ~DispatchDriver() { release(); }
    DispatchDriver(const DispatchDriver&) = delete;
    DispatchDriver& operator=(const DispatchDriver&) = delete;

    void attach(IDispatch* target, bool autoRelease = true);
    // Forgets the target without giving its reference back; returns it.
    IDispatch* detach();
    // Forgets the target, giving back the reference it holds.
    void release();
    IDispatch* get() const { return m_target; }

    HRESULT idOf(std::u16string_view name, DISPID* id, LCID locale = LOCALE_USER_DEFAULT) const noexcept;
    HRESULT idOf(std::string_view latin1Name, DISPID* id, LCID locale = LOCALE_USER_DEFAULT) const noexcept;

    // Invokes with `args` given first one first; `result` (may be null) is
    // cleared first and filled by the callee. A put sends its one argument
    // as the value (DISPID_PROPERTYPUT). E_POINTER without a target.
    // `exceptionText` (may be null) gets the callee's EXCEPINFO description
    // ("" when it gave none).
    HRESULT invoke(DISPID id, WORD flags, const std::vector<DispatchArg>& args, VARIANT* result,
                   LCID locale = LOCALE_USER_DEFAULT, UINT* argumentError = nullptr,
                   std::string* exceptionText = nullptr) const noexcept;
    HRESULT invokeByName(std::string_view latin1Name, WORD flags, const std::vector<DispatchArg>& args,
                         VARIANT* result, LCID locale = LOCALE_USER_DEFAULT) const noexcept;

    // A method call whose result is converted to a 32-bit number (the
    // conversion's failure is the call's).
    HRESULT callI4(DISPID id, const std::vector<DispatchArg>& args, LONG* value,
                   LCID locale = LOCALE_USER_DEFAULT) const noexcept;

private:
    IDispatch* m_target = nullptr;
    bool m_ownsReference = false;
};

// The value as a 32-bit number / as ISO-8859-1 text, through
// VariantChangeType.
HRESULT variantToI4(const VARIANT& value, LONG* number);
HRESULT variantToLatin1(const VARIANT& value, std::string* text);

}  // namespace platform
