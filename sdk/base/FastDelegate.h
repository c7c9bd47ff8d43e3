// A bound delegate: an object pointer together with one of its member
// functions taking no arguments, called as one value. It is a small value
// type (copying it copies both parts) and does not own the object: the
// object must outlive every call made through the delegate.
//
//     fastdelegate::FastDelegate<void()> loop(this, &CDataReceiver::run);
//     loop();  // this->run()
//
// Two forms are used: FastDelegate<void()> and FastDelegate<int()>. Calling
// an empty delegate does nothing (and answers a value-initialised result).
#pragma once

#include <cstring>
#include <type_traits>

namespace fastdelegate {

template <typename Signature>
class FastDelegate;

template <typename R>
class FastDelegate<R()> {
public:
    FastDelegate() = default;

    template <typename C>
    FastDelegate(C* object, R (C::*member)())
    {
        bind(object, member);
    }

    template <typename C>
    FastDelegate(const C* object, R (C::*member)() const)
    {
        bind(object, member);
    }

    template <typename C>
    void bind(C* object, R (C::*member)())
    {
        store(member);
        m_object = object;
        m_invoke = &invokeMember<C, R (C::*)()>;
    }

    template <typename C>
    void bind(const C* object, R (C::*member)() const)
    {
        store(member);
        m_object = const_cast<C*>(object);
        m_invoke = &invokeMember<const C, R (C::*)() const>;
    }

    void clear() { *this = FastDelegate(); }
    bool empty() const { return m_invoke == nullptr; }
    explicit operator bool() const { return !empty(); }

    R operator()() const
    {
        if (m_invoke == nullptr) {
            return R();
        }
        return m_invoke(m_object, m_member);
    }

    bool operator==(const FastDelegate& other) const
    {
        return m_object == other.m_object && m_invoke == other.m_invoke
            && std::memcmp(m_member, other.m_member, sizeof m_member) == 0;
    }

private:
    // A member-function pointer is kept as its bytes; its real type is known
    // again only inside the invoker made for it when it was bound. Every
    // member-function pointer of a class that is not virtually inherited fits
    // (two machine words on this platform).
    struct Dummy;
    using AnyMember = void (Dummy::*)();
    static constexpr std::size_t kMemberSize = sizeof(AnyMember);

    template <typename M>
    void store(M member)
    {
        static_assert(sizeof(M) <= kMemberSize, "member function pointer too large for FastDelegate");
        static_assert(std::is_trivially_copyable_v<M>);
        std::memset(m_member, 0, sizeof m_member);
        std::memcpy(m_member, &member, sizeof(M));
    }

    template <typename C, typename M>
    static R invokeMember(void* object, const unsigned char* bytes)
    {
        M member;
        std::memcpy(&member, bytes, sizeof(M));
        return (static_cast<C*>(object)->*member)();
    }

    void* m_object = nullptr;
    R (*m_invoke)(void*, const unsigned char*) = nullptr;
    alignas(AnyMember) unsigned char m_member[kMemberSize] = {};
};

}  // namespace fastdelegate
