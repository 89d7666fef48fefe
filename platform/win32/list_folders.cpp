// On Windows the three lists lie beside the module, whether or not the
// shipped one exists yet: no variable or installed layout is consulted.
#include "platform/native.h"

namespace tamsel {

ListFolderFacts native::FindListFolderFacts(std::string_view) {
    ListFolderFacts facts;
    facts.moduleFolder = native::ModuleFolderPath("");
    facts.holdsShippedList = [](const std::string&) { return true; };
    return facts;
}

}  // namespace tamsel
