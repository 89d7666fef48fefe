// A source converted, written as a section and loaded by the real loader, so
// that tests judge URLs through the list exactly as the filter would.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "browser/source_judge.h"
#include "import/block_list_sections.h"
#include "import/list_source.h"
#include "patterns/pattern_list.h"

namespace tamsel::testing {

class ImportedList {
public:
    explicit ImportedList(const std::string& source)
        : converted_(import::ConvertSource(source)),
          text_(import::RenderSection("test", "test", converted_)),
          loaded_(ParsePatternListText(text_, "test")) {}

    bool Refuses(std::string url) const {
        if (!loaded_.ok()) {
            ADD_FAILURE() << "the written list does not load: " << loaded_.message() << "\n" << text_;
            return false;
        }
        return JudgeSourceUrl(url, ListSet{nullptr, nullptr, loaded_.value().get()}).verdict == Verdict::Refused;
    }

    // The reason the rule on `lineNumber` was skipped, or "" when it was not.
    std::string SkipReason(int lineNumber) const {
        for (const auto& s : converted_.skipped) {
            if (s.lineNumber == lineNumber) return s.reason;
        }
        return "";
    }

    const import::ConvertedSource& converted() const { return converted_; }
    const std::string& text() const { return text_; }

private:
    import::ConvertedSource converted_;
    std::string text_;
    ListLoadResult loaded_;
};

}  // namespace tamsel::testing
