// Registration and unregistration of a parsed registry script against a
// registry. The rules of the marks live here, apart from the platform's
// registry calls, so that they can be checked against a registry kept in
// memory as well as against the real one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "com/registry_script.h"

namespace tamsel {

struct KeyPath {
    RegistryRoot root = RegistryRoot::ClassesRoot;
    std::vector<std::string> names;  // from the root down
};

// The registry operations registration needs. Results are the platform's
// error numbers, 0 for success.
class RegistryEditor {
public:
    virtual ~RegistryEditor() = default;
    // Opens or creates the key and every missing key above it.
    virtual long CreateKey(const KeyPath& key) = 0;
    // Sets a string value; an empty name is the default value.
    virtual long SetString(const KeyPath& key, const std::string& name, const std::string& data) = 0;
    virtual bool KeyExists(const KeyPath& key) = 0;
    // True when the key has neither subkeys nor values (a default value
    // included); false when it has either or cannot be read.
    virtual bool KeyIsEmpty(const KeyPath& key) = 0;
    // Deletes the key and everything below it; a missing key is success.
    virtual long DeleteTree(const KeyPath& key) = 0;
    // Deletes one key that has no subkeys.
    virtual long DeleteKey(const KeyPath& key) = 0;
    // Deletes one value; a missing value is success.
    virtual long DeleteValue(const KeyPath& key, const std::string& name) = 0;
};

// Registration: every key and value of the script is written; a ForceRemove
// key is first deleted with all it holds, so nothing of an older
// registration survives under it. On a failure, what was written so far is
// unregistered again and the failure is returned.
long RegisterScript(const RegistryScript& script, RegistryEditor& registry);

// Unregistration: a ForceRemove key goes with all it holds; a NoRemove key
// stays, though what the script names below it is still removed; any other
// key loses the values the script gives it and goes only when nothing else
// is left in it, so keys shared with other programs survive. Missing keys
// are no failure; the first failure met is returned after the rest is done.
long UnregisterScript(const RegistryScript& script, RegistryEditor& registry);

}  // namespace tamsel
