// The text of one user list, the user block list or the trust list, as the
// list editors and `tamsel list` show and change it.
//
// One entry is one line of the file (list_store.h), kept as written. The
// stored order is the file's; a person sees it reversed, so the line that
// decides first stands at the top. Add and Edit put their entry at the top,
// which is the end of the file, where it decides first; nothing else moves,
// so an edit changes only the verdicts its own entries decide.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "listfiles/list_store.h"

namespace tamsel {

// The Add or Edit dialog's field holds this many characters; `tamsel list`
// cuts a typed text the same way. Lines read from a file are kept whole.
inline constexpr size_t kPatternTextLimit = 259;

// Every member may be called from any thread; none holds the lock longer
// than its own call, so no caller waits on a dialog.
class PatternTextList {
public:
    explicit PatternTextList(ListKind kind) : kind_(kind) {}
    PatternTextList(const PatternTextList&) = delete;
    PatternTextList& operator=(const PatternTextList&) = delete;

    ListKind kind() const { return kind_; }

    // The entries in file order.
    std::vector<std::string> Texts() const;
    // The entries as shown: the last line of the file first.
    std::vector<std::string> Shown() const;
    void Clear();

    // Puts `text` at the top of the shown list. An empty text changes
    // nothing; false then.
    bool Add(const std::string& text);
    // Replaces the shown entry at `index` by `text`, which moves to the top.
    // False, with nothing changed, for an empty text or an index out of range.
    bool Edit(size_t index, const std::string& text);
    // Removes the shown entry at `index`; false when there is none.
    bool Delete(size_t index);

    // While the list holds no entry: reads its file, then renews its pattern
    // list when one is loaded. A list that holds entries is left alone and
    // its pattern list is not renewed.
    void LoadIfEmpty(const ListStore& store);

    // What an editor's Close does: writes the file, then renews the pattern
    // list when one is loaded (from the new file, or from the old one when
    // the write failed; a file that fails to load leaves the list in use).
    ListWriteResult Close(const ListStore& store);

private:
    const ListKind kind_;
    mutable std::mutex mutex_;  // guards texts_; also orders this list's file work
    std::vector<std::string> texts_;
};

}  // namespace tamsel
