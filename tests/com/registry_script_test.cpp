#include "com/registry_script.h"
#include "com/registry_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace tamsel {
namespace {

ScriptParseResult Parse(const std::string& text) {
    return ParseRegistryScript(text, {{"MODULE", "C:\\it's here\\Tamsel.dll"}});
}

TEST(ParseRegistryScript, ReadsMarksDefaultsNamedValuesAndNesting) {
    const auto result = Parse(R"(
        HKCR
        {
            NoRemove CLSID
            {
                ForceRemove {DB493CB7-2832-4905-93AF-9047C7DAF2EE} = s 'AdFilter Class'
                {
                    ForceRemove 'Programmable'
                    InprocServer32 = s '%MODULE%'
                    {
                        val ThreadingModel = s 'Apartment'
                    }
                }
            }
        }
        HKLM { 'Browser Helper Objects' { key = s 'a ''quoted'' 100%% sure' } }
    )");
    ASSERT_TRUE(result.script) << result.error;
    const auto& roots = result.script->roots;
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(roots[0].root, RegistryRoot::ClassesRoot);
    const ScriptKey& clsid = roots[0].keys.at(0);
    EXPECT_EQ(clsid.name, "CLSID");
    EXPECT_EQ(clsid.mark, KeyMark::NoRemove);
    EXPECT_TRUE(clsid.values.empty());
    const ScriptKey& cls = clsid.subkeys.at(0);
    EXPECT_EQ(cls.mark, KeyMark::ForceRemove);
    ASSERT_EQ(cls.values.size(), 1u);
    EXPECT_EQ(cls.values[0].name, "");
    EXPECT_EQ(cls.values[0].data, "AdFilter Class");
    ASSERT_EQ(cls.subkeys.size(), 2u);
    EXPECT_EQ(cls.subkeys[0].name, "Programmable");
    EXPECT_TRUE(cls.subkeys[0].values.empty());
    const ScriptKey& inproc = cls.subkeys[1];
    EXPECT_EQ(inproc.mark, KeyMark::None);
    ASSERT_EQ(inproc.values.size(), 2u);
    // The replacement keeps its quote: it is made after the quotes are read.
    EXPECT_EQ(inproc.values[0].data, "C:\\it's here\\Tamsel.dll");
    EXPECT_EQ(inproc.values[1].name, "ThreadingModel");
    EXPECT_EQ(inproc.values[1].data, "Apartment");
    EXPECT_EQ(roots[1].root, RegistryRoot::LocalMachine);
    const ScriptKey& bho = roots[1].keys.at(0);
    EXPECT_EQ(bho.name, "Browser Helper Objects");
    EXPECT_EQ(bho.subkeys.at(0).values.at(0).data, "a 'quoted' 100% sure");
}

TEST(ParseRegistryScript, QuotedKeywordsAreNames) {
    const auto result = Parse("HKCU { 'NoRemove' { 'val' = s 's' } }");
    ASSERT_TRUE(result.script) << result.error;
    const ScriptKey& key = result.script->roots.at(0).keys.at(0);
    EXPECT_EQ(key.name, "NoRemove");
    EXPECT_EQ(key.mark, KeyMark::None);
    EXPECT_EQ(key.subkeys.at(0).name, "val");
    EXPECT_EQ(key.subkeys.at(0).values.at(0).data, "s");
}

TEST(ParseRegistryScript, MalformedScriptsFailWhole) {
    const char* bad[] = {
        "HKCR { A = s 'x' ",           // block never closed
        "HKCR { A = s 'x }",           // quote never closed
        "HKXX { A }",                  // unknown root
        "HKCR { A = d '1' }",          // only string values exist
        "HKCR { A = s '%UNKNOWN%' }",  // no such replacement
        "HKCR { A = s '50% off' }",    // a lone percent sign
        "HKCR { val V = s 'x' }",      // a value needs a key
        "HKCR { A = }",
        "HKCR { '' }",
        "HKCR { {A B} }",  // a name in braces holds one word
        "}",
    };
    for (const char* text : bad) {
        const auto result = Parse(text);
        EXPECT_FALSE(result.script) << text;
        EXPECT_FALSE(result.error.empty()) << text;
    }
}

// Deep nesting fails the parse (and so the registration) instead of the
// parser's stack.
TEST(ParseRegistryScript, NestingIsBounded) {
    const auto nested = [](int depth) {
        std::string text = "HKCR {";
        for (int i = 0; i < depth; ++i) text += " K {";
        return text + std::string(static_cast<size_t>(depth) + 1, '}');
    };
    const auto deep = Parse(nested(20000));
    EXPECT_FALSE(deep.script);
    EXPECT_NE(deep.error.find("nested deeper"), std::string::npos) << deep.error;
    EXPECT_TRUE(Parse(nested(63)).script);
    EXPECT_FALSE(Parse(nested(64)).script);
}

TEST(ParseRegistryScript, ReportsTheLineOfTheFault) {
    const auto result = Parse("HKCR\n{\n  A = s 'x'\n  B = q 'y'\n}\n");
    ASSERT_FALSE(result.script);
    EXPECT_EQ(result.lineNumber, 4);
}

// A registry in memory, case-insensitive as the real one.
class MemoryRegistry : public RegistryEditor {
public:
    long CreateKey(const KeyPath& key) override {
        if (failCreateOf == Name(key)) return 5;
        for (size_t n = 1; n <= key.names.size(); ++n) {
            keys_[Name(KeyPath{key.root, {key.names.begin(), key.names.begin() + n}})];
        }
        return 0;
    }
    long SetString(const KeyPath& key, const std::string& name, const std::string& data) override {
        auto it = keys_.find(Name(key));
        if (it == keys_.end()) return 2;
        it->second[Lower(name)] = data;
        return 0;
    }
    bool KeyExists(const KeyPath& key) override { return keys_.count(Name(key)) != 0; }
    bool KeyIsEmpty(const KeyPath& key) override {
        const std::string name = Name(key);
        auto it = keys_.find(name);
        return it != keys_.end() && it->second.empty() && SubkeyCount(name) == 0;
    }
    long DeleteTree(const KeyPath& key) override {
        const std::string name = Name(key);
        std::erase_if(keys_, [&](const auto& k) { return k.first == name || k.first.starts_with(name + "\\"); });
        return 0;
    }
    long DeleteKey(const KeyPath& key) override {
        const std::string name = Name(key);
        if (SubkeyCount(name) != 0) return 5;
        keys_.erase(name);
        return 0;
    }
    long DeleteValue(const KeyPath& key, const std::string& name) override {
        auto it = keys_.find(Name(key));
        if (it != keys_.end()) it->second.erase(Lower(name));
        return 0;
    }

