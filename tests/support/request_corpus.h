// The request corpus the benchmarks and the large-list tests share: a JSON
// array of objects whose "url" fields are the URLs.
#pragma once

#include <string>
#include <vector>

namespace tamsel::testing {

// Every value of a "url" key, in file order.
std::vector<std::string> UrlFields(const std::string& json);

// The "url" fields of a file; empty when it cannot be read.
std::vector<std::string> ReadCorpusUrls(const std::string& path);

}  // namespace tamsel::testing
