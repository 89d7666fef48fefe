// The three list files, found and loaded the way the module finds and loads them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "listfiles/list_folders.h"
#include "base/status.h"
#include "patterns/judge.h"

namespace tamsel::cli {

// Takes "--lists DIR" out of `args`: DIR then holds all three lists. Without
// it the folders are the module's (FindListFolders). A failure names what is
// wrong with the command line.
Result<ListFolders> TakeListFolder(std::vector<std::string>& args);

// Whether there is a folder for the user's lists; false after telling the
// user why not.
bool HasUserFolder(const std::string& command, const ListFolders& folders);

// Makes the user's folder, and any folder above it that is missing, readable
// by the user alone, before a first write. False after telling the user why
// it cannot be had.
bool MakeUserFolder(const std::string& command, const ListFolders& folders);

struct FolderLists {
    std::unique_ptr<PatternList> trust, userBlock, shippedBlock;
    ListSet view() const { return {trust.get(), userBlock.get(), shippedBlock.get()}; }
};

// Loads the trust list, the user block list and the shipped block list from
// `folders`. A missing file is an empty list, as in the module; a list that
// fails to load is reported on stderr and takes part in no decision.
FolderLists LoadListFolder(const ListFolders& folders);

// Prints one line: "refused", "trusted" or "passed" followed by `stage`
// (e.g. " at lookup"), the subject, and the deciding list file, line number
// and pattern ("~" marks an exception line that let a request pass). While
// advertisements are allowed, the line says that nothing is enforced.
void PrintJudgement(const Judgement& judgement, const std::string& subject, const std::string& stage = "");

}  // namespace tamsel::cli
