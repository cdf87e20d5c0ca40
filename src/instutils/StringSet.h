#pragma once
#include <cstdint>
#include <string>
#include <vector>

// A set of strings, open-addressed: lookups stay constant-time on logs of many thousand
// lines, in a fraction of the code std::unordered_set brings into the program.
class StringSet {
public:
    // False when the set held the key already.
    bool Insert(std::string key);
    bool Contains(const std::string& key) const;
    void Clear();

private:
    struct Slot {
        uint32_t entry = 0;   // 0: free; else an index into keys_, plus one
        uint32_t hash = 0;    // the key's, so that most mismatches and every regrowth skip the text
    };
    size_t SlotOf(const std::string& key, uint32_t hash) const;   // its slot, or the free one it would take
    void Grow();

    std::vector<std::string> keys_;
    std::vector<Slot> slots_;
};
