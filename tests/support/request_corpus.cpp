#include "support/request_corpus.h"

#include <cctype>
#include <fstream>
#include <iterator>

namespace tamsel::testing {

namespace {

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// The string value that starts at text[at] (just past its opening quote),
// with the JSON escapes a URL can carry undone; \u escapes beyond ASCII are
// kept as written, which is enough for a URL.
std::string JsonString(const std::string& text, size_t at) {
    std::string value;
    for (size_t i = at; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            value += text[i];
            continue;
        }
        const char e = text[++i];
        if (e != 'u') {
            value += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;  // \" \\ \/ stand for themselves
        } else if (i + 4 < text.size() && text.compare(i + 1, 2, "00") == 0 && IsHex(text[i + 3]) &&
                   IsHex(text[i + 4])) {
            value += static_cast<char>(std::stoi(text.substr(i + 3, 2), nullptr, 16));
            i += 4;
        } else {
            value += "\\u";
        }
    }
    return value;
}

}  // namespace

// Every value of a "url" key, in file order.
std::vector<std::string> UrlFields(const std::string& json) {
    std::vector<std::string> urls;
    const std::string key = "\"url\"";
    for (size_t at = json.find(key); at != std::string::npos; at = json.find(key, at + key.size())) {
        size_t i = at + key.size();
        while (i < json.size() && (json[i] == ' ' || json[i] == '\n' || json[i] == '\r' || json[i] == '\t')) ++i;
        if (i >= json.size() || json[i] != ':') continue;  // "url" as a value, not a key
        i = json.find('"', i);
        if (i == std::string::npos) break;
        urls.push_back(JsonString(json, i + 1));
    }
    return urls;
}

std::vector<std::string> ReadCorpusUrls(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return UrlFields(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
}

}  // namespace tamsel::testing