    void Put(const std::string& key, const std::string& value = "", const std::string& data = "") {
        keys_[Lower(key)][Lower(value)] = data;
    }
    bool Has(const std::string& key) const { return keys_.count(Lower(key)) != 0; }
    std::optional<std::string> Value(const std::string& key, const std::string& value = "") const {
        auto it = keys_.find(Lower(key));
        if (it == keys_.end()) return std::nullopt;
        auto v = it->second.find(Lower(value));
        if (v == it->second.end()) return std::nullopt;
        return v->second;
    }
    size_t KeyCount() const { return keys_.size(); }

    std::string failCreateOf;

private:
    static std::string Lower(std::string s) {
        std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
        return s;
    }
    static std::string Name(const KeyPath& key) {
        std::string name = std::to_string(static_cast<int>(key.root));
        for (const auto& n : key.names) name += "\\" + n;
        return Lower(name);
    }
    size_t SubkeyCount(const std::string& name) const {
        return std::count_if(keys_.begin(), keys_.end(),
                             [&](const auto& k) { return k.first.starts_with(name + "\\"); });
    }
    std::map<std::string, std::map<std::string, std::string>> keys_;
};

constexpr const char* kScript = R"(
    HKCR
    {
        App.Class = s 'App Class'
        {
            CLSID = s '{1}'
        }
        NoRemove CLSID
        {
            ForceRemove {1} = s 'App Class'
            {
                ForceRemove Programmable
                InprocServer32 = s '%MODULE%'
                {
                    val ThreadingModel = s 'Apartment'
                }
            }
        }
    }
    HKLM
    {
        SOFTWARE
        {
            Shared
            {
                ForceRemove {1} = s 'App'
            }
        }
    }
)";

