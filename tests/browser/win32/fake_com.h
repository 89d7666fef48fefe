// Small COM objects for tests, built from vtables filled slot by slot.
//
// The browser's interfaces have dozens of methods, of which a test needs a
// handful. A FakeObject offers each interface as a Face: a vtable pointer
// followed by the object. The slots a test fills call its own functions;
// every other slot stops the program and names the slot, so a call the test
// did not plan for can never pass unnoticed. IUnknown is filled for every
// face and counts the object's references.
#pragma once

#include <windows.h>

#include <array>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "com/win32/com_ptr.h"

namespace tamsel::testing {

inline constexpr size_t kMaxSlots = 256;

[[noreturn]] void UnexpectedCall(size_t slot);

// The vtable slot of a virtual member function. GCC stores a pointer to a
// virtual member function as 1 plus its byte offset in the vtable.
template <class Member>
size_t SlotOf(Member member) {
    struct Raw {
        uintptr_t ptr;
        ptrdiff_t adjust;
    } raw;
    static_assert(sizeof(Member) == sizeof(Raw));
    std::memcpy(&raw, &member, sizeof raw);
    return (raw.ptr - 1) / sizeof(void*);
}

class FakeObject;

struct Face {
    const void* const* vtbl;
    FakeObject* owner;
};

class VTable {
public:
    VTable();
    // Fills the slot of `member` with `entry`, a STDMETHODCALLTYPE function
    // whose first parameter is the Face* it is called on.
    template <class Member, class Entry>
    VTable& Set(Member member, Entry* entry) {
        slots_.at(SlotOf(member)) = reinterpret_cast<void*>(entry);
        return *this;
    }
    const void* const* get() const { return slots_.data(); }

private:
    std::array<void*, kMaxSlots> slots_;
};

class FakeObject {
public:
    FakeObject() = default;
    FakeObject(const FakeObject&) = delete;
    FakeObject& operator=(const FakeObject&) = delete;
    virtual ~FakeObject() = default;

    // Offers `iid` through `table`; the first face offered is the identity.
    void Offer(const IID& iid, const VTable& table);
    template <class Interface>
    Interface* As() {
        return reinterpret_cast<Interface*>(FaceFor(IidOf<Interface>()));
    }
    HRESULT Query(const IID& iid, void** ppv);

    LONG refs = 0;  // references handed out and not yet released

private:
    Face* FaceFor(const IID& iid);
    std::vector<std::pair<IID, std::unique_ptr<Face>>> faces_;
};

template <class Object>
Object& Self(Face* face) {
    return static_cast<Object&>(*face->owner);
}

}  // namespace tamsel::testing
