// IDispatch from a table, and the driver (see platform/dispatch.h).
#include "platform/dispatch.h"

#include <exception>
#include <new>

namespace platform {

namespace {

char16_t lower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool sameName(std::u16string_view a, const char* b)
{
    std::size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == '\0' || lower(a[i]) != lower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return b[i] == '\0';
}

void fillException(EXCEPINFO* exception, const char* text)
{
    if (exception == nullptr)
        return;
    *exception = EXCEPINFO{};
    exception->scode = E_FAIL;
    exception->bstrDescription = bstrFromAnsi(text != nullptr ? text : "");
}

}  // namespace

void DispatchCall::setI4(LONG value)
{
    VariantClear(&m_result);
    m_result.vt = VT_I4;
    m_result.lVal = value;
}

void DispatchCall::setBool(bool value)
{
    VariantClear(&m_result);
    m_result.vt = VT_BOOL;
    m_result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void DispatchCall::setBstr(BSTR text)
{
    VariantClear(&m_result);
    m_result.vt = VT_BSTR;
    m_result.bstrVal = text;
}

bool DispatchCall::setLatin1(std::string_view text)
{
    BSTR value = bstrFromAnsi(text);
    if (value == nullptr)
        return false;
    setBstr(value);
    return true;
}

DispatchTable::DispatchTable(std::vector<Member> members) : m_members(std::move(members)) {}

DISPID DispatchTable::idOf(std::u16string_view name) const
{
    for (const Member& member : m_members)
        if (sameName(name, member.name))
            return member.id;
    return DISPID_UNKNOWN;
}

HRESULT DispatchTable::getIDsOfNames(LPOLESTR* names, UINT count, DISPID* ids) const
{
    if (names == nullptr || ids == nullptr)
        return E_POINTER;
    if (count == 0)
        return S_OK;
    HRESULT result = S_OK;
    ids[0] = names[0] != nullptr ? idOf(names[0]) : DISPID_UNKNOWN;
    if (ids[0] == DISPID_UNKNOWN)
        result = DISP_E_UNKNOWNNAME;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        result = DISP_E_UNKNOWNNAME;
    }
    return result;
}

HRESULT DispatchTable::invoke(void* object, DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* exception, UINT* argumentError) const
{
    if (!(iid == IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    const Member* member = nullptr;
    for (const Member& candidate : m_members) {
        if (candidate.id != id)
            continue;
        if (put ? candidate.kind == DISPATCH_PROPERTYPUT : (candidate.kind & flags) != 0) {
            member = &candidate;
            break;
        }
    }
    if (member == nullptr)
        return DISP_E_MEMBERNOTFOUND;

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    if (params == nullptr)
        params = &none;
    if (put) {
        if (params->cNamedArgs != 1 || params->rgdispidNamedArgs == nullptr ||
            params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            return params->cNamedArgs == 0 ? DISP_E_PARAMNOTFOUND : DISP_E_NONAMEDARGS;
    } else if (params->cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    if (params->cArgs != member->parameters.size() || (params->cArgs != 0 && params->rgvarg == nullptr))
        return DISP_E_BADPARAMCOUNT;

    try {
        DispatchCall call;
        call.m_locale = locale;
        VariantInit(&call.m_result);
        struct Cleanup {
            DispatchCall& call;
            ~Cleanup()
            {
                for (VARIANT& arg : call.m_args)
                    VariantClear(&arg);
                VariantClear(&call.m_result);
            }
        } cleanup{call};
        call.m_args.reserve(params->cArgs);
        for (UINT i = 0; i < params->cArgs; ++i) {
            const UINT position = params->cArgs - 1 - i;  // the i-th argument, counted from the first
            const VARIANT& given = params->rgvarg[position];
            const VARTYPE wanted = member->parameters[i];
            VARIANT converted{};
            VariantInit(&converted);
            HRESULT status = S_OK;
            if ((wanted & VT_BYREF) != 0) {
                if (given.vt != wanted)
                    status = DISP_E_TYPEMISMATCH;
                else if (given.byref == nullptr)
                    status = E_POINTER;
                else
                    converted = given;  // the caller's variable itself; owns nothing
            } else {
                status = VariantChangeType(&converted, &given, 0, wanted);
            }
            if (FAILED(status)) {
                if (argumentError != nullptr)
                    *argumentError = position;
                return status;
            }
            call.m_args.push_back(converted);
        }
        HRESULT status;
        try {
            status = member->handler(object, call);
        } catch (const std::exception& failure) {
            fillException(exception, failure.what());
            return DISP_E_EXCEPTION;
        } catch (...) {
            fillException(exception, "exception");
            return DISP_E_EXCEPTION;
        }
        if (result != nullptr) {
            VariantInit(result);
            *result = call.m_result;
            VariantInit(&call.m_result);  // handed over
        }
        return status;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

void DispatchDriver::attach(IDispatch* target, bool autoRelease)
{
    release();
    m_target = target;
    m_ownsReference = autoRelease && target != nullptr;
}

IDispatch* DispatchDriver::detach()
{
    IDispatch* target = m_target;
    m_target = nullptr;
    m_ownsReference = false;
    return target;
}

void DispatchDriver::release()
{
    IDispatch* target = m_target;
    const bool owned = m_ownsReference;
    m_target = nullptr;
    m_ownsReference = false;
    if (owned)
        target->Release();
}

HRESULT DispatchDriver::idOf(std::u16string_view name, DISPID* id, LCID locale) const noexcept
{
    if (id == nullptr)
        return E_POINTER;
    *id = DISPID_UNKNOWN;
    if (m_target == nullptr)
        return E_POINTER;
    try {
        std::u16string text(name);
        LPOLESTR names[] = {text.data()};
        return m_target->GetIDsOfNames(IID_NULL, names, 1, locale, id);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return DISP_E_EXCEPTION;
    }
}

HRESULT DispatchDriver::idOf(std::string_view latin1Name, DISPID* id, LCID locale) const noexcept
{
    try {
        return idOf(std::u16string_view(oleFromLatin1(latin1Name)), id, locale);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

HRESULT DispatchDriver::invoke(DISPID id, WORD flags, const std::vector<DispatchArg>& args, VARIANT* result,
                               LCID locale, UINT* argumentError, std::string* exceptionText) const noexcept
{
    if (exceptionText != nullptr)
        exceptionText->clear();
    if (result != nullptr)
        VariantInit(result);
    if (m_target == nullptr)
        return E_POINTER;
    std::vector<VARIANT> variants;
    auto freeTexts = [&] {
        for (VARIANT& v : variants)
            if (v.vt == VT_BSTR)
                SysFreeString(v.bstrVal);
    };
    try {
        variants.resize(args.size());
        // DISPPARAMS holds the arguments last one first.
        for (std::size_t i = 0; i < args.size(); ++i) {
            const DispatchArg& arg = args[i];
            VARIANT& v = variants[args.size() - 1 - i];
            VariantInit(&v);
            v.vt = arg.type;
            switch (arg.type) {
            case VT_I4: v.lVal = arg.number; break;
            case VT_I2: v.iVal = static_cast<short>(arg.number); break;
            case VT_BOOL: v.boolVal = static_cast<VARIANT_BOOL>(arg.number); break;
            case VT_BSTR:
                v.bstrVal = SysAllocStringLen(arg.characters.data(), static_cast<UINT>(arg.characters.size()));
                if (v.bstrVal == nullptr) {
                    v.vt = VT_EMPTY;
                    freeTexts();
                    return E_OUTOFMEMORY;
                }
                break;
            case VT_DISPATCH: v.pdispVal = static_cast<IDispatch*>(arg.pointer); break;
            default: v.byref = arg.pointer; break;
            }
        }
        DISPID putId = DISPID_PROPERTYPUT;
        const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
        DISPPARAMS params{variants.empty() ? nullptr : variants.data(), put ? &putId : nullptr,
                          static_cast<UINT>(variants.size()), put ? 1u : 0u};
        EXCEPINFO exception{};
        UINT errorIndex = 0;
        HRESULT status;
        try {
            status = m_target->Invoke(id, IID_NULL, locale, flags, &params, result, &exception, &errorIndex);
        } catch (...) {
            status = DISP_E_EXCEPTION;
        }
        if (exceptionText != nullptr && exception.bstrDescription != nullptr)
            *exceptionText = ansiFromBstr(exception.bstrDescription);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        if (argumentError != nullptr)
            *argumentError = errorIndex;
        freeTexts();
        return status;
    } catch (const std::bad_alloc&) {
        freeTexts();
        return E_OUTOFMEMORY;
    }
}

HRESULT DispatchDriver::invokeByName(std::string_view latin1Name, WORD flags, const std::vector<DispatchArg>& args,
                                     VARIANT* result, LCID locale) const noexcept
{
    DISPID id = DISPID_UNKNOWN;
    const HRESULT found = idOf(latin1Name, &id, locale);
    if (FAILED(found)) {
        if (result != nullptr)
            VariantInit(result);
        return found;
    }
    return invoke(id, flags, args, result, locale);
}

HRESULT DispatchDriver::callI4(DISPID id, const std::vector<DispatchArg>& args, LONG* value, LCID locale) const noexcept
{
    VARIANT result;
    HRESULT status = invoke(id, DISPATCH_METHOD, args, &result, locale);
    if (SUCCEEDED(status) && value != nullptr)
        status = variantToI4(result, value);
    VariantClear(&result);
    return status;
}

HRESULT variantToI4(const VARIANT& value, LONG* number)
{
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT status = VariantChangeType(&converted, &value, 0, VT_I4);
    if (SUCCEEDED(status))
        *number = converted.lVal;
    return status;
}

HRESULT variantToLatin1(const VARIANT& value, std::string* text)
{
    VARIANT converted;
    VariantInit(&converted);
    HRESULT status = VariantChangeType(&converted, &value, 0, VT_BSTR);
    if (SUCCEEDED(status)) {
        try {
            *text = ansiFromBstr(converted.bstrVal);
        } catch (...) {
            status = E_OUTOFMEMORY;
        }
    }
    VariantClear(&converted);
    return status;
}

}  // namespace platform
