// VARIANT handling (see platform/oleauto.h).
#include "platform/oleauto.h"

#include <charconv>
#include <climits>
#include <string>

void VariantInit(VARIANT* variant)
{
    if (variant == nullptr)
        return;
    *variant = VARIANT{};
    variant->vt = VT_EMPTY;
}

namespace {

bool knownType(VARTYPE type)
{
    const VARTYPE base = type & ~VT_BYREF;
    switch (base) {
    case VT_EMPTY:
    case VT_NULL:
    case VT_I2:
    case VT_I4:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
        return true;
    case VT_VARIANT:
        return (type & VT_BYREF) != 0;
    default:
        return false;
    }
}

// A number the source holds (through a reference); false for no number.
bool numberOf(const VARIANT& source, long long* number)
{
    switch (source.vt) {
    case VT_I2: *number = source.iVal; return true;
    case VT_I4: *number = source.lVal; return true;
    case VT_BOOL: *number = source.boolVal; return true;
    case VT_I2 | VT_BYREF: if (!source.piVal) return false; *number = *source.piVal; return true;
    case VT_I4 | VT_BYREF: if (!source.plVal) return false; *number = *source.plVal; return true;
    case VT_BOOL | VT_BYREF: if (!source.pboolVal) return false; *number = *source.pboolVal; return true;
    default: return false;
    }
}

// The text the source holds (through a reference); false for no text.
bool textOf(const VARIANT& source, BSTR* text)
{
    if (source.vt == VT_BSTR) {
        *text = source.bstrVal;
        return true;
    }
    if (source.vt == (VT_BSTR | VT_BYREF) && source.pbstrVal != nullptr) {
        *text = *source.pbstrVal;
        return true;
    }
    return false;
}

}  // namespace

HRESULT VariantClear(VARIANT* variant)
{
    if (variant == nullptr)
        return E_INVALIDARG;
    if (!knownType(variant->vt))
        return DISP_E_BADVARTYPE;
    switch (variant->vt) {
    case VT_BSTR: SysFreeString(variant->bstrVal); break;
    case VT_DISPATCH: if (variant->pdispVal) variant->pdispVal->Release(); break;
    case VT_UNKNOWN: if (variant->punkVal) variant->punkVal->Release(); break;
    default: break;
    }
    VariantInit(variant);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* target, const VARIANT* source)
{
    if (target == nullptr || source == nullptr)
        return E_INVALIDARG;
    if (!knownType(source->vt))
        return DISP_E_BADVARTYPE;
    VARIANT copy = *source;
    if (source->vt == VT_BSTR && source->bstrVal != nullptr) {
        copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
        if (copy.bstrVal == nullptr)
            return E_OUTOFMEMORY;
    } else if (source->vt == VT_DISPATCH && source->pdispVal != nullptr) {
        source->pdispVal->AddRef();
    } else if (source->vt == VT_UNKNOWN && source->punkVal != nullptr) {
        source->punkVal->AddRef();
    }
    if (target != source)
        VariantClear(target);
    *target = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* target, const VARIANT* source, WORD, VARTYPE type)
{
    if (target == nullptr || source == nullptr)
        return E_INVALIDARG;
    if (!knownType(source->vt))
        return DISP_E_BADVARTYPE;
    VARIANT result{};
    VariantInit(&result);
    long long number = 0;
    BSTR text = nullptr;
    switch (type) {
    case VT_I2:
    case VT_I4:
    case VT_BOOL: {
        if (!numberOf(*source, &number)) {
            if (!textOf(*source, &text))
                return DISP_E_TYPEMISMATCH;
            const std::string narrow = platform::ansiFromBstr(text);
            std::size_t begin = narrow.find_first_not_of(' ');
            std::size_t end = narrow.find_last_not_of(' ');
            if (begin == std::string::npos)
                return DISP_E_TYPEMISMATCH;
            const char* first = narrow.data() + begin;
            const char* last = narrow.data() + end + 1;
            if (*first == '+')
                ++first;
            const auto parsed = std::from_chars(first, last, number);
            if (parsed.ec == std::errc::result_out_of_range)
                return DISP_E_OVERFLOW;
            if (parsed.ec != std::errc() || parsed.ptr != last)
                return DISP_E_TYPEMISMATCH;
        }
        result.vt = type;
        if (type == VT_BOOL) {
            result.boolVal = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (type == VT_I2) {
            if (number < SHRT_MIN || number > SHRT_MAX)
                return DISP_E_OVERFLOW;
            result.iVal = static_cast<short>(number);
        } else {
            if (number < INT32_MIN || number > INT32_MAX)
                return DISP_E_OVERFLOW;
            result.lVal = static_cast<LONG>(number);
        }
        break;
    }
    case VT_BSTR: {
        if (textOf(*source, &text)) {
            result.bstrVal = SysAllocStringLen(text, SysStringLen(text));
        } else if (numberOf(*source, &number)) {
            result.bstrVal = platform::bstrFromAnsi(std::to_string(number));
        } else {
            return DISP_E_TYPEMISMATCH;
        }
        if (result.bstrVal == nullptr)
            return E_OUTOFMEMORY;
        result.vt = VT_BSTR;
        break;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        IUnknown* object = nullptr;
        if (source->vt == VT_DISPATCH || source->vt == VT_UNKNOWN)
            object = source->punkVal;
        else
            return DISP_E_TYPEMISMATCH;
        if (type == VT_DISPATCH && source->vt == VT_UNKNOWN) {
            // An IUnknown becomes an IDispatch only if it is one.
            IDispatch* dispatch = nullptr;
            if (object != nullptr &&
                FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
                return DISP_E_TYPEMISMATCH;
            result.pdispVal = dispatch;
        } else {
            result.punkVal = object;
            if (object != nullptr)
                object->AddRef();
        }
        result.vt = type;
        break;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
    VariantClear(target);
    *target = result;
    return S_OK;
}
