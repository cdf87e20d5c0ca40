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

size_t StringSet::SlotOf(const std::string& key, uint32_t hash) const
{
    const size_t mask = slots_.size() - 1;
    size_t slot = hash & mask;
    while (slots_[slot].entry != 0 && (slots_[slot].hash != hash || keys_[slots_[slot].entry - 1] != key))
        slot = (slot + 1) & mask;
    return slot;
}

void StringSet::Grow()
{
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 16 : old.size() * 2, Slot{});
    const size_t mask = slots_.size() - 1;
    for (const Slot& taken : old) {
        if (taken.entry == 0)
            continue;
        size_t slot = taken.hash & mask;   // the keys are distinct: the first free slot is theirs
        while (slots_[slot].entry != 0)
            slot = (slot + 1) & mask;
        slots_[slot] = taken;
    }
}

bool StringSet::Insert(std::string key)
{
    // At most half full, so that a probe soon meets a free slot.
    if ((keys_.size() + 1) * 2 > slots_.size())
        Grow();
    const uint32_t hash = Hash(key);
    const size_t slot = SlotOf(key, hash);
    if (slots_[slot].entry != 0)
        return false;
    keys_.push_back(std::move(key));
    slots_[slot] = Slot{static_cast<uint32_t>(keys_.size()), hash};
    return true;
}

bool StringSet::Contains(const std::string& key) const
{
    return !slots_.empty() && slots_[SlotOf(key, Hash(key))].entry != 0;
}

void StringSet::Clear()
{
    keys_.clear();
    slots_.clear();
}
