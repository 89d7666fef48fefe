#include "com/registry_update.h"

namespace tamsel {

namespace {

KeyPath Child(const KeyPath& parent, const std::string& name) {
    KeyPath child = parent;
    child.names.push_back(name);
    return child;
}

long RegisterKeys(const std::vector<ScriptKey>& keys, const KeyPath& parent, RegistryEditor& registry) {
    for (const ScriptKey& key : keys) {
        const KeyPath path = Child(parent, key.name);
        if (key.mark == KeyMark::ForceRemove) {
            if (const long error = registry.DeleteTree(path)) return error;
        }
        if (const long error = registry.CreateKey(path)) return error;
        for (const ScriptValue& value : key.values) {
            if (const long error = registry.SetString(path, value.name, value.data)) return error;
        }
        if (const long error = RegisterKeys(key.subkeys, path, registry)) return error;
    }
    return 0;
}

void KeepFirst(long& first, long error) {
    if (first == 0) first = error;
}

long UnregisterKeys(const std::vector<ScriptKey>& keys, const KeyPath& parent, RegistryEditor& registry) {
    long first = 0;
    for (const ScriptKey& key : keys) {
        const KeyPath path = Child(parent, key.name);
        if (key.mark == KeyMark::ForceRemove) {
            KeepFirst(first, registry.DeleteTree(path));
            continue;
        }
        // A key that is not there holds nothing of ours, below it neither.
        if (!registry.KeyExists(path)) continue;
        KeepFirst(first, UnregisterKeys(key.subkeys, path, registry));
        for (const ScriptValue& value : key.values) KeepFirst(first, registry.DeleteValue(path, value.name));
        if (key.mark == KeyMark::None && registry.KeyIsEmpty(path)) KeepFirst(first, registry.DeleteKey(path));
    }
    return first;
}

}  // namespace

long RegisterScript(const RegistryScript& script, RegistryEditor& registry) {
    for (const ScriptRootBlock& block : script.roots) {
        if (const long error = RegisterKeys(block.keys, KeyPath{block.root, {}}, registry)) {
            UnregisterScript(script, registry);
            return error;
        }
    }
    return 0;
}

long UnregisterScript(const RegistryScript& script, RegistryEditor& registry) {
    long first = 0;
    for (const ScriptRootBlock& block : script.roots) {
        KeepFirst(first, UnregisterKeys(block.keys, KeyPath{block.root, {}}, registry));
    }
    return first;
}

}  // namespace tamsel
