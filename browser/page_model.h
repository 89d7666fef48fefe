// The page as the walk sees it: the operations it needs and nothing more.
// On Windows these are the browser's document interfaces; the tests give an
// in-memory page. Every read can fail, and a failed read is reported as
// such, because several of them end the whole walk.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tamsel {

// An element's source URL as narrow, lower-cased text.
struct SourceRead {
    enum class Status {
        Present,  // `text` holds it (possibly empty)
        Absent,   // the element has no source at all (a null string)
        Failed,   // the read or its conversion failed
    };
    Status status = Status::Failed;
    std::string text;
};

// A plug-in's width or height as the document holds it. Only a non-null
// string can carry an advertisement size; numbers, empty values and null
// strings leave `text` unset.
struct PluginSize {
    std::optional<std::string> text;
};

class ImageElement {
public:
    virtual ~ImageElement() = default;
    virtual SourceRead Source() = 0;
    virtual std::optional<int32_t> Width() = 0;  // nullopt: the read failed
    virtual std::optional<int32_t> Height() = 0;
    virtual void PutWidth(int32_t pixels) = 0;
    virtual void PutHeight(int32_t pixels) = 0;
    virtual void PutEmptyAlt() = 0;
};

// An "object" or an "embed" element.
class PluginElement {
public:
    virtual ~PluginElement() = default;
    virtual std::optional<PluginSize> Width() = 0;  // nullopt: the read failed
    virtual std::optional<PluginSize> Height() = 0;
    virtual void PutEmptyWidth() = 0;
    virtual void PutEmptyHeight() = 0;
};

// An inline frame.
class FrameElement {
public:
    virtual ~FrameElement() = default;
    virtual SourceRead Source() = 0;
    virtual void PutEmptySource() = 0;
};

template <class Element>
class ElementList {
public:
    virtual ~ElementList() = default;
    virtual std::optional<int32_t> Length() = 0;  // nullopt: the read failed
    // Null when the fetch fails or the item is not of the list's kind.
    virtual std::unique_ptr<Element> Item(int32_t index) = 0;
};

// What asking the document for the elements of one tag name gave.
template <class Element>
struct Tags {
    bool failed = false;                         // the request itself failed
    std::unique_ptr<ElementList<Element>> list;  // null: not a collection
};

// One loaded HTML document.
class PageDocument {
public:
    virtual ~PageDocument() = default;
    virtual Tags<ImageElement> Images() = 0;    // "img"
    virtual Tags<PluginElement> Objects() = 0;  // "object"
    virtual Tags<PluginElement> Embeds() = 0;   // "embed"
    virtual Tags<FrameElement> Frames() = 0;    // "iframe"
};

}  // namespace tamsel
