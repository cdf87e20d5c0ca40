#include "instutils/StringSet.h"

namespace {

uint32_t Hash(const std::string& key)
{
    uint32_t hash = 2166136261u;   // FNV-1a
    for (unsigned char c : key)
        hash = (hash ^ c) * 16777619u;
    return hash;
}

}  // namespace

size_t StringSet::SlotOf(const std::string& key) const
{
    const size_t mask = slots_.size() - 1;
    size_t slot = Hash(key) & mask;
    while (slots_[slot] != 0 && keys_[slots_[slot] - 1] != key)
        slot = (slot + 1) & mask;
    return slot;
}

void StringSet::Grow()
{
    std::vector<uint32_t> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, 0);
    for (uint32_t entry : old)
        if (entry != 0)
            slots_[SlotOf(keys_[entry - 1])] = entry;
}

bool StringSet::Insert(std::string key)
{
    // At most half full, so that a probe soon meets a free slot.
    if ((keys_.size() + 1) * 2 > slots_.size())
        Grow();
    const size_t slot = SlotOf(key);
    if (slots_[slot] != 0)
        return false;
    keys_.push_back(std::move(key));
    slots_[slot] = static_cast<uint32_t>(keys_.size());
    return true;
}

bool StringSet::Contains(const std::string& key) const
{
    return !slots_.empty() && slots_[SlotOf(key)] != 0;
}

void StringSet::Clear()
{
    keys_.clear();
    slots_.clear();
}
