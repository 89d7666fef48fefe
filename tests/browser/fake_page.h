// An in-memory page for the walk: elements are plain records the test sets
// up, reads can be made to fail, and every change the walk makes is logged.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "browser/page_model.h"

namespace tamsel::testing {

struct FakeImage {
    SourceRead source;
    std::optional<int32_t> width, height;  // nullopt: the read fails
};

struct FakePlugin {
    std::optional<PluginSize> width, height;  // nullopt: the read fails
};

struct FakeFrame {
    SourceRead source;
};

inline SourceRead Src(std::string text) { return {SourceRead::Status::Present, std::move(text)}; }
inline SourceRead NoSrc() { return {SourceRead::Status::Absent, {}}; }
inline SourceRead FailedSrc() { return {SourceRead::Status::Failed, {}}; }
inline PluginSize Text(std::string text) { return {std::move(text)}; }
inline PluginSize NotText() { return {std::nullopt}; }

// One tag kind of the page and how asking for it behaves.
template <class Record>
struct FakeKind {
    std::vector<Record> items;
    bool tagsFail = false;
    bool notCollection = false;
    bool lengthFails = false;
    std::set<int32_t> missing;  // indices whose fetch gives nothing
};

class FakePage;

struct FakePageRecords {
    FakeKind<FakeImage> images;
    FakeKind<FakePlugin> objects;
    FakeKind<FakePlugin> embeds;
    FakeKind<FakeFrame> frames;
    std::vector<std::string> log;    // "img0 width=0", "frame1 src=", ...
    std::vector<std::string> asked;  // tag names asked for, in order
};

class FakeImageElement : public ImageElement {
public:
    FakeImageElement(FakeImage& r, std::vector<std::string>& log, std::string name)
        : r_(r), log_(log), name_(std::move(name)) {}
    SourceRead Source() override { return r_.source; }
    std::optional<int32_t> Width() override { return r_.width; }
    std::optional<int32_t> Height() override { return r_.height; }
    void PutWidth(int32_t v) override { log_.push_back(name_ + " width=" + std::to_string(v)); }
    void PutHeight(int32_t v) override { log_.push_back(name_ + " height=" + std::to_string(v)); }
    void PutEmptyAlt() override { log_.push_back(name_ + " alt="); }

private:
    FakeImage& r_;
    std::vector<std::string>& log_;
    std::string name_;
};

class FakePluginElement : public PluginElement {
public:
    FakePluginElement(FakePlugin& r, std::vector<std::string>& log, std::string name)
        : r_(r), log_(log), name_(std::move(name)) {}
    std::optional<PluginSize> Width() override { return r_.width; }
    std::optional<PluginSize> Height() override { return r_.height; }
    void PutEmptyWidth() override { log_.push_back(name_ + " width=empty"); }
    void PutEmptyHeight() override { log_.push_back(name_ + " height=empty"); }

private:
    FakePlugin& r_;
    std::vector<std::string>& log_;
    std::string name_;
};

class FakeFrameElement : public FrameElement {
public:
    FakeFrameElement(FakeFrame& r, std::vector<std::string>& log, std::string name)
        : r_(r), log_(log), name_(std::move(name)) {}
    SourceRead Source() override { return r_.source; }
    void PutEmptySource() override { log_.push_back(name_ + " src="); }

private:
    FakeFrame& r_;
    std::vector<std::string>& log_;
    std::string name_;
};

template <class Element, class Made, class Record>
class FakeList : public ElementList<Element> {
public:
    FakeList(FakeKind<Record>& kind, std::vector<std::string>& log, std::string tag)
        : kind_(kind), log_(log), tag_(std::move(tag)) {}
    std::optional<int32_t> Length() override {
        if (kind_.lengthFails) return std::nullopt;
        return static_cast<int32_t>(kind_.items.size());
    }
    std::unique_ptr<Element> Item(int32_t i) override {
        if (i < 0 || i >= static_cast<int32_t>(kind_.items.size()) || kind_.missing.count(i)) return nullptr;
        return std::make_unique<Made>(kind_.items[i], log_, tag_ + std::to_string(i));
    }

private:
    FakeKind<Record>& kind_;
    std::vector<std::string>& log_;
    std::string tag_;
};

class FakePage : public PageDocument {
public:
    explicit FakePage(FakePageRecords& r) : r_(r) {}
    Tags<ImageElement> Images() override { return Ask<ImageElement, FakeImageElement>(r_.images, "img"); }
    Tags<PluginElement> Objects() override { return Ask<PluginElement, FakePluginElement>(r_.objects, "object"); }
    Tags<PluginElement> Embeds() override { return Ask<PluginElement, FakePluginElement>(r_.embeds, "embed"); }
    Tags<FrameElement> Frames() override { return Ask<FrameElement, FakeFrameElement>(r_.frames, "frame"); }

private:
    template <class Element, class Made, class Record>
    Tags<Element> Ask(FakeKind<Record>& kind, const std::string& tag) {
        r_.asked.push_back(tag);
        Tags<Element> tags;
        tags.failed = kind.tagsFail;
        if (!kind.tagsFail && !kind.notCollection)
            tags.list = std::make_unique<FakeList<Element, Made, Record>>(kind, r_.log, tag);
        return tags;
    }
    FakePageRecords& r_;
};

}  // namespace tamsel::testing
