#pragma once
// Keyword lists built from name/value pairs for the parser tests.
#include <string>
#include <utility>
#include <vector>

#include "cube_engine/cube_keyparse.h"

namespace enginetest {

class KeywordList {
public:
    KeywordList(std::initializer_list<std::pair<std::string, std::string>> entries)
        : texts_(entries), nodes_(texts_.size())
    {
        for (size_t i = 0; i < texts_.size(); ++i) {
            nodes_[i].name = texts_[i].first.c_str();
            nodes_[i].data = texts_[i].second.c_str();
            nodes_[i].next = i + 1 < texts_.size() ? &nodes_[i + 1] : nullptr;
        }
    }
    KeywordList(const KeywordList &) = delete;
    KeywordList &operator=(const KeywordList &) = delete;
    const ParList *get() const { return nodes_.empty() ? nullptr : nodes_.data(); }

private:
    std::vector<std::pair<std::string, std::string>> texts_;
    std::vector<ParList> nodes_;
};

}  // namespace enginetest
