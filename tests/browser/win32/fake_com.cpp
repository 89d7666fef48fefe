#include "fake_com.h"

#include <cstdio>

namespace tamsel::testing {

namespace {

template <size_t N>
HRESULT STDMETHODCALLTYPE UnexpectedSlot(void*) {
    UnexpectedCall(N);
}

template <size_t... N>
std::array<void*, sizeof...(N)> UnexpectedSlots(std::index_sequence<N...>) {
    return {reinterpret_cast<void*>(&UnexpectedSlot<N>)...};
}

HRESULT STDMETHODCALLTYPE FaceQueryInterface(Face* self, REFIID iid, void** ppv) {
    return self->owner->Query(iid, ppv);
}
ULONG STDMETHODCALLTYPE FaceAddRef(Face* self) { return static_cast<ULONG>(++self->owner->refs); }
ULONG STDMETHODCALLTYPE FaceRelease(Face* self) { return static_cast<ULONG>(--self->owner->refs); }

}  // namespace

void UnexpectedCall(size_t slot) {
    // Nothing can be returned safely: the caller's arguments are unknown.
    std::fprintf(stderr, "fake COM object: unexpected call through vtable slot %u\n", static_cast<unsigned>(slot));
    std::fflush(stderr);
    ExitProcess(70);
}

VTable::VTable() : slots_(UnexpectedSlots(std::make_index_sequence<kMaxSlots>())) {
    // QueryInterface has a template overload beside the virtual one.
    using QueryEntry = HRESULT (STDMETHODCALLTYPE IUnknown::*)(REFIID, void**);
    Set(static_cast<QueryEntry>(&IUnknown::QueryInterface), &FaceQueryInterface);
    Set(&IUnknown::AddRef, &FaceAddRef);
    Set(&IUnknown::Release, &FaceRelease);
}

void FakeObject::Offer(const IID& iid, const VTable& table) {
    faces_.emplace_back(iid, std::make_unique<Face>(Face{table.get(), this}));
}

Face* FakeObject::FaceFor(const IID& iid) {
    if (faces_.empty()) return nullptr;
    if (IsEqualIID(iid, IID_IUnknown)) return faces_.front().second.get();
    for (auto& [offered, face] : faces_) {
        if (IsEqualIID(offered, iid)) return face.get();
    }
    return nullptr;
}

HRESULT FakeObject::Query(const IID& iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = FaceFor(iid);
    if (*ppv == nullptr) return E_NOINTERFACE;
    ++refs;
    return S_OK;
}

}  // namespace tamsel::testing