RegistryScript Script() {
    auto result = ParseRegistryScript(kScript, {{"MODULE", "C:\\m.dll"}});
    EXPECT_TRUE(result.script) << result.error;
    return result.script.value_or(RegistryScript{});
}

// Root numbers as MemoryRegistry spells them: 0 classes root, 2 local machine.
TEST(RegisterScript, WritesEveryKeyAndValueAndReplacesForceRemoveKeys) {
    MemoryRegistry reg;
    reg.Put("0\\CLSID\\{1}\\Stale", "old", "left from an earlier version");
    ASSERT_EQ(RegisterScript(Script(), reg), 0);
    EXPECT_EQ(reg.Value("0\\App.Class"), "App Class");
    EXPECT_EQ(reg.Value("0\\App.Class\\CLSID"), "{1}");
    EXPECT_EQ(reg.Value("0\\CLSID\\{1}"), "App Class");
    EXPECT_TRUE(reg.Has("0\\CLSID\\{1}\\Programmable"));
    EXPECT_FALSE(reg.Value("0\\CLSID\\{1}\\Programmable"));
    EXPECT_EQ(reg.Value("0\\CLSID\\{1}\\InprocServer32"), "C:\\m.dll");
    EXPECT_EQ(reg.Value("0\\CLSID\\{1}\\InprocServer32", "ThreadingModel"), "Apartment");
    EXPECT_EQ(reg.Value("2\\SOFTWARE\\Shared\\{1}"), "App");
    EXPECT_FALSE(reg.Has("0\\CLSID\\{1}\\Stale"));
}

TEST(UnregisterScript, RemovesOursAndKeepsSharedAndNoRemoveKeys) {
    MemoryRegistry reg;
    reg.Put("0\\CLSID\\{other}", "", "another program's class");
    reg.Put("2\\SOFTWARE\\Shared", "Setting", "another program's value");
    ASSERT_EQ(RegisterScript(Script(), reg), 0);
    reg.Put("0\\CLSID\\{1}\\Added", "x", "added after registration");
    ASSERT_EQ(UnregisterScript(Script(), reg), 0);

    EXPECT_FALSE(reg.Has("0\\App.Class"));
    EXPECT_FALSE(reg.Has("0\\CLSID\\{1}"));  // ForceRemove: with all below it
    EXPECT_TRUE(reg.Has("0\\CLSID"));        // NoRemove
    EXPECT_TRUE(reg.Has("0\\CLSID\\{other}"));
    EXPECT_FALSE(reg.Has("2\\SOFTWARE\\Shared\\{1}"));
    EXPECT_EQ(reg.Value("2\\SOFTWARE\\Shared", "Setting"), "another program's value");
    EXPECT_TRUE(reg.Has("2\\SOFTWARE"));
}

TEST(UnregisterScript, NoRemoveKeyStaysEvenWhenEmptyAndMissingKeysAreNoFailure) {
    MemoryRegistry reg;
    ASSERT_EQ(RegisterScript(Script(), reg), 0);
    ASSERT_EQ(UnregisterScript(Script(), reg), 0);
    EXPECT_TRUE(reg.Has("0\\CLSID"));
    EXPECT_FALSE(reg.Has("2\\SOFTWARE"));  // unmarked and left empty
    EXPECT_EQ(UnregisterScript(Script(), reg), 0);
}

TEST(RegisterScript, AFailureUndoesWhatWasWritten) {
    MemoryRegistry reg;
    reg.failCreateOf = "2\\software\\shared\\{1}";
    EXPECT_EQ(RegisterScript(Script(), reg), 5);
    EXPECT_FALSE(reg.Has("0\\App.Class"));
    EXPECT_FALSE(reg.Has("0\\CLSID\\{1}"));
    EXPECT_EQ(reg.KeyCount(), 1u);  // only the NoRemove "CLSID" is left
}

}  // namespace
}  // namespace tamsel
