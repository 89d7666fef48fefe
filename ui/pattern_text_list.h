// The texts of the user's two lists, "My Black List" (UserBlock.txt) and
// "My White List" (UserTrust.txt), as the list editors and `tamsel list`
// show and change them.
//
// The stored order is the order of the file. An editor shows the last text
// at the top; after any change it stores its items top to bottom, so an
// edited list is written in the order the user saw it.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "module/module_path.h"
#include "module/shared_state.h"

namespace tamsel {

// Typed pattern texts are cut to this many characters; texts loaded from a
// file are kept whole, however long.
inline constexpr size_t kPatternTextLimit = 259;

// The full path of a list file, or nullopt when it cannot be formed.
// ModuleFolderPath by default; the tool and the tests name another folder.
using ListFilePath = std::function<std::optional<std::string>(std::string_view fileName)>;

struct ListWriteResult {
    bool written = false;
    std::string path;   // the file written, or meant to be
    std::string error;  // why not, when `written` is false
};

// One user list. Every member may be called from any thread; none holds the
// lock longer than its own call, so no caller waits on a dialog.
class PatternTextList {
public:
    PatternTextList(const char* fileName, ListKind kind) : fileName_(fileName), kind_(kind) {}
    PatternTextList(const PatternTextList&) = delete;
    PatternTextList& operator=(const PatternTextList&) = delete;

    const char* fileName() const { return fileName_; }
    ListKind kind() const { return kind_; }

    // A copy of the texts in stored order.
    std::vector<std::string> Texts() const;

    // The texts become `items`, the top of the editor's list first.
    void Rebuild(std::vector<std::string> items);

    // While the list holds no text: reads its file word by word, then renews
    // its pattern list in the shared state when one is loaded. A list that
    // holds texts is left alone and its pattern list is not renewed.
    void LoadIfEmpty(const ListFilePath& where);

    // What an editor's Close does: writes the file, then renews the pattern
    // list in the shared state when one is loaded (from the new file, or from
    // the old one when the write failed).
    ListWriteResult Close(const ListFilePath& where);

private:
    const char* const fileName_;
    const ListKind kind_;
    mutable std::mutex mutex_;  // guards texts_; also orders this list's file work
    std::vector<std::string> texts_;
};

// The two lists of the process, empty until first loaded. Never destroyed.
PatternTextList& WhiteListTexts();  // UserTrust.txt, the user trust list
PatternTextList& BlackListTexts();  // UserBlock.txt, the user block list

// Loads the white list, then the black list, each only while it is empty.
// Run at the construction of every AdFilter object.
void LoadPatternTextLists(const ListFilePath& where = ModuleFolderPath);

// The texts an editor shows, top first: the stored order reversed.
std::vector<std::string> ShownOrder(std::vector<std::string> texts);

// The words of a list file's bytes: runs of characters other than blank,
// tab, line end, vertical tab and form feed, in file order.
std::vector<std::string> SplitPatternWords(std::string_view bytes);

// The exact bytes of a list file: each text on a line of its own ended by
// CR LF, or a single empty line for no texts.
std::string PatternTextFileBytes(const std::vector<std::string>& texts);

// Writes those bytes to `path` through a temporary file beside it; the old
// file stays whole unless the new one was written completely.
bool WritePatternTextFile(const std::string& path, const std::vector<std::string>& texts, std::string* error);

}  // namespace tamsel
