// The three list files of one folder, loaded the way the module loads them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "patterns/judge.h"

namespace tamsel::cli {

// Takes "--lists DIR" out of `args`. Without it the folder is the one that
// holds the tool. Returns nullopt (after telling the user) on a bad option.
std::optional<std::string> TakeListFolder(const std::string& command, std::vector<std::string>& args);

struct FolderLists {
    std::unique_ptr<PatternList> trust, userBlock, shippedBlock;
    ListSet view() const { return {trust.get(), userBlock.get(), shippedBlock.get()}; }
};

// Loads the trust list, the user block list and the shipped block list of
// `folder`. A missing file is an empty list, as in the module; a list that
// fails to load is reported on stderr and takes part in no decision.
FolderLists LoadListFolder(const std::string& folder);

// Prints one line: "refused", "trusted" or "passed" followed by `stage`
// (e.g. " at lookup"), the subject, and the deciding list file, line number
// and pattern ("~" marks an exception line that let a request pass). While
// advertisements are allowed, the line says that nothing is enforced.
void PrintJudgement(const Judgement& judgement, const std::string& subject, const std::string& stage = "");

}  // namespace tamsel::cli
