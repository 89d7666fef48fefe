// The registry script of the module (resource REGISTRY 101): the keys and
// values that make the COM class known, written as nested blocks.
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {guid} = s 'AdFilter Class'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'
//               }
//           }
//       }
//   }
//
// A name is a bare word, a word in braces ("{...}" with nothing but the word
// between them, as a GUID is written), or a text in single quotes ('' stands
// for one quote). A brace followed by white space opens a block.
// "= s '...'" after a key gives its default value; "val NAME = s '...'"
// inside a block gives a named value of that block's key. Every value is a
// string. "%NAME%" in a name or a text is replaced from the caller's table
// after the quotes are taken off, so a replacement (a module path with a
// quote in it) may hold any character; "%%" stands for one "%". The words
// ForceRemove, NoRemove, val and s are keywords only when not quoted.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tamsel {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users };

enum class KeyMark {
    None,         // written at registration; removed at unregistration once empty
    ForceRemove,  // replaced whole at registration; removed whole at unregistration
    NoRemove,     // never removed
};

struct ScriptValue {
    std::string name;  // empty: the key's default value
    std::string data;
};

struct ScriptKey {
    std::string name;
    KeyMark mark = KeyMark::None;
    std::vector<ScriptValue> values;  // the default value, when given, comes first
    std::vector<ScriptKey> subkeys;
};

struct ScriptRootBlock {
    RegistryRoot root = RegistryRoot::ClassesRoot;
    std::vector<ScriptKey> keys;
};

struct RegistryScript {
    std::vector<ScriptRootBlock> roots;
};

struct ScriptParseResult {
    std::optional<RegistryScript> script;  // none when the text is malformed
    int32_t lineNumber = 0;                // where the fault was found
    std::string error;
};

using ScriptReplacements = std::map<std::string, std::string>;

// Parses the whole script. An unknown "%NAME%", an unknown root, a value type
// other than "s", or an unbalanced block makes the whole script fail: a half
// applied registration would leave the class registered wrongly.
ScriptParseResult ParseRegistryScript(const std::string& text, const ScriptReplacements& replacements);

}  // namespace tamsel
