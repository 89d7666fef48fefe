// The edge of every entry point that C or COM code calls: the send
// replacements, the COM methods and exports, the class factory and the
// registrar. Nothing thrown inside may cross it; a failure becomes the entry
// point's own error answer.
#pragma once

#include <new>
#include <utility>

namespace tamsel {

// Runs `body`; whatever it throws becomes `onFailure`. Costs nothing on the
// path that does not throw, so the send replacements may use it.
template <class Answer, class Body>
Answer AtBoundary(Answer onFailure, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (...) {
        return onFailure;
    }
}

// The same for an entry point whose error answer tells running out of
// memory apart from any other failure (an HRESULT: E_OUTOFMEMORY and
// E_UNEXPECTED).
template <class Answer, class Body>
Answer AtBoundary(Answer outOfMemory, Answer onFailure, Body&& body) noexcept {
    try {
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc&) {
        return outOfMemory;
    } catch (...) {
        return onFailure;
    }
}

}  // namespace tamsel
